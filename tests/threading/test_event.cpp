// Events on real threads: reset kinds, timeouts, no lost wake-ups, and an event freed by the
// waiter it released.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "support/platform/Threads.h"

using orv::platform::Event;

namespace {

double secondsSince(std::chrono::steady_clock::time_point begin) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}

}  // namespace

TEST(Event, ResetKindsOnOneThread) {
  Event manual(true);
  EXPECT_FALSE(manual.isSignalled());
  EXPECT_FALSE(manual.waitFor(0));
  manual.set();
  EXPECT_TRUE(manual.waitFor(0));
  EXPECT_TRUE(manual.waitFor(0));  // stays signalled
  manual.wait();
  manual.reset();
  EXPECT_FALSE(manual.isSignalled());
  EXPECT_FALSE(manual.waitFor(0));

  Event automatic(false, true);
  EXPECT_TRUE(automatic.isSignalled());
  EXPECT_TRUE(automatic.waitFor(0));
  EXPECT_FALSE(automatic.waitFor(0));  // taken by the first wait
  automatic.set();
  automatic.set();  // signals do not add up
  automatic.wait();
  EXPECT_FALSE(automatic.isSignalled());
  automatic.set();
  automatic.reset();
  EXPECT_FALSE(automatic.waitFor(0));
}

TEST(Event, WaitForTimesOutWithoutASignal) {
  Event never(true);
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(never.waitFor(30));
  const double seconds = secondsSince(begin);
  EXPECT_GE(seconds, 0.029);
  EXPECT_LT(seconds, 10.0);
  EXPECT_FALSE(never.waitFor(-5));
}

TEST(Event, ManualResetReleasesEveryWaiter) {
  Event gate(true);
  std::atomic<int> released{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 6; ++i) {
    waiters.emplace_back([&] {
      gate.wait();
      released.fetch_add(1);
    });
  }
  gate.set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(released.load(), 6);
}

TEST(Event, AutoResetReleasesOneWaiterPerSignal) {
  Event token(false);
  std::atomic<int> taken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&] {
      ASSERT_TRUE(token.waitFor(20000));
      taken.fetch_add(1);
    });
  }
  for (int signal = 1; signal <= 4; ++signal) {
    token.set();
    // The next signal only once this one is taken, so none coalesce.
    const auto begin = std::chrono::steady_clock::now();
    while (taken.load() < signal && secondsSince(begin) < 20) std::this_thread::yield();
    EXPECT_EQ(taken.load(), signal);
  }
  for (auto& waiter : waiters) waiter.join();
  EXPECT_FALSE(token.isSignalled());
}

TEST(Event, PingPongLosesNoWakeUp) {
  Event ping(false);
  Event pong(false);
  constexpr int kRounds = 5000;
  std::atomic<int> failures{0};
  std::thread partner([&] {
    for (int i = 0; i < kRounds; ++i) {
      if (!ping.waitFor(20000)) {
        failures.fetch_add(1);
        return;
      }
      pong.set();
    }
  });
  int completed = 0;
  for (; completed < kRounds; ++completed) {
    ping.set();
    if (!pong.waitFor(20000)) break;
  }
  partner.join();
  EXPECT_EQ(completed, kRounds);
  EXPECT_EQ(failures.load(), 0);
}

TEST(Event, WaiterMayFreeTheEventAsSoonAsItIsReleased) {
  // Caught by the address sanitizer if set() touched the event after releasing its waiter. One
  // waiter thread takes every event, so the rounds cost no thread start each.
  constexpr int kRounds = 2000;
  std::atomic<Event*> handed{nullptr};
  Event taken(false);
  std::thread waiter([&] {
    for (int round = 0; round < kRounds; ++round) {
      Event* signal = nullptr;
      while (!(signal = handed.exchange(nullptr))) std::this_thread::yield();
      taken.set();
      signal->wait();
      delete signal;
    }
  });
  for (int round = 0; round < kRounds; ++round) {
    Event* signal = new Event(round % 2 == 0);
    handed.store(signal);
    taken.wait();
    signal->set();  // the waiter may be asleep in wait() already, or about to call it
  }
  waiter.join();
}
