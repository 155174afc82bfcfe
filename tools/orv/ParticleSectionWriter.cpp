#include "tools/orv/ParticleSectionWriter.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "cache/OrvFormat.h"
#include "cache/particles/ParticleChannelTable.h"
#include "codecs/EntropyCoder.h"
#include "tools/orv/ByteSink.h"

namespace orv::writer {
namespace {

using namespace orv::format;

constexpr int kNoChannel = -1;
constexpr float kBadPositionSum = 100000.0f;

const ParticleChannel* findChannel(const ParticleGroup& group, int channel) {
  for (const ParticleChannel& c : group.channels) {
    if (c.channel == channel) return &c;
  }
  return nullptr;
}

int channelMask(const ParticleGroup& group) {
  int mask = 0;
  for (const ParticleChannel& c : group.channels) {
    if (c.channel >= 0 && c.channel < kParticleChannelCount && !c.data.empty()) {
      mask |= 1 << c.channel;
    }
  }
  if (!group.idBlock.empty()) mask |= 1 << kParticleIdChannel;
  return mask;
}

bool checkChannel(const ParticleGroup& group, const ParticleChannel& c, int count,
                  std::string& error) {
  if (c.channel < 0 || c.channel >= kParticleChannelCount) {
    error = "particle channel outside 0..31 in group " + group.name;
    return false;
  }
  const long long bytes = static_cast<long long>(count) * ParticleChannelByteSize(c.channel);
  if (static_cast<long long>(c.data.size()) != bytes) {
    error = "particle channel " + std::to_string(c.channel) + " of group " + group.name +
            " does not hold one value per particle";
    return false;
  }
  return true;
}

// The box the reader computes from positions: particles whose coordinate sum is not finite or
// of magnitude 100000 or more stay out.
KUtils::Box positionBox(const Frame& frame) {
  KUtils::Box box = KUtils::EmptyBox();
  for (const ParticleGroup& group : frame.groups) {
    const ParticleChannel* positions = findChannel(group, kParticlePositionChannel);
    if (!positions) continue;
    const size_t points = positions->data.size() / 12;
    for (size_t p = 0; p < points; ++p) {
      float xyz[3];
      std::memcpy(xyz, positions->data.data() + 12 * p, 12);
      const float sum = xyz[0] + xyz[1] + xyz[2];
      if (!std::isfinite(sum) || std::fabs(sum) >= kBadPositionSum) continue;
      const KUtils::Box point{{xyz[0], xyz[1], xyz[2]}, {xyz[0], xyz[1], xyz[2]}};
      KUtils::GrowBox(box, point);
    }
  }
  return box;
}

// Entropy-coded ID deltas: per particle the low, then the high 32-bit half of id[p] - id[p-1]
// (the first particle's ID itself).
bool idBlockBytes(const std::vector<long long>& ids, std::vector<char>& out, std::string& error) {
  out.clear();
  if (ids.empty()) return true;
  std::vector<int> halves;
  halves.reserve(ids.size() * 2);
  unsigned long long previous = 0;
  for (long long id : ids) {
    const unsigned long long delta = static_cast<unsigned long long>(id) - previous;
    previous = static_cast<unsigned long long>(id);
    halves.push_back(static_cast<int>(static_cast<unsigned int>(delta)));
    halves.push_back(static_cast<int>(static_cast<unsigned int>(delta >> 32)));
  }
  EntropyCoder coder;
  CVNUtils::CvnArray<char, long long> stream;
  if (coder.Encode(halves.data(), static_cast<long long>(halves.size()), stream) == 0) {
    error = "the entropy coder failed on an ID block";
    return false;
  }
  out.assign(stream.begin(), stream.end());
  return true;
}

void subBlocks(const ParticleGroup& group, const std::vector<char>& ids, ByteSink& out) {
  if (group.writeTypeWord) {
    out.i32(kSubBlockTypeWord);
    out.i32(group.typeWord);
  }
  if (!group.idBlock.empty()) {
    out.i32(kSubBlockIds);
    out.i32(static_cast<int>(ids.size()));
    out.bytes(ids);
  }
  if (group.writeGroupValue) {
    out.i32(kSubBlockGroupValue);
    out.bytes(group.groupValue.data(), group.groupValue.size());
  }
  out.i32(kSubBlockEnd);
}

}  // namespace

int GroupParticleCount(const ParticleGroup& group) {
  if (group.particleCount >= 0) return group.particleCount;
  if (const ParticleChannel* positions = findChannel(group, kParticlePositionChannel)) {
    return static_cast<int>(positions->data.size() / 12);
  }
  for (const ParticleChannel& c : group.channels) {
    const int bytes = ParticleChannelByteSize(c.channel);
    if (bytes > 0) return static_cast<int>(c.data.size() / bytes);
  }
  return static_cast<int>(group.idBlock.size());
}

bool SummaryPayload(const Frame& frame, std::vector<char>& bytes, std::string&) {
  ByteSink out(bytes);
  out.i32(static_cast<int>(frame.groups.size()));
  for (const ParticleGroup& group : frame.groups) {
    out.string(group.name);
    out.i32(GroupParticleCount(group));
    out.i32(channelMask(group));
    out.i32(group.typeWord);
  }
  const KUtils::Box box = frame.summaryBox ? *frame.summaryBox : positionBox(frame);
  out.bytes(&box, sizeof box);
  out.i32(0);
  return true;
}

bool GroupChunkPayload(const Frame& frame, std::vector<char>& bytes, std::string& error) {
  ByteSink out(bytes);
  out.i32(static_cast<int>(frame.groups.size()));
  for (const ParticleGroup& group : frame.groups) {
    const int count = GroupParticleCount(group);
    out.string(group.name);
    out.i32(group.typeWord);
    out.i32(count);
    out.bytes(group.groupValue.data(), group.groupValue.size());
    out.i32(static_cast<int>(group.channels.size()));
    for (const ParticleChannel& c : group.channels) {
      if (!checkChannel(group, c, count, error)) return false;
      std::vector<char> stored;
      if (!EncodeParticleChannel(c.encoding, c.channel, c.data.data(), count, stored)) {
        error = "particle channel " + std::to_string(c.channel) + " of group " + group.name +
                " cannot be encoded with method " + std::to_string(c.encoding.method);
        return false;
      }
      out.i32(c.channel);
      out.i32(c.encoding.method);
      out.i32(static_cast<int>(stored.size()));
      out.bytes(stored);
    }
  }
  return true;
}

bool ParticleBlockPayload(const Frame& frame, bool compressed, std::vector<char>& bytes,
                          std::string& error) {
  // The shared word array holds every group's channels back to back; each group lists the word
  // offset of each of its channels.
  std::vector<char> shared;
  std::vector<std::vector<int>> offsets(frame.groups.size(),
                                        std::vector<int>(kParticleChannelCount, kNoChannel));
  for (size_t g = 0; g < frame.groups.size(); ++g) {
    const ParticleGroup& group = frame.groups[g];
    const int count = GroupParticleCount(group);
    for (const ParticleChannel& c : group.channels) {
      if (!checkChannel(group, c, count, error)) return false;
      if (ParticleChannelWords(c.channel) == 0) {
        error = "particle channel " + std::to_string(c.channel) + " has no storage";
        return false;
      }
      offsets[g][c.channel] = static_cast<int>(shared.size() / 4);
      if (compressed) {
        ParticleChannelEncoding encoding = c.encoding;
        encoding.method = kMethodCodecComponentMajor;
        std::vector<char> stream;
        if (!EncodeParticleChannel(encoding, c.channel, c.data.data(), count, stream)) {
          error = "particle channel " + std::to_string(c.channel) + " cannot be encoded";
          return false;
        }
        shared.insert(shared.end(), stream.begin(), stream.end());
      } else {
        shared.insert(shared.end(), c.data.begin(), c.data.end());
      }
      ByteSink(shared).padToWord();
    }
  }
  if (shared.size() / 4 > static_cast<size_t>(std::numeric_limits<int>::max())) {
    error = "shared particle array too large";
    return false;
  }
  ByteSink out(bytes);
  out.i32(static_cast<int>(shared.size() / 4));
  out.bytes(shared);
  out.i32(static_cast<int>(frame.groups.size()));
  for (size_t g = 0; g < frame.groups.size(); ++g) {
    const ParticleGroup& group = frame.groups[g];
    std::vector<char> ids;
    if (!idBlockBytes(group.idBlock, ids, error)) return false;
    out.string(group.name);
    out.i32(GroupParticleCount(group));
    for (int offset : offsets[g]) out.i32(offset);
    subBlocks(group, ids, out);
  }
  return true;
}

}  // namespace orv::writer
