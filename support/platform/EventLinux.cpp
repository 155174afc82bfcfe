// Linux implementation of Event: the state word itself is the futex threads sleep on.
#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <climits>

#include "support/platform/Threads.h"

namespace orv {
namespace platform {

Event::Event(bool manualReset, bool initiallySignalled)
    : manual(manualReset), state(initiallySignalled ? kSet : kUnset) {}

Event::~Event() = default;

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

bool Event::waitForOrInput(int milliseconds) { return waitFor(milliseconds); }

bool DispatchOneWindowMessage() { return false; }

}  // namespace platform
}  // namespace orv
