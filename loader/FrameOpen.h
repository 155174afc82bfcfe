// Opening and releasing frames, and the shared frame list behind them.
//
// Frames opened without a voxel limit and without the import mode are shared: a second open of the
// same path with the same mapping string, while the file's modification time is unchanged, returns
// the listed frame with one more reference. Only listed frames are released by deleteIOrv. The
// exported entry points (newIOrv and its variants, deleteIOrv) are declared in orv/OrvLoader.h.
#pragma once

#include "support/CvnArray.h"

class CorvaneFrameData;
class IOrv;

namespace CorvaneFrame {

// The frames shared by reference count, in the order they were listed (a release moves the last
// entry into the freed place).
struct FrameDataArray : CVNUtils::CvnArray<CorvaneFrameData*, int> {};

// The loader-wide list; created on first use and destroyed after the loader's teardown.
FrameDataArray& SharedFrameList();

}  // namespace CorvaneFrame

// Opens path with a mapping string (null as empty), a voxel limit (-1 none) and the import mode.
// Returns the frame, or null when it cannot be loaded (empty path, unknown extension, reader or
// plug-in failure); the readers have passed their own messages to LogMessage.
IOrv* OpenFrame(const char* path, const char* mappings, long long maxVoxels, bool mode);

// Loads path into a new frame of the caller's own, outside the shared list, so that frames can be
// loaded on several threads at once. Returns 0 with *frame set (the caller deletes it), or the
// loader's code with *frame null: 3 empty path, unknown extension or a file that cannot be opened,
// 4 broken file or memory exhausted, 12 no footer, 2 plug-in not bound, 9 no mappings, or a
// plug-in's own code.
int LoadPrivateFrame(const char* path, const char* mappings, bool mode, CorvaneFrameData** frame);

// Drops one reference to a listed frame (deleteIOrv); frames that are not listed are ignored.
void ReleaseFrame(IOrv* frame);

// Destroys every frame still listed, last to first, each after the line
// "Corvane cache file not released <frame number> ref:<count>", and empties the list.
void ReleaseAllListedFrames();

// Makes sure the loader-wide teardown runs when the library or program ends (LoaderTeardown.cpp).
void EnsureLoaderTeardown();
