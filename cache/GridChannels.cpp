// On-demand expansion of grid channels from the compressed channel stream, the derived speed and
// colour channels, and trilinear sampling.
#include <cmath>
#include <cstring>

#include "cache/CorvaneFrameData.h"
#include "cache/MTBuildScalarSpeedFromVelocity.h"
#include "codecs/SGCompressor.h"
#include "codecs/ZipBlock.h"
#include "support/Log.h"

namespace {
constexpr int kSpeed = 3;
constexpr int kVelocityX = 4;
constexpr int kRed = 7;
constexpr float kByteToUnit = 0.003921569f;
constexpr int kRecordHeaderWords = 2;
constexpr int kPackedHeaderWords = 2;  // 64-bit byte count ahead of the zip block
// Decoded grid floats a frame may hold: a fixed allowance plus a bounded expansion of its
// compressed stream, so grid dimensions from a file cannot demand memory without limit. Constant
// zones let a nearly empty frame of a large domain store any grid in a few bytes, so the
// allowance covers the largest frames in use (four 640^3 channels, 4 GiB) by itself.
constexpr long long kDecodeAllowanceFloats = 1ll << 30;
constexpr long long kMaxStreamExpansion = 1024;

// True when `floats` more (plus `slack`) fit the frame's budget; floats may be anything up to
// the largest voxel count.
bool withinDecodeBudget(const CorvaneFrameData& frame, long long floats, long long slack = 0) {
  long long held = 0;
  for (const ChannelSlot& slot : frame.slots) {
    if (slot.buffer) held += slot.buffer->values.capacity;
  }
  const long long budget =
      kDecodeAllowanceFloats + kMaxStreamExpansion * static_cast<long long>(frame.compressedLength);
  return floats >= 0 && floats <= budget - held - slack;
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

bool CorvaneFrameData::decodeRecord(int id, long long index, long long payloadWords) {
  const long long voxels = voxelCount();
  float* values = slots[id].buffer->values.data;
  const int* payload = compressedStream + index + kRecordHeaderWords;
  if (id == kPackedColour) {
    if (payloadWords < kPackedHeaderWords) return false;
    unsigned long long zipBytes;
    std::memcpy(&zipBytes, payload, sizeof zipBytes);
    const unsigned long long available =
        static_cast<unsigned long long>(payloadWords - kPackedHeaderWords) * 4;
    if (zipBytes > available || zipBytes > 0xffffffffull) return false;
    if (voxels * 4 > 0xffffffffll) return false;
    return InflateBlock(payload + kPackedHeaderWords, static_cast<unsigned int>(zipBytes), values,
                        static_cast<unsigned int>(voxels * 4));
  }
  const unsigned long long bytes = static_cast<unsigned long long>(payloadWords) * 4;
  if (formatVersion >= 5) {
    if (!decoder1 && !(decoder1 = new (std::nothrow) SGCompressor<1>(-1, nullptr, nullptr))) {
      return false;
    }
    return decoder1->Decompress(payload, bytes, values, voxels + 4) == 1;
  }
  if (!decoder3 && !(decoder3 = new (std::nothrow) SGCompressor<3>(-1, nullptr, nullptr))) {
    return false;
  }
  return decoder3->Decompress(payload, bytes, values, voxels + 4) == 1;
}

ChannelSlot& CorvaneFrameData::expandChannel(int id) {
  ChannelSlot& slot = slots[id];
  {
    ChannelLockGuard guard(channelLock);
    if (!slot.present && !(id == kPackedColour && coloursPresent())) {
      long long index = 0, words = 0;
      if (voxelCount() > 0 && findRecord(id, index, words)) {
        if (!withinDecodeBudget(*this, voxelCount(), 4)) {
          LogMessage("Invalid cache file!!!\n");
          slot.clear();
        } else if (allocateSlot(id, voxelCount() + 4)) {
          if (!decodeRecord(id, index, words)) {
            LogMessage("Invalid cache file!!!\n");
            slot.clear();
          }
        } else {
          slot.clear();
        }
      }
    }
    if (id == kSpeed && !slot.present) deriveSpeed();
    if (id == kPackedColour && slot.present) splitPackedColour();
  }
  if (!slot.present && id >= kRed && id <= kRed + 2) expandChannel(kPackedColour);
  return slot;
}

void CorvaneFrameData::deriveSpeed() {
  for (int c = kVelocityX; c < kVelocityX + 3; ++c) {
    if (!expandChannel(c).present) return;
  }
  const long long voxels = voxelCount();
  if (!withinDecodeBudget(*this, voxels)) return;
  if (!allocateSlot(kSpeed, voxels)) {
    slots[kSpeed].clear();
    return;
  }
  MTBuildScalarSpeedFromVelocity job;
  job.vx = slots[kVelocityX].values();
  job.vy = slots[kVelocityX + 1].values();
  job.vz = slots[kVelocityX + 2].values();
  job.speed = slots[kSpeed].buffer->values.data;
  job.setupThreads(-1);
  job.splitRange(voxels);
  job.runJobs(0);
}

bool CorvaneFrameData::coloursPresent() const {
  return slots[kRed].present && slots[kRed + 1].present && slots[kRed + 2].present;
}

// Splits the packed 0x00RRGGBB words into red, green and blue, then frees them. Once the three
// components exist the packed channel is never decoded again, so arrays already handed out stay
// valid and a direct request for it answers null.
void CorvaneFrameData::splitPackedColour() {
  const long long voxels = voxelCount();
  for (int c = kRed; c < kRed + 3; ++c) slots[c].clear();
  if (!withinDecodeBudget(*this, voxels, 2 * voxels)) return;
  for (int c = kRed; c < kRed + 3; ++c) {
    if (!allocateSlot(c, voxels)) {
      slots[c].clear();
      return;
    }
  }
  const unsigned int* packed = reinterpret_cast<const unsigned int*>(slots[kPackedColour].values());
  float* red = slots[kRed].buffer->values.data;
  float* green = slots[kRed + 1].buffer->values.data;
  float* blue = slots[kRed + 2].buffer->values.data;
  for (long long c = 0; c < voxels; ++c) {
    const unsigned int w = packed[c];
    red[c] = static_cast<float>((w >> 16) & 255) * kByteToUnit;
    green[c] = static_cast<float>((w >> 8) & 255) * kByteToUnit;
    blue[c] = static_cast<float>(w & 255) * kByteToUnit;
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
