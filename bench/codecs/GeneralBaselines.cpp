#include "bench/codecs/GeneralBaselines.h"

#include <zlib.h>
#include <zstd.h>

#include <ctime>
#include <cstring>
#include <memory>

std::vector<double> BestRates(double bytes, int rounds, const std::vector<TimedCall>& calls) {
  std::vector<double> best(calls.size(), 0.0);
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < calls.size(); ++i) {
      if (best[i] < 0) continue;
      if (calls[i].prepare && !calls[i].prepare()) {
        best[i] = -1;
        continue;
      }
      const std::clock_t start = std::clock();
      const bool ok = calls[i].call();
      const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
      if (!ok) {
        best[i] = -1;
        continue;
      }
      // A call quicker than the clock's resolution counts as one tick.
      const double rate = bytes / (seconds > 0 ? seconds : 1e-6) / 1e6;
      if (rate > best[i]) best[i] = rate;
    }
  }
  return best;
}

GeneralBaselines::GeneralBaselines(const void* data, size_t bytes, bool freshOutput)
    : bytes_(bytes), freshOutput_(freshOutput), out_(bytes) {
  uLongf length = compressBound(static_cast<uLong>(bytes));
  zlibBlock_.resize(length);
  const bool zipped = compress2(zlibBlock_.data(), &length, static_cast<const Bytef*>(data),
                                static_cast<uLong>(bytes), 6) == Z_OK;
  zlibBlock_.resize(length);
  zstdFrame_.resize(ZSTD_compressBound(bytes));
  const size_t frameLength = ZSTD_compress(zstdFrame_.data(), zstdFrame_.size(), data, bytes, 3);
  zstdFrame_.resize(ZSTD_isError(frameLength) ? 0 : frameLength);
  // One untimed round trip each: the timed calls then only decompress.
  const bool wasFresh = freshOutput_;
  freshOutput_ = false;
  ready_ = zipped && !ZSTD_isError(frameLength) && inflate().call() &&
           std::memcmp(out_.data(), data, bytes) == 0 && zstd().call() &&
           std::memcmp(out_.data(), data, bytes) == 0;
  freshOutput_ = wasFresh;
}

char* GeneralBaselines::destination() {
  if (!freshOutput_) return out_.data();
  fresh_.reset();  // the previous call's result is freed first, as a decoded channel would be
  fresh_.reset(new char[bytes_]);
  return fresh_.get();
}

TimedCall GeneralBaselines::inflate() {
  return {[this] {
            uLongf produced = static_cast<uLongf>(bytes_);
            return uncompress(reinterpret_cast<Bytef*>(destination()), &produced, zlibBlock_.data(),
                              static_cast<uLong>(zlibBlock_.size())) == Z_OK &&
                   produced == bytes_;
          },
          nullptr};
}

TimedCall GeneralBaselines::zstd() {
  std::shared_ptr<ZSTD_DCtx> context(ZSTD_createDCtx(), ZSTD_freeDCtx);
  return {[this, context] {
            return context &&
                   ZSTD_decompressDCtx(context.get(), destination(), bytes_, zstdFrame_.data(),
                                       zstdFrame_.size()) == bytes_;
          },
          nullptr};
}
