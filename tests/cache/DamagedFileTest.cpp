// Malformed files: each is rejected with its result code and message, without reading past the
// file or sizing memory from a field the file cannot back. Channels that fail to decode give null
// and are tried again on the next request.
#include <gtest/gtest.h>

#include <climits>

#include "../support/ScopedDecodeCap.h"
#include "WrittenFrames.h"

namespace {

using namespace written;

const char kBroken[] = "CorvaneFrameData::ImportOrv broken file. File is: ";

// Loads bytes and expects a broken file: result 4 with the broken-file line naming the path, and
// a '#' line that a user sees saying what was wrong.
void expectBroken(const std::vector<char>& bytes, const char* text = nullptr) {
  LogCapture log;
  CorvaneFrameData frame;
  EXPECT_EQ(load(frame, bytes, false, "broken.orv"), 4);
  EXPECT_TRUE(log.contains(kBroken + tempPath("broken.orv") + "\n"));
  bool reason = false;
  for (const std::string& line : log.lines()) {
    reason |= line.rfind("#ImportOrv " + tempPath("broken.orv") + ": ", 0) == 0;
  }
  EXPECT_TRUE(reason) << "no reason given";
  if (text) {
    EXPECT_TRUE(log.contains(text)) << "missing message " << text;
  }
  EXPECT_EQ(frame.compressedLength, 0);
  EXPECT_EQ(frame.compressedStream, nullptr);
}

void expectBroken(const Frame& description, const char* text = nullptr) {
  expectBroken(bytesOf(description), text);
}

Frame withChunk(int id, const std::vector<char>& payload, int version = 6) {
  Frame description = gridFrame(version, 2, 2, 2);
  description.extraChunks.push_back(RawChunk{id, payload, std::nullopt});
  return description;
}

// A chunk-1002 payload of one group with the given count and one channel record.
std::vector<char> groupChunk(int particles, int channel, int method, const std::vector<char>& data) {
  std::vector<char> payload;
  ByteSink out(payload);
  out.i32(1);
  out.string("g");
  out.i32(0);
  out.i32(particles);
  out.i64(0);
  out.i32(1);
  out.i32(channel);
  out.i32(method);
  out.i32(static_cast<int>(data.size()));
  out.bytes(data);
  return payload;
}

// Header block 7 holding `words` shared words and one group with the given count and offsets.
std::vector<char> block7(int words, int particles, int positionOffset, int tag = 7) {
  std::vector<char> block;
  ByteSink out(block);
  out.i32(tag);
  out.i32(words);
  for (int w = 0; w < words; ++w) out.f32(1.0f);
  out.i32(1);
  out.string("old");
  out.i32(particles);
  out.i32(positionOffset);
  for (int c = 1; c < 32; ++c) out.i32(-1);
  out.i32(0);
  return block;
}

TEST(WriterRefusals, DescriptionsThatCannotBeWrittenAreRefused) {
  std::vector<char> bytes;
  std::string error;
  Frame description = gridFrame(6, 2, 2, 1);
  description.channels.push_back(channel(1, {1, 2, 3}));  // 3 values for 4 cells
  EXPECT_FALSE(Write(description, bytes, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(bytes.empty());
  description.channels = {channel(1, {1, 2, 3, 4}, GridStreamKind::Constant)};
  EXPECT_FALSE(Write(description, bytes, &error));
  description.channels = {channel(32, {1, 1, 1, 1})};
  EXPECT_FALSE(Write(description, bytes, &error));
  // A version 2 reader stops at the summary, which would also drop chunk groups read before it.
  Frame old = gridFrame(2, 1, 1, 1);
  ParticleGroup group;
  group.name = "g";
  group.channels.push_back(FloatChannel(0, {1, 2, 3}));
  old.groups.push_back(group);
  EXPECT_FALSE(Write(old, bytes, &error));
  old.writeSummary = false;
  EXPECT_TRUE(Write(old, bytes, &error)) << error;
  group.channels.push_back(FloatChannel(7, {1}));  // channel 7 has no storage
  old.groups = {group};
  old.particleLayout = ParticleLayout::UncompressedBlock;
  EXPECT_FALSE(Write(old, bytes, &error));
}

TEST(ResultCodes, ZeroForAFileAndThreeForPathsThatCannotBeUsed) {
  CorvaneFrameData frame;
  EXPECT_EQ(load(frame, gridFrame(6, 1, 1, 1)), 0);
  EXPECT_EQ(frame.ImportOrv("", true, false), 3);
  EXPECT_EQ(frame.ImportOrv(nullptr, true, false), 3);
  EXPECT_EQ(frame.ImportOrv(tempPath("no-such-frame.orv").c_str(), false, false), 3);
  // A folder: 4 where the system opens it as a file that cannot be read, 3 where it cannot open it.
  const int folder = frame.ImportOrv(::testing::TempDir().c_str(), true, false);
  EXPECT_TRUE(folder == 4 || folder == 3) << folder;
}

TEST(ResultCodes, NegativeShortDataOffsetIsThree) {
  Layout layout;
  std::vector<char> bytes = bytesOf(gridFrame(3, 1, 1, 1), &layout);
  patch(bytes, layout.footerOffset, -8);
  LogCapture log;
  CorvaneFrameData frame;
  EXPECT_EQ(load(frame, bytes), 3);
  EXPECT_TRUE(log.lines().empty());
}

TEST(ResultCodes, MissingFooterMagicIsTwelveWithTheLongMessage) {
  std::vector<char> bytes = bytesOf(gridFrame(6, 1, 1, 1));
  bytes.back() = 'X';
  LogCapture log;
  CorvaneFrameData frame;
  EXPECT_EQ(load(frame, bytes), 12);
  EXPECT_TRUE(log.contains(
      "Failed reading the orva2 file footer!\nThe file is damaged, incomplete or in "
      "unsupported file format.\nIf the file was saved by Corvane 2.2 or older, "
      "please simulate the scene again, but note that the results may differ.\n"));
  EXPECT_EQ(log.lines().size(), 1u);
}

TEST(FooterMessages, ShortFilesNameTheFailingStep) {
  const std::string magic = "ORVA2CVN";
  auto bytes = [](const std::string& text) { return std::vector<char>(text.begin(), text.end()); };
  expectBroken(bytes("ORVA2CV"), "Failed while seeking to orva2 magic!\n");
  expectBroken(bytes(magic), "Failed to seek to orva2 version!\n");
  std::vector<char> version6 = bytes("ORVA");
  ByteSink(version6).i32(6);
  ByteSink(version6).bytes(magic.data(), 8);
  expectBroken(version6, "Failed seeking to marker chunk!\n");
  std::vector<char> version3 = bytes("");
  ByteSink(version3).i32(3);
  ByteSink(version3).bytes(magic.data(), 8);
  expectBroken(version3, "Failed seeking to marker chunk!\n");

  Layout layout;
  std::vector<char> far = bytesOf(gridFrame(6, 1, 1, 1), &layout);
  for (long long offset : {1ll << 40, LLONG_MAX, LLONG_MAX - 3, -4ll, LLONG_MIN}) {
    patch(far, layout.footerOffset, offset);
    expectBroken(far, "Failed seeking to marker chunk!\n");
  }
}

TEST(ChunkMessages, ChunksRunningIntoTheFooter) {
  // An unknown chunk whose size skips to `left` bytes before the end of the file.
  auto skippingTo = [](long long left) {
    Frame description = withChunk(1005, {});
    Layout layout;
    std::vector<char> bytes = bytesOf(description, &layout);
    const long long payload = layout.chunks[1005] + 12;
    patch(bytes, payload - 8, static_cast<long long>(bytes.size()) - payload - left);
    return bytes;
  };
  expectBroken(skippingTo(2), "Failed reading chunk id!\n");
  // 4 bytes left: the id reads (the last magic bytes), its size does not.
  expectBroken(skippingTo(4), "Failed reading chunk size!\n");
  CorvaneFrameData frame;
  EXPECT_EQ(load(frame, skippingTo(20 + 4)), 0);  // lands on the end id
}

// The header section is read last and may run into the footer; blocks longer than what remains
// report their own text. Frame number 9999999 doubles as the end of the chunk section at 8.
std::vector<char> headerIntoFooter(int tag, const std::vector<char>& payload) {
  std::vector<char> bytes = {'O', 'R', 'V', 'A'};
  ByteSink out(bytes);
  out.i32(4);
  out.i32(9999999);
  out.i32(tag);
  out.bytes(payload);
  out.i32(4);  // data offset
  out.i32(3);  // version
  out.bytes("ORVA2CVN", 8);
  return bytes;
}

TEST(HeaderMessages, BlocksCutByTheEndOfTheFile) {
  expectBroken(headerIntoFooter(2, {}), "2\n");
  expectBroken(headerIntoFooter(6, {}), "6\n");
  expectBroken(headerIntoFooter(11, {}), "11\n");
  std::vector<char> count;
  ByteSink(count).i32(100);
  expectBroken(headerIntoFooter(12, count), "x121\n");
}

TEST(HeaderMessages, MissingStartMagic) {
  std::vector<char> bytes = bytesOf(gridFrame(6, 1, 1, 1));
  bytes[0] = 'X';
  expectBroken(bytes, "no hdr\n");
}

TEST(HeaderMessages, StreamLengthOutsideTheFile) {
  Frame description = gridFrame(6, 1, 1, 1);
  description.declaredStreamWords = -1;
  expectBroken(description, "CorvaneFrameData::ImportOrv bad comprDataSzInts!");
  description.declaredStreamWords = 1 << 28;
  expectBroken(description, "CorvaneFrameData::ImportOrv bad comprDataSzInts!");
  description.declaredStreamWords = INT_MAX;
  expectBroken(description, "CorvaneFrameData::ImportOrv bad comprDataSzInts!");
}

TEST(HeaderMessages, UnknownGroupSubBlock) {
  std::vector<char> block = block7(3, 1, 0);
  block.resize(block.size() - 4);
  ByteSink(block).i32(4);
  ByteSink(block).i32(0);
  Frame description = gridFrame(6, 1, 1, 1);
  description.extraHeaderBytes = block;
  expectBroken(description, "19\n");
}

TEST(HeaderMessages, NegativeHeaderByteCount) {
  Frame description = gridFrame(6, 1, 1, 1);
  ByteSink(description.extraHeaderBytes).i32(12);
  ByteSink(description.extraHeaderBytes).i32(-5);
  expectBroken(description);
}

TEST(BadCounts, StringCountsThatAreNegativeOrTooLarge) {
  for (int count : {-1, INT_MIN, 1 << 30, INT_MAX}) {
    std::vector<char> text;
    ByteSink(text).i32(count);
    ByteSink(text).bytes("abc", 3);
    expectBroken(withChunk(1001, text));
    // The same count as a group name in the summary and in the particle chunk.
    std::vector<char> groups;
    ByteSink(groups).i32(1);
    ByteSink(groups).i32(count);
    ByteSink(groups).bytes(std::vector<char>(40, 0));
    expectBroken(withChunk(1000, groups));
    expectBroken(withChunk(1002, groups));
  }
}

TEST(BadCounts, EntryCountsBeyondTheFile) {
  for (int id : {1000, 1002, 1003, 1004}) {
    std::vector<char> payload;
    ByteSink(payload).i32(1 << 28);
    expectBroken(withChunk(id, payload));
    payload.clear();
    ByteSink(payload).i32(-2);
    expectBroken(withChunk(id, payload));
  }
}

// A size is used only to skip a chunk: a skipped chunk needs a usable one, a parsed chunk's size
// is never looked at.
TEST(ChunkSizes, OnlyASkippedChunkNeedsAUsableSize) {
  for (int version : {3, 6}) {
    SCOPED_TRACE(version);
    Frame description = withChunk(1005, std::vector<char>(10, 0), version);
    description.extraChunks[0].declaredSize = version == 3 ? INT_MAX : 1ll << 40;
    expectBroken(description);
    description.extraChunks[0].declaredSize = version == 3 ? 0xFFFFFFFFll : -(1ll << 40);
    expectBroken(description);  // negative once read back

    Frame parsed = gridFrame(version, 1, 1, 1);
    parsed.chunkText = "text";
    parsed.ranges = {{1, 0.5f, 2.0f}};
    parsed.values = {{2, 7}};
    ParticleGroup group;
    group.name = "g";
    group.channels.push_back(FloatChannel(0, {1, 2, 3}));
    parsed.groups.push_back(group);
    Layout layout;
    std::vector<char> bytes = bytesOf(parsed, &layout);
    for (const auto& [id, at] : layout.chunks) {
      if (version <= 3) {
        patch<int>(bytes, at + 4, -7);
      } else {
        patch<long long>(bytes, at + 4, id % 2 ? -7 : 1ll << 50);
      }
    }
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, bytes), 0);
    EXPECT_EQ(frame.chunkText, "text");
    EXPECT_EQ(frame.slots[1].rangeHigh, 2.0f);
    EXPECT_EQ(frame.channelValues[2], 7);
    ASSERT_NE(frame.findParticleGroup("g"), nullptr);
    EXPECT_EQ(frame.findParticleGroup("g")->getParticleCount(), 1);
  }
}

TEST(BadCounts, ChannelIndicesOutsideTheTable) {
  const std::vector<char> data(12, 0);
  for (int channel : {-1, 32, INT_MAX}) expectBroken(withChunk(1002, groupChunk(1, channel, 0, data)));
  CorvaneFrameData frame;
  EXPECT_EQ(load(frame, bytesOf(withChunk(1002, groupChunk(1, 31, 0, std::vector<char>(4, 0))))), 0);
}

// Decoded sizes follow the particle count, whatever the stored bytes: within the decode cap the
// file loads and a channel beyond it reads as absent; a negative count is broken.
TEST(BadCounts, ParticleCountsAreBoundByTheDecodeCap) {
  ScopedDecodeCap cap(64 << 20);
  const std::vector<char> constantZone = {0x01, static_cast<char>(0xFC), 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int method : {1, 2, 3, 4}) {
    SCOPED_TRACE(method);
    LogCapture log;
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, bytesOf(withChunk(1002, groupChunk(INT_MAX, 0, method, constantZone)))), 0);
    float position[3];
    EXPECT_EQ(frame.findParticleGroup("g")->getParticle(0, 0, position), 0);
    bool reason = false;
    for (const std::string& line : log.lines()) reason |= line.find("#particle channel 0 of group g: ") == 0;
    EXPECT_TRUE(reason);
    expectBroken(withChunk(1002, groupChunk(-1, 0, method, constantZone)));
  }
  // Older blocks: raw data must lie inside the shared array; decoded data within the cap.
  for (int tag : {7, 13}) {
    Frame description = gridFrame(6, 1, 1, 1);
    description.extraHeaderBytes = block7(3, INT_MAX, 0, tag);
    expectBroken(description);
    description.extraHeaderBytes = block7(3, -1, 0, tag);
    expectBroken(description);
  }
}

TEST(BadCounts, WordOffsetsBeyondTheSharedArray) {
  for (int tag : {7, 13}) {
    for (int offset : {4, 1 << 20, -2, INT_MIN}) {
      Frame description = gridFrame(6, 1, 1, 1);
      description.extraHeaderBytes = block7(3, 1, offset, tag);
      expectBroken(description);
    }
    // An offset at the array's end is a channel of no words: an empty group (early frames) loads.
    Frame empty = gridFrame(6, 1, 1, 1);
    empty.extraHeaderBytes = block7(3, 0, 3, tag);
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, empty), 0) << tag;
    EXPECT_EQ(frame.findParticleGroup("old")->getParticleCount(), 0);
  }
  Frame description = gridFrame(6, 1, 1, 1);
  description.extraHeaderBytes = block7(3, 1, 1);  // 12 bytes from word 1 of 3 run past the end
  expectBroken(description);
  description.extraHeaderBytes = block7(3, 1, 3);
  expectBroken(description);
  description.extraHeaderBytes = block7(3, 1, 0);
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.getParticleGroupCount(), 1);
}

TEST(BadCounts, IdBlockLongerThanTheFile) {
  std::vector<char> block = block7(3, 1, 0);
  block.resize(block.size() - 4);
  ByteSink(block).i32(2);
  ByteSink(block).i32(1 << 30);
  Frame description = gridFrame(6, 1, 1, 1);
  description.extraHeaderBytes = block;
  expectBroken(description);
}

TEST(BadCounts, GridResolutionsThatDescribeNoGrid) {
  for (const std::array<int, 3>& size : {std::array<int, 3>{-1, 2, 2}, {2, -1, -1},
                                          {INT_MAX, INT_MAX, INT_MAX}, {INT_MIN, 1, 1}}) {
    Frame description = gridFrame(6, 1, 1, 1);
    description.rawChannelStream = std::vector<int>{};
    std::copy(size.begin(), size.end(), description.gridSize);
    expectBroken(description);
  }
}

// Decoding failures ------------------------------------------------------------------------------

TEST(ChannelFailures, AGridChannelThatFailsGivesNullAndIsTriedAgain) {
  Frame description = gridFrame(5, 2, 2, 2);
  description.channels.push_back(channel(2, std::vector<float>(8, 0.5f)));
  description.channelMask = 6;
  Layout layout;
  const std::vector<char> bytes = bytesOf(description, &layout);
  const int* good = reinterpret_cast<const int*>(bytes.data() + layout.streamOffset);
  // A record of channel 1 with an unknown zone method ahead of the good record of channel 2.
  Frame raw = description;
  raw.rawChannelStream = std::vector<int>{1, 2, 0x07FC01, 0};
  raw.rawChannelStream->insert(raw.rawChannelStream->end(), good, good + 2 + good[1]);
  LogCapture log;
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, raw), 0);
  EXPECT_EQ(frame.getChannel(1), nullptr);
  EXPECT_EQ(frame.getChannel(1), nullptr);
  int invalid = 0;
  for (const std::string& line : log.lines()) invalid += line == "Invalid cache file!!!\n";
  EXPECT_EQ(invalid, 2);  // the second request decoded again
  EXPECT_EQ(frame.slots[1].present, 0);
  const float* values = frame.getChannel(2);
  ASSERT_NE(values, nullptr);
  EXPECT_EQ(values[7], 0.5f);
}

TEST(ChannelFailures, RecordsThatRunPastTheStreamAreNotRead) {
  Frame description = gridFrame(6, 1, 1, 1);
  description.channelMask = 2;
  description.rawChannelStream = std::vector<int>{1, 100, 0x00FC01, 1};
  LogCapture log;
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.getChannel(1), nullptr);
  EXPECT_TRUE(log.lines().empty());
  // A zero length word ends the search even with a good record behind it.
  description.rawChannelStream = std::vector<int>{3, 0, 1, 3, 0x00FC01, 1, 0};
  CorvaneFrameData stopped;
  ASSERT_EQ(load(stopped, description), 0);
  EXPECT_EQ(stopped.getChannel(1), nullptr);
}

TEST(ChannelFailures, CorruptPackedColourIsReported) {
  Frame description = gridFrame(6, 2, 1, 1);
  description.rawChannelStream = std::vector<int>{18, 3, 4, 0, 0x12345678};
  description.channelMask = 1u << 18;
  LogCapture log;
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, description), 0);
  EXPECT_EQ(frame.getChannel(7), nullptr);
  EXPECT_TRUE(log.contains("Invalid cache file!!!\n"));
}

TEST(ChannelFailures, ACorruptParticleChannelIsReportedAndAbsent) {
  for (int method : {1, 4}) {
    std::vector<char> garbage(16, 'z');
    LogCapture log;
    CorvaneFrameData frame;
    ASSERT_EQ(load(frame, bytesOf(withChunk(1002, groupChunk(1, 0, method, garbage)))), 0);
    ICorvanePrtGroup* group = frame.findParticleGroup("g");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->hasChannel(0), 1);
    float p[3];
    EXPECT_EQ(group->getParticle(0, 0, p), 0);
    EXPECT_EQ(group->hasChannel(0), 0);
    EXPECT_TRUE(log.contains("Error decompressing particle channel 0 with method " +
                                std::to_string(method) + "\n"));
    bool zipError = false;
    for (const std::string& line : log.lines()) zipError |= line.rfind("[ERROR] Decompressing Zip (", 0) == 0;
    EXPECT_TRUE(zipError);
  }
}

TEST(ChannelFailures, AnUnknownParticleMethodFailsSilently) {
  LogCapture log;
  CorvaneFrameData frame;
  ASSERT_EQ(load(frame, bytesOf(withChunk(1002, groupChunk(1, 0, 9, std::vector<char>(12, 0))))), 0);
  float p[3];
  EXPECT_EQ(frame.findParticleGroup("g")->getParticle(0, 0, p), 0);
  EXPECT_TRUE(log.lines().empty());
}

}  // namespace
