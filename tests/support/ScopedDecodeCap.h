// Sets the decode budget's cap for the life of the object and restores the previous cap after.
#pragma once

#include "support/DecodeBudget.h"

class ScopedDecodeCap {
 public:
  explicit ScopedDecodeCap(long long bytes) : saved_(orv::DecodeBudget::Process().cap()) {
    orv::DecodeBudget::Process().setCap(bytes);
  }
  ~ScopedDecodeCap() { orv::DecodeBudget::Process().setCap(saved_); }
  ScopedDecodeCap(const ScopedDecodeCap&) = delete;
  ScopedDecodeCap& operator=(const ScopedDecodeCap&) = delete;

 private:
  long long saved_;
};
