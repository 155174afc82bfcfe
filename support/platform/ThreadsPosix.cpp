// POSIX implementation of the thread services: threads, sleeping, the clock and thread-local slots.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <climits>
#include <new>

#include "support/platform/Threads.h"

namespace orv {
namespace platform {

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
