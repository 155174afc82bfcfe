#include "codecs/SGCompressor.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "codecs/ByteCursor.h"
#include "codecs/EntropyCoder.h"
#include "codecs/ValueKernels.h"
#include "codecs/ZoneTable.h"
#include "codecs/ZoneQuantiser.h"
#include "support/Log.h"

namespace {

constexpr float kTinyOffset = 1e-20f;

}  // namespace

template <int N>
SGCompressor<N>::SGCompressor(int threads, const CVNUtils::NumaPlacementTable* placementTable,
                              const unsigned char* nodeSelection)
    : CVNUtils::CvnParallel(nullptr),
      requestedThreads(threads),
      placementTable(placementTable),
      nodeSelection(nodeSelection) {}

template <int N>
SGCompressor<N>::~SGCompressor() = default;

template <int N>
bool SGCompressor<N>::prepareScratch() {
  const int workers = jobCount > 0 ? jobCount : 1;
  scratch.Clear();
  if (!scratch.SetSize(workers)) return false;
  for (int i = 0; i < workers; ++i) {
    scratch[i].SetSize(kInitialScratch);
    scratch[i].SetSize(0);
  }
  return true;
}

template <int N>
int SGCompressor<N>::Decompress(const void* source, unsigned long long sourceBytes,
                                float* destination, long long capacityFloats) {
  const int result = decodeStream(source, sourceBytes, destination, capacityFloats);
  // An idle decoder keeps no scratch memory. The zone list (a few words per zone) stays until
  // the next stream: ZeroUnwritten reads it.
  scratch.Clear();
  return result;
}

template <int N>
int SGCompressor<N>::decodeStream(const void* source, unsigned long long sourceBytes,
                                  float* destination, long long capacityFloats) {
  consumed = 0;
  sourcePointer = static_cast<const unsigned char*>(source);
  zones.SetSize(0);
  setupThreads(requestedThreads, placementTable, nodeSelection);
  if (!prepareScratch() || !source || !destination || capacityFloats < 0) return 0;
  orv::ByteCursor cursor(source, sourcePointer + sourceBytes);
  unsigned short magic = 0;
  if (!cursor.readU16(magic)) return 0;
  consumed = 2;
  if (magic == kSingleZoneMagic) {
    if (!zones.SetSize(1)) return 0;
    Zone& zone = zones[0];
    zone.source = cursor.position();
    zone.byteLimit = sourceBytes - 2;
    zone.position = 0;
    zone.capacity = static_cast<unsigned long long>(capacityFloats);
    zone.values = destination;
    return DecompressZone(zone, 0);
  }
  if (magic != kZonedMagic && magic != kZonedMagicAlt) return 0;
  return decodeZoned(sourceBytes, destination, capacityFloats);
}

template <int N>
int SGCompressor<N>::decodeZoned(unsigned long long sourceBytes, float* destination,
                                 long long capacityFloats) {
  orv::ZoneTable table;
  if (!table.read(sourcePointer, sourceBytes)) return 0;
  consumed = table.headerBytes;
  const long long areaBytes = static_cast<long long>(table.areaBytes);
  // Indexes and offsets must lie inside the destination and the zone area and must not
  // decrease, so that zones never overlap.
  for (int i = 0; i < table.zoneCount; ++i) {
    const long long first = table.firstIndex(i);
    const long long offset = table.offset(i);
    if (offset < 0 || offset >= areaBytes) return 0;
    if (first < 0 || first >= capacityFloats) return 0;
    if (i > 0 && (first < table.firstIndex(i - 1) || offset < table.offset(i - 1))) return 0;
  }
  zones.Clear();
  if (!zones.SetSize(table.zoneCount)) return 0;
  for (int i = 0; i < table.zoneCount; ++i) {
    const bool last = i + 1 == table.zoneCount;
    const long long first = table.firstIndex(i);
    const long long offset = table.offset(i);
    const long long nextFirst = last ? capacityFloats : table.firstIndex(i + 1);
    const long long nextOffset = last ? areaBytes : table.offset(i + 1);
    Zone& zone = zones[i];
    zone.source = table.zoneArea + offset;
    zone.values = destination + first;
    zone.byteLimit = static_cast<unsigned long long>(nextOffset - offset);
    zone.capacity = static_cast<unsigned long long>(nextFirst - first);
    // The zone magic is not checked; a zone too short for it fails on its first field.
    zone.position = orv::ZoneTable::kZoneMagicBytes;
  }
  runJobs(1, nullptr);
  return 1;
}

template <int N>
void SGCompressor<N>::ZeroUnwritten(float* destination, long long capacityFloats) const {
  // Zones start in increasing order (the zone table is checked for it) and write from their start.
  long long covered = 0;
  for (int i = 0; i < zones.size(); ++i) {
    const long long start = zones[i].values - destination;
    if (start > covered) std::fill(destination + covered, destination + start, 0.0f);
    const long long end = start + static_cast<long long>(zones[i].written);
    if (end > covered) covered = end;
  }
  if (capacityFloats > covered) std::fill(destination + covered, destination + capacityFloats, 0.0f);
}

// A quantised zone (method 2) under way: its header, its stream's decoder and how many of its
// values are done. Its values are expanded a part at a time into scratch, then finished.
struct QuantisedZoneBody {
  EntropyCoder coder;
  orv::PredictionUndoAlongValues alongValues{0};
  long long dims[3] = {0, 1, 1};
  long long count = 0;
  long long part = 0;
  long long done = 0;
  int base = 0;
  int order = 0;
  float inverse = 0;
  float offset = 0;

  long long nextPart() const { return std::min(part, count - done); }
};

template <int N>
int SGCompressor<N>::beginZone(Zone& zone, QuantisedZoneBody& body) {
  zone.written = 0;
  const unsigned char* begin = zone.source + (zone.position < zone.byteLimit ? zone.position
                                                                             : zone.byteLimit);
  orv::ByteCursor cursor(begin, zone.source + zone.byteLimit);
  unsigned char method = 0;
  if (!cursor.readU8(method)) return kZoneFailed;
  if (method == 0 || method == 1) {
    int count = 0;
    if (!cursor.readI32(count) || count < 0 ||
        static_cast<unsigned long long>(count) > zone.capacity) {
      return kZoneFailed;
    }
    if (method == 0) {
      if (cursor.remaining() < 4ull * count) return kZoneFailed;
      std::memcpy(zone.values, cursor.position(), 4ull * count);
    } else {
      float value = 0;
      if (!cursor.readF32(value)) return kZoneFailed;
      for (int k = 0; k < count; ++k) zone.values[k] = value;
    }
    zone.written = static_cast<unsigned long long>(count);
    return kZoneDone;
  }
  if (method != 2) return kZoneFailed;

  bool fits = true;
  long long count = 0;
  if (N == 1) {
    int c = 0;
    fits = cursor.readI32(c);
    body.dims[0] = count = c;
  } else {
    int d[3] = {0, 0, 0};
    fits = cursor.readI32(d[0]) && cursor.readI32(d[1]) && cursor.readI32(d[2]);
    for (int a = 0; a < 3; ++a) body.dims[a] = d[a];
    if (d[0] < 0 || d[1] < 0 || d[2] < 0) return kZoneFailed;
    // A zone box from a damaged stream may describe more values than 64 bits can count.
    long long plane = 0;
    if (__builtin_mul_overflow(body.dims[0], body.dims[1], &plane) ||
        __builtin_mul_overflow(plane, body.dims[2], &count)) {
      return kZoneFailed;
    }
  }
  float scale = 0, offset = 0;
  unsigned char order = 0;
  fits = fits && cursor.readF32(scale) && cursor.readF32(offset) && cursor.readI32(body.base) &&
         cursor.readU8(order);
  if (!fits) {
    LogMessage("Can't allocate %d MB for decompression", 0);
    return kZoneFailed;
  }
  // The zone may write no more than its capacity: checked before any scratch is sized.
  if (count < 0 || static_cast<unsigned long long>(count) > zone.capacity || count > INT32_MAX) {
    return kZoneFailed;
  }
  if (offset > 0 && offset < kTinyOffset) offset = 0;
  body.count = count;
  // A box is undone whole; values along a line in parts when there are many of them.
  body.part = N == 1 && count > kZonePartValues ? kZonePartValues : count;
  body.order = order;
  body.alongValues = orv::PredictionUndoAlongValues(order);
  body.inverse = 1.0f / scale;
  body.offset = offset;
  if (!body.coder.InitDecoder(cursor.position(), cursor.end())) return kZoneFailed;
  return kZoneQuantised;
}

template <int N>
bool SGCompressor<N>::finishPart(Zone& zone, QuantisedZoneBody& body, int* q, long long n) {
  if (body.done + n == body.count && !body.coder.FinishExpansion()) return false;
  if (N == 1) {
    body.alongValues.Apply(q, n);
  } else {
    orv::UndoPredictionOverBox(q, body.dims, body.order);
  }
  orv::DequantiseValues(q, n, body.inverse, body.offset, zone.values + body.done);
  body.done += n;
  return true;
}

template <int N>
int SGCompressor<N>::decodeParts(Zone& zone, QuantisedZoneBody& body, int* q) {
  while (body.done < body.count) {
    const long long n = body.nextPart();
    if (!body.coder.ExpandNext(q, n, body.base) || !finishPart(zone, body, q, n)) return 0;
  }
  zone.written = static_cast<unsigned long long>(body.count);
  return 1;
}

template <int N>
int* SGCompressor<N>::partScratch(int worker, long long integers, bool logFailure) {
  CVNUtils::CvnArray<int, int>& q = scratch[worker];
  if (integers > INT32_MAX || !q.SetSize(static_cast<int>(integers))) {
    if (logFailure) {
      LogMessage("Can't allocate %d MB for decompression", static_cast<int>(integers / 262144));
    }
    return nullptr;
  }
  return q.data;
}

template <int N>
int SGCompressor<N>::DecompressZone(Zone& zone, int worker) {
  QuantisedZoneBody body;
  const int begun = beginZone(zone, body);
  if (begun != kZoneQuantised) return begun == kZoneDone ? 1 : 0;
  int* q = partScratch(worker, body.part, true);
  return q ? decodeParts(zone, body, q) : 0;
}

template <int N>
void SGCompressor<N>::DecompressZones(Zone& a, Zone& b, int worker) {
  QuantisedZoneBody bodyA, bodyB;
  bool goingA = beginZone(a, bodyA) == kZoneQuantised;
  bool goingB = beginZone(b, bodyB) == kZoneQuantised;
  int* q = goingA && goingB ? partScratch(worker, bodyA.part + bodyB.part, false) : nullptr;
  if (q) {
    int* qA = q;
    int* qB = q + bodyA.part;
    while (goingA && goingB && bodyA.done < bodyA.count && bodyB.done < bodyB.count) {
      const long long nA = bodyA.nextPart();
      const long long nB = bodyB.nextPart();
      EntropyCoder::ExpandNextOfBoth(bodyA.coder, {qA, nA, bodyA.base}, goingA, bodyB.coder,
                                     {qB, nB, bodyB.base}, goingB);
      goingA = goingA && finishPart(a, bodyA, qA, nA);
      goingB = goingB && finishPart(b, bodyB, qB, nB);
    }
    if (goingA) decodeParts(a, bodyA, qA);
    if (goingB) decodeParts(b, bodyB, qB);
    return;
  }
  // One after the other: one of them is not quantised, or scratch for both parts at once could
  // not be had (each alone may still fit).
  auto decodeAlone = [&](Zone& zone, QuantisedZoneBody& body) {
    if (int* single = partScratch(worker, body.part, true)) decodeParts(zone, body, single);
  };
  if (goingA) decodeAlone(a, bodyA);
  if (goingB) decodeAlone(b, bodyB);
}

template <int N>
long long SGCompressor<N>::CompressZone(Zone& zone) {
  if (N != 1 || !zone.output) return 0;
  CVNUtils::CvnArray<char, long long>& out = *zone.output;
  out.SetSize(0);
  orv::ByteAppender put(out);
  put.u16(kSingleZoneMagic);
  const int count = zone.count > 0 && zone.values ? zone.count : 0;
  const float* v = zone.values;
  const orv::ValueSpan span = orv::ScanZoneValues(v, count);
  if (orv::IsConstantSpan(span)) {
    put.u8(1);
    put.i32(count);
    put.f32(span.lowest);
    return out.size();
  }
  const long long headerEnd = out.size();
  auto writeRaw = [&]() {
    out.SetSize(headerEnd);
    put.u8(0);
    put.i32(count);
    put.bytes(v, 4ll * count);
    return out.size();
  };
  if (zone.precisionBits >= 20) return writeRaw();
  float rangeMin = zone.rangeMinimum;
  float rangeMax = zone.rangeMaximum;
  if (rangeMin == FLT_MAX || rangeMax == -FLT_MAX) {
    rangeMin = span.lowest;
    rangeMax = span.highest;
  }
  if (!zone.quantised.SetSize(count)) {
    LogMessage("Can't allocate %d MB for compression", count / 1048576);
    return out.size();
  }
  int* q = zone.quantised.data;
  const float scale =
      orv::QuantisationScale(zone.precisionBits, zone.quantumStep, rangeMin, rangeMax);
  orv::QuantiseValues(v, count, rangeMin, scale, q);
  const int order = orv::StoredPredictionOrder(zone.predictionOrder);
  orv::PredictAlongValues(q, count, order);
  int base = 0;
  // Offsets from the base must stay non-negative: wider spreads are kept as raw floats.
  if (!orv::QuantisedBase(q, count, base)) return writeRaw();
  put.u8(2);
  put.i32(count);
  put.f32(scale);
  put.f32(rangeMin);
  put.i32(base);
  put.u8(static_cast<unsigned char>(order));
  if (orv::AppendRunMarkedStream(q, count, base, out) == 0) out.SetSize(2);
  return out.size();
}

template <int N>
void SGCompressor<N>::processJob(CVNUtils::Job& job) {
  const int step = jobCount > 0 ? jobCount : 1;
  for (int j = job.index; j < zones.size(); j += step) {
    if (job.mode == 0) {
      if (N == 1) CompressZone(zones[j]);
    } else if (job.mode == 1) {
      // Zones two at a time, their streams decoded side by side; the same zones as one at a time.
      if (j + step < zones.size()) {
        DecompressZones(zones[j], zones[j + step], job.index);
        j += step;
      } else {
        DecompressZone(zones[j], job.index);
      }
    }
  }
}

template class SGCompressor<1>;
template class SGCompressor<3>;
