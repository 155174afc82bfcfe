// Decoded grid channel storage: buffers shared by reference count and the per-channel slots that
// hold them.
#pragma once

#include <atomic>
#include <cfloat>

#include "support/CvnArray.h"
#include "support/DecodeBudget.h"

// One decoded channel: nx*ny*nz floats (x fastest), plus slack for channels decoded from a stream.
struct GridChannelBuffer {
  unsigned char flag = 0;
  std::atomic<int> referenceCount{0};
  CVNUtils::CvnArray<float, long long> values;
  orv::DecodeReservation reserved;  // the values' bytes, held against the decode budget
  int resolution[3] = {0, 0, 0};
};

struct ChannelSlot {
  GridChannelBuffer* buffer = nullptr;
  unsigned char present = 0;
  float rangeLow = FLT_MAX;
  float rangeHigh = -FLT_MAX;

  // Values are readable while present.
  const float* values() const {
    return present && buffer && buffer->values.data ? buffer->values.data : nullptr;
  }
  void emptyRange() {
    rangeLow = FLT_MAX;
    rangeHigh = -FLT_MAX;
  }
  // Frees the buffer's values but keeps the buffer object.
  void clear() {
    if (buffer) {
      buffer->values.Clear();
      buffer->reserved.reset();
    }
    present = 0;
    emptyRange();
  }
  // Drops this slot's reference to the buffer (freeing it at zero).
  void release() {
    if (buffer && buffer->referenceCount.fetch_sub(1) <= 1) delete buffer;
    buffer = nullptr;
    present = 0;
    emptyRange();
  }
};
