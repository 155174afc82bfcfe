// The loader-wide stack of thread managers. The top element is the manager that parallel jobs use.
// The stack does not own the managers. It changes only while the loader is initialised or
// finalised, or a default manager is destroyed, from one thread at a time, and is read without a
// lock.
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

// `manager` is about to be destroyed: every entry of it stays on the stack as an empty place
// (parallel jobs then run on the calling thread, and a pop still removes one entry per push), and
// the retirement observer, if any, is told.
void RetireThreadManager(KUtils::ThreadManager* manager);
// The one observer of retirements (null: none), so that holders outside the stack let go too.
void SetThreadManagerRetirementObserver(void (*observer)(KUtils::ThreadManager*));

}  // namespace CVNUtils
