#include "support/threading/NumaPlacement.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "support/platform/Threads.h"

namespace CVNUtils {
namespace {

int bitCount(unsigned long long mask) { return __builtin_popcountll(mask); }

bool parseNumber(const char*& cursor, long& value) {
  if (!std::isdigit(static_cast<unsigned char>(*cursor))) return false;
  char* end = nullptr;
  value = std::strtol(cursor, &end, 10);
  cursor = end;
  return value >= 0 && value < (1L << 24);
}

}  // namespace

bool ParseCpuList(const char* text, std::vector<int>& cpus, int limit) {
  cpus.clear();
  if (!text) return false;
  const char* cursor = text;
  while (*cursor == ' ') ++cursor;
  if (*cursor == '\0' || *cursor == '\n') return true;
  for (;;) {
    long first = 0;
    long last = 0;
    if (!parseNumber(cursor, first)) return false;
    last = first;
    if (*cursor == '-') {
      ++cursor;
      if (!parseNumber(cursor, last) || last < first) return false;
    }
    if (last - first + 1 > static_cast<long>(limit) - static_cast<long>(cpus.size())) return false;
    for (long cpu = first; cpu <= last; ++cpu) cpus.push_back(static_cast<int>(cpu));
    if (*cursor == ',') {
      ++cursor;
      continue;
    }
    while (*cursor == ' ' || *cursor == '\n') ++cursor;
    return *cursor == '\0';
  }
}

bool NumaPlacementTable::add(unsigned short group, unsigned long long mask) {
  const int n = entries.size();
  if (n == entries.capacity && !entries.SetSize((n / 100 + 1) * 100, nullptr, true)) {
    clear();
    return false;
  }
  totalProcessors += bitCount(mask);
  if (!entries.SetSize(n + 1)) {
    clear();
    return false;
  }
  entries[n] = NumaNodeEntry{group, mask, totalProcessors};
  entryCount = n + 1;
  if (mask) ++nonEmptyCount;
  return true;
}

void NumaPlacementTable::clear() {
  entries.Clear();
  entryCount = -1;
  nonEmptyCount = 0;
  totalProcessors = 0;
}

bool NumaPlacementTable::build() {
  clear();
  entryCount = 0;
  const std::vector<int> usable = orv::platform::ProcessAffinityProcessors();
  std::vector<int> cpus;
  for (const orv::platform::NumaNodeCpuList& node : orv::platform::ReadNumaNodeCpuLists()) {
    if (!ParseCpuList(node.cpuList.c_str(), cpus)) continue;
    // One entry per processor group the node spans, counting only processors the process may use.
    std::map<int, unsigned long long> groups;
    for (int cpu : cpus) {
      if (!std::binary_search(usable.begin(), usable.end(), cpu)) continue;
      groups[cpu / 64] |= 1ull << (cpu % 64);
    }
    if (groups.empty() && !add(static_cast<unsigned short>(cpus.empty() ? 0 : cpus[0] / 64), 0)) {
      return false;
    }
    for (const auto& [group, mask] : groups) {
      if (!add(static_cast<unsigned short>(group), mask)) return false;
    }
  }
  return true;
}

const NumaNodeEntry* NumaPlacementCursor::next(const NumaPlacementTable& table,
                                               const unsigned char* nodeSelection) {
  const int count = table.entries.size();
  if (count == 0 || table.totalProcessors <= 0) return nullptr;
  bool anySelected = false;
  if (nodeSelection) {
    for (int i = 0; i < count; ++i) anySelected = anySelected || nodeSelection[i] != 0;
  }
  // Every processor is visited at most once per call, so a selection without processors ends.
  for (int attempt = 0; attempt < table.totalProcessors; ++attempt) {
    if (processor >= table.totalProcessors) {
      processor = 0;
      entry = 0;
    }
    while (entry < count - 1 && processor >= table.entries[entry].runningTotal) ++entry;
    const int chosen = entry;
    ++processor;
    if (!anySelected || nodeSelection[chosen] != 0) return &table.entries[chosen];
  }
  return nullptr;
}

}  // namespace CVNUtils
