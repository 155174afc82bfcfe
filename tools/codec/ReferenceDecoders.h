// Plain decoders, one step at a time exactly as the stored layouts describe them: the references
// the library's fast paths are compared with, bit for bit, in the tests and the benchmarks.
#pragma once

#include <vector>

class EntropyCoder;

namespace orv::codectools {

// DecodeAndExpand done plainly: symbols from the one-bit-at-a-time tree walk placed one by one,
// base added, a symbol -k as k copies of the value before it. False where the fast expansion
// must fail too (the source runs out, a run comes first or overruns the places).
bool ExpandBitwise(EntropyCoder& coder, int* values, long long count, int base);

// A single-zone stream holding one quantised zone (method 2) of either form decoded plainly:
// bitwise expansion, prediction undone along the values or line by line over the box, then
// q * (1 / scale) + offset. False for any other zone or a damaged one.
bool DecodeQuantisedZonePlain(const std::vector<char>& stream, bool overBox,
                              std::vector<float>& out);

// Undoes `order` levels of box prediction line by line: per level from order down to 1, along
// x, y, then z, every line summed from its level-th element on (wrapping modulo 2^32).
void UndoPredictionOverBoxAlongLines(int* q, const long long dims[3], int order);

// Rebuilds particles [first, end) of a bit-plane channel bit by bit: bit k of component c of
// particle p is bit p % 32 of plane word (c * 32 + k) * B + p / 32, B = ceil(particles / 32);
// out holds `words` words per particle.
void ReassembleBitPlanesBitwise(const unsigned int* planes, long long particles, int words,
                                long long first, long long end, unsigned int* out);

}  // namespace orv::codectools
