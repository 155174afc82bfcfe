// A pool that grows by whole blocks of N entries chained in a list. Entries never move, so
// pointers to them stay valid until the pool is cleared; an exhausted block is not reused before.
#pragma once

#include <new>

#include "orv/ThreadManager.h"

namespace KUtils {

template <typename T, int N>
class _SequenceBlock {
 public:
  _SequenceBlock() = default;
  _SequenceBlock(const _SequenceBlock&) = delete;
  _SequenceBlock& operator=(const _SequenceBlock&) = delete;
  ~_SequenceBlock() { clear(); }

  // A new value-initialised entry at the end. Throws ExceptionMsg when a block cannot be allocated.
  T& add() {
    if (!last || last->used == N) {
      Block* block = new (std::nothrow) Block();
      if (!block) throw ExceptionMsg("[_SequenceBlock] Could not allocate memory");
      if (last) {
        last->next = block;
      } else {
        first = block;
      }
      last = block;
    }
    ++count;
    return last->items[last->used++];
  }

  int size() const { return count; }

  // Calls visit(entry) for every entry in order; stops early when visit returns true and returns
  // that entry, else null.
  template <typename Visit>
  T* find(Visit visit) {
    for (Block* block = first; block; block = block->next) {
      for (int i = 0; i < block->used; ++i) {
        if (visit(block->items[i])) return &block->items[i];
      }
    }
    return nullptr;
  }

  // Forgets every block without freeing it, for entries another thread may still touch.
  void abandon() {
    first = nullptr;
    last = nullptr;
    count = 0;
  }

  void clear() {
    while (first) {
      Block* following = first->next;
      delete first;
      first = following;
    }
    last = nullptr;
    count = 0;
  }

 private:
  struct Block {
    T items[N]{};
    int used = 0;
    Block* next = nullptr;
  };
  Block* first = nullptr;
  Block* last = nullptr;
  int count = 0;
};

}  // namespace KUtils
