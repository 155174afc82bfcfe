// Decoding of compressed particle channels: raw (0), zip (1), 1D grid codec in particle order
// (2) and in component order (3), zip of bit planes (4).
#include <cstring>
#include <mutex>
#include <new>

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

bool inflateInto(const Bytes& compressed, void* destination, long long destinationBytes) {
  if (!inflatable(compressed.size(), destinationBytes)) return false;
  return InflateBlock(compressed.data, static_cast<unsigned int>(compressed.size()), destination,
                      static_cast<unsigned int>(destinationBytes));
}

}  // namespace

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
    // The data takes the stored length, whatever the particle count says.
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
      // Parts a decoder leaves unwritten read as zero rather than as stale heap contents.
      if (decodedBytes > 0) std::memset(slot.data.data, 0, static_cast<size_t>(decodedBytes));
      orv::DecodeReservation scratchBytes;  // the temporary array of methods 3 and 4
      switch (method) {
        case kMethodZip:
          ok = inflateInto(slot.compressed, slot.data.data, decodedBytes);
          break;
        case kMethodCodecParticleMajor: {
          SGCompressor<1>* decoder = decoderFor(channel);
          ok = decoder && decoder->Decompress(slot.compressed.data, slot.compressed.size(),
                                              reinterpret_cast<float*>(slot.data.data),
                                              decodedBytes / 4) == 1;
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
            float* out = reinterpret_cast<float*>(slot.data.data);
            for (long long c = 0; c < w; ++c) {
              for (long long p = 0; p < n; ++p) out[p * w + c] = componentMajor[c * n + p];
            }
          }
          break;
        }
        case kMethodZipBitPlanes: {
          const long long planeWords = w * 32 * ((n + 31) / 32);
          CVNUtils::CvnArray<unsigned int, long long> planes;
          ok = orv::AllocateDecoded(planes, planeWords, orv::DecodeBudget::Process(), scratchBytes,
                                    channelLabel(channel).text) &&
               inflateInto(slot.compressed, planes.data, planeWords * 4);
          ok = ok && PRTIN(slot.data, planes, channel).run();
          break;
        }
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
