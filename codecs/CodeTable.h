// Decode table of a prefix code held as a binary tree, so that every code word, up to the
// longest the coder allows, is found by a few table look-ups instead of one step per bit.
//
// The root table is indexed by the first bits of a code word: as many as nearly every code word
// in use has, up to kMaxRootBits. A code word longer than that continues in a subtable of the
// tree node its first bits reach, indexed by the next bits, and so on. A subtable takes as many
// bits as stay dense: at most kDensity entries per node it leads to, so the whole table holds
// fewer than 2^kMaxRootBits + 2 * kDensity * (leaves) entries, however skewed the code.
#pragma once

#include <cstdint>

#include "support/CvnArray.h"

// One node of a code tree. Leaf: child0 null, value the value offset. Inner node: both children
// set (child0 for bit 0); value is free for the builder's use.
struct CodeTreeNode {
  int value;
  CodeTreeNode* child0;
  CodeTreeNode* child1;
};

// Entries are packed into one word: bits 0-4 the bits the entry takes (a leaf: the rest of its
// code word within this table; a link: this table's index width), bits 5-8 a link's subtable
// index width (0 for a leaf), bits 9 and up a leaf's value offset or a link's subtable start.
struct CodeTableEntry {
  static constexpr int kTakenBits = 5;
  static constexpr unsigned kTakenMask = (1u << kTakenBits) - 1;
  static constexpr int kWidthShift = kTakenBits;
  static constexpr unsigned kWidthMask = 15u;
  static constexpr unsigned kLinkBits = kWidthMask << kWidthShift;
  static constexpr int kPayloadShift = kWidthShift + 4;
};

// What a look-up needs, held by value so that a decoding loop keeps it in registers.
template <typename Word>
struct CodeTableView {
  const Word* entries;
  uint64_t rootMask;
  uint32_t minimum;
  int rootBits;  // a leaf of the root takes at most this many bits

  // The symbol whose code word starts the bits (first bit lowest), and that word's length. The
  // bits must hold at least the code word: CodeTable::kMaxCodeLength bits, or the whole rest of
  // a source padded with zeros.
  int Lookup(uint64_t bits, int& length) const {
    const Word entry = Root(bits);
    if (IsLeaf(entry)) {
      length = static_cast<int>(entry & CodeTableEntry::kTakenMask);
      return LeafSymbol(entry);
    }
    return Continue(entry, bits, length);
  }

  // The root entry of the bits: a leaf when the code word ends within the root's width.
  Word Root(uint64_t bits) const { return entries[bits & rootMask]; }
  static bool IsLeaf(Word entry) { return !(entry & CodeTableEntry::kLinkBits); }
  int LeafSymbol(Word entry) const {
    return static_cast<int>(minimum + static_cast<uint32_t>(entry >> CodeTableEntry::kPayloadShift));
  }
  // The symbol of a code word whose root entry is a link, and its whole length.
  int Continue(Word entry, uint64_t bits, int& length) const {
    using E = CodeTableEntry;
    int consumed = 0;
    do {
      const int taken = static_cast<int>(entry & E::kTakenMask);
      consumed += taken;
      bits >>= taken;
      const unsigned width = (entry >> E::kWidthShift) & E::kWidthMask;
      entry = entries[(entry >> E::kPayloadShift) + (bits & ((1u << width) - 1))];
    } while (!IsLeaf(entry));
    length = consumed + static_cast<int>(entry & E::kTakenMask);
    return LeafSymbol(entry);
  }
};

class CodeTable {
 public:
  static constexpr int kMinRootBits = 8;
  static constexpr int kMaxRootBits = 13;
  // Root width when most code words are longer than kMaxRootBits anyway: a smaller root then
  // leaves more of the cache to the subtables every look-up reaches.
  static constexpr int kLongCodeRootBits = 11;
  static constexpr int kMaxSubtableBits = 12;
  static constexpr int kDensity = 4;
  // Longest code word a table is built for; the look-up reads at most this many bits.
  static constexpr int kMaxCodeLength = 32;
  // Tables whose offsets and subtable starts fit 23 bits use 4-byte entries (half the cache a
  // table of 8-byte entries takes); others 8-byte entries.
  static constexpr int kCompactPayloadBits = 32 - CodeTableEntry::kPayloadShift;

  CodeTable() = default;
  CodeTable(const CodeTable&) = delete;
  CodeTable& operator=(const CodeTable&) = delete;
  ~CodeTable() { Release(); }

  // Builds the table of the tree below root, whose deepest leaf is at maxDepth (checked: at most
  // kMaxCodeLength), which has `leaves` leaves and whose largest value offset is largestOffset;
  // a leaf decodes as minimum + its value offset, wrapping modulo 2^32. usesByLength[d] is how
  // often code words of length d occur (it chooses the root's width). False, with no table, when
  // the depth is out of range or memory runs out.
  bool Build(const CodeTreeNode* root, int maxDepth, long long leaves, int minimum,
             uint32_t largestOffset, const long long usesByLength[kMaxCodeLength + 1]);
  void Release();
  // Entries in use, root table included.
  long long size() const { return used_; }

  bool compact() const { return compactEntries_; }
  CodeTableView<uint32_t> CompactView() const {
    return {compact_.data, rootMask_, minimum_, rootBits_};
  }
  CodeTableView<uint64_t> WideView() const { return {wide_.data, rootMask_, minimum_, rootBits_}; }
  int Lookup(uint64_t bits, int& length) const {
    return compact() ? CompactView().Lookup(bits, length) : WideView().Lookup(bits, length);
  }

 private:
  static int rootBitsFor(const long long usesByLength[kMaxCodeLength + 1], int maxDepth);
  bool reserve(long long entries);
  void put(long long index, uint64_t entry);
  int subtableBits(const CodeTreeNode* node) const;
  bool fill(const CodeTreeNode* node, int depth, unsigned int prefix, long long table, int bits);

  CVNUtils::CvnArray<uint32_t, long long> compact_;
  CVNUtils::CvnArray<uint64_t, long long> wide_;
  bool compactEntries_ = false;
  long long used_ = 0;
  uint64_t rootMask_ = 0;
  int rootBits_ = 0;
  uint32_t minimum_ = 0;
};
