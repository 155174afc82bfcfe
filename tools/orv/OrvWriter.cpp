#include "tools/orv/OrvWriter.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "cache/OrvFormat.h"
#include "cache/particles/ParticleChannelTable.h"
#include "support/TextConversion.h"
#include "tools/orv/ByteSink.h"
#include "tools/orv/GridStreamWriter.h"
#include "tools/orv/ParticleSectionWriter.h"

namespace orv::writer {
namespace {

using namespace orv::format;

constexpr char kSectionMarker[4] = {'D', 'A', 'T', 'A'};

class FileBuilder {
 public:
  FileBuilder(const Frame& frame, std::vector<char>& out, Layout& layout, std::string& error)
      : frame_(frame), bytes_(out), out_(out), layout_(layout), error_(error) {}

  bool build() {
    bytes_.clear();
    out_.bytes(kStartMagic, 4);
    if (!headerSection()) return false;
    layout_.dataOffset = out_.size();
    out_.bytes(kSectionMarker, 4);
    if (!chunkSection()) return false;
    footer();
    return true;
  }

 private:
  void tag(int value) {
    layout_.headerBlocks[value] = out_.size();
    out_.i32(value);
  }

  bool headerSection() {
    tag(kTagChannelMask);
    out_.i32(static_cast<int>(frame_.channelMask ? *frame_.channelMask : storedMask()));
    if (frame_.writeTransform) {
      tag(kTagTransform);
      out_.bytes(frame_.transform.data(), sizeof(float) * 12);
    }
    if (frame_.writeGrid && !gridBlock()) return false;
    if (frame_.frameNumber) {
      tag(kTagFrameNumber);
      out_.i32(*frame_.frameNumber);
    }
    if (frame_.timeStep) {
      tag(kTagTimeStep);
      out_.f32(*frame_.timeStep);
    }
    if (frame_.transformA) {
      tag(kTagTransformA);
      out_.bytes(frame_.transformA->data(), sizeof(float) * 12);
    }
    if (frame_.block8) {
      tag(kTagSimulationValue);
      out_.f32(*frame_.block8);
    }
    if (frame_.block9) {
      tag(kTagSimulationWord);
      out_.i32(frame_.block9->first);
      out_.f32(frame_.block9->second);
    }
    if (frame_.block10) {
      tag(kTagSimulationDoubles);
      out_.f64(frame_.block10->first);
      out_.f64(frame_.block10->second);
    }
    if (frame_.block11) {
      tag(kTagTransforms);
      out_.bytes(frame_.block11->a.data(), sizeof(float) * 12);
      out_.bytes(frame_.block11->b.data(), sizeof(float) * 12);
      out_.bytes(frame_.block11->c.data(), sizeof(float) * 12);
      out_.bytes(frame_.block11->tail.data(), 8);
    }
    if (frame_.simulationHeader) {
      tag(kTagSimulationHeader);
      out_.i32(static_cast<int>(frame_.simulationHeader->size()));
      out_.bytes(*frame_.simulationHeader);
    }
    if (!frame_.groups.empty() && frame_.particleLayout != ParticleLayout::Chunks) {
      const bool compressed = frame_.particleLayout == ParticleLayout::CompressedBlock;
      std::vector<char> payload;
      if (!ParticleBlockPayload(frame_, compressed, payload, error_)) return false;
      tag(compressed ? kTagCompressedParticleBlock : kTagParticleBlock);
      out_.bytes(payload);
    }
    out_.bytes(frame_.extraHeaderBytes);
    out_.i32(kHeaderEnd);
    return true;
  }

  unsigned int storedMask() const {
    unsigned int mask = 0;
    for (const GridChannel& channel : frame_.channels) {
      if (channel.id >= 0 && channel.id < 31) mask |= 1u << channel.id;
    }
    return mask;
  }

  bool gridBlock() {
    std::vector<int> stream;
    if (frame_.rawChannelStream) {
      stream = *frame_.rawChannelStream;
    } else {
      for (const GridChannel& channel : frame_.channels) {
        if (!AppendGridRecord(channel, frame_.gridSize, frame_.version, stream, error_)) {
          return false;
        }
      }
    }
    if (stream.size() > static_cast<size_t>(std::numeric_limits<int>::max())) {
      error_ = "channel stream too long";
      return false;
    }
    tag(kTagGrid);
    for (int n : frame_.gridSize) out_.i32(n);
    out_.i32(frame_.declaredStreamWords ? *frame_.declaredStreamWords
                                        : static_cast<int>(stream.size()));
    layout_.streamOffset = out_.size();
    out_.bytes(stream.data(), stream.size() * 4);
    return true;
  }

  void chunk(int id, const std::vector<char>& payload,
             std::optional<long long> declaredSize = std::nullopt) {
    layout_.chunks[id] = out_.size();
    out_.i32(id);
    const long long size = declaredSize ? *declaredSize : static_cast<long long>(payload.size());
    if (!HasWideSizes(frame_.version)) {
      out_.i32(static_cast<int>(size));
    } else {
      out_.i64(size);
    }
    out_.bytes(payload);
  }

  void rawChunks(const std::vector<RawChunk>& chunks) {
    for (const RawChunk& c : chunks) chunk(c.id, c.payload, c.declaredSize);
  }

  bool chunkSection() {
    const bool summary = frame_.writeSummary && !frame_.groups.empty();
    const bool groupChunk = !frame_.groups.empty() && frame_.particleLayout == ParticleLayout::Chunks;
    // A version <= 2 reader stops after the summary, so everything else goes ahead of it; there
    // the summary would also replace chunk groups read before it.
    const bool endsAtSummary = EndsAfterSummary(frame_.version);
    if (endsAtSummary && summary && groupChunk) {
      error_ = "a version 2 file cannot hold both a particle summary and particle chunks";
      return false;
    }
    std::vector<char> summaryBytes;
    if (summary && !SummaryPayload(frame_, summaryBytes, error_)) return false;
    if (summary && !endsAtSummary) chunk(kChunkParticleSummary, summaryBytes);
    if (frame_.chunkText) {
      std::vector<char> text;
      ByteSink(text).string(*frame_.chunkText);
      chunk(kChunkText, text);
    }
    if (!frame_.ranges.empty()) {
      std::vector<char> payload;
      ByteSink put(payload);
      put.i32(static_cast<int>(frame_.ranges.size()));
      for (const ChannelRange& r : frame_.ranges) {
        put.i32(r.id);
        put.f32(r.low);
        put.f32(r.high);
      }
      chunk(kChunkChannelRanges, payload);
    }
    if (!frame_.values.empty()) {
      std::vector<char> payload;
      ByteSink put(payload);
      put.i32(static_cast<int>(frame_.values.size()));
      for (const ChannelValue& v : frame_.values) {
        put.i32(v.id);
        put.i64(v.value);
      }
      chunk(kChunkChannelValues, payload);
    }
    if (groupChunk) {
      std::vector<char> payload;
      if (!GroupChunkPayload(frame_, payload, error_)) return false;
      chunk(kChunkParticleGroups, payload);
    }
    rawChunks(frame_.extraChunks);
    if (summary && endsAtSummary) chunk(kChunkParticleSummary, summaryBytes);
    rawChunks(frame_.trailingChunks);
    out_.i32(kChunkEnd);
    return true;
  }

  void footer() {
    layout_.footerOffset = out_.size();
    if (!HasWideSizes(frame_.version)) {
      out_.i32(static_cast<int>(layout_.dataOffset));
    } else {
      out_.i64(layout_.dataOffset);
    }
    out_.i32(frame_.version);
    out_.bytes(kFooterMagic, 8);
  }

  const Frame& frame_;
  std::vector<char>& bytes_;
  ByteSink out_;
  Layout& layout_;
  std::string& error_;
};

}  // namespace

ParticleChannel FloatChannel(int channel, const std::vector<float>& values, int method) {
  ParticleChannel c;
  c.channel = channel;
  c.data.resize(values.size() * 4);
  if (!values.empty()) std::memcpy(c.data.data(), values.data(), c.data.size());
  c.encoding.method = method;
  return c;
}

ParticleChannel IdChannel(const std::vector<long long>& ids, int method) {
  ParticleChannel c;
  c.channel = kParticleIdChannel;
  c.data.resize(ids.size() * 8);
  if (!ids.empty()) std::memcpy(c.data.data(), ids.data(), c.data.size());
  c.encoding.method = method;
  return c;
}

bool Write(const Frame& frame, std::vector<char>& out, std::string* error, Layout* layout) {
  std::string reason;
  Layout where;
  const bool ok = FileBuilder(frame, out, where, reason).build();
  if (!ok) out.clear();
  if (error) *error = reason;
  if (layout) *layout = where;
  return ok;
}

bool WriteFile(const Frame& frame, const std::string& path, std::string* error, Layout* layout) {
  std::vector<char> bytes;
  if (!Write(frame, bytes, error, layout)) return false;
  std::FILE* file = OpenFileUtf8(path.c_str(), "wb");
  if (!file) {
    if (error) *error = "cannot create " + path;
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!(written && closed) && error) *error = "cannot write " + path;
  return written && closed;
}

}  // namespace orv::writer
