// Frames opened through newIOrv are shared by path, mapping string and modification time, and live
// until their last release.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "orv/OrvLoader.h"
#include "support/Log.h"
#include "tests/conversion/FrameFiles.h"
#include "tests/conversion/ScratchDirectory.h"

namespace {

// Collects the loader's reference-count lines while it exists.
class ReferenceLog {
 public:
  ReferenceLog() { SetLogObserver(&ReferenceLog::observe, this); }
  ~ReferenceLog() { SetLogObserver(nullptr, nullptr); }

  // The reference-count lines so far with the frame address cut out: "refCount=1 1, I:0, path".
  std::vector<std::string> take() {
    std::vector<std::string> taken;
    taken.swap(lines_);
    return taken;
  }

 private:
  static void observe(const char* message, void* context) {
    const std::string text = message;
    const std::string prefix = "CorvaneFrameData ";
    if (text.compare(0, prefix.size(), prefix) != 0) return;
    // "CorvaneFrameData refCount++ 0123ABCD 2, I:0, path\n": drop the address word.
    const size_t operation = text.find(' ', prefix.size());
    const size_t address = text.find(' ', operation + 1);
    if (operation == std::string::npos || address == std::string::npos) return;
    std::string line = text.substr(prefix.size(), operation - prefix.size()) + text.substr(address);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    static_cast<ReferenceLog*>(context)->lines_.push_back(line);
  }
  std::vector<std::string> lines_;
};

class FrameSharingTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteBytes(path, ReferenceFrameBytes("v4_sgc3_zoned.orv")); }

  // The frame's smoke channel matches the file's: it is alive and whole.
  static void expectUsable(IOrv* frame) {
    int size[3] = {0, 0, 0};
    frame->getGridSize(size);
    EXPECT_EQ(20 * 16 * 14, size[0] * size[1] * size[2]);
    EXPECT_NE(nullptr, frame->getChannel(2));
  }

  ScratchDirectory scratch;
  std::string path = scratch.file("shared.orv");
  ReferenceLog log;
};

TEST_F(FrameSharingTest, TwoOpensOfAnUnchangedFileShareOneFrameUntilTheSecondRelease) {
  IOrv* first = newIOrv(path.c_str());
  ASSERT_NE(nullptr, first);
  const float* smoke = first->getChannel(2);
  IOrv* second = newIOrv(path.c_str());
  EXPECT_EQ(first, second);
  EXPECT_EQ((std::vector<std::string>{"refCount=1 1, I:0, " + path, "refCount++ 2, I:0, " + path}),
            log.take());

  deleteIOrv(first);
  EXPECT_EQ((std::vector<std::string>{"refCount-- 1, I:0, " + path}), log.take());
  expectUsable(second);
  EXPECT_EQ(smoke, second->getChannel(2)) << "the expanded channel stays with the shared frame";

  deleteIOrv(second);
  EXPECT_EQ((std::vector<std::string>{"refCount-- 0, I:0, " + path}), log.take());
  // Released for good: the next open loads a new frame, and releasing again changes nothing.
  deleteIOrv(second);
  EXPECT_TRUE(log.take().empty());
  IOrv* reopened = newIOrv(path.c_str());
  ASSERT_NE(nullptr, reopened);
  EXPECT_EQ((std::vector<std::string>{"refCount=1 1, I:0, " + path}), log.take());
  deleteIOrv(reopened);
}

TEST_F(FrameSharingTest, ChangedModificationTimeGivesANewFrameBesideTheOld) {
  IOrv* before = newIOrv(path.c_str());
  ASSERT_NE(nullptr, before);
  std::filesystem::last_write_time(path,
                                   std::filesystem::last_write_time(path) + std::chrono::seconds(5));
  IOrv* after = newIOrv(path.c_str());
  ASSERT_NE(nullptr, after);
  EXPECT_NE(before, after);
  EXPECT_EQ((std::vector<std::string>{"refCount=1 1, I:0, " + path, "refCount=1 1, I:0, " + path}),
            log.take());
  // The old frame stays listed and usable until released.
  expectUsable(before);
  expectUsable(after);
  IOrv* again = newIOrv(path.c_str());
  EXPECT_EQ(after, again) << "the new load is shared from then on";
  deleteIOrv(again);
  deleteIOrv(after);
  deleteIOrv(before);
  EXPECT_EQ((std::vector<std::string>{"refCount++ 2, I:0, " + path, "refCount-- 1, I:0, " + path,
                                      "refCount-- 0, I:0, " + path, "refCount-- 0, I:0, " + path}),
            log.take());
}

TEST_F(FrameSharingTest, OtherMappingsAndPrivateOpensAreNotShared) {
  IOrv* plain = newIOrv(path.c_str());
  IOrv* unmapped = newIOrvWithChannelsMapping(path.c_str(), nullptr);
  IOrv* limited = newIOrvMaxVox(path.c_str(), 1000, false);
  ASSERT_NE(nullptr, plain);
  ASSERT_NE(nullptr, unmapped);
  ASSERT_NE(nullptr, limited);
  EXPECT_NE(plain, unmapped) << "the default mapping string differs from the empty one";
  EXPECT_NE(plain, limited);
  EXPECT_NE(unmapped, limited);
  EXPECT_EQ(2u, log.take().size()) << "a frame with a voxel limit is never listed";
  deleteIOrv(limited);  // not listed: ignored
  EXPECT_TRUE(log.take().empty());
  expectUsable(limited);
  delete limited;  // a private frame belongs to its caller
  deleteIOrv(unmapped);
  deleteIOrv(plain);
  EXPECT_EQ(2u, log.take().size());
}

TEST_F(FrameSharingTest, UnloadableFilesGiveNullAndListNothing) {
  std::vector<char> truncated = ReferenceFrameBytes("v4_sgc3_zoned.orv");
  truncated.resize(truncated.size() / 2);
  WriteBytes(scratch.file("truncated.orv"), truncated);
  EXPECT_EQ(nullptr, newIOrv(scratch.file("truncated.orv").c_str()));
  EXPECT_EQ(nullptr, newIOrv(scratch.file("absent.orv").c_str()));
  EXPECT_EQ(nullptr, newIOrv(""));
  EXPECT_EQ(nullptr, newIOrv(nullptr));
  WriteBytes(scratch.file("frame.txt"), ReferenceFrameBytes("v4_sgc3_zoned.orv"));
  EXPECT_EQ(nullptr, newIOrv(scratch.file("frame.txt").c_str()));
  EXPECT_TRUE(log.take().empty());
}

}  // namespace
