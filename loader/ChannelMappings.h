// Channel mapping strings and the default mapping of a file.
//
// A mapping string holds entries "<id>,<grid name>;" back to back; the empty string maps nothing.
// The default mapping of a .vdb or .f3d file comes from the grid names its plug-in reports, named
// by the OpenVDB or Field3D rule table; anything else, or a file without reported grids, gets the
// library's own list (the grid names the converter writes).
#pragma once

#include <string>

#include "orv/CacheIO.h"
#include "support/CvnArray.h"

namespace CorvaneMappings {

using GridMappingArray = CVNUtils::CvnArray<CacheIO::GridMapping, int>;

// Parses `text` (null as empty) into `out`, replacing its content: for each entry, the id is the
// text up to the next ',' read as atoi does, the name the text up to the next ';' (or the end).
// Every entry has scale 1. False when memory runs out (out is then empty).
bool ParseChannelMappings(const char* text, GridMappingArray& out);

// Writes `mappings` back as a string, one "%d,%s;" entry per element in array order.
std::string FormatChannelMappings(const GridMappingArray& mappings);

// The library's own list: 1,Temperature_cvn;2,Smoke_cvn;...;17,AdvectionOriginZ_cvn;
std::string OwnChannelMappings();

// The mapping `available` gets under the rules for `extension` ("vdb" or "f3d"; any other gives
// the empty string), with the density fallback.
std::string MappingsFromRules(const std::string& extension,
                              const CacheIO::AvailableChannelArray& available);

// Copies `text` into out[size] as the exported string functions do; 1 when it fitted, else 0.
int CopyBounded(char* out, int size, const char* text);

}  // namespace CorvaneMappings

// The default mapping string of `path`: exactly what orvGenerateDefaultChannelMappings produces.
std::string DefaultChannelMappings(const char* path);
