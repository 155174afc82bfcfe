// On-demand expansion of grid channels from the compressed channel stream, the derived speed and
// colour channels, and trilinear sampling.
#include <cmath>
#include <cstring>

#include "cache/CorvaneFrameData.h"
#include "cache/GridChannelIds.h"
#include "cache/MTBuildScalarSpeedFromVelocity.h"
#include "cache/OrvFormat.h"
#include "codecs/SGCompressor.h"
#include "codecs/ZipBlock.h"
#include "support/Log.h"

namespace {
constexpr int kSpeed = orv::channels::kSpeed;
constexpr int kVelocityX = orv::channels::kVelocityX;
constexpr int kRed = orv::channels::kColourRed;
constexpr float kByteToUnit = 0.003921569f;
constexpr int kRecordHeaderWords = 2;
constexpr int kPackedHeaderWords = 2;  // 64-bit byte count ahead of the zip block

// Decodes a grid-codec stream into the channel; values its zones leave unwritten (failed zones,
// short ones) read as 0 rather than as the array's former contents.
template <int N>
bool decodeZones(SGCompressor<N>& decoder, const int* payload, unsigned long long bytes,
                 float* values, long long capacity) {
  if (decoder.Decompress(payload, bytes, values, capacity) != 1) return false;
  decoder.ZeroUnwritten(values, capacity);
  return true;
}
}  // namespace

// Record search: stops at a length word below 1 and checks every record against the stream end.
bool CorvaneFrameData::findRecord(int id, long long& index, long long& payloadWords) const {
  const long long length = compressedLength;
  if (!compressedStream || length < 2) return false;
  long long i = 0;
  while (i + 1 < length) {
    const long long words = compressedStream[i + 1];
    if (words < 1) return false;
    if (i + kRecordHeaderWords + words > length) return false;  // record runs past the stream
    if (compressedStream[i] == id) {
      index = i;
      payloadWords = words;
      return true;
    }
    i += words + kRecordHeaderWords;
  }
  return false;
}

bool CorvaneFrameData::storedPayload(int id, const unsigned char*& bytes,
                                     long long& byteCount) const {
  long long index = 0, words = 0;
  if (!findRecord(id, index, words)) return false;
  bytes = reinterpret_cast<const unsigned char*>(compressedStream + index + kRecordHeaderWords);
  byteCount = words * 4;
  return true;
}

bool CorvaneFrameData::decodeRecord(float* values, int id, long long index,
                                    long long payloadWords) {
  const long long voxels = voxelCount();
  const int* payload = compressedStream + index + kRecordHeaderWords;
  if (id == kPackedColour) {
    if (payloadWords < kPackedHeaderWords) return false;
    unsigned long long zipBytes;
    std::memcpy(&zipBytes, payload, sizeof zipBytes);
    const unsigned long long available =
        static_cast<unsigned long long>(payloadWords - kPackedHeaderWords) * 4;
    if (zipBytes > available || zipBytes > 0xffffffffull) return false;
    if (voxels * 4 > 0xffffffffll) return false;
    // A stream shorter than the grid leaves its tail black, not with the allocator's contents.
    unsigned int produced = 0;
    if (!InflateBlock(payload + kPackedHeaderWords, static_cast<unsigned int>(zipBytes), values,
                      static_cast<unsigned int>(voxels * 4), produced)) {
      return false;
    }
    std::memset(reinterpret_cast<char*>(values) + produced, 0,
                static_cast<size_t>(voxels + 4) * sizeof(float) - produced);
    return true;
  }
  const unsigned long long bytes = static_cast<unsigned long long>(payloadWords) * 4;
  if (!orv::format::UsesBoxCodec(formatVersion)) {
    if (!decoder1 && !(decoder1 = new (std::nothrow) SGCompressor<1>(-1, nullptr, nullptr))) {
      return false;
    }
    return decodeZones(*decoder1, payload, bytes, values, voxels + 4);
  }
  if (!decoder3 && !(decoder3 = new (std::nothrow) SGCompressor<3>(-1, nullptr, nullptr))) {
    return false;
  }
  return decodeZones(*decoder3, payload, bytes, values, voxels + 4);
}

// Values are decoded into a buffer of their own and put into the slot only once complete, so a
// slot is never present with unwritten values, and a present slot is never replaced: an array
// handed out stays valid and unchanged until the frame is destroyed.
ChannelSlot& CorvaneFrameData::expandChannel(int id) {
  ChannelSlot& slot = slots[id];
  ChannelLockGuard guard(channelLock);
  if (!slot.present && !(id == kPackedColour && !fedByPackedColour(kRed) &&
                         !fedByPackedColour(kRed + 1) && !fedByPackedColour(kRed + 2))) {
    long long index = 0, words = 0;
    if (voxelCount() > 0 && findRecord(id, index, words)) {
      if (GridChannelBuffer* buffer = newChannelBuffer(id, voxelCount() + 4)) {
        if (decodeRecord(buffer->values.data, id, index, words)) {
          installBuffer(id, buffer);
        } else {
          LogMessage("Invalid cache file!!!\n");
          delete buffer;
          slot.clear();
        }
      } else {
        slot.clear();
      }
    }
  }
  if (id == kSpeed && !slot.present) deriveSpeed();
  if (id == kPackedColour && slot.present) splitPackedColour();
  if (!slot.present && id >= kRed && id <= kRed + 2) expandChannel(kPackedColour);
  return slot;
}

void CorvaneFrameData::deriveSpeed() {
  for (int c = kVelocityX; c < kVelocityX + 3; ++c) {
    if (!expandChannel(c).present) return;
  }
  const long long voxels = voxelCount();
  GridChannelBuffer* buffer = newChannelBuffer(kSpeed, voxels);
  if (!buffer) return;
  MTBuildScalarSpeedFromVelocity job;
  job.vx = slots[kVelocityX].values();
  job.vy = slots[kVelocityX + 1].values();
  job.vz = slots[kVelocityX + 2].values();
  job.speed = buffer->values.data;
  job.setupThreads(-1);
  job.splitRange(voxels);
  job.runJobs(0);
  installBuffer(kSpeed, buffer);
}

bool CorvaneFrameData::fedByPackedColour(int c) const {
  long long index = 0, words = 0;
  return !slots[c].present && !findRecord(c, index, words);
}

// Splits the packed 0x00RRGGBB words into the colour components that are neither decoded nor
// stored on their own, then frees the packed channel (a direct request for it then answers null).
// All component buffers are allocated before any is filled or marked present.
void CorvaneFrameData::splitPackedColour() {
  const long long voxels = voxelCount();
  GridChannelBuffer* parts[3] = {nullptr, nullptr, nullptr};
  bool allocated = true;
  for (int c = 0; c < 3 && allocated; ++c) {
    if (!fedByPackedColour(kRed + c)) continue;
    parts[c] = newChannelBuffer(kRed + c, voxels);
    allocated = parts[c] != nullptr;
  }
  if (allocated) {
    const unsigned int* packed =
        reinterpret_cast<const unsigned int*>(slots[kPackedColour].values());
    float* red = parts[0] ? parts[0]->values.data : nullptr;
    float* green = parts[1] ? parts[1]->values.data : nullptr;
    float* blue = parts[2] ? parts[2]->values.data : nullptr;
    for (long long v = 0; v < voxels; ++v) {
      const unsigned int w = packed[v];
      if (red) red[v] = static_cast<float>((w >> 16) & 255) * kByteToUnit;
      if (green) green[v] = static_cast<float>((w >> 8) & 255) * kByteToUnit;
      if (blue) blue[v] = static_cast<float>(w & 255) * kByteToUnit;
    }
    for (int c = 0; c < 3; ++c) {
      if (parts[c]) installBuffer(kRed + c, parts[c]);
    }
  } else {
    for (GridChannelBuffer* part : parts) delete part;
  }
  slots[kPackedColour].clear();
}

void CorvaneFrameData::discardPartialVelocity() {
  int present = 0;
  for (int c = kVelocityX; c < kVelocityX + 3; ++c) {
    present += (slots[c].present || hasChannel(c)) ? 1 : 0;
  }
  if (present == 3) return;
  for (int c = kVelocityX; c < kVelocityX + 3; ++c) {
    channelMask &= ~(1u << c);
    slots[c].clear();
  }
}

namespace {
// Lower cell and upper neighbour along one axis, with the blend fraction.
void axisCell(float x, int n, int& lower, int& upper, float& fraction) {
  if (x >= 0 && x < n - 1) {
    lower = static_cast<int>(std::floor(x));
    upper = lower + 1;
  } else {
    const float clamped = !(x > 0) ? 0.0f : (x >= n - 1 ? static_cast<float>(n - 1) : x);
    lower = static_cast<int>(clamped);
    upper = lower < n - 1 ? lower + 1 : lower;
    x = clamped;
  }
  fraction = x - lower;
}
}  // namespace

int CorvaneFrameData::sampleChannels(int firstSlot, const float* point, float* out, int count) {
  if (firstSlot < 0 || count < 0 || firstSlot + count > kChannelCount) return 0;
  const int* resolution = nullptr;
  for (int s = 0; s < count && !resolution; ++s) {
    const ChannelSlot& slot = slots[firstSlot + s];
    if (slot.values()) resolution = slot.buffer->resolution;
  }
  if (!resolution || resolution[0] <= 0 || resolution[1] <= 0 || resolution[2] <= 0) return 0;
  const int nx = resolution[0], ny = resolution[1], nz = resolution[2];
  int i0, i1, j0, j1, k0, k1;
  float fx, fy, fz;
  axisCell(point[0], nx, i0, i1, fx);
  axisCell(point[1], ny, j0, j1, fy);
  axisCell(point[2], nz, k0, k1, fz);
  auto at = [&](const float* v, int i, int j, int k) {
    return v[i + static_cast<long long>(nx) * (j + static_cast<long long>(ny) * k)];
  };
  int sampled = 0;
  for (int s = 0; s < count; ++s) {
    const float* v = slots[firstSlot + s].values();
    if (!v) continue;
    out[s] = at(v, i0, j0, k0) * (1 - fx) * (1 - fy) * (1 - fz) +
             at(v, i1, j0, k0) * fx * (1 - fy) * (1 - fz) +
             at(v, i0, j1, k0) * (1 - fx) * fy * (1 - fz) + at(v, i1, j1, k0) * fx * fy * (1 - fz) +
             at(v, i0, j0, k1) * (1 - fx) * (1 - fy) * fz + at(v, i1, j0, k1) * fx * (1 - fy) * fz +
             at(v, i0, j1, k1) * (1 - fx) * fy * fz + at(v, i1, j1, k1) * fx * fy * fz;
    ++sampled;
  }
  return sampled > 0 ? 1 : 0;
}
