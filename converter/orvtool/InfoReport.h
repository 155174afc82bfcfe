// FileInfo as people read it (one table per file) and as scripts read it (JSON).
#pragma once

#include <string>

#include "converter/FileInspection.h"
#include "converter/orvtool/JsonWriter.h"

std::string InfoTable(const FileInfo& info);

// One member of the "files" array: the file's information, or its path and the error.
void WriteInfoJson(JsonWriter& json, const FileInfo& info);
void WriteErrorJson(JsonWriter& json, const std::string& path, const std::string& error);
