#include "cache/OpenFileRegistry.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "support/platform/FileLock.h"
#include "support/platform/Threads.h"

namespace OpenFileRegistry {

#define ORV_ROT(x, k) (((x) << (k)) | ((x) >> (32 - (k))))

uint32_t HashLittle(const void* key, size_t length, uint32_t initval) {
  uint32_t a, b, c;
  a = b = c = 0xdeadbeef + static_cast<uint32_t>(length) + initval;
  const uint8_t* k = static_cast<const uint8_t*>(key);
  auto word = [&](int at) {
    return static_cast<uint32_t>(k[at]) | static_cast<uint32_t>(k[at + 1]) << 8 |
           static_cast<uint32_t>(k[at + 2]) << 16 | static_cast<uint32_t>(k[at + 3]) << 24;
  };
  while (length > 12) {
    a += word(0);
    b += word(4);
    c += word(8);
    a -= c; a ^= ORV_ROT(c, 4);  c += b;
    b -= a; b ^= ORV_ROT(a, 6);  a += c;
    c -= b; c ^= ORV_ROT(b, 8);  b += a;
    a -= c; a ^= ORV_ROT(c, 16); c += b;
    b -= a; b ^= ORV_ROT(a, 19); a += c;
    c -= b; c ^= ORV_ROT(b, 4);  b += a;
    length -= 12;
    k += 12;
  }
  switch (length) {
    case 12: c += static_cast<uint32_t>(k[11]) << 24; [[fallthrough]];
    case 11: c += static_cast<uint32_t>(k[10]) << 16; [[fallthrough]];
    case 10: c += static_cast<uint32_t>(k[9]) << 8; [[fallthrough]];
    case 9: c += k[8]; [[fallthrough]];
    case 8: b += static_cast<uint32_t>(k[7]) << 24; [[fallthrough]];
    case 7: b += static_cast<uint32_t>(k[6]) << 16; [[fallthrough]];
    case 6: b += static_cast<uint32_t>(k[5]) << 8; [[fallthrough]];
    case 5: b += k[4]; [[fallthrough]];
    case 4: a += static_cast<uint32_t>(k[3]) << 24; [[fallthrough]];
    case 3: a += static_cast<uint32_t>(k[2]) << 16; [[fallthrough]];
    case 2: a += static_cast<uint32_t>(k[1]) << 8; [[fallthrough]];
    case 1: a += k[0]; break;
    case 0: return c;
  }
  c ^= b; c -= ORV_ROT(b, 14);
  a ^= c; a -= ORV_ROT(c, 11);
  b ^= a; b -= ORV_ROT(a, 25);
  c ^= b; c -= ORV_ROT(b, 16);
  a ^= c; a -= ORV_ROT(c, 4);
  b ^= a; b -= ORV_ROT(a, 14);
  c ^= b; c -= ORV_ROT(b, 24);
  return c;
}
#undef ORV_ROT

namespace {

// Open addressing with linear probing over a power-of-two table; removal re-inserts the rest of
// the probe run so that look-ups never stop early.
class PathTable {
 public:
  bool contains(const std::string& path) const { return find(path) >= 0; }
  void insert(const std::string& path) {
    if ((used_ + 1) * 2 > slots_.size()) grow();
    place(path);
  }
  void remove(const std::string& path) {
    long long at = find(path);
    if (at < 0) return;
    slots_[at].used = false;
    slots_[at].path.clear();
    --used_;
    // Take out the rest of the probe run and place it again.
    const size_t mask = slots_.size() - 1;
    std::vector<std::string> run;
    for (size_t i = (at + 1) & mask; slots_[i].used; i = (i + 1) & mask) {
      run.push_back(std::move(slots_[i].path));
      slots_[i].used = false;
      --used_;
    }
    for (const std::string& moved : run) place(moved);
  }

 private:
  struct Slot {
    bool used = false;
    std::string path;
  };
  static size_t hashOf(const std::string& path) { return HashLittle(path.data(), path.size(), 0); }
  long long find(const std::string& path) const {
    if (slots_.empty()) return -1;
    const size_t mask = slots_.size() - 1;
    for (size_t i = hashOf(path) & mask; slots_[i].used; i = (i + 1) & mask) {
      if (slots_[i].path == path) return static_cast<long long>(i);
    }
    return -1;
  }
  void place(const std::string& path) {
    const size_t mask = slots_.size() - 1;
    size_t i = hashOf(path) & mask;
    while (slots_[i].used) i = (i + 1) & mask;
    slots_[i].used = true;
    slots_[i].path = path;
    ++used_;
  }
  void grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.resize(old.empty() ? 16 : old.size() * 2);
    used_ = 0;
    for (Slot& slot : old) {
      if (slot.used) place(slot.path);
    }
  }
  std::vector<Slot> slots_;
  size_t used_ = 0;
};

std::mutex& registryLock() {
  static std::mutex lock;
  return lock;
}
PathTable& table() {
  static PathTable* paths = new PathTable();  // lives to the end of the process
  return *paths;
}

constexpr int kRounds = 30;
constexpr int kRoundMilliseconds = 200;

}  // namespace

bool WaitAndRegister(const char* path) {
  const std::string key(path ? path : "");
  for (int round = 0; round < kRounds; ++round) {
    {
      std::lock_guard<std::mutex> guard(registryLock());
      if (!table().contains(key)) {
        table().insert(key);
        return true;
      }
    }
    orv::platform::SleepMilliseconds(kRoundMilliseconds);
  }
  return false;
}

void Unregister(const char* path) {
  std::lock_guard<std::mutex> guard(registryLock());
  table().remove(path ? path : "");
}

}  // namespace OpenFileRegistry
