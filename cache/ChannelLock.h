// The frame's recursive spin lock over channel expansion: the owning thread may re-enter it, so
// derived channels can expand their sources while holding it.
#pragma once

#include <atomic>
#include <thread>

class ChannelLock {
 public:
  void acquire() {
    const std::thread::id self = std::this_thread::get_id();
    if (owner_.load(std::memory_order_acquire) == self) {
      ++recursion_;
      return;
    }
    while (word_.exchange(1, std::memory_order_acquire) != 0) std::this_thread::yield();
    owner_.store(self, std::memory_order_release);
    recursion_ = 1;
  }
  void release() {
    if (--recursion_ <= 0) {
      owner_.store(std::thread::id(), std::memory_order_release);
      word_.exchange(0, std::memory_order_release);
    }
  }

 private:
  std::atomic<int> word_{0};
  std::atomic<std::thread::id> owner_{};
  int recursion_ = 0;
};

class ChannelLockGuard {
 public:
  explicit ChannelLockGuard(ChannelLock& lock) : lock_(lock) { lock_.acquire(); }
  ~ChannelLockGuard() { lock_.release(); }
  ChannelLockGuard(const ChannelLockGuard&) = delete;
  ChannelLockGuard& operator=(const ChannelLockGuard&) = delete;

 private:
  ChannelLock& lock_;
};
