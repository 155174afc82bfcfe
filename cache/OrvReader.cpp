// The .orv reader: footer, chunk section, header section and the older particle blocks. Every read
// goes through one checked cursor over the open file; every count from the file is checked against
// the bytes that remain before anything is allocated for it.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "cache/OpenFileRegistry.h"
#include "cache/particles/MTComputeParticlesBbox.h"
#include "cache/particles/ParticleChannelTable.h"
#include "codecs/EntropyCoder.h"
#include "codecs/SGCompressor.h"
#include "support/Log.h"
#include "support/TextConversion.h"
#include "support/platform/FileLock.h"
#include "support/platform/Threads.h"
#include "support/platform/Platform.h"

namespace {

struct IOErrException {};

constexpr int kAttempts = 30;
constexpr int kRetryMilliseconds = 200;
constexpr int kStartMagic = 0x4156524F;  // "ORVA"
constexpr int kChunkEnd = 9999999;
// Decoded particle data may exceed its compressed form; it may not exceed the file by more than
// this factor, so a size field cannot demand an allocation no file could justify.
constexpr long long kMaxExpansion = 1024;

[[noreturn]] void fail(const char* text) {
  if (text) LogMessage("%s", text);
  throw IOErrException();
}

// Checked reads from the open cache file.
class FileCursor {
 public:
  FileCursor(std::FILE* file, long long size) : file_(file), size_(size) {}
  long long size() const { return size_; }
  long long remaining() const {
    const long long at = orv::platform::Tell64(file_);
    return at < 0 || at > size_ ? 0 : size_ - at;
  }
  void read(void* destination, long long bytes, const char* text) {
    if (bytes < 0 || bytes > remaining()) fail(text);
    if (bytes > 0 && std::fread(destination, 1, static_cast<size_t>(bytes), file_) !=
                         static_cast<size_t>(bytes)) {
      fail(text);
    }
  }
  int readInt(const char* text) {
    int value;
    read(&value, 4, text);
    return value;
  }
  long long readInt64(const char* text) {
    long long value;
    read(&value, 8, text);
    return value;
  }
  float readFloat(const char* text) {
    float value;
    read(&value, 4, text);
    return value;
  }
  void seek(long long offset, const char* text) {
    if (offset < 0 || offset > size_ || orv::platform::Seek64(file_, offset, SEEK_SET) != 0) {
      fail(text);
    }
  }
  void skip(long long bytes, const char* text) {
    if (bytes < 0 || bytes > remaining()) fail(text);
    seek(orv::platform::Tell64(file_) + bytes, text);
  }
  // A count of items of at least itemBytes each that must fit in the rest of the file.
  int readCount(long long itemBytes, const char* text) {
    const int count = readInt(text);
    requireFits(count, itemBytes);
    return count;
  }
  void requireFits(long long count, long long itemBytes) {
    if (count < 0 || (itemBytes > 0 && count > remaining() / itemBytes)) fail(nullptr);
  }
  std::string readString(const char* text) {
    const int length = readCount(1, text);
    std::string value(static_cast<size_t>(length), '\0');
    read(value.data(), length, text);
    return value;
  }
  // Bytes a decoder may produce from the file's content, counted over the whole file so that
  // many small claims cannot add up to more than one large one could.
  void requireDecodable(long long bytes) {
    if (bytes < 0 || bytes / kMaxExpansion > size_ + 4096) fail(nullptr);
    claimed_ += bytes;
    if (claimed_ / kMaxExpansion > size_ + 4096) fail(nullptr);
  }

 private:
  std::FILE* file_;
  long long size_;
  long long claimed_ = 0;
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
    for (int attempt = 0; attempt < kAttempts && !locked_; ++attempt) {
      locked_ = orv::platform::TryLockWholeFile(file_, false);
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

  void readChunks(long long dataOffset) {
    // Checked before adding: an offset near the top of the 64-bit range must not wrap.
    if (dataOffset < 0 || dataOffset > in_.size() - 4) fail("Failed seeking to marker chunk!\n");
    in_.seek(dataOffset + 4, "Failed seeking to marker chunk!\n");
    for (;;) {
      const int id = in_.readInt("Failed reading chunk id!\n");
      if (id == kChunkEnd) return;
      const long long size = frame_.formatVersion <= 3 ? in_.readInt("Failed reading chunk size!\n")
                                                       : in_.readInt64("Failed reading chunk size!\n");
      if (size < 0 || size > in_.remaining()) fail(nullptr);
      switch (id) {
        case 1000:
          readSummary();
          in_.readInt("Failed reading chunk id!\n");
          if (frame_.formatVersion <= 2) return;
          break;
        case 1001:
          frame_.chunkText = in_.readString(nullptr);
          break;
        case 1002:
          if (infoOnly_) {
            in_.skip(size, nullptr);
          } else {
            readGroupChunk();
          }
          break;
        case 1003: {
          const int n = in_.readCount(12, nullptr);
          for (int e = 0; e < n; ++e) {
            const int channel = in_.readInt(nullptr);
            const float low = in_.readFloat(nullptr);
            const float high = in_.readFloat(nullptr);
            if (channel >= 0 && channel < CorvaneFrameData::kChannelCount) {
              frame_.slots[channel].rangeLow = low;
              frame_.slots[channel].rangeHigh = high;
            }
          }
          break;
        }
        case 1004: {
          const int n = in_.readCount(12, nullptr);
          for (int e = 0; e < n; ++e) {
            const int channel = in_.readInt(nullptr);
            const long long value = in_.readInt64(nullptr);
            if (channel >= 0 && channel < CorvaneFrameData::kChannelCount) {
              frame_.channelValues[channel] = value;
            }
          }
          break;
        }
        default:
          in_.skip(size, nullptr);
      }
    }
  }

  void readHeader() {
    in_.seek(0, nullptr);
    if (in_.readInt(nullptr) != kStartMagic) fail("no hdr\n");
    for (;;) {
      const int tag = in_.readInt("0\n");
      if (tag < 1 || tag > 13) return;
      readHeaderBlock(tag);
    }
  }

 private:
  void readSummary() {
    const int groups = in_.readCount(16, nullptr);
    frame_.particleGroups.Clear();
    if (!frame_.particleGroups.SetSize(groups)) fail(nullptr);
    for (int g = 0; g < groups; ++g) {
      PGroup& group = frame_.particleGroups[g];
      setName(group, in_.readString(nullptr));
      group.particleCount = in_.readInt(nullptr);
      group.channelMask = in_.readInt(nullptr);
      group.typeWord = in_.readInt(nullptr);
    }
    in_.read(&frame_.particleBox, sizeof frame_.particleBox, nullptr);
    summarySeen_ = true;
  }

  void readGroupChunk() {
    const int groups = in_.readCount(24, nullptr);
    frame_.particleGroups.Clear();
    if (!frame_.particleGroups.SetSize(groups)) fail(nullptr);
    for (int g = 0; g < groups; ++g) {
      PGroup& group = frame_.particleGroups[g];
      group.frame = &frame_;
      group.channelMask = 0;
      setName(group, in_.readString(nullptr));
      group.typeWord = in_.readInt(nullptr);
      group.particleCount = readParticleCount();
      in_.read(group.groupValue, sizeof group.groupValue, nullptr);
      const int channels = in_.readCount(12, nullptr);
      for (int k = 0; k < channels; ++k) {
        const int channel = in_.readInt(nullptr);
        if (channel < 0 || channel >= kParticleChannelCount) fail(nullptr);
        const int method = in_.readInt(nullptr);
        // Decoded later, on first access: the size it will take is claimed now.
        if (method != 0) {
          in_.requireDecodable(static_cast<long long>(group.particleCount) *
                               ParticleChannelByteSize(channel));
        }
        // Read straight into the array the slot then keeps.
        const int bytes = in_.readCount(1, nullptr);
        CVNUtils::CvnArray<char, long long> stored;
        if (bytes > 0 && !stored.SetSize(bytes, nullptr, true)) fail(nullptr);
        in_.read(stored.data, bytes, nullptr);
        if (!group.setCompressedChannel(channel, method, std::move(stored))) fail(nullptr);
        if (group.hasChannel(channel)) group.channelMask |= 1 << channel;
      }
    }
  }

  int readParticleCount(const char* text = nullptr) {
    const int count = in_.readInt(text);
    if (count < 0) fail(nullptr);
    return count;
  }

  static void setName(PGroup& group, const std::string& name) {
    if (!group.setName(name.data(), static_cast<int>(name.size()))) fail(nullptr);
  }

  void readHeaderBlock(int tag) {
    switch (tag) {
      case 1:
        frame_.channelMask = static_cast<unsigned int>(in_.readInt("1\n"));
        frame_.flags = (frame_.flags & ~1u) | (frame_.channelMask >> 31);
        break;
      case 2:
        in_.read(frame_.transform, sizeof frame_.transform, "2\n");
        break;
      case 3:
        readGridBlock();
        break;
      case 4:
        frame_.frameNumber = in_.readInt("4\n");
        break;
      case 5:
        frame_.timeStep = in_.readFloat("7\n");
        break;
      case 6:
        in_.read(frame_.transformA, sizeof frame_.transformA, "6\n");
        break;
      case 7:
      case 13:
        readParticleBlock(tag == 13);
        break;
      case 8: {
        const double value = in_.readFloat("20\n");
        std::memcpy(frame_.simulationHeader + 8, &value, 8);
        break;
      }
      case 9: {
        const int value = in_.readInt("21\n");
        std::memcpy(frame_.simulationHeader + 348, &value, 4);
        frame_.headerValue = in_.readFloat("22\n");
        break;
      }
      case 10:
        in_.read(frame_.simulationHeader + 8, 8, "24\n");
        in_.read(frame_.simulationHeader + 16, 8, "25\n");
        break;
      case 11:
        in_.read(frame_.transformA, sizeof frame_.transformA, "11\n");
        in_.read(frame_.transformB, sizeof frame_.transformB, "11\n");
        in_.read(frame_.transformC, sizeof frame_.transformC, "11\n");
        in_.read(frame_.simulationHeader + 384, 8, "x111\n");
        break;
      case 12: {
        const int n = in_.readInt("12\n");
        if (n < 0) fail(nullptr);
        const int kept = n < 392 ? n : 392;
        in_.read(frame_.simulationHeader, kept, "x121\n");
        in_.skip(n - kept, "x121\n");
        break;
      }
    }
  }

  void readGridBlock() {
    for (int a = 0; a < 3; ++a) frame_.gridSize[a] = in_.readInt("3\n");
    requireUsableGrid();
    const int k = in_.readInt("4\n");
    if (k < 0 || k > in_.remaining() / 4) {
      fail("CorvaneFrameData::ImportOrv bad comprDataSzInts!");
    }
    if (infoOnly_) {
      in_.skip(4ll * k, nullptr);
      return;
    }
    if (!frame_.allocateCompressedStream(k)) fail(nullptr);
    in_.read(frame_.compressedStream, 4ll * k, "x41\n");
  }

  // A resolution with a negative axis, or one whose float array (with the decoder's slack) cannot
  // be counted in 64 bits, describes no grid.
  void requireUsableGrid() {
    long long cells = 1;
    for (int a = 0; a < 3; ++a) {
      if (frame_.gridSize[a] < 0 || __builtin_mul_overflow(cells, frame_.gridSize[a], &cells)) {
        fail(nullptr);
      }
    }
    if (cells > (INT64_MAX - 16) / 4) fail(nullptr);
  }

  void readParticleBlock(bool compressed) {
    const bool loadData = !infoOnly_ || !summarySeen_;
    const int words = in_.readCount(4, "9\n");
    std::vector<int> shared;
    if (loadData) {
      shared.resize(static_cast<size_t>(words));
      in_.read(shared.data(), 4ll * words, compressed ? "13\n" : "x91\n");
    } else {
      in_.skip(4ll * words, compressed ? "13\n" : "x91\n");
    }
    const int groups = in_.readCount(4 + 4 + 128 + 4, "11\n");
    if (!frame_.particleGroups.SetSize(groups)) fail(nullptr);
    for (int g = 0; g < groups; ++g) {
      PGroup& group = frame_.particleGroups[g];
      group.frame = &frame_;
      setName(group, in_.readString(nullptr));
      group.particleCount = readParticleCount("12\n");
      int offsets[kParticleChannelCount];
      in_.read(offsets, sizeof offsets, "13\n");
      if (loadData) {
        for (int c = 0; c < kParticleChannelCount; ++c) {
          if (offsets[c] == -1) continue;
          if (offsets[c] < 0 || offsets[c] >= words) fail(nullptr);
          if (compressed) {
            decodeCompressedChannel(group, c, shared, offsets[c]);
          } else {
            copyChannel(group, c, shared, offsets[c]);
          }
        }
      }
      if (!summarySeen_) growParticleBox(group);
      readGroupSubBlocks(group);
    }
    summarySeen_ = true;
  }

  static void copyChannel(PGroup& group, int channel, const std::vector<int>& shared, int offset) {
    const long long bytes =
        static_cast<long long>(group.particleCount) * ParticleChannelByteSize(channel);
    if (bytes == 0) return;
    if (bytes > 4 * (static_cast<long long>(shared.size()) - offset)) fail(nullptr);
    if (!group.setChannelData(channel, shared.data() + offset, -1)) fail(nullptr);
  }

  void decodeCompressedChannel(PGroup& group, int channel, const std::vector<int>& shared,
                               int offset) {
    const long long n = group.particleCount;
    const long long e = ParticleChannelWords(channel);
    const long long count = e * n;
    if (count == 0) return;
    in_.requireDecodable(count * 4);
    std::vector<float> decoded(static_cast<size_t>(count), 0.0f);
    SGCompressor<1>* decoder = group.decoderFor(channel);
    if (!decoder) fail(nullptr);
    // A failed decode is not reported: the array is copied as it stands.
    decoder->Decompress(shared.data() + offset,
                        4ull * (static_cast<unsigned long long>(shared.size()) - offset),
                        decoded.data(), count);
    float* data = static_cast<float*>(group.prepareChannelData(channel));
    if (!data) fail(nullptr);
    for (long long p = 0; p < n; ++p) {
      for (long long k = 0; k < e; ++k) data[p * e + k] = decoded[k * n + p];
    }
  }

  void growParticleBox(PGroup& group) {
    if (!frame_.bboxJob && !(frame_.bboxJob = new (std::nothrow) MTComputeParticlesBbox())) {
      fail(nullptr);
    }
    int bad = 0;
    if (!frame_.bboxJob->run(group, frame_.particleBox, bad)) fail(nullptr);
    if (bad != 0) LogMessage("#bad particles found in group %s, count:%d\n", group.getName(), bad);
  }

  void readGroupSubBlocks(PGroup& group) {
    for (;;) {
      const int tag = in_.readInt("14\n");
      switch (tag) {
        case 0:
          return;
        case 1:
          group.typeWord = in_.readInt("15\n");
          break;
        case 2: {
          const int bytes = in_.readCount(1, "16\n");
          if (infoOnly_) {
            in_.skip(bytes, "x162\n");
          } else {
            readIdBlock(group, bytes);
          }
          break;
        }
        case 3:
          in_.read(group.groupValue, sizeof group.groupValue, "18\n");
          break;
        default:
          fail("19\n");
      }
    }
  }

  // Entropy-coded 64-bit deltas, low half then high half per particle, summed into IDs.
  void readIdBlock(PGroup& group, int bytes) {
    std::vector<unsigned char> stream(static_cast<size_t>(bytes) + 8, 0);
    in_.read(stream.data(), bytes, "x161\n");
    const long long n = group.particleCount;
    in_.requireDecodable(n * 8);
    long long* ids = static_cast<long long*>(group.prepareChannelData(kParticleIdChannel));
    if (!ids && n > 0) fail(nullptr);
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
    if (negative && !group.sortIdOrder()) fail(nullptr);
  }

  CorvaneFrameData& frame_;
  FileCursor& in_;
  bool infoOnly_;
  bool summarySeen_ = false;
};

// Reads the footer: the format version into the frame and the data offset. 12 without the magic,
// 3 for a negative 32-bit offset, 0 otherwise.
int readFooter(FileCursor& in, std::FILE* file, CorvaneFrameData& frame, long long& dataOffset) {
  if (orv::platform::Seek64(file, 0, SEEK_END) != 0) fail("Failed to seek to EOF!\n");
  const long long size = orv::platform::Tell64(file);
  if (size < 8) fail("Failed while seeking to orva2 magic!\n");
  in = FileCursor(file, size);
  in.seek(size - 8, "Failed while seeking to orva2 magic!\n");
  char magic[8];
  in.read(magic, 8, "Failed reading orva2 magic!\n");
  if (std::memcmp(magic, "ORVA2CVN", 8) != 0) return 12;
  if (size < 12) fail("Failed to seek to orva2 version!\n");
  in.seek(size - 12, "Failed to seek to orva2 version!\n");
  frame.formatVersion = in.readInt("Failed reading orva2 version!\n");
  if (frame.formatVersion <= 3) {
    if (size < 16) fail("Failed seeking to marker chunk!\n");
    in.seek(size - 16, "Failed seeking to marker chunk!\n");
    dataOffset = in.readInt("Failed reading orva2 data offset!\n");
    if (dataOffset < 0) return 3;
  } else {
    if (size < 20) fail("Failed seeking to marker chunk!\n");
    in.seek(size - 20, "Failed seeking to marker chunk!\n");
    dataOffset = in.readInt64("Failed reading orva2 data offset!\n");
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
    FileCursor in(file.file(), 0);
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
      if (!allocateCompressedStream(1)) throw IOErrException();
      compressedStream[0] = 0;
    }
    return 0;
  } catch (const IOErrException&) {
    LogMessage("CorvaneFrameData::ImportOrv broken file. File is: %s\n", path);
  } catch (const std::bad_alloc&) {
    LogMessage("CorvaneFrameData::ImportOrv bad memory allocation. File is: %s\n", path);
  }
  freeCompressedStream();
  file.close();
  return 4;
}
