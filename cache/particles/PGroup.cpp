#include "cache/particles/PGroup.h"

#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "cache/particles/PGroupLocks.h"
#include "support/Log.h"

namespace {

bool validChannel(int channel) { return channel >= 0 && channel < kParticleChannelCount; }

}  // namespace

PGroup::PGroup() = default;

PGroup::~PGroup() {
  destroyDecoders();
  delete lockBlock.load();
}

PGroupLocks* PGroup::locks() {
  PGroupLocks* current = lockBlock.load(std::memory_order_acquire);
  if (current) return current;
  PGroupLocks* fresh = new (std::nothrow) PGroupLocks();
  if (!fresh) return nullptr;
  if (lockBlock.compare_exchange_strong(current, fresh, std::memory_order_acq_rel)) return fresh;
  delete fresh;  // another thread installed its block first
  return current;
}

const char* PGroup::getName() { return name.data ? name.data : ""; }

// A decoded channel's data is final and read without a lock; until then a concurrent first
// decode may be changing the slot, so its presence is read under the slot lock.
bool PGroup::channelPresent(int channel) {
  if (decodedChannels.load(std::memory_order_acquire) & (1u << channel)) {
    return !slots[channel].data.empty();
  }
  PGroupLocks* block = locks();
  if (!block) return slots[channel].present();
  std::lock_guard<std::mutex> guard(block->slot[channel]);
  return slots[channel].present();
}

int PGroup::getParticleCount() { return channelPresent(kParticlePositionChannel) ? particleCount : 0; }

int PGroup::getParticle(unsigned int index, int channel, float* out) {
  if (!validChannel(channel) || !out) return 0;
  if (channelPresent(channel)) {
    const void* value = channelData(index, channel);
    if (!value) return 0;
    std::memcpy(out, value, static_cast<size_t>(ParticleChannelByteSize(channel)));
    return 1;
  }
  if (channel == kParticleVelocityChannel) return sampleGridVelocity(index, out);
  return 0;
}

int PGroup::hasChannel(int channel) {
  if (!validChannel(channel)) return 0;
  if (channel == kParticleVelocityChannel && frame && typeWord == kGridVelocityType) {
    return frameHasGridVelocity() ? 1 : 0;
  }
  return channelPresent(channel) ? 1 : 0;
}

int PGroup::getChannelByteSize(int channel) { return ParticleChannelByteSize(channel); }

int PGroup::getChannelType(int channel) { return ParticleChannelInfoFor(channel).typeCode; }

int PGroup::getChannelComponents(int channel) { return ParticleChannelInfoFor(channel).components; }

void* PGroup::channelData(long long index, int channel) {
  if (!validChannel(channel) || index < 0) return nullptr;
  const unsigned int bit = 1u << channel;
  if (!(decodedChannels.load(std::memory_order_acquire) & bit) && !decompressChannel(channel, true)) {
    return nullptr;
  }
  CVNUtils::CvnArray<char, long long>& data = slots[channel].data;
  const long long bytes = ParticleChannelByteSize(channel);
  // Method 0 keeps the stored length, which may be shorter than the particle count implies.
  if (bytes > 0 && index >= data.size() / bytes) return nullptr;
  return data.data + index * bytes;
}

void* PGroup::prepareChannelData(int channel) {
  if (!validChannel(channel) || particleCount < 0) return nullptr;
  const long long size = static_cast<long long>(particleCount) * ParticleChannelByteSize(channel);
  ParticleChannelSlot& slot = slots[channel];
  if (slot.data.size() != size || slot.data.capacity != size) {
    // Exact capacity: move the kept contents into storage of exactly `size` bytes.
    const CVNUtils::CvnArray<char, long long> kept = std::move(slot.data);
    slot.reserved.reset();
    if (!allocateChannelData(channel, size)) return nullptr;
    const long long keep = kept.size() < size ? kept.size() : size;
    if (keep > 0) std::memcpy(slot.data.data, kept.data, static_cast<size_t>(keep));
  }
  CVNUtils::CvnArray<char, long long>& data = slot.data;
  decodedChannels.fetch_and(~(1u << channel));
  if (channel == kParticleIdChannel) idOrderState.store(0);
  // A channel of zero bytes (no particles, or a channel without storage) is still a success.
  static char noBytes;
  return data.data ? data.data : &noBytes;
}

PGroup::Label PGroup::channelLabel(int channel) {
  Label label;
  FormatBounded(label.text, sizeof label.text, "particle channel %d of group %s", channel, getName());
  return label;
}

bool PGroup::allocateChannelData(int channel, long long bytes) {
  ParticleChannelSlot& slot = slots[channel];
  return orv::AllocateDecoded(slot.data, bytes, orv::DecodeBudget::Process(), slot.reserved,
                              channelLabel(channel).text);
}

bool PGroup::setChannelData(int channel, const void* source, long long byteCount) {
  if (!validChannel(channel) || !source) return false;
  CVNUtils::CvnArray<char, long long>& data = slots[channel].data;
  if (data.empty() && !prepareChannelData(channel)) return false;
  if (byteCount != -1 && byteCount != data.size()) return false;
  if (data.size() > 0) std::memcpy(data.data, source, static_cast<size_t>(data.size()));
  return true;
}

bool PGroup::setName(const char* text, int length) {
  if (length < 0 || (length > 0 && !text)) return false;
  if (!name.SetSize(length + 1, nullptr, true)) return false;
  if (length > 0) std::memcpy(name.data, text, static_cast<size_t>(length));
  name.data[length] = '\0';
  return true;
}

bool PGroup::setCompressedChannel(int channel, int method, const void* bytes, long long length) {
  if (!validChannel(channel) || length < 0 || (length > 0 && !bytes)) return false;
  CVNUtils::CvnArray<char, long long> copy;
  if (length > 0 && !copy.SetSize(length, nullptr, true)) return false;
  if (length > 0) std::memcpy(copy.data, bytes, static_cast<size_t>(length));
  return setCompressedChannel(channel, method, std::move(copy));
}

bool PGroup::setCompressedChannel(int channel, int method,
                                  CVNUtils::CvnArray<char, long long>&& bytes) {
  if (!validChannel(channel)) return false;
  ParticleChannelSlot& slot = slots[channel];
  slot.freeData();
  slot.compressed = std::move(bytes);
  slot.method = method;
  decodedChannels.fetch_and(~(1u << channel));
  if (channel == kParticleIdChannel) idOrderState.store(0);
  return true;
}
