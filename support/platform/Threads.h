// Thread services of the runtime: events, threads and their handles, names, priority, affinity,
// thread-local slots, processor topology and sleeping. Everything that touches the operating
// system's threading lives behind this header.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

namespace orv {
namespace platform {

// A signalled/unsignalled flag threads can wait on. A manual-reset event stays signalled until
// reset; an auto-reset event releases one waiter and clears itself.
class Event {
 public:
  explicit Event(bool manualReset, bool initiallySignalled = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void set();
  void reset();
  void wait();
  // False when the event was not signalled within `milliseconds`.
  bool waitFor(int milliseconds);
  // waitFor that also returns (false) early when input or a window message arrives for the
  // calling thread, so that its caller can pump; where there are no window messages, waitFor.
  bool waitForOrInput(int milliseconds);
  bool isSignalled();

 private:
  enum State { kUnset, kSet, kUnsetWithSleepers };
  // True when the state word says signalled; an auto-reset event is cleared by the caller that
  // sees it.
  bool tryTake() {
    int observed = state.load();
    while (observed == kSet) {
      if (manual || state.compare_exchange_weak(observed, kUnset)) return true;
    }
    return false;
  }
  // Sleeps until the event may have changed or `limit` passed (negative: no limit).
  void sleepWhileUnset(std::chrono::nanoseconds limit);

  const bool manual;
  // One word, so that set() touches nothing else once a waiter can see the event signalled:
  // that waiter may destroy the event as soon as it returns. Where the system has event objects,
  // `handle` is the event and the word is used only when none could be created.
  std::atomic<int> state;
  void* handle = nullptr;
};

// Takes one pending window message of the calling thread off its queue and dispatches it; false
// when there was none (always, where there are no window messages).
bool DispatchOneWindowMessage();

// A joinable thread started by StartThread; given back by JoinThread or DetachThread.
using ThreadHandle = void*;

// Starts `body(argument)` on a new joinable thread with `stackBytes` of stack (0: the platform
// default). Null when the thread cannot be created.
ThreadHandle StartThread(void (*body)(void*), void* argument, int stackBytes);
// Waits until the thread has ended, returned from every code of its start function included.
void JoinThread(ThreadHandle thread);
// Lets the thread run on unjoined; the handle is no longer valid.
void DetachThread(ThreadHandle thread);

bool SetCurrentThreadAffinity(int group, unsigned long long mask);
// Affinity of the calling thread to every processor the process may use.
bool SetCurrentThreadAffinityToProcess();

// The processors the calling thread may run on, ascending, and the one it runs on now (-1 when
// unknown).
std::vector<int> CurrentThreadAffinityProcessors();
int CurrentProcessorNumber();

// Pins the calling thread to the processors of `mask` in processor group `group` while it lives,
// then gives the thread back the affinity it had before.
class ScopedThreadAffinity {
 public:
  ScopedThreadAffinity(int group, unsigned long long mask);
  ~ScopedThreadAffinity();
  ScopedThreadAffinity(const ScopedThreadAffinity&) = delete;
  ScopedThreadAffinity& operator=(const ScopedThreadAffinity&) = delete;

 private:
  alignas(8) unsigned char saved[128];  // the earlier affinity, in the platform's own form
  bool restore = false;
};

// Names the calling thread for debuggers (cut to the platform's limit).
void SetCurrentThreadName(const char* name);
// Below-normal (low) or normal scheduling priority for the calling thread. Raising a lowered
// thread back may be refused without privileges; the result says whether the change took effect.
bool SetCurrentThreadLowPriority(bool low);
// The calling thread's scheduling level (a nice value: higher runs later) and setting it. Lowering
// a thread relative to the level it started with needs no privileges.
int CurrentThreadPriorityLevel();
bool SetCurrentThreadPriorityLevel(int level);

// Processors the process may run on (at least 1).
int UsableProcessorCount();
// The processors the process may run on, ascending.
std::vector<int> ProcessAffinityProcessors();

struct NumaNodeCpuList {
  int node;
  std::string cpuList;  // as the kernel lists it, e.g. "0-3,8-11"
};
// The processor lists of the NUMA nodes, by ascending node number; empty without NUMA topology.
std::vector<NumaNodeCpuList> ReadNumaNodeCpuLists();

void SleepMilliseconds(int milliseconds);
long long MonotonicMilliseconds();

// One thread-local pointer slot per object; several slots may coexist.
class ThreadLocalSlot {
 public:
  ThreadLocalSlot();
  ~ThreadLocalSlot();
  ThreadLocalSlot(const ThreadLocalSlot&) = delete;
  ThreadLocalSlot& operator=(const ThreadLocalSlot&) = delete;

  void* get() const;
  void set(void* value);

 private:
  unsigned int key;
  bool valid;
};

}  // namespace platform
}  // namespace orv
