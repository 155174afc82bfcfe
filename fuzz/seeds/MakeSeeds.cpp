// Writes seed inputs for every harness with the project's own encoders:
//   orvfuzzseeds <output directory>
// Each harness gets <output>/<target>/seed-N files laid out as its harness reads them.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "codecs/EntropyCoder.h"
#include "tools/codec/StreamWriter.h"
#include "tools/codec/SyntheticFields.h"
#include "tools/field3d/Field3dTestFile.h"
#include "tools/orv/ParticleChannelEncoder.h"
#ifdef ORV_SEEDS_WITH_WRITER
#include "tools/orv/OrvWriter.h"
#endif

namespace {

using Bytes = std::vector<char>;
namespace ct = orv::codectools;

class SeedDirectory {
 public:
  SeedDirectory(const std::filesystem::path& root, const char* target) : dir_(root / target) {
    std::filesystem::create_directories(dir_);
  }
  void add(const Bytes& bytes) {
    const std::string name = (dir_ / ("seed-" + std::to_string(next_++))).string();
    if (std::FILE* file = std::fopen(name.c_str(), "wb")) {
      if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
      std::fclose(file);
    }
  }

 private:
  std::filesystem::path dir_;
  int next_ = 0;
};

void putU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void putText(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back('\0');
}
Bytes withCapacity(uint32_t capacity, const Bytes& stream) {
  Bytes out;
  putU32(out, capacity);
  out.insert(out.end(), stream.begin(), stream.end());
  return out;
}

std::vector<float> ramp(int n) {
  std::vector<float> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = 0.25f * static_cast<float>(i % 37) - 3.0f;
  return v;
}

void gridCodecSeeds(const std::filesystem::path& root) {
  SeedDirectory one(root, "grid_codec1");
  SeedDirectory three(root, "grid_codec3");
  const std::vector<float> values = ramp(300);
  const std::vector<float> noise = ct::NoiseField(300, -1.0f, 1.0f, 7);
  Bytes stream;
  auto both = [&](const Bytes& s, uint32_t capacity) {
    Bytes dispatched(1, 'D');
    const Bytes body = withCapacity(capacity, s);
    dispatched.insert(dispatched.end(), body.begin(), body.end());
    one.add(dispatched);
    three.add(body);
  };
  ct::AppendRawZone(values.data(), 64, stream);
  both(stream, 64);
  stream.clear();
  ct::AppendConstantZone(2.5f, 200, stream);
  both(stream, 200);
  for (int order : {0, 1, 2, 3}) {
    stream.clear();
    ct::AppendZoneAlongValues(noise.data(), 300, ct::ZoneEncoding{8, 0.0f, order}, stream);
    Bytes dispatched(1, 'D');
    const Bytes body = withCapacity(300, stream);
    dispatched.insert(dispatched.end(), body.begin(), body.end());
    one.add(dispatched);
  }
  const int dims[3] = {6, 5, 4};
  const std::vector<float> smoke = ct::SmokeField(dims, 1);
  for (int order : {1, 2}) {
    stream.clear();
    ct::AppendZoneOverBox(smoke.data(), dims, ct::ZoneEncoding{10, 0.0f, order}, stream);
    three.add(withCapacity(120, stream));
  }
  for (auto form : {ct::ZoneForm::AlongValues, ct::ZoneForm::OverBox}) {
    for (unsigned short magic : {ct::kZonedMagic, ct::kZonedMagicAlt}) {
      stream.clear();
      ct::AppendZonedGrid(smoke.data(), dims, 3, form, ct::ZoneEncoding{8, 0.0f, 1}, magic, stream);
      if (form == ct::ZoneForm::AlongValues) {
        Bytes dispatched(1, 'D');
        const Bytes body = withCapacity(124, stream);
        dispatched.insert(dispatched.end(), body.begin(), body.end());
        one.add(dispatched);
      } else {
        three.add(withCapacity(124, stream));
      }
    }
  }
  Bytes roundTrip(1, 'R');
  const char* raw = reinterpret_cast<const char*>(noise.data());
  roundTrip.insert(roundTrip.end(), raw, raw + 64 * 4);
  one.add(roundTrip);
}

void entropySeeds(const std::filesystem::path& root) {
  SeedDirectory dir(root, "entropy_decoder");
  std::vector<std::vector<int>> sequences = {
      {0, 1, 2, 3, 0, 1, 2, 3, 0, 0, 0, 7},
      {5, -4, 6, -10, 1, 2},
      {1000000, -1000000, 3, 3, 3, 123456789},
  };
  std::vector<int> skewed;
  for (int i = 0; i < 500; ++i) skewed.push_back(i % 7 == 0 ? i % 50 : 1);
  sequences.push_back(skewed);
  for (const std::vector<int>& values : sequences) {
    CVNUtils::CvnArray<char, long long> out;
    EntropyCoder coder;
    if (coder.Encode(values.data(), static_cast<long long>(values.size()), out) <= 0) continue;
    Bytes seed(1, 'D');
    putU32(seed, static_cast<uint32_t>(values.size()));
    putU32(seed, 0);
    seed.insert(seed.end(), out.data, out.data + out.size());
    dir.add(seed);
    Bytes roundTrip(1, 'E');
    for (int v : values) putU32(roundTrip, static_cast<uint32_t>(v));
    dir.add(roundTrip);
  }
}

void particleSeeds(const std::filesystem::path& root) {
  SeedDirectory dir(root, "particle_channel");
  constexpr int kParticles = 40;
  for (int channel : {0, 2, 10, 12, 18}) {
    const int words = channel == 0 ? 3 : (channel == 10 ? 2 : 1);
    std::vector<uint32_t> data(static_cast<size_t>(kParticles * words));
    for (size_t i = 0; i < data.size(); ++i) {
      const float f = 0.5f * static_cast<float>(i % 17);
      if (channel == 10 || channel == 12) {
        data[i] = static_cast<uint32_t>(i * 3 % 29);
      } else {
        std::memcpy(&data[i], &f, 4);
      }
    }
    for (int method = 0; method <= 4; ++method) {
      ParticleChannelEncoding encoding;
      encoding.method = method;
      encoding.precisionBits = method == 3 ? 12 : 32;
      Bytes stored;
      if (!EncodeParticleChannel(encoding, channel, data.data(), kParticles, stored)) continue;
      Bytes seed;
      seed.push_back(static_cast<char>(channel));
      seed.push_back(static_cast<char>(method));
      putU32(seed, kParticles);
      seed.insert(seed.end(), stored.begin(), stored.end());
      dir.add(seed);
    }
  }
}

void textSeeds(const std::filesystem::path& root) {
  SeedDirectory mappings(root, "channel_mappings");
  for (const char* text : {"1,Temperature_cvn;2,Smoke_cvn;", "2,density;4,vel.x;5,vel.y;6,vel.z;",
                           "12,a,b;;x;-5,neg", "99999999999,big;"}) {
    for (const char* name : {"frame.####.vdb", "cache_0001.f3d", "x.orv"}) {
      Bytes seed(1, 1);
      putText(seed, name);
      putText(seed, text);
      mappings.add(seed);
    }
  }
  SeedDirectory patterns(root, "frame_pattern");
  for (const char* pattern : {"dir/frame.####.orv", "out/s_%04d.vdb", "a/<frame04>b.f3d",
                              "c:\\x\\f%d#.orv", "plain-12.orv", "n/-0042.vdb"}) {
    Bytes seed;
    putU32(seed, 42);
    seed.push_back(4);
    seed.push_back(1);
    putText(seed, "none");
    putText(seed, pattern);
    patterns.add(seed);
  }
  SeedDirectory text(root, "text_conversion");
  for (const char* s : {"A\xC3\xA9", "\xFF\xFE", "\xF0\x9F\x98\x80 smile", "\xED\xA0\x80\xED\xB0\x80",
                        "\xE2\x82", "\xF4\x80\x81\x81"}) {
    text.add(Bytes(s, s + std::strlen(s)));
  }
}

#ifdef ORV_SEEDS_WITH_WRITER
void orvFileSeeds(const std::filesystem::path& root) {
  SeedDirectory dir(root, "orv_file");
  namespace w = orv::writer;
  const int dims[3] = {5, 4, 3};
  const std::vector<float> smoke = ct::SmokeField(dims, 3);
  const std::vector<float> velocity = ramp(60);
  for (int version : {2, 3, 4, 5, 6}) {
    w::Frame frame;
    frame.version = version;
    std::memcpy(frame.gridSize, dims, sizeof dims);
    w::GridChannel density;
    density.id = 2;
    density.values = smoke;
    density.kind = version >= 5 ? w::GridStreamKind::ZonedAlt : w::GridStreamKind::Zoned;
    density.quantiseZones = true;
    frame.channels.push_back(density);
    for (int id = 4; id <= 6; ++id) {
      w::GridChannel v;
      v.id = id;
      v.values = velocity;
      v.kind = id == 5 ? w::GridStreamKind::Quantised : w::GridStreamKind::Raw;
      frame.channels.push_back(v);
    }
    w::GridChannel colour;
    colour.id = 18;
    colour.packed.assign(60, 0x00FF8000u);
    frame.channels.push_back(colour);
    w::ParticleGroup group;
    group.name = "liquid";
    std::vector<float> positions(30);
    for (size_t i = 0; i < positions.size(); ++i) positions[i] = 0.1f * static_cast<float>(i);
    group.channels.push_back(w::FloatChannel(0, positions, version % 5));
    group.channels.push_back(w::IdChannel({5, 3, 9, 1, 2, 8, 7, 6, 4, 10}, version % 3));
    frame.groups.push_back(group);
    frame.particleLayout = version <= 3 ? w::ParticleLayout::CompressedBlock
                                        : w::ParticleLayout::Chunks;
    if (version <= 3) frame.groups[0].idBlock = {5, 3, 9, 1, 2, 8, 7, 6, 4, 10};
    frame.chunkText = "seed";
    frame.ranges.push_back({2, 0.0f, 1.0f});
    frame.values.push_back({2, 7});
    Bytes bytes;
    if (w::Write(frame, bytes)) dir.add(bytes);
  }
}
#endif

// Small Ogawa files of every layer kind: dense, sparse (stored, empty and padded blocks), vector,
// two partitions on different mappings, and a MAC stub.
void field3dSeeds(const std::filesystem::path& root) {
  namespace f3d = orv::field3d;
  SeedDirectory dir(root, "field3d_file");
  auto pattern = [](int c, long long i, long long j, long long k) { return 0.5 * i - j + 4.0 * k + c; };
  f3d::TestLayer dense;
  dense.name = "density";
  dense.window = {{-1, 0, 0, 2, 2, 1}};
  dense.value = pattern;
  f3d::TestLayer sparse = dense;
  sparse.name = "vel";
  sparse.kind = f3d::LayerKind::Sparse;
  sparse.type = f3d::ValueType::Half;
  sparse.components = 3;
  sparse.blockOrder = 1;
  sparse.window = {{0, 0, 0, 4, 2, 2}};
  sparse.stored = [](long long b) { return b % 2 == 0; };
  f3d::TestLayer mac = dense;
  mac.name = "v_mac";
  mac.kind = f3d::LayerKind::Mac;
  f3d::TestFile one{{{"fluid.0", f3d::ScaledMapping({1, 1, 1}, {0, 0, 0}), {dense, sparse, mac}}}};
  f3d::TestFile two = one;
  two.partitions.push_back({"fluid.1", f3d::ScaledMapping({2, 2, 2}, {1, 0, 0}), {dense}});
  two.partitions[1].layers[0].type = f3d::ValueType::Double;
  for (const f3d::TestFile& file : {one, two}) {
    const std::vector<unsigned char> bytes = f3d::OgawaBytes(file);
    dir.add(Bytes(bytes.begin(), bytes.end()));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root = argv[1];
  gridCodecSeeds(root);
  entropySeeds(root);
  particleSeeds(root);
  textSeeds(root);
  field3dSeeds(root);
#ifdef ORV_SEEDS_WITH_WRITER
  orvFileSeeds(root);
#endif
  return 0;
}
