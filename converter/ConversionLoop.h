// The frame loop of orvconvert: names per frame, load, export, release, progress and error lines.
#pragma once

#include "converter/CommandLine.h"
#include "converter/FrameConverter.h"

// Converts every frame the settings describe; lines go to standard output. Always returns 0:
// a frame that fails is reported and skipped.
int RunConversionLoop(const ConverterSettings& settings, FrameConverter& converter);
