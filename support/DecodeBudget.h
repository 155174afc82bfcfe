// The process-wide cap on decoded bytes.
//
// Everything the library decodes from a frame (grid channel arrays, derived channels, particle
// channel data and the temporary arrays of their decoders) is sized by what the frame's header
// implies and reserved here before it is allocated. The cap is read once from the environment
// variable ORV_MAX_DECODED_BYTES (a byte count, optionally followed by K, M, G or T for binary
// multiples); unset or unreadable, it is the machine's physical memory. A reservation beyond the
// cap is refused, and the caller reports it as a failed decode, never as an exception.
//
// Each module that links the cache library statically (liborvloader.so, orvconvert, each IO
// plug-in) has its own DecodeBudget::Process(). A frame remembers the budget of the module that
// created it, so channels a plug-in fills through the frame are charged to the loader's budget.
#pragma once

#include <atomic>

namespace orv {

class DecodeBudget {
 public:
  static constexpr const char* kVariable = "ORV_MAX_DECODED_BYTES";

  explicit DecodeBudget(long long capBytes) : cap_(capBytes) {}
  DecodeBudget(const DecodeBudget&) = delete;
  DecodeBudget& operator=(const DecodeBudget&) = delete;

  // This module's budget; its cap comes from the environment on first use.
  static DecodeBudget& Process();

  // Takes bytes from the budget; false (nothing taken) when bytes is negative or more than is left.
  bool reserve(long long bytes);
  void release(long long bytes);
  long long cap() const { return cap_.load(std::memory_order_relaxed); }
  long long used() const { return used_.load(std::memory_order_relaxed); }
  // Replaces the cap (a host's or fuzzer's own limit); reservations already held stay.
  void setCap(long long bytes) { cap_.store(bytes, std::memory_order_relaxed); }

 private:
  std::atomic<long long> cap_;
  std::atomic<long long> used_{0};
};

// Bytes held against a budget, given back on reset or destruction. Byte-movable: it holds no
// pointer into itself.
class DecodeReservation {
 public:
  DecodeReservation() = default;
  ~DecodeReservation() { reset(); }
  DecodeReservation(DecodeReservation&& other) noexcept { take(other); }
  DecodeReservation& operator=(DecodeReservation&& other) noexcept {
    if (this != &other) {
      reset();
      take(other);
    }
    return *this;
  }

  // Holds `bytes` of `budget` instead of what it held. On refusal it holds nothing and passes a
  // '#' line to LogMessage naming `what` (for example "channel 2 of /frames/a.orv") and the cap.
  bool acquire(DecodeBudget& budget, long long bytes, const char* what);
  void reset();
  long long bytes() const { return bytes_; }

 private:
  void take(DecodeReservation& other) {
    budget_ = other.budget_;
    bytes_ = other.bytes_;
    other.budget_ = nullptr;
    other.bytes_ = 0;
  }
  DecodeBudget* budget_ = nullptr;
  long long bytes_ = 0;
};

// The '#' line for an allocation of `bytes` for `what` that the allocator refused.
void LogAllocationFailure(const char* what, long long bytes);

// Byte count of `count` elements of `elementBytes` each; false when negative or beyond 64 bits.
bool DecodedByteCount(long long count, long long elementBytes, long long& bytes);

// Sizes `array` (a CvnArray with 64-bit sizes) to exactly `count` elements after reserving their
// bytes in `reservation`. On a refusal or a failed allocation the array is empty, nothing is held
// and a '#' line names `what` and the reason.
template <typename Array>
bool AllocateDecoded(Array& array, long long count, DecodeBudget& budget,
                     DecodeReservation& reservation, const char* what) {
  array.Clear();
  reservation.reset();
  long long bytes = 0;
  if (!DecodedByteCount(count, sizeof(typename Array::value_type), bytes)) {
    LogAllocationFailure(what, -1);
    return false;
  }
  if (!reservation.acquire(budget, bytes, what)) return false;
  if (!array.SetSize(count, nullptr, true)) {
    reservation.reset();
    LogAllocationFailure(what, bytes);
    return false;
  }
  return true;
}

}  // namespace orv
