// Marks an entry point of an IO plug-in: C linkage and exported, since the loader finds it by name.
#pragma once

#include "orv/Api.h"

#if defined(__ELF__)
#define PLUGIN_EXPORT extern "C" ORV_API
#else
#define PLUGIN_EXPORT extern "C" __declspec(dllexport)
#endif
