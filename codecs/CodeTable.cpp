#include "codecs/CodeTable.h"

#include <algorithm>
#include <climits>

namespace {

// Nodes and leaves of a subtree by depth below its root, down to CodeTable::kMaxSubtableBits.
struct DepthCounts {
  long long nodes[CodeTable::kMaxSubtableBits + 1] = {};
  long long leaves[CodeTable::kMaxSubtableBits + 1] = {};

  void count(const CodeTreeNode* node, int depth) {
    ++nodes[depth];
    if (!node->child0) {
      ++leaves[depth];
      return;
    }
    if (depth == CodeTable::kMaxSubtableBits) return;
    count(node->child0, depth + 1);
    count(node->child1, depth + 1);
  }
};

}  // namespace

void CodeTable::Release() {
  compact_.Clear();
  wide_.Clear();
  lengthClasses_.Clear();
  lengthBase_ = 0;
  used_ = 0;
  rootMask_ = 0;
  rootBits_ = 0;
}

// A look-up that continues in a subtable costs a branch the processor cannot foresee when code
// words of both kinds are common: the root is made wide enough for 95% of the code words in use.
int CodeTable::rootBitsFor(const long long usesByLength[kMaxCodeLength + 1], int maxDepth,
                           int& lengthBase) {
  lengthBase = -1;
  long long total = 0;
  for (int length = 0; length <= kMaxCodeLength; ++length) total += usesByLength[length];
  long long covered = 0;
  int length = 0;
  while (length < kMaxCodeLength && (covered += usesByLength[length]) < total - total / 20) {
    ++length;
  }
  if (length <= kMaxRootBits) return std::min(std::max(length, kMinRootBits), maxDepth);
  // Long code words: the window of lengths with classes that holds the most of them.
  int bestBase = 0;
  long long bestUses = -1;
  for (int base = 0; base + CodeLengthClasses::kLengths - 1 <= kLengthFirstRootBits; ++base) {
    long long uses = 0;
    for (int k = 0; k < CodeLengthClasses::kLengths; ++k) uses += usesByLength[base + k];
    if (uses > bestUses) {
      bestUses = uses;
      bestBase = base;
    }
  }
  const int rootBits = std::min(bestBase + CodeLengthClasses::kLengths - 1, maxDepth);
  if (rootBits > kLongCodeRootBits && bestUses >= kLengthFirstShare * static_cast<double>(total) &&
      total / kLengthFirstUsesPerEntry >= (1ll << rootBits)) {
    lengthBase = bestBase;
    return rootBits;
  }
  return std::min(kLongCodeRootBits, maxDepth);
}

bool CodeTable::Build(const CodeTreeNode* root, int maxDepth, long long leaves, int minimum,
                      uint32_t largestOffset, const long long usesByLength[kMaxCodeLength + 1]) {
  Release();
  if (!root || maxDepth < 0 || maxDepth > kMaxCodeLength || leaves < 1) return false;
  int lengthBase = -1;
  const int rootBits = rootBitsFor(usesByLength, maxDepth, lengthBase);
  // The density rule keeps every table below this bound, so that it also bounds the payloads.
  const long long bound = (1ll << rootBits) + 2 * kDensity * leaves;
  if (bound > UINT32_MAX) return false;
  minimum_ = static_cast<uint32_t>(minimum);
  rootMask_ = (1ull << rootBits) - 1;
  rootBits_ = rootBits;
  lengthBase_ = lengthBase;
  compactEntries_ = largestOffset < (1u << kCompactPayloadBits) &&
                    bound < (1ll << kCompactPayloadBits);
  if (!reserve(1ll << rootBits) || !fill(root, 0, 0, 0, rootBits) || used_ > bound ||
      (lengthBase >= 0 && !classifyRootLengths())) {
    Release();
    return false;
  }
  return true;
}

// Two bits per root entry (CodeLengthClasses): its leaf's length minus lengthBase_ when that is
// a class, else the escape. The root is at least kLongCodeRootBits wide here.
bool CodeTable::classifyRootLengths() {
  const long long rootEntries = rootMask_ + 1;
  if (!lengthClasses_.SetSize((rootEntries + 3) / 4)) return false;
  for (long long i = 0; i < lengthClasses_.size(); ++i) lengthClasses_[i] = 0;
  for (long long index = 0; index < rootEntries; ++index) {
    const uint64_t entry = compact() ? compact_[index] : wide_[index];
    const int length = static_cast<int>(entry & CodeTableEntry::kTakenMask);
    const bool leaf = !(entry & CodeTableEntry::kLinkBits);
    const unsigned lengthClass = leaf && length >= lengthBase_ &&
                                         length < lengthBase_ + CodeLengthClasses::kLengths
                                     ? static_cast<unsigned>(length - lengthBase_)
                                     : CodeLengthClasses::kEscape;
    const long long field = index >> (rootBits_ - 2);
    lengthClasses_[index & (rootMask_ >> 2)] |=
        static_cast<unsigned char>(lengthClass << (field * CodeLengthClasses::kBits));
  }
  return true;
}

bool CodeTable::reserve(long long entries) {
  used_ += entries;
  return compact() ? compact_.SetSize(used_) : wide_.SetSize(used_);
}

void CodeTable::put(long long index, uint64_t entry) {
  if (compact()) {
    compact_[index] = static_cast<uint32_t>(entry);
  } else {
    wide_[index] = entry;
  }
}

// The largest index width, up to kMaxSubtableBits and the subtree's height, at which the
// subtable has at most kDensity entries per node it leads to (leaves above that depth and the
// nodes at it). One bit always qualifies: two nodes for two entries.
int CodeTable::subtableBits(const CodeTreeNode* node) const {
  DepthCounts counts;
  counts.count(node, 0);
  int best = 1;
  long long leavesAbove = 0;
  for (int bits = 1; bits <= kMaxSubtableBits && counts.nodes[bits] > 0; ++bits) {
    leavesAbove += counts.leaves[bits - 1];
    if ((1ll << bits) <= kDensity * (leavesAbove + counts.nodes[bits])) best = bits;
  }
  return best;
}

// Fills the entries of the table starting at `table` (index width `bits`) whose low `depth` bits
// are `prefix` and lead to node, creating subtables for the nodes at depth `bits`.
bool CodeTable::fill(const CodeTreeNode* node, int depth, unsigned int prefix, long long table,
                     int bits) {
  if (node->child0 && depth < bits) {
    return fill(node->child0, depth + 1, prefix, table, bits) &&
           fill(node->child1, depth + 1, prefix | (1u << depth), table, bits);
  }
  uint64_t entry;
  if (!node->child0) {
    entry = (static_cast<uint64_t>(static_cast<uint32_t>(node->value))
             << CodeTableEntry::kPayloadShift) |
            depth;
  } else {
    const int nextBits = subtableBits(node);
    const long long subtable = used_;
    if (!reserve(1ll << nextBits) || !fill(node, 0, 0, subtable, nextBits)) return false;
    entry = (static_cast<uint64_t>(subtable) << CodeTableEntry::kPayloadShift) |
            (nextBits << CodeTableEntry::kWidthShift) | bits;
  }
  const unsigned int copies = 1u << (bits - depth);
  for (unsigned int k = 0; k < copies; ++k) put(table + (prefix | (k << depth)), entry);
  return true;
}
