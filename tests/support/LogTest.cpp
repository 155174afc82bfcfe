// LogMessage: which lines reach the debugger output, the length cut, whole lines from two threads.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "support/Log.h"
#include "support/platform/Platform.h"
#include "TestFiles.h"
#include "tests/support/CapturedOutput.h"

TEST(LogMessage, OnlyHashFormatsReachTheDebuggerOutput) {
  DebugCapture capture;
  LogMessage("plain %d\n", 1);
  LogMessage("#marked %d\n", 2);
  LogMessage(nullptr);
  DebugPrint("debug %s\n", "print");
  ASSERT_EQ(capture.lines().size(), 2u);
  EXPECT_EQ(capture.lines()[0], "#marked 2\n");
  EXPECT_EQ(capture.lines()[1], "debug print\n");
}

TEST(LogMessage, LongMessagesAreCutToTheBuffer) {
  DebugCapture capture;
  const std::string longText(5000, 'x');
  LogMessage("#%s", longText.c_str());
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0], "#" + std::string(1022, 'x'));
}

TEST(FormatBounded, ReportsTextThatDoesNotFit) {
  char buffer[8];
  EXPECT_EQ(FormatBounded(buffer, sizeof buffer, "%s", "1234567"), 7);
  EXPECT_EQ(FormatBounded(buffer, sizeof buffer, "%s", "12345678"), -1);
  EXPECT_STREQ(buffer, "1234567");
  EXPECT_EQ(FormatBounded(buffer, 0, "%s", "x"), 0);
}

// Two threads log at once, the log lock made by whichever comes first: every line of the log file
// must arrive whole, with its date prefix, and none may be lost.
TEST(LogMessage, TwoThreadsWriteWholeLines) {
  const std::string path = ProcessTempPath("two-threads.log");
  std::remove(path.c_str());
  SetLogFilePath(path.c_str());
  SetLogDateTimePrefix(true);
  constexpr int kLines = 400;
  const std::string payload(300, 'p');
  auto writer = [&](char name) {
    for (int i = 0; i < kLines; ++i) LogMessage("#%c %d %s\n", name, i, payload.c_str());
  };
  {
    DebugCapture capture;
    std::thread a(writer, 'a');
    std::thread b(writer, 'b');
    a.join();
    b.join();
    EXPECT_EQ(capture.lines().size(), 2u * kLines);
  }
  SetLogFilePath(nullptr);
  SetLogDateTimePrefix(false);

  std::ifstream file(path);
  std::map<char, int> nextIndex{{'a', 0}, {'b', 0}};
  std::string line;
  int lines = 0;
  while (std::getline(file, line)) {
    ++lines;
    ASSERT_EQ(line.front(), '[') << line;
    const size_t close = line.find("] ");
    ASSERT_NE(close, std::string::npos) << line;
    char name = 0;
    int index = -1;
    char rest[400] = {};
    ASSERT_EQ(std::sscanf(line.c_str() + close + 2, "%c %d %399s", &name, &index, rest), 3) << line;
    ASSERT_TRUE(name == 'a' || name == 'b') << line;
    EXPECT_EQ(index, nextIndex[name]++) << line;
    EXPECT_EQ(rest, payload) << line;
  }
  EXPECT_EQ(lines, 2 * kLines);
  std::remove(path.c_str());
}
