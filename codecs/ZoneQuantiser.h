// The stages of a quantised zone shared by the zone encoders and the zone decoder: value range,
// quantisation, prediction along the values, undoing prediction along a line or over a box,
// and the rebased, run-marked entropy stream that ends a method-2 zone body.
//
// All integer arithmetic on quantised values wraps modulo 2^32, so every prediction step is
// exactly undone by its inverse whatever the values.
#pragma once

#include "support/CvnArray.h"

namespace orv {

// Lowest and highest of a zone's values; both 0 when any value is infinite or NaN.
struct ValueSpan {
  float lowest = 0.0f;
  float highest = 0.0f;
};
ValueSpan ScanZoneValues(const float* values, long long count);
// True when the span is below 1e-20: the zone is stored as one constant.
bool IsConstantSpan(const ValueSpan& span);

// Quantisation step count per unit: 1 / quantumStep for precision bits below 1, else
// 2^bits / (rangeMaximum - rangeMinimum), in single precision.
float QuantisationScale(int precisionBits, float quantumStep, float rangeMinimum,
                        float rangeMaximum);
// q[k] = floor((values[k] - rangeMinimum) * scale + 0.5), clamped to 32 bits (NaN as 0).
void QuantiseValues(const float* values, long long count, float rangeMinimum, float scale, int* q);

// The order as stored in its one header byte: clamped to 0..255.
int StoredPredictionOrder(int order);
// `order` difference passes along the values, and their exact inverse.
void PredictAlongValues(int* q, long long count, int order);
void UndoPredictionAlongValues(int* q, long long count, int order);

// The inverse along the values applied part by part: Apply takes the next values of the
// sequence, each level carrying its last result over to the next part, so that any cut into
// parts gives the same integers as one UndoPredictionAlongValues over the whole sequence.
class PredictionUndoAlongValues {
 public:
  explicit PredictionUndoAlongValues(int order);
  void Apply(int* q, long long count);

 private:
  int order_;
  long long position_ = 0;  // values of the sequence already undone
  int carried_[256] = {};   // carried_[level]: that level's result for the value before
};
// Inverse of the difference passes over an x-fastest box of dims[0] x dims[1] x dims[2].
void UndoPredictionOverBox(int* q, const long long dims[3], int order);

// Smallest q, or false when the values spread over more than 2^31 - 1 (they could not be stored
// as non-negative offsets from it).
bool QuantisedBase(const int* q, long long count, int& base);
// Subtracts base from q, run-marks it in place and appends its entropy stream to out. Returns
// the bytes appended, 0 when the coder failed.
long long AppendRunMarkedStream(int* q, long long count, int base,
                                CVNUtils::CvnArray<char, long long>& out);

}  // namespace orv
