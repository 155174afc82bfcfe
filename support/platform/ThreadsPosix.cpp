// POSIX implementation of the thread services.
#include "support/platform/Threads.h"

#include <dirent.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <sstream>

namespace orv {
namespace platform {

// Events sleep on their state word with a futex. A waiter marks the word before it sleeps, so
// set() makes a system call only when someone may be sleeping; waking touches no memory of the
// event, which a woken waiter may already have freed.
namespace {

void futexSleep(std::atomic<int>& word, int expected, const timespec* timeout) {
  syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAIT_PRIVATE, expected, timeout,
          nullptr, 0);
}

void futexWakeAll(std::atomic<int>& word) {
  syscall(SYS_futex, reinterpret_cast<int*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr,
          nullptr, 0);
}

}  // namespace

void Event::set() {
  // Every sleeper wakes, also for an auto-reset event: one takes the signal, the others sleep
  // again.
  if (state.exchange(kSet) == kUnsetWithSleepers) futexWakeAll(state);
}

void Event::reset() {
  int expected = kSet;
  state.compare_exchange_strong(expected, kUnset);
}

bool Event::tryTake() {
  int observed = state.load();
  while (observed == kSet) {
    if (manual || state.compare_exchange_weak(observed, kUnset)) return true;
  }
  return false;
}

void Event::sleepWhileUnset(std::chrono::nanoseconds limit) {
  int expected = kUnset;
  if (!state.compare_exchange_strong(expected, kUnsetWithSleepers) &&
      expected != kUnsetWithSleepers) {
    return;  // signalled meanwhile
  }
  if (limit < std::chrono::nanoseconds::zero()) {
    futexSleep(state, kUnsetWithSleepers, nullptr);
    return;
  }
  timespec timeout;
  timeout.tv_sec = static_cast<time_t>(limit.count() / 1000000000);
  timeout.tv_nsec = static_cast<long>(limit.count() % 1000000000);
  futexSleep(state, kUnsetWithSleepers, &timeout);
}

void Event::wait() {
  while (!tryTake()) sleepWhileUnset(std::chrono::nanoseconds(-1));
}

bool Event::waitFor(int milliseconds) {
  if (tryTake()) return true;
  if (milliseconds <= 0) return false;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    const auto remaining = deadline - Clock::now();
    if (remaining <= Clock::duration::zero()) return tryTake();
    sleepWhileUnset(remaining);
    if (tryTake()) return true;
  }
}

bool Event::isSignalled() { return state.load() == kSet; }

namespace {

struct StartRecord {
  void (*body)(void*);
  void* argument;
};

void* threadEntry(void* raw) {
  StartRecord start = *static_cast<StartRecord*>(raw);
  delete static_cast<StartRecord*>(raw);
  start.body(start.argument);
  return nullptr;
}

bool fillCpuSet(int group, unsigned long long mask, cpu_set_t& set) {
  CPU_ZERO(&set);
  bool any = false;
  for (int bit = 0; bit < 64; ++bit) {
    if (!(mask & (1ull << bit))) continue;
    const int cpu = group * 64 + bit;
    if (cpu < 0 || cpu >= CPU_SETSIZE) continue;
    CPU_SET(cpu, &set);
    any = true;
  }
  return any;
}

bool processCpuSet(cpu_set_t& set) {
  CPU_ZERO(&set);
  return sched_getaffinity(getpid(), sizeof set, &set) == 0;
}

}  // namespace

ThreadHandle StartThread(void (*body)(void*), void* argument, int stackBytes) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return nullptr;
  if (stackBytes > 0) {
    size_t bytes = static_cast<size_t>(stackBytes);
    if (bytes < static_cast<size_t>(PTHREAD_STACK_MIN)) bytes = PTHREAD_STACK_MIN;
    pthread_attr_setstacksize(&attributes, bytes);
  }
  auto* start = new (std::nothrow) StartRecord{body, argument};
  auto* thread = new (std::nothrow) pthread_t;
  const int result =
      start && thread ? pthread_create(thread, &attributes, threadEntry, start) : ENOMEM;
  pthread_attr_destroy(&attributes);
  if (result != 0) {
    delete start;
    delete thread;
    return nullptr;
  }
  return thread;
}

void JoinThread(ThreadHandle thread) {
  if (!thread) return;
  pthread_join(*static_cast<pthread_t*>(thread), nullptr);
  delete static_cast<pthread_t*>(thread);
}

void DetachThread(ThreadHandle thread) {
  if (!thread) return;
  pthread_detach(*static_cast<pthread_t*>(thread));
  delete static_cast<pthread_t*>(thread);
}

bool SetCurrentThreadAffinity(int group, unsigned long long mask) {
  cpu_set_t set;
  if (!fillCpuSet(group, mask, set)) return false;
  return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

bool SetCurrentThreadAffinityToProcess() {
  cpu_set_t set;
  if (!processCpuSet(set)) return false;
  return pthread_setaffinity_np(pthread_self(), sizeof set, &set) == 0;
}

static_assert(sizeof(cpu_set_t) <= 128, "ScopedThreadAffinity keeps a cpu_set_t");

ScopedThreadAffinity::ScopedThreadAffinity(int group, unsigned long long mask) {
  cpu_set_t earlier, wanted;
  if (!fillCpuSet(group, mask, wanted)) return;
  if (pthread_getaffinity_np(pthread_self(), sizeof earlier, &earlier) != 0) return;
  std::memcpy(saved, &earlier, sizeof earlier);
  restore = pthread_setaffinity_np(pthread_self(), sizeof wanted, &wanted) == 0;
}

ScopedThreadAffinity::~ScopedThreadAffinity() {
  if (!restore) return;
  cpu_set_t earlier;
  std::memcpy(&earlier, saved, sizeof earlier);
  pthread_setaffinity_np(pthread_self(), sizeof earlier, &earlier);
}

void SetCurrentThreadName(const char* name) {
  if (!name) return;
  char shortName[16];
  std::snprintf(shortName, sizeof shortName, "%s", name);
  pthread_setname_np(pthread_self(), shortName);
}

bool SetCurrentThreadLowPriority(bool low) {
  const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), low ? 1 : 0) == 0;
}

int CurrentThreadPriorityLevel() {
  const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
  errno = 0;
  const int level = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
  return errno == 0 ? level : 0;
}

bool SetCurrentThreadPriorityLevel(int level) {
  const pid_t thread = static_cast<pid_t>(syscall(SYS_gettid));
  return setpriority(PRIO_PROCESS, static_cast<id_t>(thread), level) == 0;
}

int UsableProcessorCount() {
  cpu_set_t set;
  if (processCpuSet(set)) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

std::vector<int> ProcessAffinityProcessors() {
  std::vector<int> cpus;
  cpu_set_t set;
  if (!processCpuSet(set)) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
  return cpus;
}

std::vector<NumaNodeCpuList> ReadNumaNodeCpuLists() {
  std::vector<NumaNodeCpuList> nodes;
  const char* root = "/sys/devices/system/node";
  DIR* directory = opendir(root);
  if (!directory) return nodes;
  while (dirent* entry = readdir(directory)) {
    const char* name = entry->d_name;
    if (std::strncmp(name, "node", 4) != 0 || name[4] < '0' || name[4] > '9') continue;
    char* tail = nullptr;
    const long node = std::strtol(name + 4, &tail, 10);
    if (*tail != '\0' || node < 0 || node > 1 << 20) continue;
    std::ifstream file(std::string(root) + "/" + name + "/cpulist");
    if (!file) continue;
    std::string text;
    std::getline(file, text);
    nodes.push_back({static_cast<int>(node), text});
  }
  closedir(directory);
  std::sort(nodes.begin(), nodes.end(),
            [](const NumaNodeCpuList& a, const NumaNodeCpuList& b) { return a.node < b.node; });
  return nodes;
}

void SleepMilliseconds(int milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  timespec duration{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&duration, &duration) != 0) {
  }
}

long long MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

ThreadLocalSlot::ThreadLocalSlot() : key(0), valid(false) {
  pthread_key_t created;
  if (pthread_key_create(&created, nullptr) == 0) {
    key = static_cast<unsigned int>(created);
    valid = true;
  }
}

ThreadLocalSlot::~ThreadLocalSlot() {
  if (valid) pthread_key_delete(static_cast<pthread_key_t>(key));
}

void* ThreadLocalSlot::get() const {
  return valid ? pthread_getspecific(static_cast<pthread_key_t>(key)) : nullptr;
}

void ThreadLocalSlot::set(void* value) {
  if (valid) pthread_setspecific(static_cast<pthread_key_t>(key), value);
}

}  // namespace platform
}  // namespace orv
