// The functions liborvloader.so exports to host applications.
//
// Calling order: initalizeOrvaLoader once (either overload) before OpenVDB or Field3D frames are
// opened; any number of newIOrv.../deleteIOrv pairs; finalizeOrvaLoader once per initialisation.
// .orv frames open without initialisation. Every function runs on the caller's thread; a host calls
// them from one thread at a time. Their argument types are part of the exported names. No
// exception leaves any of them: a failure is the function's failure result (null, 0) and a '#'
// log line (see ORV_LOG in the README).
#pragma once

#include "orv/Api.h"
#include "orv/IOrv.h"
#include "orv/ThreadManager.h"

// The library's version, 0x31200.
ORV_API unsigned int CorvaneSDKGetVersionNumber();

// Loads and binds the IO plug-ins, searched in the ';'-separated `folders` with the file-name
// suffix `suffix` (null: the plain module names through the library search path). `value` is
// recorded and has no further effect. Returns the plug-ins loaded: bit 0 field3dio, bit 1 openvdbio.
ORV_API int initalizeOrvaLoader(const char* folders, const char* suffix, int value);
// As above, then installs the host's thread manager (never deleted by the library) for the
// library's parallel work and hands it to the plug-ins. Returns the mask, or 0 when no plug-in
// loaded, the manager is null, or a plug-in refused it.
ORV_API int initalizeOrvaLoader(const char* folders, const char* suffix, int value,
                                KUtils::ThreadManager* manager);
// Removes the most recently installed thread manager and makes the plug-ins release theirs. The
// plug-ins stay loaded.
ORV_API void finalizeOrvaLoader();

// Opens a frame (.orv, .vdb or .f3d by extension); null when it cannot be loaded. Frames opened
// without a voxel limit and without `mode` are shared and released with deleteIOrv.
ORV_API IOrv* newIOrv(const char* path);
// `maxVoxels` limits the voxels an OpenVDB import produces (-1: none); `mode` asks for the header
// only. Either makes the frame private to the caller: deleteIOrv ignores it, and the caller
// releases it with `delete frame;` (IOrv's virtual destructor frees it inside the library).
ORV_API IOrv* newIOrvMaxVox(const char* path, long long maxVoxels, bool mode);
ORV_API IOrv* newIOrvWithChannelsMapping(const char* path, const char* mappings);
ORV_API IOrv* newIOrvWithChannelsMappingMaxVox(const char* path, const char* mappings,
                                               long long maxVoxels, bool mode);
// Drops one reference to a shared frame, destroying it with the last one. Frames that are not
// shared (opened with a voxel limit or header-only) are ignored: release those with `delete`.
ORV_API void deleteIOrv(IOrv* frame);

// The library's own thread pool, for a host that has none; destroy it with
// destroyDefaultThreadManager (null is ignored).
ORV_API KUtils::ThreadManager* createDefaultThreadManager();
ORV_API void destroyDefaultThreadManager(KUtils::ThreadManager* manager);

// Channel mapping strings: entries "<id>,<grid name>;" concatenated. Each function writes at most
// size - 1 characters and a terminating zero into its output (nothing when size <= 0) and returns
// 1 when the text fitted, 0 when it was truncated, -1 when the index is out of range.
ORV_API int orvComposeChannelMappingsString(char* out, int outSize, int* ids, const char** names,
                                            int count);
ORV_API int orvDecomposeChannelMappingsString(int* id, char* name, int nameSize,
                                              const char* mappings, int index);
// The mapping a plain newIOrv would use for `path`.
ORV_API int orvGenerateDefaultChannelMappings(char* out, int outSize, const char* path);
// Grid number `index` among those the plug-ins report for the files `path` names; *flag gets its
// flag (0 or 1).
ORV_API int orvGet3rdPartyChannelName(char* out, int outSize, int* flag, const char* path,
                                      int index);
