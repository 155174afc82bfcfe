// Shannon-Fano coder of signed 32-bit integer sequences.
//
// A stream is either coded (kind byte 0, a table of distinct values with their rates, then one
// code word per value) or raw (a width byte, the minimum, then every value in that width), always
// a whole number of 32-bit little-endian words. The decoder rebuilds the code tree from the table
// and decodes with a multi-level decode table built from it (CodeTable), so that code words of
// every length up to 32 bits take a few look-ups; DecodeSymbolBitwise is the one-bit-at-a-time
// walk of the tree kept as the reference the fast path must match.
//
// A decoder never reads outside the source it was given: bits beyond its end read as zero and set
// the overrun flag, which DecodeAndExpand reports as a failed decode.
#pragma once

#include <cstdint>
#include <cstdio>

#include "codecs/CodeTable.h"
#include "support/CvnArray.h"

struct BitWindow;
template <typename Word, bool kLengthFirst>
struct CodedRounds;

// Where an expansion stands between parts: the value last placed and how many more copies of it
// a run still owes.
struct ExpansionState {
  int last = 0;
  bool started = false;
  long long owed = 0;
};

class EntropyCoder {
 public:
  // Code trees deeper than this cannot be stored in a 32-bit code word.
  static constexpr int kMaxCodeLength = CodeTable::kMaxCodeLength;

  struct CodeWord {
    unsigned int code;
    int length;
  };
  // One distinct value: offset from the minimum and its number of occurrences.
  struct RateEntry {
    int value;
    int rate;
  };
  // Leaf: child0 null and value the value offset. Inner node: value is the srt index where the
  // right part starts.
  using Node = CodeTreeNode;

  EntropyCoder() = default;
  EntropyCoder(const EntropyCoder&) = delete;
  EntropyCoder& operator=(const EntropyCoder&) = delete;
  ~EntropyCoder();

  // Appends the stream of count values to output and returns the bytes appended; 0 when a
  // working table could not be allocated or count is not positive (nothing is appended then).
  long long Encode(const int* values, long long count, CVNUtils::CvnArray<char, long long>& output);

  // Prepares decoding of the stream in [source, sourceEnd). Returns 1 when the header and table
  // were read and the tree built; 0 when a table could not be allocated or the header is invalid
  // (widths out of range, more table entries than the stream could hold, a tree deeper than 32
  // levels). After a 0 every decode fails.
  long long InitDecoder(const void* source, const void* sourceEnd);
  // The same from an open file positioned at the stream, reading at most byteLimit bytes.
  long long InitDecoder(std::FILE* file, unsigned long long byteLimit);

  // The next symbol of the stream.
  int DecodeSymbol();
  // Reference decoder: the same symbol, reading the tree one bit at a time.
  int DecodeSymbolBitwise();

  // Fills values[0..count-1]: non-negative symbols plus base, a negative symbol -k as k copies of
  // the value before it. False, leaving the places not yet reached untouched, when the stream
  // runs past its source, starts with a run marker, holds a run longer than the places left
  // ("DecodeAndExpand - constant sequence longer than expected\n") or was not initialised.
  bool DecodeAndExpand(int* values, long long count, int base);
  // The same in parts: each call fills the next count places of the sequence, a run that
  // reaches past them continuing in the next call; FinishExpansion after the last part fails
  // (logging the message above) when a run reached past the end. False where DecodeAndExpand
  // would be; the sequence is then not to be continued.
  bool ExpandNext(int* values, long long count, int base);
  bool FinishExpansion();

  // The next places of one sequence: what ExpandNext takes.
  struct Expansion {
    int* values;
    long long count;
    int base;
  };
  // a.ExpandNext of partA and b.ExpandNext of partB, with the same results, but with the two
  // streams' symbols decoded side by side, so that one processor core works on both at once.
  static void ExpandNextOfBoth(EntropyCoder& a, const Expansion& partA, bool& okA,
                               EntropyCoder& b, const Expansion& partB, bool& okB);

  // Appends the low n bits of value, least significant first. 0 when the output reached the
  // output limit (the rest of the bits are dropped), else 1.
  int WriteBits(int value, int n);
  // The next n bits, least significant first (bits past 32 are dropped).
  unsigned int ReadBits(int n);
  // Shannon-Fano split of srt[first .. first+count-1], rates summing to total, below node at
  // depth with the given code prefix. False for a tree deeper than kMaxCodeLength or a split that
  // leaves one side empty (rates not positive). Runs within buildTree, which prepares the running
  // sums of the rates it searches.
  bool BuildCodeTree(int first, int count, Node* node, long long total, unsigned int code,
                     int depth);

  // True once a decode needed bits beyond the end of the source.
  bool Overrun() const { return overrun_; }
  // Bytes of the source holding bits read so far.
  unsigned long long BytesConsumed() const;
  // Frees the srt table and the tree.
  void Release();

  // Decoder state, readable for inspection.
  int symbolCount() const { return symbolCount_; }
  int minimum() const { return minimum_; }
  const RateEntry* table() const { return srt_; }
  const CodeTable& codeTable() const { return table_; }
  // Encoder side: code word and length of srt entry i after BuildCodeTree with codes enabled.
  CodeWord codeOfEntry(int i) const { return entryCodes_ ? entryCodes_[i] : CodeWord{0, 0}; }

 private:
  long long readHeader();
  // The code tree of the whole srt table, whose rates sum to total (BuildCodeTree from the root).
  bool buildTree(long long total);
  int readBit();
  int decodeFromMemory();
  // Places what a run of the previous part still owes; returns the places filled.
  long long placeOwed(int* values, long long count);
  // ExpandNext from place i on.
  bool expandFrom(int* values, long long count, int base, long long i);
  // Expand symbols from a memory source while at least eight bytes remain, through a 64-bit
  // window on it: a coded stream with a view of its code table (in rounds), a raw one by its
  // width; i is the next place. False when decoding must stop (DecodeAndExpand).
  template <bool kLengthFirst, typename Word>
  bool expandCoded(CodeTableView<Word> view, int* values, long long count, int base, long long& i);
  template <bool kLengthFirst, typename Word>
  CodedRounds<Word, kLengthFirst> startRounds(CodeTableView<Word> view, int* values,
                                              long long count, int base, long long i) const;
  template <typename Rounds>
  bool finishRounds(const Rounds& rounds, long long& i);
  // The rounds of a and b alternating, from places i and j, while both can go on.
  template <bool kLengthFirst>
  static void expandSideBySide(EntropyCoder& a, const Expansion& partA, long long& i,
                               bool& placedA, EntropyCoder& b, const Expansion& partB,
                               long long& j, bool& placedB);
  bool expandRaw(int* values, long long count, int base, long long& i);
  BitWindow openWindow() const;
  void closeWindow(const BitWindow& window);
  uint64_t peekBits() const;
  void consumeBits(int n);
  long long remainingBits() const;
  void writeRawStream(const int* values, long long count, int width);
  void flushWord();

  // Coding state.
  int symbolCount_ = 0;  // coded: distinct values; raw decoder: value width
  int minimum_ = 0;
  bool raw_ = false;
  bool ready_ = false;
  bool overrun_ = false;
  RateEntry* srt_ = nullptr;
  CodeWord* entryCodes_ = nullptr;  // encoder: code of each srt entry
  Node* tree_ = nullptr;
  long long* ratesBefore_ = nullptr;  // while a tree is built: running sums of the srt rates
  Node* nextFree_ = nullptr;
  Node* poolEnd_ = nullptr;
  int maxDepth_ = 0;
  long long usesByLength_[kMaxCodeLength + 1] = {};  // rates of the leaves by depth

  // Decoder source: memory [position_, end_) or a file read one byte at a time.
  const unsigned char* start_ = nullptr;
  const unsigned char* position_ = nullptr;
  const unsigned char* end_ = nullptr;
  std::FILE* file_ = nullptr;
  unsigned long long fileBytesLeft_ = 0;
  unsigned long long fileBytesRead_ = 0;
  unsigned char fileByte_ = 0;
  int bitIndex_ = 0;

  // Encoder output.
  uint32_t word_ = 0;
  int wordBits_ = 0;  // bits of word_ filled; 0 = no word started
  bool outputFailed_ = false;
  long long outputLimit_ = 0;
  CVNUtils::CvnArray<char, long long>* output_ = nullptr;

  CodeTable table_;  // decoder of a coded stream
  ExpansionState expansion_;
};
