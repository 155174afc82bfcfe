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

  CodeTable() = default;
  CodeTable(const CodeTable&) = delete;
  CodeTable& operator=(const CodeTable&) = delete;
  ~CodeTable() { Release(); }

  // Builds the table of the tree below root, whose deepest leaf is at maxDepth (checked: at most
  // kMaxCodeLength) and which has `leaves` leaves; a leaf decodes as minimum + its value offset,
  // wrapping modulo 2^32. usesByLength[d] is how often code words of length d occur (it chooses
  // the root's width). False, with no table, when the depth is out of range or memory runs out.
  bool Build(const CodeTreeNode* root, int maxDepth, long long leaves, int minimum,
             const long long usesByLength[kMaxCodeLength + 1]);
  void Release();
  // Entries in use, root table included.
  long long size() const { return used_; }

  // The symbol whose code word starts the bits (first bit lowest), and that word's length. The
  // bits must hold at least the code word: kMaxCodeLength bits, or the whole rest of a source
  // padded with zeros.
  int Lookup(uint64_t bits, int& length) const {
    const Entry* const entries = entries_.data;
    const Entry* entry = entries + (bits & rootMask_);
    int consumed = 0;
    while (entry->subtableBits) {
      consumed += entry->length;
      bits >>= entry->length;
      entry = entries + entry->value + (bits & ((1u << entry->subtableBits) - 1));
    }
    length = consumed + entry->length;
    return entry->value;
  }

 private:
  struct Entry {
    int value;                    // leaf: the symbol; link: index of the subtable's first entry
    unsigned char length;         // leaf: code bits within this table; link: this table's bits
    unsigned char subtableBits;   // link: index bits of the subtable; 0 for a leaf
  };

  static int rootBitsFor(const long long usesByLength[kMaxCodeLength + 1], int maxDepth);
  bool reserve(long long entries);
  int subtableBits(const CodeTreeNode* node) const;
  bool fill(const CodeTreeNode* node, int depth, unsigned int prefix, long long table, int bits);

  CVNUtils::CvnArray<Entry, long long> entries_;
  long long used_ = 0;
  uint64_t rootMask_ = 0;
  int minimum_ = 0;
};
