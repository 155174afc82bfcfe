// Win32 implementation of the thread services: _beginthreadex threads, thread priorities and
// names, thread-local storage slots, sleeping and the clock.
#include <windows.h>

#include <process.h>

#include <new>

#include "support/platform/Threads.h"
#include "support/platform/WideStringWin32.h"

namespace orv {
namespace platform {

namespace {

struct StartRecord {
  void (*body)(void*);
  void* argument;
};

unsigned __stdcall threadEntry(void* raw) {
  StartRecord start = *static_cast<StartRecord*>(raw);
  delete static_cast<StartRecord*>(raw);
  start.body(start.argument);
  return 0;
}

}  // namespace

ThreadHandle StartThread(void (*body)(void*), void* argument, int stackBytes) {
  auto* start = new (std::nothrow) StartRecord{body, argument};
  if (!start) return nullptr;
  const unsigned stack = stackBytes > 0 ? static_cast<unsigned>(stackBytes) : 0;
  const uintptr_t thread = _beginthreadex(nullptr, stack, threadEntry, start, 0, nullptr);
  if (!thread) {
    delete start;
    return nullptr;
  }
  return reinterpret_cast<ThreadHandle>(thread);
}

void JoinThread(ThreadHandle thread) {
  if (!thread) return;
  WaitForSingleObject(static_cast<HANDLE>(thread), INFINITE);
  CloseHandle(static_cast<HANDLE>(thread));
}

void DetachThread(ThreadHandle thread) {
  if (thread) CloseHandle(static_cast<HANDLE>(thread));
}

namespace {

// The debugger's thread-naming exception and its record.
constexpr DWORD kSetThreadNameException = 0x406D1388;
#pragma pack(push, 8)
struct ThreadNameInfo {
  DWORD type;  // 0x1000
  LPCSTR name;
  DWORD threadId;  // -1: the calling thread
  DWORD flags;
};
#pragma pack(pop)

// Without a debugger nobody handles the naming exception; this handler, the last of the vectored
// ones, lets it pass. A debugger sees the exception before any handler of the process.
LONG CALLBACK passNamingException(EXCEPTION_POINTERS* exception) {
  return exception->ExceptionRecord->ExceptionCode == kSetThreadNameException
             ? EXCEPTION_CONTINUE_EXECUTION
             : EXCEPTION_CONTINUE_SEARCH;
}

using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);

}  // namespace

void SetCurrentThreadName(const char* name) {
  if (!name) return;
  // The name kept by the system (Windows 10 1607 and later), which debuggers and tools read.
  static const auto describe = reinterpret_cast<SetThreadDescriptionFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
  if (describe) describe(GetCurrentThread(), WideFromUtf8(name).c_str());
  // The name for debuggers attached now, by the exception they listen for.
  static const bool handled = AddVectoredExceptionHandler(0, passNamingException) != nullptr;
  if (!handled) return;
  ThreadNameInfo info = {0x1000, name, static_cast<DWORD>(-1), 0};
  RaiseException(kSetThreadNameException, 0, sizeof info / sizeof(ULONG_PTR),
                 reinterpret_cast<const ULONG_PTR*>(&info));
}

bool SetCurrentThreadLowPriority(bool low) {
  return SetThreadPriority(GetCurrentThread(),
                           low ? THREAD_PRIORITY_BELOW_NORMAL : THREAD_PRIORITY_NORMAL) != 0;
}

// Levels are nice values (higher runs later): the negated thread priority, -2 to 2.
int CurrentThreadPriorityLevel() {
  const int priority = GetThreadPriority(GetCurrentThread());
  return priority == THREAD_PRIORITY_ERROR_RETURN ? 0 : -priority;
}

bool SetCurrentThreadPriorityLevel(int level) {
  int priority = -level;
  if (priority < THREAD_PRIORITY_LOWEST) priority = THREAD_PRIORITY_LOWEST;
  if (priority > THREAD_PRIORITY_HIGHEST) priority = THREAD_PRIORITY_HIGHEST;
  return SetThreadPriority(GetCurrentThread(), priority) != 0;
}

void SleepMilliseconds(int milliseconds) { Sleep(milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0); }

long long MonotonicMilliseconds() { return static_cast<long long>(GetTickCount64()); }

ThreadLocalSlot::ThreadLocalSlot() : key(TlsAlloc()), valid(key != TLS_OUT_OF_INDEXES) {}

ThreadLocalSlot::~ThreadLocalSlot() {
  if (valid) TlsFree(key);
}

void* ThreadLocalSlot::get() const { return valid ? TlsGetValue(key) : nullptr; }

void ThreadLocalSlot::set(void* value) {
  if (valid) TlsSetValue(key, value);
}

}  // namespace platform
}  // namespace orv
