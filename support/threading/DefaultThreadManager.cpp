#include "support/threading/DefaultThreadManager.h"

#include <memory>
#include <mutex>
#include <new>

#include "support/CvnArray.h"
#include "support/ExceptionGuard.h"
#include "support/threading/ThreadManagerStack.h"
#include "support/threading/WinThreadManager.h"

namespace {

// The managers made by createDefaultThreadManager, so that a foreign or already destroyed pointer
// is never deleted.
struct DefaultManagers {
  std::mutex lock;
  CVNUtils::CvnArray<KUtils::ThreadManager*, int> live;
};

DefaultManagers& defaultManagers() {
  static DefaultManagers* managers = new DefaultManagers;  // outlives static destructors
  return *managers;
}

// Destroys the managers a host left alive when this module is unloaded or the program ends.
struct ManagersLeftAtUnload {
  ~ManagersLeftAtUnload() {
    DefaultManagers& managers = defaultManagers();
    CVNUtils::CvnArray<KUtils::ThreadManager*, int> left;
    {
      std::lock_guard<std::mutex> guard(managers.lock);
      left = std::move(managers.live);
    }
    for (KUtils::ThreadManager* manager : left) delete static_cast<KUtils::WinThreadManager*>(manager);
  }
};

KUtils::ThreadManager* createTrackedManager() {
  static ManagersLeftAtUnload cleanup;
  // Owned here until it is tracked, so an exception on the way frees it.
  std::unique_ptr<KUtils::WinThreadManager> manager(new (std::nothrow) KUtils::WinThreadManager());
  if (!manager) return nullptr;
  DefaultManagers& managers = defaultManagers();
  std::lock_guard<std::mutex> guard(managers.lock);
  if (!managers.live.Append(manager.get())) {
    // The failed growth dropped the list of the others too: they can no longer be destroyed, but
    // this one is not handed out untracked.
    return nullptr;
  }
  return manager.release();
}

void destroyTrackedManager(KUtils::ThreadManager* manager) {
  if (!manager) return;
  KUtils::WinThreadManager* owned = nullptr;
  {
    DefaultManagers& managers = defaultManagers();
    std::lock_guard<std::mutex> guard(managers.lock);
    for (int i = 0; i < managers.live.size(); ++i) {
      if (managers.live[i] != manager) continue;
      owned = static_cast<KUtils::WinThreadManager*>(manager);
      managers.live[i] = managers.live[managers.live.size() - 1];
      managers.live.Pop();
      break;
    }
  }
  if (!owned) return;
  // Retired before it goes, so that parallel work started afterwards never finds it.
  CVNUtils::RetireThreadManager(owned);
  delete owned;
}

}  // namespace

KUtils::ThreadManager* createDefaultThreadManager() {
  return orv::GuardedCall("createDefaultThreadManager", static_cast<KUtils::ThreadManager*>(nullptr),
                          [] { return createTrackedManager(); });
}

void destroyDefaultThreadManager(KUtils::ThreadManager* manager) {
  orv::GuardedCall("destroyDefaultThreadManager", [&] { destroyTrackedManager(manager); });
}

namespace KUtils {

int LiveDefaultThreadManagers() {
  DefaultManagers& managers = defaultManagers();
  std::lock_guard<std::mutex> guard(managers.lock);
  return managers.live.size();
}

}  // namespace KUtils
