// One particle group of a frame: a named set of particles with up to 32 per-particle channels.
//
// Channels arrive either as compressed bytes with a method number (decoded on first access, then
// the bytes are released) or as decoded particle-major data. Groups live in a CvnArray, which
// relocates them by byte copy; everything that must not move (the locks) is owned through one
// pointer, and decoders are owned raw pointers, so a byte copy moves ownership intact.
#pragma once

#include <atomic>

#include "cache/particles/Box.h"
#include "cache/particles/ParticleChannelTable.h"
#include "orv/ICorvanePrtGroup.h"
#include "support/CvnArray.h"
#include "support/DecodeBudget.h"

template <int N>
class SGCompressor;
class CorvaneFrameData;
struct PGroupLocks;

// Storage of one particle channel.
struct ParticleChannelSlot {
  int method = 0;                                  // compression method of `compressed`
  CVNUtils::CvnArray<char, long long> compressed;  // bytes as stored; freed after decoding
  CVNUtils::CvnArray<char, long long> data;        // decoded words, particle-major
  orv::DecodeReservation reserved;                 // data's bytes, held against the decode budget

  bool present() const { return !compressed.empty() || !data.empty(); }
  void freeData() {
    data.Clear();
    reserved.reset();
  }
};

class PGroup : public ICorvanePrtGroup {
 public:
  // Particle numbers sorted by ID. `ids` points at the ID channel while sorting.
  class IDORD : public CVNUtils::CvnArray<int, int> {
   public:
    // Positive when index a orders after index b (ID[b] < ID[a]).
    int compare(const int& a, const int& b) const override;
    // Stable exchange/merge sort through compare; false when scratch cannot be allocated.
    bool Sort();

    const long long* ids = nullptr;
  };

  PGroup();
  ~PGroup() override;
  PGroup(const PGroup&) = delete;
  PGroup& operator=(const PGroup&) = delete;

  // ICorvanePrtGroup, in slot order.
  const char* getName() override;
  int getParticleCount() override;
  int getParticle(unsigned int index, int channel, float* out) override;
  int hasChannel(int channel) override;
  int getChannelByteSize(int channel) override;
  int findParticleById(long long id) override;
  int getChannelType(int channel) override;
  int getChannelComponents(int channel) override;

  // Pointer to particle `index`'s first word in the channel, decoding the channel first when
  // needed; null when the channel is absent, cannot be decoded or index is out of range.
  void* channelData(long long index, int channel);
  // Sizes the channel's data to count x bytes-per-particle (exact capacity, contents kept) and
  // returns it; null for a negative count, a bad channel, or a size the decode budget or the
  // memory refuses (with a '#' line).
  void* prepareChannelData(int channel);
  // Copies byteCount bytes (-1: the channel's full size) into the channel's data.
  bool setChannelData(int channel, const void* source, long long byteCount);
  // The channel's own 1D decoder, created on first call; null for a bad channel or no memory.
  SGCompressor<1>* decoderFor(int channel);
  // Makes the channel's decoded data available (methods 0..4); see ParticleChannelDecoder.cpp.
  bool decompressChannel(int channel, bool release);
  // Builds the ID order when the IDs are not ascending; false when it cannot be sized.
  bool buildIdOrder();
  // Fills the ID order with 0..n-1 and sorts it by ID unconditionally (reader: negative delta).
  bool sortIdOrder();

  // Sets the name from length bytes (no terminator needed); false when out of memory.
  bool setName(const char* text, int length);
  // "particle channel <c> of group <name>", for '#' lines; allocates nothing.
  struct Label {
    char text[160];
  };
  Label channelLabel(int channel);
  // Stores method and compressed bytes in a slot, replacing what the slot held.
  bool setCompressedChannel(int channel, int method, const void* bytes, long long length);
  // The same, taking the bytes' array over instead of copying it.
  bool setCompressedChannel(int channel, int method, CVNUtils::CvnArray<char, long long>&& bytes);

  IDORD idOrder;
  CVNUtils::CvnArray<char, int> name;  // NUL-terminated when set
  int channelMask = 0;
  int typeWord = 0;
  int particleCount = 0;
  unsigned char groupValue[8] = {};
  ParticleChannelSlot slots[kParticleChannelCount];
  SGCompressor<1>* decoders[kParticleChannelCount] = {};
  CorvaneFrameData* frame = nullptr;

  // Type word of groups whose missing velocity channel is sampled from the frame's grid.
  static constexpr int kGridVelocityType = 0x30000;

 private:
  // Lock block, allocated on first need (a group read only from a summary never needs one).
  PGroupLocks* locks();
  // Sizes the slot's data to exactly `bytes`, charged to the decode budget; false with a '#' line.
  bool allocateChannelData(int channel, long long bytes);

  // Whether the channel holds compressed bytes or data, safe against a concurrent first decode.
  bool channelPresent(int channel);
  bool decodeLocked(int channel, bool release);
  bool decodeBitPlanes(ParticleChannelSlot& slot, int channel);
  void destroyDecoders();
  bool frameHasGridVelocity();
  int sampleGridVelocity(unsigned int index, float* out);
  // Number of IDs held by the decoded ID channel (at most the particle count).
  int idCount() const;
  bool fillAndSortIdOrder();

  std::atomic<PGroupLocks*> lockBlock{nullptr};
  // Bit c: slot c's data is final, so it may be read without the slot lock.
  std::atomic<unsigned int> decodedChannels{0};
  // 0: not yet examined, 1: IDs ascending (no order kept), 2: order built.
  std::atomic<int> idOrderState{0};
};

ORV_DECLARE_BYTE_MOVABLE(PGroup);
