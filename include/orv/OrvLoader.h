// The exported functions of liborvloader. Their names, argument types and results are part of the
// binary interface: hosts resolve them by their exported (mangled) names.
#pragma once

#include "orv/Api.h"
#include "orv/IOrv.h"
#include "orv/ThreadManager.h"

// Library version, 0x31200.
ORV_API unsigned int CorvaneSDKGetVersionNumber();

// Loads and binds the IO plug-ins found in the ';'-separated folders, each file name being its
// stem joined by '_' to suffix. Result: bit 0 field3dio, bit 1 openvdbio loaded. value is recorded.
ORV_API int initalizeOrvaLoader(const char* folders, const char* suffix, int value);
// As above, then installs the host-owned manager for parallel work and hands it to the plug-ins;
// 0 when it could not be installed or a plug-in refused it.
ORV_API int initalizeOrvaLoader(const char* folders, const char* suffix, int value,
                                KUtils::ThreadManager* manager);
ORV_API void finalizeOrvaLoader();

// Open a frame by path (UTF-8); null when it cannot be loaded. Frames opened without a voxel limit
// (-1) and with mode false are shared by path, mapping string and file modification time, and
// released with deleteIOrv.
ORV_API IOrv* newIOrv(const char* path);
ORV_API IOrv* newIOrvMaxVox(const char* path, long long maxVoxels, bool mode);
ORV_API IOrv* newIOrvWithChannelsMapping(const char* path, const char* mappings);
ORV_API IOrv* newIOrvWithChannelsMappingMaxVox(const char* path, const char* mappings,
                                               long long maxVoxels, bool mode);
// Drops one reference to a shared frame and destroys it with the last; other pointers are ignored.
ORV_API void deleteIOrv(IOrv* frame);

ORV_API KUtils::ThreadManager* createDefaultThreadManager();
ORV_API void destroyDefaultThreadManager(KUtils::ThreadManager* manager);

// Channel mapping strings ("%d,%s;" per entry). Output buffers receive at most size - 1
// characters and a terminating zero. Results: 1 fitted, 0 truncated, -1 index out of range.
ORV_API int orvComposeChannelMappingsString(char* out, int outSize, int* ids, const char** names,
                                            int count);
ORV_API int orvDecomposeChannelMappingsString(int* id, char* name, int nameSize,
                                              const char* mappings, int index);
ORV_API int orvGenerateDefaultChannelMappings(char* out, int outSize, const char* path);
ORV_API int orvGet3rdPartyChannelName(char* out, int outSize, int* flag, const char* path,
                                      int index);
