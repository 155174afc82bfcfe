// Decoding of compressed particle channels: raw (0), zip (1), 1D grid codec in particle order
// (2) and in component order (3), zip of bit planes (4).
#include <cstring>
#include <mutex>
#include <new>
#include <utility>

#include "cache/OrvFormat.h"
#include "cache/particles/PGroup.h"
#include "cache/particles/PGroupLocks.h"
#include "cache/particles/PRTIN.h"
#include "codecs/SGCompressor.h"
#include "codecs/ZipBlock.h"
#include "support/Log.h"

namespace {

using namespace orv::format;
using Bytes = CVNUtils::CvnArray<char, long long>;

// Deflate expands at most 1032:1; a decoded size beyond that cannot come from the stored block.
constexpr long long kMaxInflateRatio = 1032;
constexpr long long kInflateSlack = 64;

bool inflatable(long long compressedBytes, long long decodedBytes) {
  return decodedBytes <= compressedBytes * kMaxInflateRatio + kInflateSlack &&
         decodedBytes <= 0xFFFFFFFFLL && compressedBytes <= 0xFFFFFFFFLL;
}

// The next part of a zip block into the destination; bytes the stream does not reach are set to 0.
bool inflatePart(InflateParts& zip, void* destination, long long bytes) {
  unsigned int produced = 0;
  const bool ok = zip.Next(destination, static_cast<unsigned int>(bytes), produced);
  if (bytes > produced) {
    std::memset(static_cast<char*>(destination) + produced, 0, static_cast<size_t>(bytes - produced));
  }
  return ok;
}

// Inflates the block into the destination; bytes a shorter stream leaves unfilled are set to 0.
bool inflateInto(const Bytes& compressed, void* destination, long long destinationBytes) {
  if (!inflatable(compressed.size(), destinationBytes)) return false;
  InflateParts zip(compressed.data, static_cast<unsigned int>(compressed.size()));
  return inflatePart(zip, destination, destinationBytes) && zip.Finish();
}

}  // namespace

// The planes are inflated one component at a time into a buffer of one component's planes, each
// reassembled before the next overwrites it: every word of the data is written, and the buffer
// is a component's size rather than the channel's.
bool PGroup::decodeBitPlanes(ParticleChannelSlot& slot, int channel) {
  const long long words = ParticleChannelWords(channel);
  const long long componentWords = 32 * ((static_cast<long long>(particleCount) + 31) / 32);
  if (!inflatable(slot.compressed.size(), words * componentWords * 4)) return false;
  CVNUtils::CvnArray<unsigned int, long long> planes;
  orv::DecodeReservation planeBytes;
  if (!orv::AllocateDecoded(planes, componentWords, orv::DecodeBudget::Process(), planeBytes,
                            channelLabel(channel).text)) {
    return false;
  }
  InflateParts zip(slot.compressed.data, static_cast<unsigned int>(slot.compressed.size()));
  bool ok = true;
  for (int c = 0; ok && c < words; ++c) {
    ok = inflatePart(zip, planes.data, componentWords * 4) &&
         PRTIN(slot.data, planes, channel, c).run();
  }
  return ok && zip.Finish();
}

SGCompressor<1>* PGroup::decoderFor(int channel) {
  if (channel < 0 || channel >= kParticleChannelCount) return nullptr;
  if (!decoders[channel]) decoders[channel] = new (std::nothrow) SGCompressor<1>(-1, nullptr, nullptr);
  return decoders[channel];
}

void PGroup::destroyDecoders() {
  for (SGCompressor<1>*& decoder : decoders) {
    delete decoder;
    decoder = nullptr;
  }
}

bool PGroup::decompressChannel(int channel, bool release) {
  if (channel < 0 || channel >= kParticleChannelCount) return false;
  PGroupLocks* block = locks();
  if (!block) return false;
  std::lock_guard<std::mutex> guard(block->slot[channel]);
  const bool ok = decodeLocked(channel, release);
  if (ok) decodedChannels.fetch_or(1u << channel, std::memory_order_release);
  return ok;
}

bool PGroup::decodeLocked(int channel, bool release) {
  ParticleChannelSlot& slot = slots[channel];
  if (!slot.data.empty()) return true;
  if (slot.compressed.empty()) {
    LogMessage("PGroup::decompressChannel failed: no compression data!\n");
    return false;
  }
  if (particleCount < 0) return false;
  const long long n = particleCount;
  const long long w = ParticleChannelWords(channel);
  // The size the group's particle count implies; the decode budget bounds what is allocated.
  long long decodedBytes = 0;
  if (!orv::DecodedByteCount(n, w * 4, decodedBytes)) return false;
  const int method = slot.method;
  if (method < kMethodRaw || method > kLastParticleMethod) return false;  // the stored bytes stay

  bool ok = false;
  if (method == kMethodRaw) {
    // The data is the stored block, whatever the particle count says: taken over when the
    // stored bytes are released anyway, copied otherwise.
    if (release) {
      slot.data = std::move(slot.compressed);
      return true;
    }
    if (!allocateChannelData(channel, slot.compressed.size())) return false;
    std::memcpy(slot.data.data, slot.compressed.data, static_cast<size_t>(slot.compressed.size()));
    ok = true;
  } else {
    // Zip blocks cannot expand beyond deflate's ratio: such sizes are rejected before allocating.
    if ((method == kMethodZip || method == kMethodZipBitPlanes) && !inflatable(slot.compressed.size(), decodedBytes)) {
      LogMessage("#%s: %lld decoded bytes cannot come from %lld stored bytes\n",
                 channelLabel(channel).text, decodedBytes, slot.compressed.size());
      ok = false;
    } else {
      if (!allocateChannelData(channel, decodedBytes)) return false;
      // The data is not cleared first: each method writes every value, or sets to zero those a
      // short or partly damaged stream leaves unwritten, so none shows stale heap contents.
      orv::DecodeReservation scratchBytes;  // the temporary array of method 3
      switch (method) {
        case kMethodZip:
          ok = inflateInto(slot.compressed, slot.data.data, decodedBytes);
          break;
        case kMethodCodecParticleMajor: {
          SGCompressor<1>* decoder = decoderFor(channel);
          ok = decoder && decoder->Decompress(slot.compressed.data, slot.compressed.size(),
                                              reinterpret_cast<float*>(slot.data.data),
                                              decodedBytes / 4) == 1;
          if (ok) decoder->ZeroUnwritten(reinterpret_cast<float*>(slot.data.data), decodedBytes / 4);
          break;
        }
        case kMethodCodecComponentMajor: {
          SGCompressor<1>* decoder = decoderFor(channel);
          CVNUtils::CvnArray<float, long long> componentMajor;
          ok = decoder &&
               orv::AllocateDecoded(componentMajor, decodedBytes / 4, orv::DecodeBudget::Process(),
                                    scratchBytes, channelLabel(channel).text) &&
               decoder->Decompress(slot.compressed.data, slot.compressed.size(),
                                   componentMajor.data, decodedBytes / 4) == 1;
          if (ok) {
            decoder->ZeroUnwritten(componentMajor.data, decodedBytes / 4);
            float* out = reinterpret_cast<float*>(slot.data.data);
            for (long long c = 0; c < w; ++c) {
              for (long long p = 0; p < n; ++p) out[p * w + c] = componentMajor[c * n + p];
            }
          }
          break;
        }
        case kMethodZipBitPlanes:
          ok = decodeBitPlanes(slot, channel);
          break;
      }
    }
    if (!ok) {
      LogMessage("Error decompressing particle channel %d with method %d\n", channel, method);
      slot.freeData();
      slot.compressed.Clear();
      return false;
    }
  }
  if (release) slot.compressed.Clear();
  return ok;
}
