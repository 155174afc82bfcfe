// Expansion of an entropy stream into places: run markers expanded, symbols decoded through a
// 64-bit window in rounds, one stream at a time or two side by side.
#include <algorithm>

#include "codecs/BitWindow.h"
#include "codecs/EntropyCoder.h"
#include "codecs/ValueKernels.h"
#include "codecs/WrappingArithmetic.h"
#include "support/Log.h"

namespace {

// Places one decoded symbol from values[i] on: base + a value, or -k as k copies of the value
// before it (copies beyond count stay owed to the next places). False for a run with nothing
// before it.
inline bool placeSymbol(int* values, long long count, long long& i, int symbol, int base,
                        ExpansionState& state) {
  if (symbol >= 0) {
    state.last = orv::AddWrapping(base, symbol);
    state.started = true;
    values[i++] = state.last;
    return true;
  }
  if (!state.started) return false;
  const long long run = -static_cast<long long>(symbol);
  const long long placed = std::min(run, count - i);
  orv::FillValues(values + i, placed, state.last);
  i += placed;
  state.owed = run - placed;
  return true;
}

}  // namespace

BitWindow EntropyCoder::openWindow() const {
  BitWindow window;
  window.p = position_;
  window.refill();
  window.consume(bitIndex_);
  return window;
}

void EntropyCoder::closeWindow(const BitWindow& window) {
  const long long bit = (window.p - start_) * 8ll - window.available;
  position_ = start_ + (bit >> 3);
  bitIndex_ = static_cast<int>(bit & 7);
}

// One coded stream's expansion through its bit window, a round at a time: a refill and the code
// words it is sure to hold. Lives in locals of the function that runs it, so that its state stays
// in registers, and two of them can run side by side (ExpandNextOfBoth). With kLengthFirst the
// table's root has length classes, and a code word with a class is consumed by its class alone.
template <typename Word, bool kLengthFirst>
struct CodedRounds {
  CodeTableView<Word> view;
  BitWindow window;
  ExpansionState state;
  const unsigned char* end;
  int* values;
  long long count;
  long long at;  // the next place
  int base;
  int longest;  // bits of the longest code word
  // After a refill the window holds at least 56 bits, and a code word ending in the root takes
  // at most rootBits of them: this many such words fit, decoded in a loop of fixed length so
  // that its branch is foreseen.
  int perRefill;
  bool placed = true;       // false once a symbol could not be placed: the stream is damaged
  bool windowFull = true;   // false once a long code word found too few bytes left to refill

  bool going() const { return placed && windowFull && at < count && end - window.p >= 8; }

  // Inlined into the loops that run it (one stream, or two side by side), so that the compiler
  // keeps the state in registers.
  __attribute__((always_inline)) inline void round() {
    window.refill();
    for (int s = 0; s < perRefill && at < count; ++s) {
      int symbol;
      bool lastOfRound = false;
      const unsigned lengthClass =
          kLengthFirst ? view.LengthClass(window.bits) : CodeLengthClasses::kEscape;
      if (lengthClass != CodeLengthClasses::kEscape) {
        // The next look-up waits only for the class; the entry's read goes on beside it.
        symbol = view.LeafSymbol(view.Root(window.bits));
        window.consume(view.lengthBase + static_cast<int>(lengthClass));
      } else {
        const Word entry = view.Root(window.bits);
        if (CodeTableView<Word>::IsLeaf(entry)) {
          symbol = view.LeafSymbol(entry);
          // A leaf's width bits are zero, so its low six bits are its length as they stand: the
          // shift takes the entry itself, with nothing computed between the look-up and the next.
          window.bits >>= (entry & 63u);
          window.available -= static_cast<int>(entry & CodeTableEntry::kTakenMask);
        } else {
          // A longer code word may take every bit a look-up reads: the window is refilled for
          // it first, and the round ends after it.
          if (window.available < longest) {
            if (end - window.p < 8) {
              windowFull = false;
              return;
            }
            window.refill();
          }
          int length = 0;
          symbol = view.Continue(entry, window.bits, length);
          window.consume(length);
          lastOfRound = true;
        }
      }
      if (!placeSymbol(values, count, at, symbol, base, state)) {
        placed = false;
        return;
      }
      if (lastOfRound) return;
    }
  }
};

template <bool kLengthFirst, typename Word>
CodedRounds<Word, kLengthFirst> EntropyCoder::startRounds(const CodeTableView<Word> view,
                                                          int* values, long long count, int base,
                                                          long long i) const {
  CodedRounds<Word, kLengthFirst> rounds{view,   openWindow(), expansion_, end_,     values,
                                         count,  i,            base,       maxDepth_,
                                         view.rootBits > 0 ? 56 / view.rootBits : 56};
  return rounds;
}

template <typename Rounds>
bool EntropyCoder::finishRounds(const Rounds& rounds, long long& i) {
  i = rounds.at;
  expansion_ = rounds.state;
  closeWindow(rounds.window);
  return rounds.placed;
}

template <bool kLengthFirst, typename Word>
bool EntropyCoder::expandCoded(const CodeTableView<Word> view, int* const values,
                               const long long count, const int base, long long& i) {
  if (i >= count || end_ - position_ < 8) return true;
  auto rounds = startRounds<kLengthFirst>(view, values, count, base, i);
  while (rounds.going()) rounds.round();
  return finishRounds(rounds, i);
}

template <bool kLengthFirst>
void EntropyCoder::expandSideBySide(EntropyCoder& a, const Expansion& partA, long long& i,
                                    bool& placedA, EntropyCoder& b, const Expansion& partB,
                                    long long& j, bool& placedB) {
  auto roundsA = a.startRounds<kLengthFirst>(a.table_.CompactView(), partA.values, partA.count,
                                             partA.base, i);
  auto roundsB = b.startRounds<kLengthFirst>(b.table_.CompactView(), partB.values, partB.count,
                                             partB.base, j);
  while (roundsA.going() && roundsB.going()) {
    roundsA.round();
    roundsB.round();
  }
  placedA = a.finishRounds(roundsA, i);
  placedB = b.finishRounds(roundsB, j);
}

bool EntropyCoder::expandRaw(int* const values, const long long count, const int base,
                             long long& i) {
  if (i >= count || end_ - position_ < 8) return true;
  BitWindow window = openWindow();
  ExpansionState state = expansion_;
  long long at = i;
  const int width = symbolCount_;
  const uint64_t mask = (1ull << width) - 1;
  const int perRefill = 56 / width;
  bool placed = true;
  while (placed && at < count && end_ - window.p >= 8) {
    window.refill();
    for (int s = 0; s < perRefill && at < count; ++s) {
      const int symbol = orv::AddWrapping(static_cast<int>(window.bits & mask), minimum_);
      window.consume(width);
      if (!placeSymbol(values, count, at, symbol, base, state)) {
        placed = false;
        break;
      }
    }
  }
  i = at;
  expansion_ = state;
  closeWindow(window);
  return placed;
}

long long EntropyCoder::placeOwed(int* values, long long count) {
  const long long placed = std::min(expansion_.owed, count);
  orv::FillValues(values, placed, expansion_.last);
  expansion_.owed -= placed;
  return placed;
}

bool EntropyCoder::ExpandNext(int* values, long long count, int base) {
  if (!ready_) return false;
  return expandFrom(values, count, base, placeOwed(values, count));
}

bool EntropyCoder::expandFrom(int* values, long long count, int base, long long i) {
  if (!file_) {
    bool expanded = true;
    if (raw_) {
      expanded = expandRaw(values, count, base, i);
    } else if (table_.compact()) {
      expanded = table_.lengthFirst()
                     ? expandCoded<true>(table_.CompactView(), values, count, base, i)
                     : expandCoded<false>(table_.CompactView(), values, count, base, i);
    } else {
      expanded = table_.lengthFirst() ? expandCoded<true>(table_.WideView(), values, count, base, i)
                                      : expandCoded<false>(table_.WideView(), values, count, base, i);
    }
    if (!expanded) return false;
  }
  // The last bytes of a memory source, and file sources, symbol by symbol with checked reads.
  while (i < count) {
    const int symbol = DecodeSymbol();
    if (overrun_) return false;
    if (!placeSymbol(values, count, i, symbol, base, expansion_)) return false;
  }
  return true;
}

void EntropyCoder::ExpandNextOfBoth(EntropyCoder& a, const Expansion& partA, bool& okA,
                                    EntropyCoder& b, const Expansion& partB, bool& okB) {
  const bool together = a.ready_ && b.ready_ && !a.file_ && !b.file_ && !a.raw_ && !b.raw_ &&
                        a.table_.compact() && b.table_.compact() &&
                        a.table_.lengthFirst() == b.table_.lengthFirst();
  if (!together) {
    okA = a.ExpandNext(partA.values, partA.count, partA.base);
    okB = b.ExpandNext(partB.values, partB.count, partB.base);
    return;
  }
  long long i = a.placeOwed(partA.values, partA.count);
  long long j = b.placeOwed(partB.values, partB.count);
  bool placedA = true;
  bool placedB = true;
  if (i < partA.count && a.end_ - a.position_ >= 8 && j < partB.count &&
      b.end_ - b.position_ >= 8) {
    // Rounds of the two streams alternate: neither waits on the other's look-ups, so the
    // processor works on both chains of dependent look-ups at once.
    if (a.table_.lengthFirst()) {
      expandSideBySide<true>(a, partA, i, placedA, b, partB, j, placedB);
    } else {
      expandSideBySide<false>(a, partA, i, placedA, b, partB, j, placedB);
    }
  }
  okA = placedA && a.expandFrom(partA.values, partA.count, partA.base, i);
  okB = placedB && b.expandFrom(partB.values, partB.count, partB.base, j);
}

bool EntropyCoder::FinishExpansion() {
  if (!ready_) return false;
  if (expansion_.owed == 0) return true;
  LogMessage("DecodeAndExpand - constant sequence longer than expected\n");
  return false;
}

bool EntropyCoder::DecodeAndExpand(int* values, long long count, int base) {
  expansion_ = ExpansionState{};
  return ExpandNext(values, count, base) && FinishExpansion();
}
