// Where batch and job threads are placed when the machine has several NUMA nodes with processors:
// thread k goes to the node that holds the k-th usable processor, filling node 0, then node 1, and
// so on, wrapping around after the last processor.
#pragma once

#include <vector>

#include "support/CvnArray.h"

namespace CVNUtils {

struct NumaNodeEntry {
  unsigned short group;        // processor group: processors group*64 ... group*64+63
  unsigned long long mask;     // processors of the node within the group
  int runningTotal;            // processors up to and including this entry
};

struct NumaPlacementTable {
  CvnArray<NumaNodeEntry, int> entries;
  int entryCount = -1;  // -1 until first computed
  int nonEmptyCount = 0;
  int totalProcessors = 0;

  // Fills the table from the node topology intersected with the process affinity. False when the
  // storage cannot grow.
  bool build();
  // Appends one entry; storage grows in steps of 100 entries.
  bool add(unsigned short group, unsigned long long mask);
  void clear();
  // Placement is worth doing only with two or more nodes that have processors.
  bool placementUseful() const { return nonEmptyCount >= 2; }
};

// Parses a kernel processor list ("0-3,8,10-11"); false on malformed text. At most `limit`
// processors are accepted so that a corrupt range cannot exhaust memory.
bool ParseCpuList(const char* text, std::vector<int>& cpus, int limit = 1 << 16);

// Hands out entries for successive threads.
class NumaPlacementCursor {
 public:
  // The entry for the next thread; null when no selected entry has processors. `nodeSelection`
  // (one byte per entry, may be null) restricts placement to entries whose byte is non-zero when
  // any byte is non-zero.
  const NumaNodeEntry* next(const NumaPlacementTable& table,
                            const unsigned char* nodeSelection = nullptr);

 private:
  int processor = 0;
  int entry = 0;
};

}  // namespace CVNUtils
