// Zone-based float-array codec.
//
// A stream is one zone (magic 0xFC01) or a table of zones (0xFC02/0xFC03) that decode
// independently, in parallel on the CvnParallel jobs: job j decodes zones j, j + T, j + 2T, ...
// A zone holds raw floats (method 0), one constant (method 1), or quantised, delta-predicted,
// run-marked and entropy-coded integers (method 2). N is the dimension of the prediction:
// SGCompressor<1> predicts along the value order, SGCompressor<3> along x, y and z of a box and
// is decoded only.
//
// Every zone reads only its own bytes and writes only its own slice of the destination; a zone
// that fails leaves its slice as it was. The one exception: a quantised zone along the values of
// more than kZonePartValues values is decoded in parts of that many (so that its scratch stays
// small enough for the processor's cache), and when its stream proves damaged part way the parts
// before stay written.
//
// A job decodes its zones two at a time, their entropy streams side by side: each look-up of a
// code word waits on the one before it in its own stream only, so one core works on two.
#pragma once

#include <cfloat>

#include "support/CvnArray.h"
#include "support/threading/CvnParallel.h"

struct QuantisedZoneBody;

// One zone of a stream. The encoder fields describe what CompressZone quantises; the decoder
// fields bound what DecompressZone may read and write.
struct SGZone {
  CVNUtils::CvnArray<char, long long>* output = nullptr;  // encoder: the zone's stream bytes
  CVNUtils::CvnArray<int, long long> quantised;            // encoder: the zone's integers
  const unsigned char* source = nullptr;                   // decoder: start of the zone's bytes
  float* values = nullptr;     // encoder: input values; decoder: the zone's first destination
  int count = 0;               // encoder: number of input values
  float rangeMinimum = FLT_MAX;   // FLT_MAX: take the values' own minimum
  float rangeMaximum = -FLT_MAX;  // -FLT_MAX: take the values' own maximum
  int precisionBits = 8;  // < 1: step quantumStep; 1..19: 2^bits steps over the range; >= 20: raw
  float quantumStep = 0.0f;
  int predictionOrder = 1;          // difference passes, 0..255
  unsigned long long position = 0;   // decoder: bytes of the zone read so far
  unsigned long long byteLimit = 0;  // decoder: bytes that belong to the zone
  unsigned long long capacity = 0;   // decoder: floats the zone may write
  unsigned long long written = 0;    // decoder: floats the zone wrote (0 when it failed)
};
ORV_DECLARE_BYTE_MOVABLE(SGZone);

template <int N>
class SGCompressor : public CVNUtils::CvnParallel {
  static_assert(N == 1 || N == 3, "prediction is one- or three-dimensional");

 public:
  using Zone = SGZone;

  static constexpr unsigned short kSingleZoneMagic = 0xFC01;
  static constexpr unsigned short kZonedMagic = 0xFC02;
  static constexpr unsigned short kZonedMagicAlt = 0xFC03;
  // Integers each worker's scratch array holds before it grows.
  static constexpr int kInitialScratch = 100000;
  // Quantised zones along the values beyond this many values are decoded in parts this large.
  static constexpr long long kZonePartValues = 1 << 16;

  // threads: -1 for the default count; the placement arguments go to setupThreads unchanged.
  SGCompressor(int threads, const CVNUtils::NumaPlacementTable* placementTable,
               const unsigned char* nodeSelection);
  ~SGCompressor() override;

  // Decodes the stream source[0 .. sourceBytes) into destination[0 .. capacityFloats). Returns 1
  // when the container is valid and its zones were run (a zoned stream returns 1 whatever its
  // zones' results; a single-zone stream returns the zone's result), 0 otherwise. An invalid zone
  // table writes nothing. The scratch arrays are freed again before it returns.
  int Decompress(const void* source, unsigned long long sourceBytes, float* destination,
                 long long capacityFloats);
  // Decodes one zone body at zone.source + zone.position with worker's scratch array. 1 or 0.
  int DecompressZone(Zone& zone, int worker);
  // Decodes two zones as DecompressZone does each, their entropy streams side by side (one core
  // then works on both at once); each zone's `written` tells how it went.
  void DecompressZones(Zone& a, Zone& b, int worker);
  // After Decompress: sets to 0 every destination value the last decode did not write (slices
  // of failed zones, slack after short ones, all of them when the stream was refused), so that
  // a destination of unknown contents holds a determined result. Cheaper than clearing the
  // whole destination first when the zones cover it.
  void ZeroUnwritten(float* destination, long long capacityFloats) const;
  // One-dimensional form only: writes a single-zone stream of zone.values[0 .. count) into
  // *zone.output and returns its length.
  long long CompressZone(Zone& zone);

  // Mode 0 compresses, mode 1 decompresses the zones j = index, index + jobCount, ...
  void processJob(CVNUtils::Job& job) override;
  const char* name() override { return "SGCompressor"; }

  int requestedThreads;
  const CVNUtils::NumaPlacementTable* placementTable;
  const unsigned char* nodeSelection;
  const unsigned char* sourcePointer = nullptr;
  unsigned long long consumed = 0;
  CVNUtils::CvnArray<Zone, int> zones;
  CVNUtils::CvnArray<CVNUtils::CvnArray<char, long long>, int> zoneOutputs;
  CVNUtils::CvnArray<CVNUtils::CvnArray<int, int>, int> scratch;

 private:
  // What beginZone found: a zone finished (raw or constant values), a damaged one, or a
  // quantised body ready for its parts.
  static constexpr int kZoneFailed = 0;
  static constexpr int kZoneDone = 1;
  static constexpr int kZoneQuantised = 2;
  int beginZone(Zone& zone, QuantisedZoneBody& body);
  bool finishPart(Zone& zone, QuantisedZoneBody& body, int* q, long long n);
  int decodeParts(Zone& zone, QuantisedZoneBody& body, int* q);
  // worker's scratch sized for `integers` values; null (with a line when logFailure) when it
  // cannot be had.
  int* partScratch(int worker, long long integers, bool logFailure);
  bool prepareScratch();
  int decodeStream(const void* source, unsigned long long sourceBytes, float* destination,
                   long long capacityFloats);
  int decodeZoned(unsigned long long sourceBytes, float* destination, long long capacityFloats);
};

extern template class SGCompressor<1>;
extern template class SGCompressor<3>;
