// Win32 implementation of Event: a kernel event object (manual- or auto-reset), so that a waiter
// can also wake for window messages. Should the system refuse the object, the event falls back
// to its state word, polled once a millisecond.
#include <windows.h>

#include "support/platform/Threads.h"

namespace orv {
namespace platform {

namespace {

// NtQueryEvent reads an event's state without taking it (there is no kernel32 call that does).
struct EventBasicInformation {
  int eventType;
  LONG eventState;
};
using QueryEventFunction = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);

QueryEventFunction queryEvent() {
  static const QueryEventFunction function = reinterpret_cast<QueryEventFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryEvent")));
  return function;
}

}  // namespace

Event::Event(bool manualReset, bool initiallySignalled)
    : manual(manualReset),
      state(initiallySignalled ? kSet : kUnset),
      handle(CreateEventW(nullptr, manualReset, initiallySignalled, nullptr)) {}

Event::~Event() {
  if (handle) CloseHandle(handle);
}

void Event::set() {
  if (handle) {
    SetEvent(handle);
  } else {
    state.store(kSet);
  }
}

void Event::reset() {
  if (handle) {
    ResetEvent(handle);
  } else {
    state.store(kUnset);
  }
}

void Event::sleepWhileUnset(std::chrono::nanoseconds /*limit*/) { Sleep(1); }

void Event::wait() {
  if (handle) {
    WaitForSingleObject(handle, INFINITE);
    return;
  }
  while (!tryTake()) sleepWhileUnset(std::chrono::nanoseconds(-1));
}

bool Event::waitFor(int milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  if (handle) return WaitForSingleObject(handle, static_cast<DWORD>(milliseconds)) == WAIT_OBJECT_0;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
  for (;;) {
    if (tryTake()) return true;
    if (GetTickCount64() >= deadline) return false;
    sleepWhileUnset(std::chrono::milliseconds(1));
  }
}

bool Event::waitForOrInput(int milliseconds) {
  if (!handle) return waitFor(milliseconds);
  if (milliseconds < 0) milliseconds = 0;
  return MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(milliseconds),
                                   QS_ALLINPUT) == WAIT_OBJECT_0;
}

bool Event::isSignalled() {
  if (!handle) return state.load() == kSet;
  EventBasicInformation information = {};
  if (QueryEventFunction query = queryEvent()) {
    if (query(handle, 0, &information, sizeof information, nullptr) >= 0) {
      return information.eventState != 0;
    }
  }
  // Without the query: take the signal and give it back.
  if (WaitForSingleObject(handle, 0) != WAIT_OBJECT_0) return false;
  if (!manual) SetEvent(handle);
  return true;
}

bool DispatchOneWindowMessage() {
  MSG message;
  if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return false;
  TranslateMessage(&message);
  DispatchMessageA(&message);
  return true;
}

}  // namespace platform
}  // namespace orv
