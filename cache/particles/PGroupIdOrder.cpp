// Look-up of particles by ID: binary search over the ID channel, directly when the IDs are
// ascending, otherwise through the IDORD index of particle numbers sorted by ID.
#include <mutex>
#include <new>

#include "cache/particles/PGroup.h"
#include "cache/particles/PGroupLocks.h"

namespace {

constexpr int kExchangeSortLimit = 6;

}  // namespace

int PGroup::IDORD::compare(const int& a, const int& b) const {
  if (ids[b] < ids[a]) return 1;
  if (ids[a] < ids[b]) return -1;
  return 0;
}

namespace {

// Ranges of at most six are sorted by exchange; longer ones are split at half their length,
// sorted recursively and merged through scratch, taking from the second half only when its
// element orders strictly before the first half's.
void sortRange(const PGroup::IDORD& order, int* items, int length, int* scratch) {
  if (length <= kExchangeSortLimit) {
    for (int i = 0; i < length; ++i) {
      for (int j = i + 1; j < length; ++j) {
        if (order.compare(items[i], items[j]) > 0) {
          const int swap = items[i];
          items[i] = items[j];
          items[j] = swap;
        }
      }
    }
    return;
  }
  const int half = length / 2;
  sortRange(order, items, half, scratch);
  sortRange(order, items + half, length - half, scratch);
  int first = 0;
  int second = half;
  int out = 0;
  while (first < half && second < length) {
    if (order.compare(items[first], items[second]) > 0) {
      scratch[out++] = items[second++];
    } else {
      scratch[out++] = items[first++];
    }
  }
  while (first < half) scratch[out++] = items[first++];
  while (second < length) scratch[out++] = items[second++];
  for (int k = 0; k < length; ++k) items[k] = scratch[k];
}

}  // namespace

bool PGroup::IDORD::Sort() {
  if (count <= 1) return true;
  if (!ids) return false;
  int* scratch = new (std::nothrow) int[static_cast<size_t>(count)];
  if (!scratch) return false;
  sortRange(*this, data, count, scratch);
  delete[] scratch;
  return true;
}

int PGroup::idCount() const {
  const long long stored = slots[kParticleIdChannel].data.size() / 8;
  if (particleCount < 0) return 0;
  return stored < particleCount ? static_cast<int>(stored) : particleCount;
}

bool PGroup::fillAndSortIdOrder() {
  const int n = idCount();
  if (!idOrder.SetSize(n, nullptr, true)) return false;
  for (int i = 0; i < n; ++i) idOrder[i] = i;
  idOrder.ids = reinterpret_cast<const long long*>(slots[kParticleIdChannel].data.data);
  if (!idOrder.Sort()) {
    idOrder.Clear();
    return false;
  }
  return true;
}

bool PGroup::sortIdOrder() {
  if (!fillAndSortIdOrder()) return false;
  idOrderState.store(2, std::memory_order_release);
  return true;
}

// The order is built once and never changed afterwards, so readers that saw a settled state may
// search without the lock. Ascending IDs are remembered instead of being re-examined.
bool PGroup::buildIdOrder() {
  if (idOrderState.load(std::memory_order_acquire) != 0) return true;
  PGroupLocks* block = locks();
  if (!block) return false;
  std::lock_guard<std::mutex> guard(block->group);
  if (!decompressChannel(kParticleIdChannel, true)) return false;
  if (idOrderState.load(std::memory_order_relaxed) != 0) return true;
  if (!idOrder.empty()) {
    idOrderState.store(2, std::memory_order_release);
    return true;
  }
  const long long* ids = reinterpret_cast<const long long*>(slots[kParticleIdChannel].data.data);
  const int n = idCount();
  bool ascending = true;
  for (int i = 1; i < n && ascending; ++i) ascending = ids[i] >= ids[i - 1];
  if (ascending) {
    idOrderState.store(1, std::memory_order_release);
    return true;
  }
  return sortIdOrder();
}

int PGroup::findParticleById(long long id) {
  if (!hasChannel(kParticleIdChannel) || !buildIdOrder()) return -1;
  const long long* ids = reinterpret_cast<const long long*>(slots[kParticleIdChannel].data.data);
  const bool sorted = idOrderState.load(std::memory_order_acquire) == 2;
  const int n = sorted ? idOrder.size() : idCount();
  if (n <= 0) return -1;
  auto particleAt = [&](int k) { return sorted ? idOrder[k] : k; };
  int lo = 0;
  int hi = n;
  while (hi - lo > 1) {
    const int mid = lo + (hi - lo) / 2;
    const long long value = ids[particleAt(mid)];
    if (id < value) {
      hi = mid;
    } else if (id == value) {
      return particleAt(mid);
    } else {
      lo = mid;
    }
  }
  return ids[particleAt(lo)] == id ? particleAt(lo) : -1;
}
