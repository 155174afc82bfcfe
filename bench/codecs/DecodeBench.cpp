// Decode speed matrix on one core: grid-codec streams at every precision, a box-predicted grid, a
// large frame and bit-plane and grid-codec particle channels. Every figure is decoded MB/s (4
// bytes per float) from the process's CPU time, the best of several rounds, next to zlib inflate and zstd decompression of
// the same decoded bytes measured in the same run, with the ratios the targets are stated in.
//
//   bench_codecs [rounds]     (default 9)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/codecs/GeneralBaselines.h"
#include "cache/particles/PGroup.h"
#include "cache/particles/PRTIN.h"
#include "codecs/SGCompressor.h"
#include "codecs/ZipBlock.h"
#include "tools/codec/ReferenceDecoders.h"
#include "tools/codec/StreamWriter.h"
#include "tools/codec/SyntheticFields.h"
#include "tools/orv/ParticleChannelEncoder.h"
#include "tools/samples/FirePlume.h"

namespace {

using namespace orv::codectools;

constexpr int kSide = 128;
constexpr int kZones = 16;
// The large frame: a fire plume rising along y, stored as the frame writer stores it.
constexpr int kLargeDims[3] = {256, 384, 256};
constexpr int kLargeZones = 256 / 8;
constexpr int kLargeBits = 12;
constexpr long long kParticles = 4 << 20;

struct Row {
  std::string name;
  double streamBytes = 0;
  double decodedBytes = 0;
  double rate = -1;
  double zlib = -1;  // inflate of the decoded bytes
  double zstd = -1;  // zstd decompression of the decoded bytes
  bool reference = false;  // a previous decoder, compared within the run only
};

// Encoding at a precision: 1..19 bits as 2^bits steps over the range; 20 as a quantum step of
// range / 2^20 (more bits would store raw floats).
ZoneEncoding precisionEncoding(int bits, int order, const std::vector<float>& field) {
  ZoneEncoding e;
  e.predictionOrder = order;
  if (bits < 20) {
    e.precisionBits = bits;
    return e;
  }
  float low = field[0], high = field[0];
  for (float v : field) {
    low = std::fmin(low, v);
    high = std::fmax(high, v);
  }
  e.precisionBits = 0;
  e.quantumStep = (high - low) / std::ldexp(1.0f, bits);
  return e;
}

// Times the decode against both baselines of the bytes it decodes to, round by round; with
// freshOutput the baselines decompress into new memory each time, as the decode itself does.
void measure(Row& row, const void* decoded, const TimedCall& decode, int rounds,
             bool freshOutput) {
  GeneralBaselines baselines(decoded, static_cast<size_t>(row.decodedBytes), freshOutput);
  if (!baselines.ready()) return;
  const std::vector<double> rates =
      BestRates(row.decodedBytes, rounds, {decode, baselines.inflate(), baselines.zstd()});
  row.rate = rates[0];
  row.zlib = rates[1];
  row.zstd = rates[2];
}

template <int N>
Row gridRow(const std::string& name, const std::vector<float>& field, const int dims[3], int zones,
            ZoneForm form, const ZoneEncoding& encoding, int rounds) {
  Row row;
  row.name = name;
  std::vector<char> stream;
  if (!AppendZonedGrid(field.data(), dims, zones, form, encoding, kZonedMagic, stream)) return row;
  row.streamBytes = static_cast<double>(stream.size());
  row.decodedBytes = 4.0 * field.size();
  std::vector<float> out(field.size());
  SGCompressor<N> codec(-1, nullptr, nullptr);
  auto decode = [&] {
    return codec.Decompress(stream.data(), stream.size(), out.data(),
                            static_cast<long long>(out.size())) == 1;
  };
  if (!decode()) return row;
  measure(row, out.data(), {decode, nullptr}, rounds, false);
  return row;
}

// Particles emitted along a widening spiral, in emission order, with a little jitter.
std::vector<float> particlePositions() {
  std::vector<float> p(static_cast<size_t>(kParticles) * 3);
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> jitter(-0.05f, 0.05f);
  for (long long i = 0; i < kParticles; ++i) {
    const float t = static_cast<float>(i) / kParticles;
    const float angle = 125.0f * t;
    p[3 * i] = 5.0f + 4.0f * t * std::cos(angle) + jitter(rng);
    p[3 * i + 1] = 10.0f * t + jitter(rng);
    p[3 * i + 2] = 5.0f + 4.0f * t * std::sin(angle) + jitter(rng);
  }
  return p;
}

// The positions stored with the encoding's method; the row takes the sizes. False when the
// encoder fails.
bool storePositions(const std::vector<float>& positions, const ParticleChannelEncoding& encoding,
                    std::vector<char>& stored, Row& row) {
  if (!EncodeParticleChannel(encoding, kParticlePositionChannel, positions.data(), kParticles,
                             stored)) {
    return false;
  }
  row.streamBytes = static_cast<double>(stored.size());
  row.decodedBytes = 4.0 * positions.size();
  return true;
}

// One stored position channel decoded through the particle group, as a host's first access does.
Row particleRow(const std::string& name, const std::vector<float>& positions,
                const ParticleChannelEncoding& encoding, int rounds) {
  Row row;
  row.name = name;
  std::vector<char> stored;
  if (!storePositions(positions, encoding, stored, row)) return row;
  PGroup group;
  group.particleCount = static_cast<int>(kParticles);
  auto store = [&] {
    return group.setCompressedChannel(kParticlePositionChannel, encoding.method, stored.data(),
                                      static_cast<long long>(stored.size()));
  };
  auto decode = [&] { return group.decompressChannel(kParticlePositionChannel, true); };
  if (!store() || !decode()) return row;
  const auto& data = group.slots[kParticlePositionChannel].data;
  // Bit planes are lossless: the decode must give back every bit.
  if (encoding.method == 4 &&
      std::memcmp(data.data, positions.data(), static_cast<size_t>(row.decodedBytes)) != 0) {
    return row;
  }
  measure(row, data.data, {decode, store}, rounds, true);
  return row;
}

// The reassembly of bit planes alone, already inflated into memory in use: the library's
// against the bit-by-bit reassembly it replaced, round by round. Two rows, compared within the run.
std::vector<Row> reassemblyRows(const std::vector<float>& positions, int rounds) {
  Row bitwise, library;
  bitwise.name = "bit-plane reassembly 4M x 3, bit by bit";
  library.name = "bit-plane reassembly 4M x 3, library";
  ParticleChannelEncoding encoding;
  encoding.method = 4;
  std::vector<char> stored;
  if (!storePositions(positions, encoding, stored, bitwise)) return {bitwise, library};
  library.streamBytes = bitwise.streamBytes;
  library.decodedBytes = bitwise.decodedBytes;
  bitwise.reference = library.reference = true;
  const long long blocks = (kParticles + 31) / 32;
  CVNUtils::CvnArray<unsigned int, long long> planes;
  CVNUtils::CvnArray<char, long long> out;
  if (!planes.SetSize(3 * 32 * blocks) || !out.SetSize(4 * 3 * kParticles) ||
      !InflateBlock(stored.data(), static_cast<unsigned>(stored.size()), planes.data,
                    static_cast<unsigned>(planes.size() * 4))) {
    return {bitwise, library};
  }
  unsigned int* words = reinterpret_cast<unsigned int*>(out.data);
  auto bitByBit = [&] {
    ReassembleBitPlanesBitwise(planes.data, kParticles, 3, 0, kParticles, words);
    return true;
  };
  auto byLibrary = [&] { return PRTIN(out, planes, kParticlePositionChannel).run(); };
  auto exact = [&] { return std::memcmp(words, positions.data(), positions.size() * 4) == 0; };
  const std::vector<double> rates =
      BestRates(bitwise.decodedBytes, rounds, {{bitByBit, nullptr}, {byLibrary, nullptr}});
  // Both give back every bit of the positions.
  bitwise.rate = bitByBit() && exact() ? rates[0] : -1;
  library.rate = byLibrary() && exact() ? rates[1] : -1;
  return {bitwise, library};
}

void printRow(const Row& row) {
  if (row.reference) {
    std::printf("%-46s %8.1f %8.2f %9.1f %9s %9s %7s %7s\n", row.name.c_str(),
                row.decodedBytes / 1e6, row.streamBytes / 1e6, row.rate, "-", "-", "-", "-");
    return;
  }
  std::printf("%-46s %8.1f %8.2f %9.1f %9.1f %9.1f %7.2f %7.2f\n", row.name.c_str(),
              row.decodedBytes / 1e6, row.streamBytes / 1e6, row.rate, row.zlib, row.zstd,
              row.rate / row.zlib, row.rate / row.zstd);
}

double rateOf(const std::vector<Row>& rows, const std::string& name) {
  for (const Row& row : rows) {
    if (row.name == name) return row.rate;
  }
  return -1;
}

std::string loadAverage() {
  char text[128] = "unknown";
  if (std::FILE* f = std::fopen("/proc/loadavg", "r")) {
    if (!std::fgets(text, sizeof text, f)) std::strcpy(text, "unknown");
    std::fclose(f);
  }
  std::string load = text;
  if (!load.empty() && load.back() == '\n') load.pop_back();
  return load;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 9;
  const std::string only = argc > 2 ? argv[2] : "";
  std::printf("load average before: %s\n", loadAverage().c_str());
  std::printf("MB/s of decoded floats from process CPU time, best of %d rounds, one thread\n",
              rounds);
  std::printf("grid rows decode into one reused array; particle rows, as a channel's first access,"
              " into new memory each time (the baselines likewise)\n");
  const int dims[3] = {kSide, kSide, kSide};
  const std::vector<float> smoke = SmokeField(dims, 1);
  const std::vector<float> noise = GaussianNoiseField(static_cast<long long>(smoke.size()), 1, 7);
  std::vector<float> positions;

  // Each case is built only when its name contains the filter (second argument), so one case
  // can be measured alone.
  std::vector<std::pair<std::string, std::function<Row(const std::string&)>>> cases;
  for (int bits : {8, 12, 14, 16, 20}) {
    cases.push_back({"1-D smoke 128^3, " + std::to_string(bits) + " bits, order 2",
                     [&, bits](const std::string& name) {
                       return gridRow<1>(name, smoke, dims, kZones, ZoneForm::AlongValues,
                                         precisionEncoding(bits, 2, smoke), rounds);
                     }});
  }
  for (int bits : {8, 12, 14, 16, 20}) {
    cases.push_back({"1-D noise 128^3 in one zone, " + std::to_string(bits) + " bits, order 1",
                     [&, bits](const std::string& name) {
                       return gridRow<1>(name, noise, dims, 1, ZoneForm::AlongValues,
                                         precisionEncoding(bits, 1, noise), rounds);
                     }});
  }
  cases.push_back({"3-D smoke 128^3, 8 bits, order 2", [&](const std::string& name) {
                     return gridRow<3>(name, smoke, dims, kZones, ZoneForm::OverBox,
                                       precisionEncoding(8, 2, smoke), rounds);
                   }});
  cases.push_back({"large frame: plume smoke 256x384x256, 12 bits", [&](const std::string& name) {
                     orv::samples::PlumeGrid grid;
                     for (int a = 0; a < 3; ++a) grid.size[a] = kLargeDims[a];
                     grid.cellSize = 2.0f / kLargeDims[0];
                     const std::vector<float> smoke = orv::samples::FirePlumeFields(grid, 40).smoke;
                     return gridRow<1>(name, smoke, kLargeDims, kLargeZones,
                                       ZoneForm::AlongValues,
                                       precisionEncoding(kLargeBits, 1, smoke), rounds);
                   }});
  auto particles = [&]() -> const std::vector<float>& {
    if (positions.empty()) positions = particlePositions();
    return positions;
  };
  cases.push_back({"particles 4M x 3, method 2, 16 bits", [&](const std::string& name) {
                     ParticleChannelEncoding quantised;
                     quantised.method = 2;
                     quantised.precisionBits = 16;
                     quantised.predictionOrder = 1;
                     return particleRow(name, particles(), quantised, rounds);
                   }});
  cases.push_back({"particles 4M x 3, method 4", [&](const std::string& name) {
                     ParticleChannelEncoding planes;
                     planes.method = 4;
                     return particleRow(name, particles(), planes, rounds);
                   }});
  std::vector<Row> rows;
  for (const auto& [name, build] : cases) {
    if (name.find(only) != std::string::npos) rows.push_back(build(name));
  }
  if (std::string("bit-plane reassembly").find(only) != std::string::npos) {
    for (const Row& row : reassemblyRows(particles(), rounds)) rows.push_back(row);
  }

  std::printf("\n%-46s %8s %8s %9s %9s %9s %7s %7s\n", "case", "out MB", "in MB", "MB/s",
              "zlib MB/s", "zstd MB/s", "x zlib", "x zstd");
  bool failed = false;
  for (const Row& row : rows) {
    printRow(row);
    failed = failed || row.rate <= 0 ||
             (!row.reference && (row.zlib <= 0 || row.zstd <= 0));
  }

  struct Ratio {
    const char* what;
    std::string numerator, denominator;
    double target;
  };
  const std::string smoke8 = "1-D smoke 128^3, 8 bits, order 2";
  const std::string noise8 = "1-D noise 128^3 in one zone, 8 bits, order 1";
  const Ratio ratios[] = {
      {"smoke 16 bits / smoke 8 bits", "1-D smoke 128^3, 16 bits, order 2", smoke8, 0.5},
      {"smoke 20 bits / smoke 8 bits", "1-D smoke 128^3, 20 bits, order 2", smoke8, 0.5},
      {"noise 16 bits / noise 8 bits", "1-D noise 128^3 in one zone, 16 bits, order 1", noise8, 0.5},
      {"noise 20 bits / noise 8 bits", "1-D noise 128^3 in one zone, 20 bits, order 1", noise8, 0.5},
      {"noise 16 bits / smoke 8 bits", "1-D noise 128^3 in one zone, 16 bits, order 1", smoke8, 0.5},
      {"noise 20 bits / smoke 8 bits", "1-D noise 128^3 in one zone, 20 bits, order 1", smoke8, 0.5},
      {"3-D order 2 / 1-D smoke 8 bits", "3-D smoke 128^3, 8 bits, order 2", smoke8, 0.6},
      {"bit-plane reassembly: library / bit by bit", "bit-plane reassembly 4M x 3, library",
       "bit-plane reassembly 4M x 3, bit by bit", 5.0},
  };
  std::printf("\n%-46s %9s %9s\n", "ratio", "value", "target");
  for (const Ratio& r : ratios) {
    if (rateOf(rows, r.numerator) <= 0 || rateOf(rows, r.denominator) <= 0) continue;
    std::printf("%-46s %9.2f %9s%.1f\n", r.what, rateOf(rows, r.numerator) / rateOf(rows, r.denominator),
                ">= ", r.target);
  }
  std::printf("%-46s %9s %9s\n", "every case / zlib inflate", "see x zlib", ">= 1.0");
  std::printf("%-46s %9s %9s\n", "large frame / zlib inflate", "see x zlib", ">= 5.0");
  std::printf("\nload average after: %s\n", loadAverage().c_str());
  return failed ? 1 : 0;
}
