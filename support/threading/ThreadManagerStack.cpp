#include "support/threading/ThreadManagerStack.h"

#include <new>

#include "support/CvnArray.h"

namespace CVNUtils {
namespace {

using ManagerStack = CvnArray<KUtils::ThreadManager*, int>;

// Created on the first push, destroyed when a pop leaves it empty.
ManagerStack* stack = nullptr;
void (*retirementObserver)(KUtils::ThreadManager*) = nullptr;

}  // namespace

bool PushThreadManager(KUtils::ThreadManager* manager) {
  if (!manager) return false;
  if (!stack) {
    stack = new (std::nothrow) ManagerStack();
    if (!stack) return false;
  }
  if (!stack->Append(manager)) {
    // A failed growth empties the array: the stack is gone with it.
    delete stack;
    stack = nullptr;
    return false;
  }
  return true;
}

KUtils::ThreadManager* PopThreadManager() {
  if (!stack) return nullptr;
  KUtils::ThreadManager* top = stack->Pop();
  if (stack->empty()) {
    delete stack;
    stack = nullptr;
  }
  return top;
}

KUtils::ThreadManager* CurrentThreadManager() {
  if (!stack || stack->empty()) return nullptr;
  return (*stack)[stack->size() - 1];
}

int ThreadManagerStackDepth() { return stack ? stack->size() : 0; }

void RetireThreadManager(KUtils::ThreadManager* manager) {
  if (!manager) return;
  if (stack) {
    for (KUtils::ThreadManager*& entry : *stack) {
      if (entry == manager) entry = nullptr;
    }
  }
  if (retirementObserver) retirementObserver(manager);
}

void SetThreadManagerRetirementObserver(void (*observer)(KUtils::ThreadManager*)) {
  retirementObserver = observer;
}

}  // namespace CVNUtils
