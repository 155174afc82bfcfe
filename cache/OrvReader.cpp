// The .orv reader: footer, chunk section, header section and the older particle blocks. Every read
// goes through one checked cursor over the open file; every count from the file is checked against
// the bytes that remain before anything is allocated for it.
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "cache/OpenFileRegistry.h"
#include "cache/OrvFormat.h"
#include "cache/particles/MTComputeParticlesBbox.h"
#include "cache/particles/ParticleChannelTable.h"
#include "codecs/EntropyCoder.h"
#include "codecs/SGCompressor.h"
#include "support/DecodeBudget.h"
#include "support/Log.h"
#include "support/TextConversion.h"
#include "support/platform/FileLock.h"
#include "support/platform/Platform.h"
#include "support/platform/Threads.h"

namespace {

using namespace orv::format;

struct IOErrException {};

constexpr int kAttempts = 30;
constexpr int kRetryMilliseconds = 200;

// Checked reads from the open cache file. A read that does not fit logs its diagnostic text (when
// it has one) and, like every other refusal of the reader, a '#' line saying what was wrong and
// where: the field, its offset, the count and the bytes that remain. Then it throws.
class FileCursor {
 public:
  FileCursor(std::FILE* file, const char* path) : file_(file), path_(path) {}
  void setSize(long long size) { size_ = size; }
  long long size() const { return size_; }
  long long offset() const { return orv::platform::Tell64(file_); }
  long long remaining() const {
    const long long at = offset();
    return at < 0 || at > size_ ? 0 : size_ - at;
  }

  [[noreturn]] void refuse(const char* format, ...) const ORV_PRINTF_FORMAT(2, 3) {
    char reason[512];
    va_list args;
    va_start(args, format);
    FormatBoundedV(reason, sizeof reason, format, args);
    va_end(args);
    LogMessage("#ImportOrv %s: %s\n", path_, reason);
    throw IOErrException();
  }
  [[noreturn]] void refuseRead(const char* field, long long at, long long bytes,
                               const char* text) const {
    if (text) LogMessage("%s", text);
    refuse("%s at offset %lld needs %lld bytes, %lld remain", field, at, bytes, remaining());
  }

  void read(void* destination, long long bytes, const char* field, const char* text = nullptr) {
    const long long at = offset();
    if (bytes < 0 || bytes > remaining()) refuseRead(field, at, bytes, text);
    if (bytes > 0 && std::fread(destination, 1, static_cast<size_t>(bytes), file_) !=
                         static_cast<size_t>(bytes)) {
      refuseRead(field, at, bytes, text);
    }
  }
  template <typename T>
  T value(const char* field, const char* text = nullptr) {
    T v;
    read(&v, sizeof v, field, text);
    return v;
  }
  int readInt(const char* field, const char* text = nullptr) { return value<int>(field, text); }
  void seek(long long to, const char* field, const char* text = nullptr) {
    if (to < 0 || to > size_ || orv::platform::Seek64(file_, to, SEEK_SET) != 0) {
      if (text) LogMessage("%s", text);
      refuse("%s: offset %lld lies outside the file of %lld bytes", field, to, size_);
    }
  }
  void skip(long long bytes, const char* field, const char* text = nullptr) {
    const long long at = offset();
    if (bytes < 0 || bytes > remaining()) refuseRead(field, at, bytes, text);
    seek(at + bytes, field, text);
  }
  // A non-negative count of items of at least itemBytes each that must fit in the rest of the file.
  int readCount(long long itemBytes, const char* field, const char* text = nullptr) {
    const long long at = offset();
    const int count = readInt(field, text);
    if (count < 0) refuse("%s %d at offset %lld is negative", field, count, at);
    if (itemBytes > 0 && count > remaining() / itemBytes) {
      refuse("%s %d at offset %lld needs %lld bytes, %lld remain", field, count, at,
             count * itemBytes, remaining());
    }
    return count;
  }
  int readNonNegative(const char* field, const char* text = nullptr) {
    const long long at = offset();
    const int value = readInt(field, text);
    if (value < 0) refuse("%s %d at offset %lld is negative", field, value, at);
    return value;
  }
  std::string readString(const char* field) {
    const int length = readCount(1, field);
    std::string text(static_cast<size_t>(length), '\0');
    read(text.data(), length, field);
    return text;
  }

 private:
  std::FILE* file_;
  const char* path_;
  long long size_ = 0;
};

// The open, registered and locked file; closing undoes all three in reverse order.
class OpenCacheFile {
 public:
  explicit OpenCacheFile(const char* path) : path_(path) {}
  ~OpenCacheFile() { close(); }
  int open(bool singleAttempt) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      errno = 0;
      file_ = OpenFileUtf8(path_, "rb");
      if (file_) break;
      if (singleAttempt || errno != EINVAL) return 3;
      orv::platform::SleepMilliseconds(kRetryMilliseconds);
    }
    if (!file_) return 3;
    if (!OpenFileRegistry::WaitAndRegister(path_)) {
      closeFile();
      return 3;
    }
    registered_ = true;
    using orv::platform::FileLockResult;
    for (int attempt = 0; attempt < kAttempts && !locked_; ++attempt) {
      const FileLockResult lock = orv::platform::TryLockWholeFile(file_, false);
      if (lock == FileLockResult::Unsupported) {
        // Waiting cannot help on a file system without byte-range locks.
        LogMessage("#ImportOrv %s: the file system cannot lock the file; it is read without the "
                   "lock\n", path_);
        return 0;
      }
      locked_ = lock == FileLockResult::Locked;
      if (!locked_ && attempt + 1 < kAttempts) {
        orv::platform::SleepMilliseconds(kRetryMilliseconds);
      }
    }
    if (!locked_) {
      close();
      return 3;
    }
    return 0;
  }
  void close() {
    if (locked_) orv::platform::UnlockWholeFile(file_);
    locked_ = false;
    closeFile();
    if (registered_) OpenFileRegistry::Unregister(path_);
    registered_ = false;
  }
  std::FILE* file() const { return file_; }

 private:
  void closeFile() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
  }
  const char* path_;
  std::FILE* file_ = nullptr;
  bool registered_ = false;
  bool locked_ = false;
};

// Reads one file into one frame; throws IOErrException on any failed read or allocation.
class OrvReader {
 public:
  OrvReader(CorvaneFrameData& frame, FileCursor& in, bool infoOnly)
      : frame_(frame), in_(in), infoOnly_(infoOnly) {}

  // The size of a chunk the reader parses is not used; only skipped chunks need a usable one.
  void readChunks(long long dataOffset) {
    // Checked before adding: an offset near the top of the 64-bit range must not wrap.
    if (dataOffset < 0 || dataOffset > in_.size() - 4) {
      LogMessage("Failed seeking to marker chunk!\n");
      in_.refuse("data offset %lld lies outside the file of %lld bytes", dataOffset, in_.size());
    }
    in_.seek(dataOffset + 4, "chunk section", "Failed seeking to marker chunk!\n");
    for (;;) {
      const int id = in_.readInt("chunk id", "Failed reading chunk id!\n");
      if (id == kChunkEnd) return;
      const long long size = HasWideSizes(frame_.formatVersion)
                                 ? in_.value<long long>("chunk size", "Failed reading chunk size!\n")
                                 : in_.readInt("chunk size", "Failed reading chunk size!\n");
      switch (id) {
        case kChunkParticleSummary:
          readSummary();
          in_.readInt("word after the particle summary", "Failed reading chunk id!\n");
          if (EndsAfterSummary(frame_.formatVersion)) return;
          break;
        case kChunkText:
          frame_.chunkText = in_.readString("chunk 1001 text length");
          break;
        case kChunkParticleGroups:
          if (infoOnly_) {
            in_.skip(size, "chunk 1002 skipped by its size");
          } else {
            readGroupChunk();
          }
          break;
        case kChunkChannelRanges: {
          const int n = in_.readCount(12, "chunk 1003 entry count");
          for (int e = 0; e < n; ++e) {
            const int channel = in_.readInt("chunk 1003 channel id");
            const float low = in_.value<float>("chunk 1003 range");
            const float high = in_.value<float>("chunk 1003 range");
            if (channel >= 0 && channel < CorvaneFrameData::kChannelCount) {
              frame_.slots[channel].rangeLow = low;
              frame_.slots[channel].rangeHigh = high;
            }
          }
          break;
        }
        case kChunkChannelValues: {
          const int n = in_.readCount(12, "chunk 1004 entry count");
          for (int e = 0; e < n; ++e) {
            const int channel = in_.readInt("chunk 1004 channel id");
            const long long value = in_.value<long long>("chunk 1004 value");
            if (channel >= 0 && channel < CorvaneFrameData::kChannelCount) {
              frame_.channelValues[channel] = value;
            }
          }
          break;
        }
        default: {
          char field[48];
          FormatBounded(field, sizeof field, "chunk %d skipped by its size", id);
          in_.skip(size, field);
        }
      }
    }
  }

  void readHeader() {
    in_.seek(0, "start magic");
    if (in_.readInt("start magic") != kStartMagicWord) {
      LogMessage("no hdr\n");
      in_.refuse("start magic at offset 0 is not \"ORVA\"");
    }
    for (;;) {
      const int tag = in_.readInt("header tag", "0\n");
      if (tag < kFirstHeaderTag || tag > kLastHeaderTag) return;
      readHeaderBlock(tag);
    }
  }

 private:
  void readSummary() {
    const int groups = in_.readCount(16, "chunk 1000 group count");
    frame_.particleGroups.Clear();
    sizeGroups(groups);
    for (int g = 0; g < groups; ++g) {
      PGroup& group = frame_.particleGroups[g];
      setName(group, in_.readString("chunk 1000 group name length"));
      group.particleCount = in_.readInt("chunk 1000 particle count");
      group.channelMask = in_.readInt("chunk 1000 channel mask");
      group.typeWord = in_.readInt("chunk 1000 type word");
    }
    in_.read(&frame_.particleBox, sizeof frame_.particleBox, "chunk 1000 particle box");
    summarySeen_ = true;
  }

  void readGroupChunk() {
    const int groups = in_.readCount(24, "chunk 1002 group count");
    frame_.particleGroups.Clear();
    sizeGroups(groups);
    for (int g = 0; g < groups; ++g) {
      PGroup& group = frame_.particleGroups[g];
      group.frame = &frame_;
      group.channelMask = 0;
      setName(group, in_.readString("chunk 1002 group name length"));
      group.typeWord = in_.readInt("chunk 1002 type word");
      group.particleCount = in_.readNonNegative("chunk 1002 particle count");
      in_.read(group.groupValue, sizeof group.groupValue, "chunk 1002 group value");
      const int channels = in_.readCount(12, "chunk 1002 channel count");
      for (int k = 0; k < channels; ++k) {
        const long long at = in_.offset();
        const int channel = in_.readInt("chunk 1002 particle channel index");
        if (channel < 0 || channel >= kParticleChannelCount) {
          in_.refuse("chunk 1002 particle channel index %d at offset %lld is outside 0..31",
                     channel, at);
        }
        const int method = in_.readInt("chunk 1002 compression method");
        // Decoded later, on first access, within the decode budget; read straight into the array
        // the slot then keeps.
        const int bytes = in_.readCount(1, "chunk 1002 channel byte count");
        CVNUtils::CvnArray<char, long long> stored;
        if (bytes > 0 && !stored.SetSize(bytes, nullptr, true)) {
          in_.refuse("chunk 1002 channel %d of group %d: %d stored bytes cannot be allocated",
                     channel, g, bytes);
        }
        in_.read(stored.data, bytes, "chunk 1002 channel bytes");
        group.setCompressedChannel(channel, method, std::move(stored));
        if (group.hasChannel(channel)) group.channelMask |= 1 << channel;
      }
    }
  }

  void sizeGroups(int groups) {
    if (!frame_.particleGroups.SetSize(groups)) {
      in_.refuse("%d particle groups cannot be allocated: out of memory", groups);
    }
  }

  void setName(PGroup& group, const std::string& name) {
    if (!group.setName(name.data(), static_cast<int>(name.size()))) {
      in_.refuse("a group name of %llu bytes cannot be allocated: out of memory",
                 static_cast<unsigned long long>(name.size()));
    }
  }

  void readHeaderBlock(int tag) {
    switch (tag) {
      case kTagChannelMask:
        frame_.channelMask = static_cast<unsigned int>(in_.readInt("channel mask", "1\n"));
        frame_.flags = (frame_.flags & ~1u) | (frame_.channelMask >> 31);
        break;
      case kTagTransform:
        in_.read(frame_.transform, sizeof frame_.transform, "transform", "2\n");
        break;
      case kTagGrid:
        readGridBlock();
        break;
      case kTagFrameNumber:
        frame_.frameNumber = in_.readInt("frame number", "4\n");
        break;
      case kTagTimeStep:
        frame_.timeStep = in_.value<float>("time step", "7\n");
        break;
      case kTagTransformA:
        in_.read(frame_.transformA, sizeof frame_.transformA, "transform A", "6\n");
        break;
      case kTagParticleBlock:
      case kTagCompressedParticleBlock:
        readParticleBlock(tag == kTagCompressedParticleBlock);
        break;
      case kTagSimulationValue: {
        const double value = in_.value<float>("header block 8 value", "20\n");
        std::memcpy(frame_.simulationHeader + 8, &value, 8);
        break;
      }
      case kTagSimulationWord: {
        const int value = in_.readInt("header block 9 word", "21\n");
        std::memcpy(frame_.simulationHeader + 348, &value, 4);
        frame_.headerValue = in_.value<float>("header block 9 value", "22\n");
        break;
      }
      case kTagSimulationDoubles:
        in_.read(frame_.simulationHeader + 8, 8, "header block 10 first value", "24\n");
        in_.read(frame_.simulationHeader + 16, 8, "header block 10 second value", "25\n");
        break;
      case kTagTransforms:
        in_.read(frame_.transformA, sizeof frame_.transformA, "transform A", "11\n");
        in_.read(frame_.transformB, sizeof frame_.transformB, "transform B", "11\n");
        in_.read(frame_.transformC, sizeof frame_.transformC, "transform C", "11\n");
        in_.read(frame_.simulationHeader + 384, 8, "header block 11 tail", "x111\n");
        break;
      case kTagSimulationHeader: {
        const int n = in_.readNonNegative("simulation header length", "12\n");
        const int kept = n < 392 ? n : 392;
        in_.read(frame_.simulationHeader, kept, "simulation header", "x121\n");
        in_.skip(n - kept, "simulation header beyond 392 bytes", "x121\n");
        break;
      }
    }
  }

  void readGridBlock() {
    for (int a = 0; a < 3; ++a) frame_.gridSize[a] = in_.readInt("grid resolution", "3\n");
    requireUsableGrid();
    const long long at = in_.offset();
    const int k = in_.readInt("channel stream word count", "4\n");
    if (k < 0 || k > in_.remaining() / 4) {
      LogMessage("CorvaneFrameData::ImportOrv bad comprDataSzInts!");
      in_.refuse("channel stream word count %d at offset %lld needs %lld bytes, %lld remain", k,
                 at, 4ll * k, in_.remaining());
    }
    if (infoOnly_) {
      in_.skip(4ll * k, "channel stream");
      return;
    }
    if (!frame_.allocateCompressedStream(k)) {
      in_.refuse("channel stream of %d words cannot be allocated: out of memory", k);
    }
    in_.read(frame_.compressedStream, 4ll * k, "channel stream", "x41\n");
  }

  // A resolution with a negative axis, or one whose float array (with the decoder's slack) cannot
  // be counted in 64 bits, describes no grid.
  void requireUsableGrid() {
    long long cells = 1;
    for (int a = 0; a < 3; ++a) {
      if (frame_.gridSize[a] < 0 || __builtin_mul_overflow(cells, frame_.gridSize[a], &cells) ||
          cells > (INT64_MAX - 16) / 4) {
        in_.refuse("grid resolution %d x %d x %d before offset %lld describes no grid",
                   frame_.gridSize[0], frame_.gridSize[1], frame_.gridSize[2], in_.offset());
      }
    }
  }

  void readParticleBlock(bool compressed) {
    const bool loadData = !infoOnly_ || !summarySeen_;
    const int words = in_.readCount(4, "particle block word count", "9\n");
    const char* arrayText = compressed ? "13\n" : "x91\n";
    std::vector<int> shared;
    if (loadData) {
      shared.resize(static_cast<size_t>(words));
      in_.read(shared.data(), 4ll * words, "particle block word array", arrayText);
    } else {
      in_.skip(4ll * words, "particle block word array", arrayText);
    }
    const int groups = in_.readCount(4 + 4 + 128 + 4, "particle block group count", "11\n");
    sizeGroups(groups);
    for (int g = 0; g < groups; ++g) {
      PGroup& group = frame_.particleGroups[g];
      group.frame = &frame_;
      setName(group, in_.readString("particle block group name length"));
      group.particleCount = in_.readNonNegative("particle block particle count", "12\n");
      int offsets[kParticleChannelCount];
      in_.read(offsets, sizeof offsets, "particle block channel offsets", "13\n");
      if (loadData) {
        for (int c = 0; c < kParticleChannelCount; ++c) {
          if (offsets[c] == -1) continue;
          // An offset equal to the array's length starts a channel of no words (a group of no
          // particles); only one beyond it is broken.
          if (offsets[c] < 0 || offsets[c] > words) {
            in_.refuse("group %d channel %d: word offset %d lies outside the shared array of %d "
                       "words", g, c, offsets[c], words);
          }
          if (compressed) {
            decodeCompressedChannel(group, g, c, shared, offsets[c]);
          } else {
            copyChannel(group, g, c, shared, offsets[c]);
          }
        }
      }
      if (!summarySeen_) growParticleBox(group);
      readGroupSubBlocks(group);
    }
    summarySeen_ = true;
  }

  void copyChannel(PGroup& group, int g, int channel, const std::vector<int>& shared, int offset) {
    const long long bytes =
        static_cast<long long>(group.particleCount) * ParticleChannelByteSize(channel);
    if (bytes == 0) return;
    const long long available = 4 * (static_cast<long long>(shared.size()) - offset);
    if (bytes > available) {
      in_.refuse("group %d channel %d: %d particles need %lld bytes from word %d, the shared array "
                 "has %lld", g, channel, group.particleCount, bytes, offset, available);
    }
    if (!group.setChannelData(channel, shared.data() + offset, -1)) allocationRefused(g, channel);
  }

  void decodeCompressedChannel(PGroup& group, int g, int channel, const std::vector<int>& shared,
                               int offset) {
    const long long n = group.particleCount;
    const long long e = ParticleChannelWords(channel);
    const long long count = e * n;
    if (count == 0) return;
    CVNUtils::CvnArray<float, long long> decoded;
    orv::DecodeReservation decodedBytes;
    SGCompressor<1>* decoder = group.decoderFor(channel);
    if (!decoder || !orv::AllocateDecoded(decoded, count, orv::DecodeBudget::Process(),
                                          decodedBytes, group.channelLabel(channel).text)) {
      allocationRefused(g, channel);
    }
    std::memset(decoded.data, 0, static_cast<size_t>(count) * sizeof(float));
    // A failed decode is not reported: the array is copied as it stands.
    decoder->Decompress(shared.data() + offset,
                        4ull * (static_cast<unsigned long long>(shared.size()) - offset),
                        decoded.data, count);
    float* data = static_cast<float*>(group.prepareChannelData(channel));
    if (!data) allocationRefused(g, channel);
    for (long long p = 0; p < n; ++p) {
      for (long long k = 0; k < e; ++k) data[p * e + k] = decoded[k * n + p];
    }
  }

  [[noreturn]] void allocationRefused(int g, int channel) {
    in_.refuse("group %d channel %d cannot be decoded: refused by the decode budget or out of "
               "memory", g, channel);
  }

  void growParticleBox(PGroup& group) {
    if (!frame_.bboxJob && !(frame_.bboxJob = new (std::nothrow) MTComputeParticlesBbox())) {
      in_.refuse("the particle box job cannot be allocated: out of memory");
    }
    int bad = 0;
    if (!frame_.bboxJob->run(group, frame_.particleBox, bad)) {
      in_.refuse("the particle box of group %s cannot be computed: out of memory", group.getName());
    }
    if (bad != 0) LogMessage("#bad particles found in group %s, count:%d\n", group.getName(), bad);
  }

  void readGroupSubBlocks(PGroup& group) {
    for (;;) {
      const long long at = in_.offset();
      const int tag = in_.readInt("group sub-block tag", "14\n");
      switch (tag) {
        case kSubBlockEnd:
          return;
        case kSubBlockTypeWord:
          group.typeWord = in_.readInt("group type word", "15\n");
          break;
        case kSubBlockIds: {
          const int bytes = in_.readCount(1, "ID block byte count", "16\n");
          if (infoOnly_) {
            in_.skip(bytes, "ID block", "x162\n");
          } else {
            readIdBlock(group, bytes);
          }
          break;
        }
        case kSubBlockGroupValue:
          in_.read(group.groupValue, sizeof group.groupValue, "group value", "18\n");
          break;
        default:
          LogMessage("19\n");
          in_.refuse("group sub-block tag %d at offset %lld is unknown", tag, at);
      }
    }
  }

  // Entropy-coded 64-bit deltas, low half then high half per particle, summed into IDs.
  void readIdBlock(PGroup& group, int bytes) {
    std::vector<unsigned char> stream(static_cast<size_t>(bytes) + 8, 0);
    in_.read(stream.data(), bytes, "ID block", "x161\n");
    const long long n = group.particleCount;
    long long* ids = static_cast<long long*>(group.prepareChannelData(kParticleIdChannel));
    if (!ids && n > 0) {
      in_.refuse("the IDs of group %s cannot be decoded: refused by the decode budget or out of "
                 "memory", group.getName());
    }
    EntropyCoder coder;
    coder.InitDecoder(stream.data(), stream.data() + bytes);
    for (long long p = 0; p < n; ++p) {
      const unsigned int low = static_cast<unsigned int>(coder.DecodeSymbol());
      const unsigned int high = static_cast<unsigned int>(coder.DecodeSymbol());
      ids[p] = static_cast<long long>(static_cast<unsigned long long>(high) << 32 | low);
    }
    bool negative = false;
    for (long long p = 1; p < n; ++p) {
      negative = negative || ids[p] < 0;
      ids[p] = static_cast<long long>(static_cast<unsigned long long>(ids[p]) +
                                      static_cast<unsigned long long>(ids[p - 1]));
    }
    if (negative && !group.sortIdOrder()) {
      in_.refuse("the ID order of group %s cannot be allocated: out of memory", group.getName());
    }
  }

  CorvaneFrameData& frame_;
  FileCursor& in_;
  bool infoOnly_;
  bool summarySeen_ = false;
};

// Reads the footer: the format version into the frame and the data offset. 12 without the magic,
// 3 for a negative 32-bit offset, 0 otherwise.
int readFooter(FileCursor& in, std::FILE* file, CorvaneFrameData& frame, long long& dataOffset) {
  if (orv::platform::Seek64(file, 0, SEEK_END) != 0) {
    LogMessage("Failed to seek to EOF!\n");
    in.refuse("the end of the file cannot be found");
  }
  const long long size = orv::platform::Tell64(file);
  in.setSize(size);
  const char* const magicText = "Failed while seeking to orva2 magic!\n";
  in.seek(size - 8, "footer magic", magicText);
  char magic[8];
  in.read(magic, 8, "footer magic", "Failed reading orva2 magic!\n");
  if (std::memcmp(magic, kFooterMagic, 8) != 0) return 12;
  in.seek(size - 12, "format version", "Failed to seek to orva2 version!\n");
  frame.formatVersion = in.readInt("format version", "Failed reading orva2 version!\n");
  if (!HasWideSizes(frame.formatVersion)) {
    in.seek(size - 16, "data offset", "Failed seeking to marker chunk!\n");
    dataOffset = in.readInt("data offset", "Failed reading orva2 data offset!\n");
    if (dataOffset < 0) return 3;
  } else {
    in.seek(size - 20, "data offset", "Failed seeking to marker chunk!\n");
    dataOffset = in.value<long long>("data offset", "Failed reading orva2 data offset!\n");
  }
  return 0;
}

}  // namespace

int CorvaneFrameData::ImportOrv(const char* path, bool singleAttempt, bool infoOnly) {
  resetFrame(infoOnly);
  freeCompressedStream();
  frameNumber = 0;
  if (!path || !*path) return 3;
  OpenCacheFile file(path);
  if (const int opened = file.open(singleAttempt)) return opened;
  try {
    FileCursor in(file.file(), path);
    long long dataOffset = 0;
    const int footer = readFooter(in, file.file(), *this, dataOffset);
    if (footer == 3) return 3;
    if (footer == 12) {
      LogMessage(
          "Failed reading the orva2 file footer!\nThe file is damaged, incomplete or in "
          "unsupported file format.\nIf the file was saved by Corvane 2.2 or older, please "
          "simulate the scene again, but note that the results may differ.\n");
      return 12;
    }
    OrvReader reader(*this, in, infoOnly);
    reader.readChunks(dataOffset);
    reader.readHeader();
    file.close();
    if (infoOnly) {
      if (!allocateCompressedStream(1)) throw std::bad_alloc();
      compressedStream[0] = 0;
    }
    return 0;
  } catch (const IOErrException&) {
    LogMessage("CorvaneFrameData::ImportOrv broken file. File is: %s\n", path);
  } catch (const std::bad_alloc&) {
    LogMessage("CorvaneFrameData::ImportOrv bad memory allocation. File is: %s\n", path);
    LogMessage("#ImportOrv %s: out of memory\n", path);
  }
  freeCompressedStream();
  file.close();
  return 4;
}
