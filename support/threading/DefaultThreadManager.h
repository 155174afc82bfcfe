// The default thread managers handed to hosts without a pool of their own:
// createDefaultThreadManager and destroyDefaultThreadManager, declared with the other exports in
// orv/OrvLoader.h. Only managers made here are destroyed; any other pointer is ignored.
#pragma once

#include "orv/OrvLoader.h"

namespace KUtils {

// Default managers created and not yet destroyed.
int LiveDefaultThreadManagers();

}  // namespace KUtils
