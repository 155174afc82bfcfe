// The default thread managers handed to hosts without a pool of their own:
// createDefaultThreadManager and destroyDefaultThreadManager, declared with the other exports in
// orv/OrvLoader.h. Only managers made here are destroyed; any other pointer is ignored.
//
// Destroying a manager first retires it from the thread-manager stack, so frames still open decode
// on the calling thread afterwards. Managers still alive when the module that made them is unloaded
// (or the program ends) are destroyed then, their threads joined: no thread of theirs outlives the
// module's code.
#pragma once

#include "orv/OrvLoader.h"

namespace KUtils {

// Default managers created and not yet destroyed.
int LiveDefaultThreadManagers();

}  // namespace KUtils
