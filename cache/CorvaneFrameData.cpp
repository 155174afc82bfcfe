#include "cache/CorvaneFrameData.h"

#include <cstring>
#include <new>

#include "cache/GridChannelIds.h"
#include "cache/particles/MTComputeParticlesBbox.h"
#include "codecs/SGCompressor.h"
#include "support/Log.h"

namespace {
constexpr float kIdentity[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
constexpr int kSpeed = orv::channels::kSpeed;
constexpr int kVelocityX = orv::channels::kVelocityX;
}  // namespace

CorvaneFrameData::CorvaneFrameData() {
  for (long long& value : channelValues) value = -1;
  particleGroups.growthDivisor = 4;
}

CorvaneFrameData::~CorvaneFrameData() {
  clearContent();
  clearChannels();
  delete decoder1;
  delete decoder3;
  delete bboxJob;
  for (ChannelSlot& slot : slots) slot.release();
}

const float* CorvaneFrameData::getChannel(int id) {
  if (id < 0 || id >= kChannelCount) return nullptr;
  ChannelLockGuard guard(channelLock);
  return expandChannel(id).values();
}

int CorvaneFrameData::hasChannel(int id) {
  if (!IsGridChannel(id)) return 0;
  if (channelMask & (1u << id)) return 1;
  if (id >= 7 && id <= 9 && (channelMask & (1u << kPackedColour))) return 1;
  if (id == kSpeed) {
    return hasChannel(kVelocityX) && hasChannel(kVelocityX + 1) && hasChannel(kVelocityX + 2);
  }
  return 0;
}

void CorvaneFrameData::getGridSize(int* out) {
  for (int a = 0; a < 3; ++a) out[a] = gridSize[a];
}

void CorvaneFrameData::getTransform(float* out) { std::memcpy(out, transform, sizeof transform); }

int CorvaneFrameData::getParticleGroupCount() {
  int count = 0;
  for (PGroup& group : particleGroups) count += group.hasChannel(0) ? 1 : 0;
  return count;
}

ICorvanePrtGroup* CorvaneFrameData::getParticleGroup(int index) {
  if (index < 0) return nullptr;
  for (PGroup& group : particleGroups) {
    if (!group.hasChannel(0)) continue;
    if (index-- == 0) return &group;
  }
  return nullptr;
}

ICorvanePrtGroup* CorvaneFrameData::findParticleGroup(const char* name) {
  if (!name) return nullptr;
  for (PGroup& group : particleGroups) {
    if (std::strcmp(group.getName(), name) == 0) return &group;
  }
  return nullptr;
}

void CorvaneFrameData::resetFrame(bool mode) {
  flags = mode ? 4u : 0u;
  std::memset(simulationHeader, 0, sizeof simulationHeader);
  headerValue = 0.001f;
  timeStep = 1.0f / 30.0f;
  std::memset(transformA, 0, sizeof transformA);
  std::memset(transformB, 0, sizeof transformB);
  std::memcpy(transformC, kIdentity, sizeof kIdentity);
  particleBox = KUtils::EmptyBox();
  clearChannels();
  for (long long& value : channelValues) value = -1;
  channelMask = 0;
}

void CorvaneFrameData::clearContent() {
  freeCompressedStream();
  particleGroups.Clear();
  chunkText.clear();
}

void CorvaneFrameData::clearChannels() {
  for (ChannelSlot& slot : slots) {
    if (slot.buffer) slot.clear();
  }
}

bool CorvaneFrameData::allocateCompressedStream(long long n) {
  freeCompressedStream();
  if (n < 0 || n > 0x7fffffff) return false;
  compressedStream = new (std::nothrow) int[n > 0 ? n : 1];
  if (!compressedStream) return false;
  compressedLength = static_cast<int>(n);
  return true;
}

void CorvaneFrameData::freeCompressedStream() {
  delete[] compressedStream;
  compressedStream = nullptr;
  compressedLength = 0;
}

GridChannelBuffer* CorvaneFrameData::newChannelBuffer(int id, long long floats) {
  char what[600];
  FormatBounded(what, sizeof what, "channel %d of %s", id, path.empty() ? "a frame" : path.c_str());
  GridChannelBuffer* buffer = new (std::nothrow) GridChannelBuffer();
  if (!buffer) {
    orv::LogAllocationFailure(what, static_cast<long long>(sizeof(GridChannelBuffer)));
    return nullptr;
  }
  if (!orv::AllocateDecoded(buffer->values, floats, *budget, buffer->reserved, what)) {
    delete buffer;
    return nullptr;
  }
  buffer->referenceCount = 1;
  for (int a = 0; a < 3; ++a) buffer->resolution[a] = gridSize[a];
  return buffer;
}

void CorvaneFrameData::installBuffer(int id, GridChannelBuffer* buffer) {
  ChannelSlot& slot = slots[id];
  slot.release();
  slot.buffer = buffer;
  slot.present = 1;
}

float* CorvaneFrameData::allocateChannel(int id, long long extra) {
  if (id < 0 || id >= kChannelCount || extra < 0) return nullptr;
  if (gridSize[0] < 0 || gridSize[1] < 0 || gridSize[2] < 0) return nullptr;
  GridChannelBuffer* buffer = newChannelBuffer(id, voxelCount() + extra);
  if (!buffer) {
    slots[id].clear();
    return nullptr;
  }
  installBuffer(id, buffer);
  return buffer->values.data;
}
