// Writers of grid-codec streams for tests, samples and benchmarks: every stream kind the
// decoders read (single-zone 0xFC01, zoned 0xFC02/0xFC03; raw, constant and quantised zones
// along the values or over an x/y/z box) made from a float array. Streams are appended to out.
#pragma once

#include <cfloat>
#include <vector>

namespace orv::codectools {

constexpr unsigned short kSingleZoneMagic = 0xFC01;
constexpr unsigned short kZonedMagic = 0xFC02;
constexpr unsigned short kZonedMagicAlt = 0xFC03;

// How a zone is stored. Constant values always become a constant zone.
struct ZoneEncoding {
  int precisionBits = 8;  // < 1: steps of quantumStep; 1..19: 2^bits steps; >= 20: raw floats
  float quantumStep = 0.0f;
  int predictionOrder = 1;        // difference passes, 0..255
  float rangeMinimum = FLT_MAX;   // FLT_MAX or -FLT_MAX below: the zone's own value range
  float rangeMaximum = -FLT_MAX;
};

// Prediction of a quantised zone: along the value order (1) or over an x/y/z box (3).
enum class ZoneForm { AlongValues = 1, OverBox = 3 };

// Single-zone stream of raw floats: AppendRawZone(v, n, out).
bool AppendRawZone(const float* values, int count, std::vector<char>& out);
// Single-zone stream of count copies of value: AppendConstantZone(1.0f, n, out).
bool AppendConstantZone(float value, int count, std::vector<char>& out);
// Single-zone stream predicted along the values: AppendZoneAlongValues(v, n, {8, 0, 2}, out).
bool AppendZoneAlongValues(const float* values, int count, const ZoneEncoding& encoding,
                           std::vector<char>& out);
// Single-zone stream predicted over the box dims (x fastest): AppendZoneOverBox(v, {nx, ny, nz},
// {8, 0, 1}, out). Decoded by the three-dimensional form only.
bool AppendZoneOverBox(const float* values, const int dims[3], const ZoneEncoding& encoding,
                       std::vector<char>& out);

// Zoned stream from single-zone streams and the first destination index of each (strictly
// increasing, from 0): AppendZonedStream(kZonedMagic, {0, 100}, {zoneA, zoneB}, out).
bool AppendZonedStream(unsigned short magic, const std::vector<long long>& firstIndexes,
                       const std::vector<std::vector<char>>& zones, std::vector<char>& out);

// Zoned stream of an nx x ny x nz grid cut into zoneCount slabs of whole z-planes (at most nz
// zones, at most 65535), every zone encoded alike:
// AppendZonedGrid(v, {nx, ny, nz}, 16, ZoneForm::AlongValues, {8, 0, 1}, kZonedMagic, out).
bool AppendZonedGrid(const float* values, const int dims[3], int zoneCount, ZoneForm form,
                     const ZoneEncoding& encoding, unsigned short magic, std::vector<char>& out);

// Inverse of the decoder's prediction undo over a box: order difference passes, z, y, then x
// per level from 1 up (values wrap modulo 2^32). PredictOverBox(q, {nx, ny, nz}, 2).
void PredictOverBox(int* q, const long long dims[3], int order);

}  // namespace orv::codectools
