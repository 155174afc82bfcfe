#include "support/threading/WorkerRecord.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace KUtils {
namespace {

constexpr std::size_t kRecordAlignment = 128;
std::atomic<int> liveRecords{0};

// malloc of size + 256 bytes, rounded up to the next multiple of 128 with at least 8 bytes before
// it, where the pointer malloc returned is kept.
void* allocateAligned(std::size_t size) {
  void* raw = std::malloc(size + 256);
  if (!raw) return nullptr;
  const std::uintptr_t lowest = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
  const std::uintptr_t aligned = (lowest + kRecordAlignment - 1) & ~(kRecordAlignment - 1);
  reinterpret_cast<void**>(aligned)[-1] = raw;
  return reinterpret_cast<void*>(aligned);
}

void freeAligned(void* block) {
  if (block) std::free(static_cast<void**>(block)[-1]);
}

}  // namespace

WorkerRecord* WorkerRecord::create(orv::platform::ThreadLocalSlot* slot) {
  void* memory = allocateAligned(sizeof(WorkerRecord));
  if (!memory) return nullptr;
  WorkerRecord* record = new (memory) WorkerRecord();
  record->currentWorkerSlot = slot;
  liveRecords.fetch_add(1);
  return record;
}

void WorkerRecord::release(WorkerRecord* record) {
  if (!record || record->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
  record->~WorkerRecord();
  freeAligned(record);
  liveRecords.fetch_sub(1);
}

int WorkerRecord::liveCount() { return liveRecords.load(); }

}  // namespace KUtils
