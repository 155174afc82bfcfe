#include "codecs/EntropyCoder.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "codecs/BitWindow.h"
#include "codecs/WrappingArithmetic.h"
#include "support/Allocation.h"
#include "support/Log.h"

namespace {

// Number of binary digits of a positive x.
int bitLength(unsigned long long x) {
  int n = 0;
  while (x) {
    ++n;
    x >>= 1;
  }
  return n;
}

// Rates are stored as 32-bit fields; read them unsigned so that no sum can overflow.
long long rateValue(const EntropyCoder::RateEntry& e) {
  return static_cast<long long>(static_cast<uint32_t>(e.rate));
}

constexpr long long kEncoderHeadroom = 100000;
// Bits a file source may still deliver are counted up to this many bytes.
constexpr unsigned long long kFileBytesCounted = 1ull << 56;

}  // namespace

EntropyCoder::~EntropyCoder() { Release(); }

void EntropyCoder::Release() {
  deleteArray(srt_);
  deleteArray(entryCodes_);
  deleteArray(tree_);
  deleteArray(ratesBefore_);
  srt_ = nullptr;
  ratesBefore_ = nullptr;
  entryCodes_ = nullptr;
  tree_ = nullptr;
  nextFree_ = nullptr;
  poolEnd_ = nullptr;
  maxDepth_ = 0;
  std::fill(usesByLength_, usesByLength_ + kMaxCodeLength + 1, 0);
  ready_ = false;
  table_.Release();
}

// ---------------------------------------------------------------------------------------------
// Code tree

bool EntropyCoder::buildTree(long long total) {
  // ratesBefore_[i]: the rates of srt_[0 .. i-1], so that a split is found by binary search.
  if (!newArray(ratesBefore_, static_cast<unsigned long long>(symbolCount_) + 1)) return false;
  ratesBefore_[0] = 0;
  for (int i = 0; i < symbolCount_; ++i) ratesBefore_[i + 1] = ratesBefore_[i] + rateValue(srt_[i]);
  const bool built = BuildCodeTree(0, symbolCount_, tree_, total, 0, 0);
  deleteArray(ratesBefore_);
  ratesBefore_ = nullptr;
  return built;
}

bool EntropyCoder::BuildCodeTree(int first, int count, Node* node, long long total,
                                 unsigned int code, int depth) {
  if (!ratesBefore_) return false;
  int n = count;
  while (n != 1) {
    if (n < 1 || depth >= kMaxCodeLength) return false;
    const long long half = total / 2;
    // The first entry whose running sum (from `first` on) reaches half; the split goes after it
    // or before it, whichever is closer to half, a tie to the larger left part. Rates are not
    // negative, so the running sums do not fall and a binary search finds it.
    const long long start = ratesBefore_[first];
    const long long* sums = ratesBefore_ + first + 1;  // sums[i] - start: entries first .. first+i
    const long long* reached = std::lower_bound(sums, sums + n, start + half);
    int leftSize = n;
    long long leftTotal = total;
    if (reached != sums + n) {
      const int i = static_cast<int>(reached - sums);
      const long long after = *reached - start;
      const long long before = i > 0 ? sums[i - 1] - start : 0;
      if (after - half <= half - before) {
        leftSize = i + 1;
        leftTotal = after;
      } else {
        leftSize = i;
        leftTotal = before;
      }
    }
    if (leftSize == 0 || leftSize == n) return false;
    if (poolEnd_ - nextFree_ < 2) return false;
    node->value = first + leftSize;
    node->child0 = nextFree_++;
    node->child1 = nextFree_++;
    if (!BuildCodeTree(first, leftSize, node->child0, leftTotal, code, depth + 1)) return false;
    code |= 1u << depth;
    ++depth;
    first += leftSize;
    n -= leftSize;
    total -= leftTotal;
    node = node->child1;
  }
  node->value = srt_[first].value;
  node->child0 = nullptr;
  node->child1 = nullptr;
  if (entryCodes_) entryCodes_[first] = CodeWord{code, depth};
  if (depth > maxDepth_) maxDepth_ = depth;
  usesByLength_[depth] += rateValue(srt_[first]);
  return true;
}

// ---------------------------------------------------------------------------------------------
// Encoder

int EntropyCoder::WriteBits(int value, int n) {
  if (!output_) return 0;
  long long bits = value;  // bits past 31 repeat the sign, as an arithmetic shift gives them
  while (n > 0) {
    const int take = std::min(n, 32 - wordBits_);
    const uint64_t chunk = static_cast<uint64_t>(bits) & ((1ull << take) - 1);
    word_ |= static_cast<uint32_t>(chunk << wordBits_);
    bits >>= take;
    wordBits_ += take;
    n -= take;
    if (wordBits_ == 32) {
      flushWord();
      if (output_->size() >= outputLimit_) return 0;
    }
  }
  return 1;
}

void EntropyCoder::flushWord() {
  if (wordBits_ == 0) return;
  const long long at = output_->size();
  if (output_->SetSize(at + 4)) {
    unsigned char* p = reinterpret_cast<unsigned char*>(output_->data + at);
    p[0] = static_cast<unsigned char>(word_);
    p[1] = static_cast<unsigned char>(word_ >> 8);
    p[2] = static_cast<unsigned char>(word_ >> 16);
    p[3] = static_cast<unsigned char>(word_ >> 24);
  } else {
    outputFailed_ = true;
  }
  word_ = 0;
  wordBits_ = 0;
}

void EntropyCoder::writeRawStream(const int* values, long long count, int width) {
  word_ = 0;
  wordBits_ = 0;
  WriteBits(width, 8);
  WriteBits(minimum_, 32);
  for (long long i = 0; i < count; ++i) WriteBits(orv::SubtractWrapping(values[i], minimum_), width);
}

long long EntropyCoder::Encode(const int* values, long long count,
                               CVNUtils::CvnArray<char, long long>& output) {
  Release();
  if (!values || count <= 0 || count > INT_MAX) return 0;
  const long long startLength = output.size();
  if (output.capacity < startLength + kEncoderHeadroom) {
    if (!output.SetSize(startLength + kEncoderHeadroom, nullptr, true)) return 0;
    output.SetSize(startLength);
  }
  output_ = &output;
  outputFailed_ = false;
  word_ = 0;
  wordBits_ = 0;

  long long lowest = values[0];
  long long highest = values[0];
  for (long long i = 1; i < count; ++i) {
    lowest = std::min<long long>(lowest, values[i]);
    highest = std::max<long long>(highest, values[i]);
  }
  minimum_ = static_cast<int>(lowest);
  const int width = bitLength(static_cast<unsigned long long>(highest - lowest + 1));
  outputLimit_ = static_cast<long long>(static_cast<unsigned long long>(startLength) +
                                        static_cast<unsigned long long>(count) * width / 8 + 8);

  // Rates of the distinct values, found by sorting a copy: the tables stay as large as the
  // input, however wide the value range.
  int* sorted = nullptr;
  if (!newArray(sorted, static_cast<unsigned long long>(count))) {
    LogMessage("Encode newZeroedArray rates failed!\n");
    output_ = nullptr;
    return 0;
  }
  std::memcpy(sorted, values, static_cast<size_t>(count) * sizeof(int));
  std::sort(sorted, sorted + count);
  long long distinct = 1;
  for (long long i = 1; i < count; ++i) distinct += sorted[i] != sorted[i - 1];
  if (!newArray(srt_, static_cast<unsigned long long>(distinct))) {
    LogMessage("Encode newArray srt failed!\n");
    deleteArray(sorted);
    output_ = nullptr;
    return 0;
  }
  symbolCount_ = static_cast<int>(distinct);
  for (long long i = 0, e = 0; i < count; ++e) {
    long long j = i + 1;
    while (j < count && sorted[j] == sorted[i]) ++j;
    srt_[e] = RateEntry{orv::SubtractWrapping(sorted[i], minimum_), static_cast<int>(j - i)};
    i = j;
  }
  deleteArray(sorted);
  std::stable_sort(srt_, srt_ + distinct,
                   [](const RateEntry& a, const RateEntry& b) { return a.rate > b.rate; });

  // Value offsets in ascending order with their srt position, for looking up code words.
  int* byValue = nullptr;
  if (!newZeroedArray(entryCodes_, distinct) ||
      !newArray(byValue, static_cast<unsigned long long>(distinct))) {
    LogMessage("Encode newZeroedArray val2code failed!\n");
    deleteArray(byValue);
    Release();
    output_ = nullptr;
    return 0;
  }
  if (!newArray(tree_, static_cast<unsigned long long>(2 * distinct))) {
    LogMessage("Encode newArray tree failed!\n");
    deleteArray(byValue);
    Release();
    output_ = nullptr;
    return 0;
  }
  for (int i = 0; i < symbolCount_; ++i) byValue[i] = i;
  std::sort(byValue, byValue + distinct, [this](int a, int b) {
    return static_cast<uint32_t>(srt_[a].value) < static_cast<uint32_t>(srt_[b].value);
  });
  nextFree_ = tree_ + 1;
  poolEnd_ = tree_ + 2 * distinct;
  const bool treeFits = buildTree(count);

  long long codeBits = 0;
  for (int i = 0; i < symbolCount_; ++i) codeBits += rateValue(srt_[i]) * entryCodes_[i].length;
  const long long rawEstimate = count * width / 8;
  const long long codedEstimate = distinct / 4 + codeBits / 8 + 10;

  // A tree too deep for 32-bit code words cannot be coded: such sequences are stored raw.
  bool coded = treeFits && rawEstimate >= codedEstimate;
  if (coded) {
    const int rateWidth = bitLength(static_cast<unsigned long long>(rateValue(srt_[0])));
    coded = WriteBits(0, 8) && WriteBits(symbolCount_, 32) && WriteBits(minimum_, 32) &&
            WriteBits(rateWidth, 6) && WriteBits(width, 6);
    for (int i = 0; coded && i < symbolCount_; ++i) {
      const bool newRate = i == 0 || srt_[i].rate != srt_[i - 1].rate;
      coded = WriteBits(newRate ? 1 : 0, 1) && (!newRate || WriteBits(srt_[i].rate, rateWidth)) &&
              WriteBits(srt_[i].value, width);
    }
    for (long long i = 0; coded && i < count; ++i) {
      const uint32_t offset = static_cast<uint32_t>(orv::SubtractWrapping(values[i], minimum_));
      const int* found =
          std::lower_bound(byValue, byValue + distinct, offset, [this](int entry, uint32_t v) {
            return static_cast<uint32_t>(srt_[entry].value) < v;
          });
      const CodeWord& word = entryCodes_[*found];
      coded = WriteBits(static_cast<int>(word.code), word.length);
    }
  }
  deleteArray(byValue);
  if (!coded) {
    if (!outputFailed_) output.SetSize(startLength);
    writeRawStream(values, count, width);
  }
  flushWord();
  Release();
  output_ = nullptr;
  if (outputFailed_) return 0;
  return output.size() - startLength;
}

// ---------------------------------------------------------------------------------------------
// Decoder source

long long EntropyCoder::remainingBits() const {
  if (file_) {
    const unsigned long long bytes = std::min(fileBytesLeft_, kFileBytesCounted);
    return static_cast<long long>(bytes * 8) + (bitIndex_ ? 8 - bitIndex_ : 0);
  }
  return static_cast<long long>(end_ - position_) * 8 - bitIndex_;
}

int EntropyCoder::readBit() {
  if (file_) {
    if (bitIndex_ == 0) {
      const int c = fileBytesLeft_ ? std::fgetc(file_) : EOF;
      if (c == EOF) {
        overrun_ = true;
        return 0;
      }
      fileByte_ = static_cast<unsigned char>(c);
      --fileBytesLeft_;
      ++fileBytesRead_;
    }
    const int bit = (fileByte_ >> bitIndex_) & 1;
    if (++bitIndex_ == 8) bitIndex_ = 0;
    return bit;
  }
  if (position_ >= end_) {
    overrun_ = true;
    return 0;
  }
  const int bit = (*position_ >> bitIndex_) & 1;
  if (++bitIndex_ == 8) {
    bitIndex_ = 0;
    ++position_;
  }
  return bit;
}

// The next bits of a memory source, least significant first; at least 57 valid bits unless the
// source ends sooner, zeros past its end.
uint64_t EntropyCoder::peekBits() const {
  const size_t available = static_cast<size_t>(end_ - position_);
  uint64_t bits = 0;
  if (available >= 8) {
    bits = LoadLittleEndian64(position_);
  } else {
    for (size_t i = 0; i < available; ++i) bits |= static_cast<uint64_t>(position_[i]) << (8 * i);
  }
  return bits >> bitIndex_;
}

void EntropyCoder::consumeBits(int n) {
  if (n > remainingBits()) {
    overrun_ = true;
    position_ = end_;
    bitIndex_ = 0;
    return;
  }
  const int bits = bitIndex_ + n;
  position_ += bits >> 3;
  bitIndex_ = bits & 7;
}

unsigned int EntropyCoder::ReadBits(int n) {
  unsigned int result = 0;
  if (file_) {
    for (int i = 0; i < n; ++i) {
      const unsigned int bit = static_cast<unsigned int>(readBit());
      if (i < 32) result |= bit << i;
    }
    return result;
  }
  for (int shift = 0; shift < n;) {
    const int take = std::min(n - shift, 32);
    const uint64_t bits = peekBits() & ((1ull << take) - 1);
    consumeBits(take);
    if (shift < 32) result |= static_cast<unsigned int>(bits << shift);
    shift += take;
  }
  return result;
}

unsigned long long EntropyCoder::BytesConsumed() const {
  if (file_) return fileBytesRead_;
  return static_cast<unsigned long long>(position_ - start_) + (bitIndex_ ? 1 : 0);
}

// ---------------------------------------------------------------------------------------------
// Decoder

long long EntropyCoder::InitDecoder(const void* source, const void* sourceEnd) {
  Release();
  file_ = nullptr;
  start_ = position_ = static_cast<const unsigned char*>(source);
  end_ = static_cast<const unsigned char*>(sourceEnd);
  if (!start_ || end_ < start_) end_ = start_;
  bitIndex_ = 0;
  overrun_ = false;
  return readHeader();
}

long long EntropyCoder::InitDecoder(std::FILE* file, unsigned long long byteLimit) {
  Release();
  file_ = file;
  start_ = position_ = end_ = nullptr;
  fileBytesLeft_ = file ? byteLimit : 0;
  fileBytesRead_ = 0;
  bitIndex_ = 0;
  overrun_ = false;
  if (!file) return 0;
  return readHeader();
}

long long EntropyCoder::readHeader() {
  raw_ = false;
  expansion_ = ExpansionState{};
  const unsigned int kind = ReadBits(8);
  if (kind != 0) {
    raw_ = true;
    symbolCount_ = static_cast<int>(kind);
    minimum_ = static_cast<int>(ReadBits(32));
    // A raw value is at most 33 bits wide: a range of 2^32 values.
    ready_ = !overrun_ && kind <= 33;
    return ready_ ? 1 : 0;
  }
  const unsigned int entries = ReadBits(32);
  minimum_ = static_cast<int>(ReadBits(32));
  const int rateWidth = static_cast<int>(ReadBits(6));
  const int width = static_cast<int>(ReadBits(6));
  if (overrun_ || entries == 0 || entries > INT_MAX || rateWidth < 1 || rateWidth > 32 ||
      width < 1 || width > 33) {
    return 0;
  }
  // Distinct offsets below 2^width, and each entry takes at least a flag and an offset.
  if (width < 33 && entries > (1ull << width)) return 0;
  const long long neededBits =
      static_cast<long long>(entries - 1) * (1 + width) + 1 + rateWidth + width;
  if (neededBits > remainingBits()) return 0;

  symbolCount_ = static_cast<int>(entries);
  if (!newArray(srt_, entries)) {
    LogMessage("Encode InitDecoder srt failed!\n");
    return 0;
  }
  long long total = 0;
  int rate = 0;
  uint32_t largestOffset = 0;
  for (int i = 0; i < symbolCount_; ++i) {
    if (readBit()) rate = static_cast<int>(ReadBits(rateWidth));
    srt_[i].rate = rate;
    srt_[i].value = static_cast<int>(ReadBits(width));
    total += rateValue(srt_[i]);
    largestOffset = std::max(largestOffset, static_cast<uint32_t>(srt_[i].value));
  }
  if (overrun_) return 0;
  if (!newArray(tree_, 2ull * entries)) {
    LogMessage("Encode InitDecoder tree failed!\n");
    return 0;
  }
  nextFree_ = tree_ + 1;
  poolEnd_ = tree_ + 2ull * entries;
  // The tree's depth is checked against the longest code word before a table is built.
  if (!buildTree(total)) return 0;
  if (!table_.Build(tree_, maxDepth_, symbolCount_, minimum_, largestOffset, usesByLength_)) {
    return 0;
  }
  ready_ = true;
  return 1;
}

inline int EntropyCoder::decodeFromMemory() {
  int length = 0;
  const int symbol = table_.Lookup(peekBits(), length);
  consumeBits(length);
  return symbol;
}

int EntropyCoder::DecodeSymbol() {
  if (!ready_) {
    overrun_ = true;
    return 0;
  }
  if (raw_) return orv::AddWrapping(static_cast<int>(ReadBits(symbolCount_)), minimum_);
  if (file_) return DecodeSymbolBitwise();
  return decodeFromMemory();
}

int EntropyCoder::DecodeSymbolBitwise() {
  if (!ready_) {
    overrun_ = true;
    return 0;
  }
  if (raw_) {
    unsigned int value = 0;
    for (int i = 0; i < symbolCount_; ++i) {
      const unsigned int bit = static_cast<unsigned int>(readBit());
      if (i < 32) value |= bit << i;
    }
    return orv::AddWrapping(static_cast<int>(value), minimum_);
  }
  const Node* node = tree_;
  while (node->child0) node = readBit() ? node->child1 : node->child0;
  return orv::AddWrapping(minimum_, node->value);
}
