// Decode table of a prefix code held as a binary tree, so that every code word, up to the
// longest the coder allows, is found by a few table look-ups instead of one step per bit.
//
// The root table is indexed by the first bits of a code word: as many as nearly every code word
// in use has, up to kMaxRootBits (or up to kLengthFirstRootBits, with length classes, for long
// code words). A code word longer than the root continues in a subtable of the tree node its
// first bits reach, indexed by the next bits, and so on. A subtable takes as many bits as stay
// dense: at most kDensity entries per node it leads to, so the whole table holds fewer than
// 2^(root width) + 2 * kDensity * (leaves) entries, however skewed the code.
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

// Lengths of the code words a wide root resolves, two bits per root entry: the length minus a
// base, or kEscape for a word of another length or one that goes on in a subtable. Root index i
// of a root of width w is in byte i mod 2^(w-2), at bit 2 * (i >> (w-2)), so that the byte's
// index is the root index masked, with nothing to compute before the read.
struct CodeLengthClasses {
  static constexpr int kBits = 2;
  static constexpr unsigned kEscape = 3;
  static constexpr int kLengths = 3;  // lengths base .. base + 2 have a class
};

// What a look-up needs, held by value so that a decoding loop keeps it in registers.
template <typename Word>
struct CodeTableView {
  const Word* entries;
  uint64_t rootMask;
  uint32_t minimum;
  int rootBits;  // a leaf of the root takes at most this many bits
  // Length classes of the root entries, or null (see CodeTable::kLengthFirstRootBits).
  const unsigned char* lengthClasses;
  int lengthBase;

  // The length class of the root entry of the bits (lengthClasses must be set).
  unsigned LengthClass(uint64_t bits) const {
    const unsigned field = static_cast<unsigned>((bits >> (rootBits - 2)) & 3u);
    return (lengthClasses[bits & (rootMask >> 2)] >> (field * CodeLengthClasses::kBits)) & 3u;
  }

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
  // Or, for a stream long enough to repay building it, a root this wide at most that resolves the
  // three most used lengths, with their length classes: a root too large for the first-level
  // cache, but the classes fit it, so that the next code word's look-up need not wait for the
  // entry's read (CodeTableView::LengthClass). Used when those lengths are at least
  // kLengthFirstShare of the code words in use and the stream has at least
  // kLengthFirstUsesPerEntry code words per root entry.
  static constexpr int kLengthFirstRootBits = 16;
  static constexpr double kLengthFirstShare = 0.85;
  static constexpr long long kLengthFirstUsesPerEntry = 4;
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
  // True when the root has length classes.
  bool lengthFirst() const { return lengthClasses_.size() > 0; }
  CodeTableView<uint32_t> CompactView() const { return view(compact_.data); }
  CodeTableView<uint64_t> WideView() const { return view(wide_.data); }
  int Lookup(uint64_t bits, int& length) const {
    return compact() ? CompactView().Lookup(bits, length) : WideView().Lookup(bits, length);
  }

 private:
  template <typename Word>
  CodeTableView<Word> view(const Word* entries) const {
    return {entries,  rootMask_, minimum_, rootBits_, lengthFirst() ? lengthClasses_.data : nullptr,
            lengthBase_};
  }
  // The root's width; lengthBase, when the root is to have length classes, else -1.
  static int rootBitsFor(const long long usesByLength[kMaxCodeLength + 1], int maxDepth,
                         int& lengthBase);
  bool classifyRootLengths();
  bool reserve(long long entries);
  void put(long long index, uint64_t entry);
  int subtableBits(const CodeTreeNode* node) const;
  bool fill(const CodeTreeNode* node, int depth, unsigned int prefix, long long table, int bits);

  CVNUtils::CvnArray<uint32_t, long long> compact_;
  CVNUtils::CvnArray<uint64_t, long long> wide_;
  bool compactEntries_ = false;
  long long used_ = 0;
  CVNUtils::CvnArray<unsigned char, long long> lengthClasses_;
  int lengthBase_ = 0;
  uint64_t rootMask_ = 0;
  int rootBits_ = 0;
  uint32_t minimum_ = 0;
};
