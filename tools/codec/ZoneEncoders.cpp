// Single-zone streams of every method; the box form mirrors the library's encoder along the
// values, with the prediction taken over x, y and z.
#include <climits>

#include "codecs/ByteCursor.h"
#include "codecs/SGCompressor.h"
#include "codecs/ZoneQuantiser.h"
#include "tools/codec/BoxLines.h"
#include "tools/codec/StreamWriter.h"

namespace orv::codectools {
namespace {

using ByteArray = CVNUtils::CvnArray<char, long long>;

bool appendTo(const ByteArray& bytes, std::vector<char>& out) {
  out.insert(out.end(), bytes.begin(), bytes.end());
  return true;
}

}  // namespace

bool AppendRawZone(const float* values, int count, std::vector<char>& out) {
  if (count < 0 || (count > 0 && !values)) return false;
  ByteArray bytes;
  ByteAppender put(bytes);
  if (!put.u16(kSingleZoneMagic) || !put.u8(0) || !put.i32(count) || !put.bytes(values, 4ll * count))
    return false;
  return appendTo(bytes, out);
}

bool AppendConstantZone(float value, int count, std::vector<char>& out) {
  if (count < 0) return false;
  ByteArray bytes;
  ByteAppender put(bytes);
  if (!put.u16(kSingleZoneMagic) || !put.u8(1) || !put.i32(count) || !put.f32(value)) return false;
  return appendTo(bytes, out);
}

bool AppendZoneAlongValues(const float* values, int count, const ZoneEncoding& encoding,
                           std::vector<char>& out) {
  if (count < 0 || (count > 0 && !values)) return false;
  ByteArray bytes;
  SGCompressor<1>::Zone zone;
  zone.output = &bytes;
  zone.values = const_cast<float*>(values);  // the encoder only reads its input values
  zone.count = count;
  zone.precisionBits = encoding.precisionBits;
  zone.quantumStep = encoding.quantumStep;
  zone.predictionOrder = encoding.predictionOrder;
  zone.rangeMinimum = encoding.rangeMinimum;
  zone.rangeMaximum = encoding.rangeMaximum;
  SGCompressor<1> codec(-1, nullptr, nullptr);
  // Only the magic written: the zone could not be encoded.
  if (codec.CompressZone(zone) <= 2) return false;
  return appendTo(bytes, out);
}

void PredictOverBox(int* q, const long long dims[3], int order) {
  // An empty box has nothing to predict, however long its other axes.
  if (dims[0] <= 0 || dims[1] <= 0 || dims[2] <= 0) return;
  for (int level = 1; level <= order; ++level) {
    for (int axis = 2; axis >= 0; --axis) {
      if (level >= dims[axis]) continue;
      ForEachBoxLine(q, dims, axis, [level](int* line, long long stride, long long length) {
        for (long long k = length - 1; k >= level; --k) {
          line[k * stride] = static_cast<int>(static_cast<unsigned>(line[k * stride]) -
                                              static_cast<unsigned>(line[(k - 1) * stride]));
        }
      });
    }
  }
}

bool AppendZoneOverBox(const float* values, const int dims[3], const ZoneEncoding& encoding,
                       std::vector<char>& out) {
  if (!dims || dims[0] < 0 || dims[1] < 0 || dims[2] < 0) return false;
  const long long box[3] = {dims[0], dims[1], dims[2]};
  // Each product stays below 2^62 once the plane is known to fit 31 bits.
  const long long plane = box[0] * box[1];
  if (plane > INT_MAX || plane * box[2] > INT_MAX) return false;
  const int count = static_cast<int>(plane * box[2]);
  if (count > 0 && !values) return false;
  const ValueSpan span = ScanZoneValues(values, count);
  if (IsConstantSpan(span)) return AppendConstantZone(span.lowest, count, out);
  if (encoding.precisionBits >= 20) return AppendRawZone(values, count, out);

  float rangeMin = encoding.rangeMinimum;
  float rangeMax = encoding.rangeMaximum;
  if (rangeMin == FLT_MAX || rangeMax == -FLT_MAX) {
    rangeMin = span.lowest;
    rangeMax = span.highest;
  }
  std::vector<int> q(static_cast<size_t>(count));
  const float scale =
      QuantisationScale(encoding.precisionBits, encoding.quantumStep, rangeMin, rangeMax);
  QuantiseValues(values, count, rangeMin, scale, q.data());
  const int order = StoredPredictionOrder(encoding.predictionOrder);
  PredictOverBox(q.data(), box, order);
  int base = 0;
  if (!QuantisedBase(q.data(), count, base)) return AppendRawZone(values, count, out);

  ByteArray bytes;
  ByteAppender put(bytes);
  const bool header = put.u16(kSingleZoneMagic) && put.u8(2) && put.i32(dims[0]) &&
                      put.i32(dims[1]) && put.i32(dims[2]) && put.f32(scale) &&
                      put.f32(rangeMin) && put.i32(base) &&
                      put.u8(static_cast<unsigned char>(order));
  if (!header || AppendRunMarkedStream(q.data(), count, base, bytes) == 0) return false;
  return appendTo(bytes, out);
}

}  // namespace orv::codectools
