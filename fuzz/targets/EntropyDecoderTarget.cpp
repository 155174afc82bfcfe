// Entropy-coded streams from memory: the fast and the bitwise decoder agree symbol for symbol,
// DecodeAndExpand stays inside its destination and agrees with the expansion in parts, and any
// integer sequence encodes and decodes back.
#include <algorithm>
#include <vector>

#include "codecs/EntropyCoder.h"
#include "fuzz/targets/FuzzCheck.h"
#include "fuzz/targets/FuzzTargets.h"

namespace {

constexpr int kMaxSymbols = 1 << 14;
constexpr uint32_t kMaxExpanded = 1 << 16;

void decodeArbitrary(FuzzInput& in) {
  const long long expanded = in.u32() % (kMaxExpanded + 1);
  const int base = static_cast<int>(in.u32());
  const uint8_t* begin = in.rest();
  const uint8_t* end = begin + in.restSize();

  EntropyCoder fast;
  EntropyCoder bitwise;
  const long long ready = fast.InitDecoder(begin, end);
  FUZZ_CHECK((bitwise.InitDecoder(begin, end) != 0) == (ready != 0));
  if (ready) {
    for (int k = 0; k < kMaxSymbols && !fast.Overrun(); ++k) {
      FUZZ_CHECK(fast.DecodeSymbol() == bitwise.DecodeSymbolBitwise());
      FUZZ_CHECK(fast.BytesConsumed() <= static_cast<unsigned long long>(end - begin));
    }
  }

  EntropyCoder expander;
  expander.InitDecoder(begin, end);
  std::vector<int> values(static_cast<size_t>(expanded));
  int dummy = 0;
  const bool whole = expander.DecodeAndExpand(expanded ? values.data() : &dummy, expanded, base);

  // The same expansion in parts of a size the input chooses gives the same result.
  const long long part = 1 + static_cast<long long>(base & 0x3FF);
  EntropyCoder partwise;
  partwise.InitDecoder(begin, end);
  std::vector<int> parts(static_cast<size_t>(expanded));
  bool ok = true;
  for (long long done = 0; ok && done < expanded; done += part) {
    ok = partwise.ExpandNext(parts.data() + done, std::min(part, expanded - done), base);
  }
  ok = ok && partwise.FinishExpansion();
  FUZZ_CHECK(ok == whole);
  FUZZ_CHECK(!whole || parts == values);
}

void roundTrip(FuzzInput& in) {
  std::vector<int> values(in.restSize() / 4);
  if (values.empty()) return;
  for (int& v : values) v = static_cast<int>(in.u32());
  CVNUtils::CvnArray<char, long long> stream;
  EntropyCoder encoder;
  const long long length =
      encoder.Encode(values.data(), static_cast<long long>(values.size()), stream);
  FUZZ_CHECK(length > 0 && length == stream.size() && length % 4 == 0);
  EntropyCoder decoder;
  FUZZ_CHECK(decoder.InitDecoder(stream.data, stream.data + length) != 0);
  for (int v : values) FUZZ_CHECK(decoder.DecodeSymbol() == v);
  FUZZ_CHECK(!decoder.Overrun());
}

}  // namespace

int FuzzEntropyDecoder(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  if (in.u8() == 'E') {
    roundTrip(in);
  } else {
    decodeArbitrary(in);
  }
  return 0;
}
