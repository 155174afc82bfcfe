// Marks an entry point of an IO plug-in: C linkage and visible, since the loader finds it by name.
#pragma once

#include "orv/Api.h"

#define PLUGIN_EXPORT extern "C" ORV_API
