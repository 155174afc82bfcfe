// The loader-wide stack of thread managers. The top element is the manager that parallel jobs use.
// The stack does not own the managers. It changes only while the loader is initialised or
// finalised, from one thread at a time, and is read without a lock.
#pragma once

#include "orv/ThreadManager.h"

namespace CVNUtils {

// Pushes `manager` (null is ignored); false when the stack cannot grow.
bool PushThreadManager(KUtils::ThreadManager* manager);
// Removes and returns the top manager; null when the stack is empty.
KUtils::ThreadManager* PopThreadManager();
// The top manager, or null.
KUtils::ThreadManager* CurrentThreadManager();
int ThreadManagerStackDepth();

}  // namespace CVNUtils
