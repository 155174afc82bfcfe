// What the Win32 side of the platform layer does that Linux does not: whole-file locks that a
// second process holds, wildcard listing that ignores case, the debugger output, thread names for
// debuggers, processor topology and affinity, and waits that window messages end.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/FramePattern.h"
#include "support/Log.h"
#include "support/platform/FileLock.h"
#include "support/platform/Platform.h"
#include "support/platform/Threads.h"
#include "support/platform/WideStringWin32.h"
#include "support/threading/DefaultThreadCount.h"
#include "tests/conversion/ScratchDirectory.h"

namespace {

using orv::platform::FileLockResult;

bool waitForFile(const std::string& path) {
  for (int waited = 0; waited < 30000; waited += 10) {
    if (std::filesystem::exists(path)) return true;
    Sleep(10);
  }
  return false;
}

TEST(Win32Files, SharedLockRefusedWhileAnotherProcessHoldsTheFile) {
  ScratchDirectory scratch;
  const std::string frame = scratch.file("locked.orv");
  std::filesystem::copy_file(ORV_REFERENCE_DIR "v5_zoned_fc03.orv", frame);
  const std::string ready = scratch.file("ready");
  const std::string release = scratch.file("release");
  std::wstring command = orv::platform::WideFromUtf8(
      ("\"" LOCK_HOLDER_PATH "\" \"" + frame + "\" \"" + ready + "\" \"" + release + "\"").c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION holder = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &holder));
  ASSERT_TRUE(waitForFile(ready));

  std::FILE* file = orv::platform::OpenFile(frame.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(orv::platform::TryLockWholeFile(file, false), FileLockResult::Busy);
  std::ofstream(release) << "";
  EXPECT_EQ(WaitForSingleObject(holder.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 1;
  GetExitCodeProcess(holder.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  CloseHandle(holder.hProcess);
  CloseHandle(holder.hThread);
  EXPECT_EQ(orv::platform::TryLockWholeFile(file, false), FileLockResult::Locked);
  // A second shared lock of this process goes along with the first.
  std::FILE* again = orv::platform::OpenFile(frame.c_str(), "rb");
  EXPECT_EQ(orv::platform::TryLockWholeFile(again, false), FileLockResult::Locked);
  orv::platform::UnlockWholeFile(again);
  std::fclose(again);
  orv::platform::UnlockWholeFile(file);
  std::fclose(file);
}

TEST(Win32Files, WildcardListingIgnoresCase) {
  ScratchDirectory scratch;
  for (const char* name : {"fire_0001.orv", "Fire_0002.ORV", "smoke_0001.orv"}) {
    std::ofstream(scratch.file(name)) << "";
  }
  const struct {
    const char* pattern;
    int matches;
  } cases[] = {{"FIRE_*.orv", 2}, {"fire_000?.ORV", 2}, {"*_0001.*", 2}, {"SMOKE*", 1}, {"ash_*", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    StringList found;
    EXPECT_EQ(ListMatchingFiles((scratch.path().string() + "/" + c.pattern).c_str(), found),
              c.matches > 0);
    EXPECT_EQ(found.count(), c.matches);
  }
}

// What a debugger is told: the texts of the debug-print exceptions and the thread names of the
// naming exception, seen by a handler that comes before any other of the process.
struct DebuggerView {
  std::vector<std::string> narrow, wide, threadNames;
};
DebuggerView* view = nullptr;

LONG CALLBACK watch(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (!view) return EXCEPTION_CONTINUE_SEARCH;
  constexpr DWORD kPrint = 0x40010006, kPrintWide = 0x4001000A, kThreadName = 0x406D1388;
  if (record.ExceptionCode == kPrint && record.NumberParameters >= 2) {
    view->narrow.emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
  } else if (record.ExceptionCode == kPrintWide && record.NumberParameters >= 2) {
    view->wide.push_back(orv::platform::Utf8FromWide(
        reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1])));
  } else if (record.ExceptionCode == kThreadName && record.NumberParameters >= 2) {
    view->threadNames.emplace_back(reinterpret_cast<const char*>(record.ExceptionInformation[1]));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

class Win32Debugger : public ::testing::Test {
 protected:
  void SetUp() override {
    view = &seen;
    handler = AddVectoredExceptionHandler(1, watch);
    ASSERT_NE(handler, nullptr);
  }
  void TearDown() override {
    RemoveVectoredExceptionHandler(handler);
    view = nullptr;
  }
  static bool has(const std::vector<std::string>& texts, const std::string& text) {
    for (const std::string& seenText : texts) {
      if (seenText == text) return true;
    }
    return false;
  }
  DebuggerView seen;
  void* handler = nullptr;
};

TEST_F(Win32Debugger, LogLinesAndDebugPrintsReachOutputDebugString) {
  LogMessage("#frame %d refused\n", 7);
  LogMessage("not for the debugger\n");
  DebugPrint("[WinThreadManager] naïve 𝄞 %i\n", 3);
  EXPECT_TRUE(has(seen.narrow, "#frame 7 refused\n"));
  EXPECT_FALSE(has(seen.narrow, "not for the debugger\n"));
  // UTF-16 for DebugPrint; a system that passes it on in 8 bits shows at least the text around.
  if (!seen.wide.empty()) {
    EXPECT_TRUE(has(seen.wide, "[WinThreadManager] naïve 𝄞 3\n"));
  } else {
    EXPECT_EQ(seen.narrow.size(), 2u);
  }
}

TEST_F(Win32Debugger, ThreadNamesReachDebuggerAndSystem) {
  using Describe = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const auto describe = reinterpret_cast<Describe>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  std::string described;
  std::thread([&] {
    orv::platform::SetCurrentThreadName("orv-decoder 𝄞");
    PWSTR name = nullptr;
    if (describe && SUCCEEDED(describe(GetCurrentThread(), &name)) && name) {
      described = orv::platform::Utf8FromWide(name);
      LocalFree(name);
    }
  }).join();
  EXPECT_TRUE(has(seen.threadNames, "orv-decoder 𝄞"));
  if (describe) {
    EXPECT_EQ(described, "orv-decoder 𝄞");
  }
}

TEST(Win32Topology, ProcessorsAndAffinityFromTheSystem) {
  DWORD_PTR processMask = 0, systemMask = 0;
  ASSERT_TRUE(GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask));
  const int processors = __builtin_popcountll(processMask);
  EXPECT_EQ(orv::platform::UsableProcessorCount(), processors);
  EXPECT_EQ(static_cast<int>(orv::platform::ProcessAffinityProcessors().size()), processors);
  EXPECT_FALSE(orv::platform::ReadNumaNodeCpuLists().empty());
  EXPECT_EQ(CVNUtils::NumaProcessorCount(), processors);

  const unsigned long long lowest = processMask & (~processMask + 1);
  GROUP_AFFINITY before = {}, pinned = {}, after = {};
  ASSERT_TRUE(GetThreadGroupAffinity(GetCurrentThread(), &before));
  {
    orv::platform::ScopedThreadAffinity onOne(0, lowest);
    ASSERT_TRUE(GetThreadGroupAffinity(GetCurrentThread(), &pinned));
    EXPECT_EQ(pinned.Mask, lowest);
  }
  ASSERT_TRUE(GetThreadGroupAffinity(GetCurrentThread(), &after));
  EXPECT_EQ(after.Mask, before.Mask);
  EXPECT_TRUE(orv::platform::SetCurrentThreadAffinity(0, lowest));
  EXPECT_TRUE(orv::platform::SetCurrentThreadAffinityToProcess());
  ASSERT_TRUE(GetThreadGroupAffinity(GetCurrentThread(), &after));
  EXPECT_EQ(after.Mask, processMask);
}

TEST(Win32Threads, WindowMessagesEndAPumpingWaitAndAreDispatched) {
  MSG message;
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);  // gives this thread its message queue
  orv::platform::Event never(true);
  ASSERT_TRUE(PostThreadMessageW(GetCurrentThreadId(), WM_USER, 0, 0));
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_FALSE(never.waitForOrInput(10000));
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
  EXPECT_TRUE(orv::platform::DispatchOneWindowMessage());
  EXPECT_FALSE(orv::platform::DispatchOneWindowMessage());
  never.set();
  EXPECT_TRUE(never.waitForOrInput(10000));
}

}  // namespace
