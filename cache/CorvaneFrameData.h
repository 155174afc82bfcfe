// One simulation frame in memory: grid description, compressed grid channels expanded on demand,
// particle groups, and the identity under which the loader shares it.
#pragma once

#include <string>

#include "cache/ChannelLock.h"
#include "cache/GridChannelIds.h"
#include "cache/GridChannelBuffer.h"
#include "cache/particles/Box.h"
#include "cache/particles/PGroup.h"
#include "orv/IOrv.h"
#include "support/CvnArray.h"
#include "support/DecodeBudget.h"

template <int N>
class SGCompressor;
class MTComputeParticlesBbox;

class CorvaneFrameData : public IOrv {
 public:
  using PGroup = ::PGroup;
  static constexpr int kChannelCount = 32;
  static constexpr int kPackedColour = orv::channels::kPackedColour;
  static constexpr int kMaskMarkerBit = 31;  // a flag bit of the channel mask, not a channel

  // A channel a frame holds as a float array of its own: not the packed colour, not the marker.
  static bool IsGridChannel(int id) {
    return id >= 0 && id < kChannelCount && id != kPackedColour && id != kMaskMarkerBit;
  }

  CorvaneFrameData();
  ~CorvaneFrameData() override;
  CorvaneFrameData(const CorvaneFrameData&) = delete;
  CorvaneFrameData& operator=(const CorvaneFrameData&) = delete;

  // IOrv, in slot order.
  const float* getChannel(int id) override;
  int hasChannel(int id) override;
  void getGridSize(int* out) override;
  void getTransform(float* out) override;
  int getParticleGroupCount() override;
  ICorvanePrtGroup* getParticleGroup(int index) override;
  ICorvanePrtGroup* findParticleGroup(const char* name) override;

  // Prepares the frame for a load; mode is the header-only import flag.
  void resetFrame(bool mode);
  // Frees the compressed channel stream, the particle groups and the chunk text.
  void clearContent();
  // Clears every slot that has a buffer (values freed, range emptied).
  void clearChannels();

  // Reads an .orv file into the frame. 0 read, 3 cannot open or use, 4 broken, 12 no footer.
  int ImportOrv(const char* path, bool singleAttempt, bool infoOnly);

  // Makes channel id (0..31) available if the stream holds it or it can be derived. Its presence
  // may change until the call returns: read it under channelLock (getChannel does).
  ChannelSlot& expandChannel(int id);
  // The stored bytes of channel id's record in the compressed stream (for the packed colour, its
  // 64-bit count and zip block); false when the stream holds no record for id.
  bool storedPayload(int id, const unsigned char*& bytes, long long& byteCount) const;
  // Drops velocity 4..6 unless all three components are present.
  void discardPartialVelocity();
  // Trilinear sample of `count` slots from `firstSlot` at a point in grid coordinates; writes one
  // value per present slot. Returns 1 when at least one slot was sampled.
  int sampleChannels(int firstSlot, const float* point, float* out, int count);
  // Gives slot id a fresh buffer of nx*ny*nz (+ extra) floats, charged to the frame's decode
  // budget, and marks it present; used by importers that fill channels directly. Null (with a '#'
  // line) when the budget or the memory refuses it, or id is out of range.
  float* allocateChannel(int id, long long extra = 0);
  // Replaces the compressed channel stream with n integers (uninitialised); false on no memory.
  bool allocateCompressedStream(long long n);
  void freeCompressedStream();
  // nx*ny*nz; 0 for a negative size or a product beyond 64 bits (a damaged header).
  long long voxelCount() const {
    if (gridSize[0] < 0 || gridSize[1] < 0 || gridSize[2] < 0) return 0;
    long long voxels = 0;
    const long long plane = static_cast<long long>(gridSize[0]) * gridSize[1];
    return __builtin_mul_overflow(plane, static_cast<long long>(gridSize[2]), &voxels) ? 0 : voxels;
  }

  unsigned int flags = 0;
  int* compressedStream = nullptr;
  int compressedLength = 0;
  unsigned int channelMask = 0;
  CVNUtils::CvnArray<PGroup, int> particleGroups;
  int gridSize[3] = {0, 0, 0};
  int frameNumber = -2147483647 - 1;
  int formatVersion = 2147483647;
  unsigned char simulationHeader[392] = {};
  float headerValue = 0.0f;
  float transform[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  float timeStep = 0.0f;
  float transformA[12] = {};
  float transformB[12] = {};
  float transformC[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
  ChannelSlot slots[kChannelCount];
  long long channelValues[kChannelCount];
  SGCompressor<1>* decoder1 = nullptr;
  SGCompressor<3>* decoder3 = nullptr;
  KUtils::Box particleBox = KUtils::EmptyBox();
  ChannelLock channelLock;
  std::string chunkText;
  std::string path;
  std::string mappingString;
  long long modificationTime = 0;
  int referenceCount = 0;
  MTComputeParticlesBbox* bboxJob = nullptr;
  // Decoded arrays are charged here: the budget of the module that created the frame, so that a
  // plug-in filling the frame charges the same budget as the loader that reads it.
  orv::DecodeBudget* budget = &orv::DecodeBudget::Process();

 private:
  // A buffer of `floats` values for slot id, reserved and allocated but not yet in the slot; null
  // with a '#' line when refused.
  GridChannelBuffer* newChannelBuffer(int id, long long floats);
  // Puts a filled buffer into slot id (dropping what it held) and marks the slot present.
  void installBuffer(int id, GridChannelBuffer* buffer);
  bool findRecord(int id, long long& index, long long& payloadWords) const;
  bool decodeRecord(float* values, int id, long long index, long long payloadWords);
  void deriveSpeed();
  void splitPackedColour();
  // Whether colour component c comes from the packed channel: neither present nor stored itself.
  bool fedByPackedColour(int c) const;
};

// Reads path into frame with a single open attempt (the loader's use).
inline int ImportOrv(CorvaneFrameData* frame, const char* path, bool infoOnly) {
  return frame->ImportOrv(path, true, infoOnly);
}
