// Importing an OpenVDB or Field3D frame through its bound plug-in.
#pragma once

class CorvaneFrameData;

// Resets `frame` for `mode`, parses `mappings` and calls the plug-in that the extension of `path`
// names ("vdb": openvdbio with `maxVoxels`, "f3d": field3dio). Returns 0 on success, 2 when that
// plug-in is not bound, 3 for another extension, 9 when the mapping string holds no entry, or the
// plug-in's own non-zero code. After a successful import a partial velocity (not all of ids 4, 5
// and 6) is dropped and the frame gets a one-integer compressed channel stream.
int ImportFrameThroughPlugin(CorvaneFrameData* frame, const char* path, const char* mappings,
                             long long maxVoxels, bool mode);
