// The loops that touch every decoded value of a grid: filling runs, running sums that undo
// prediction, and the turn from quantised integers back to floats. Written with SSE2 vectors where
// the compiler targets them (every x86-64 build), as plain loops elsewhere; both give the same
// values bit for bit: integer sums wrap modulo 2^32 in any grouping, and each float is converted,
// multiplied and added one rounded operation at a time exactly as the plain loop does.
#pragma once

namespace orv {

// to[0..count-1] = value.
void FillValues(int* to, long long count, int value);

// q[k] = q[k] + q[k-1] for k = 0..count-1 in order, with `before` as q[-1], wrapping modulo 2^32.
// Returns the last sum (before when count is 0).
int AddRunningSum(int* q, long long count, int before);

// to[k] = to[k] + from[k] for k = 0..count-1, wrapping modulo 2^32; the rows may not overlap.
void AddValues(int* to, const int* from, long long count);

// out[k] = float(q[k]) * inverse + offset, the product rounded before the sum is taken.
void DequantiseValues(const int* q, long long count, float inverse, float offset, float* out);

}  // namespace orv
