// File names are UTF-8 everywhere in the library; a system with UTF-16 file calls gets them
// converted. Folder and file names with accented letters and 4-byte characters open, list, lock
// and load like any other.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "cache/CorvaneFrameData.h"
#include "support/FramePattern.h"
#include "support/TextConversion.h"
#include "tests/conversion/ScratchDirectory.h"

TEST(Utf8Paths, NonAsciiFolderAndFileNamesWorkForEveryFileCall) {
  ScratchDirectory scratch;
  const std::string folder = scratch.path().string() + "/rés_😀_𝄞";
  const std::string name = "fïre_𝄞_0001.orv";
  std::filesystem::create_directories(std::filesystem::u8path(folder));
  std::filesystem::copy_file(ORV_REFERENCE_DIR "v5_zoned_fc03.orv",
                             std::filesystem::u8path(folder + "/" + name));
  const std::string path = folder + "/" + name;

  std::FILE* file = OpenFileUtf8(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_GT(FileModificationTime(path.c_str()), 0);
  StringList found;
  ASSERT_TRUE(ListMatchingFiles((folder + "/fïre_𝄞_*.orv").c_str(), found));
  ASSERT_EQ(found.count(), 1);
  EXPECT_EQ(std::string(found.at(0)), path);

  CorvaneFrameData frame;
  ASSERT_EQ(frame.ImportOrv(path.c_str(), true, false), 0);
  int size[3];
  frame.getGridSize(size);
  EXPECT_EQ(size[0] * size[1] * size[2], 17 * 13 * 9);
}
