// Grid-codec streams: arbitrary bytes through both decoders into a destination of exact size, and
// arbitrary floats through the 1D encoder and back.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/SGCompressor.h"
#include "fuzz/targets/FuzzCheck.h"
#include "fuzz/targets/FuzzTargets.h"

namespace {

// Destinations stay small enough that every run is quick; the decoder must respect any capacity.
constexpr uint32_t kMaxCapacity = 1 << 16;

template <int N>
void decode(FuzzInput& in) {
  const long long capacity = in.u32() % (kMaxCapacity + 1);
  // Exactly capacity floats, so a write past the end is an out-of-bounds error.
  std::vector<float> destination(static_cast<size_t>(capacity));
  float dummy = 0;
  SGCompressor<N> codec(1, nullptr, nullptr);
  const int result =
      codec.Decompress(in.rest(), in.restSize(), capacity ? destination.data() : &dummy, capacity);
  FUZZ_CHECK(result == 0 || result == 1);
}

bool hasOnlyFiniteValues(const std::vector<float>& values) {
  for (float v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// Values kept raw (20 bits or more of precision) come back bit for bit.
void rawRoundTrip(FuzzInput& in) {
  std::vector<float> values(in.restSize() / 4);
  if (values.empty()) return;
  std::memcpy(values.data(), in.rest(), values.size() * 4);
  if (!hasOnlyFiniteValues(values)) return;
  CVNUtils::CvnArray<char, long long> stream;
  SGZone zone;
  zone.output = &stream;
  zone.values = values.data();
  zone.count = static_cast<int>(values.size());
  zone.precisionBits = 32;
  SGCompressor<1> codec(1, nullptr, nullptr);
  const long long length = codec.CompressZone(zone);
  FUZZ_CHECK(length == stream.size() && length > 0);
  std::vector<float> decoded(values.size(), -1.0f);
  FUZZ_CHECK(codec.Decompress(stream.data, static_cast<unsigned long long>(length), decoded.data(),
                              static_cast<long long>(decoded.size())) == 1);
  const float lowest = *std::min_element(values.begin(), values.end());
  const float highest = *std::max_element(values.begin(), values.end());
  // Spreads below the codec's constant threshold are stored as one value.
  if (std::fabs(lowest - highest) < 1e-20f) return;
  FUZZ_CHECK(std::memcmp(decoded.data(), values.data(), values.size() * 4) == 0);
}

}  // namespace

int FuzzGridCodec1(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  if (in.u8() == 'R') {
    rawRoundTrip(in);
  } else {
    decode<1>(in);
  }
  return 0;
}

int FuzzGridCodec3(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  decode<3>(in);
  return 0;
}
