// The orv binary: each convert option and info, through the program, with every written file read
// back with OpenVDB and compared with the frame as the library reads it.
#include <gtest/gtest.h>
#include <openvdb/io/File.h>
#include <openvdb/math/Half.h>
#include <openvdb/points/PointDataGrid.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>

#include "orv/OrvLoader.h"
#include "tests/conversion/ConverterProcess.h"
#include "tests/conversion/FrameFiles.h"
#include "tests/conversion/ScratchDirectory.h"
#include "tests/conversion/VdbReadBack.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/FirePlume.h"

namespace {

namespace fs = std::filesystem;

constexpr int kGroupParticles = 40;

// A small fire plume (sides that are not whole leaves) with colour and one particle group holding
// positions inside the grid, velocities, IDs, a float and a 32-bit channel.
std::vector<char> plumeFrameBytes(int frame) {
  orv::samples::PlumeGrid grid;
  grid.size[0] = 12;
  grid.size[1] = 10;
  grid.size[2] = 9;
  grid.cellSize = 0.1f;
  orv::writer::Frame description =
      orv::samples::FirePlumeOrvFrame(grid, frame, orv::samples::FirePlumeFields(grid, frame));
  std::vector<float> positions, velocities, heat, words;
  std::vector<long long> ids;
  for (int p = 0; p < kGroupParticles; ++p) {
    positions.insert(positions.end(), {0.25f * p, 0.5f + 0.2f * p, 8.0f - 0.1f * p});
    velocities.insert(velocities.end(), {0.01f * p, 1.0f, -0.5f});
    heat.push_back(300.0f + p);
    const int word = 1000 + 7 * p;
    float asFloat;
    std::memcpy(&asFloat, &word, 4);
    words.push_back(asFloat);
    ids.push_back(5000000000ll + 3 * p);
  }
  orv::writer::ParticleGroup sparks;
  sparks.name = "sparks";
  sparks.channels = {orv::writer::FloatChannel(0, positions),
                     orv::writer::FloatChannel(1, velocities), orv::writer::FloatChannel(2, heat),
                     orv::writer::IdChannel(ids), orv::writer::FloatChannel(12, words)};
  description.groups.push_back(sparks);
  std::vector<char> bytes;
  std::string error;
  EXPECT_TRUE(orv::writer::Write(description, bytes, &error)) << error;
  return bytes;
}

class OrvTool : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  std::string out = scratch.file("out");

  ConverterRun orv(const std::vector<std::string>& arguments, std::string prefix = "") {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizer's dlopen interceptor becomes the caller, so orv's run path is not used; the
    // plug-ins' process-lifetime objects are reported when they unload at exit.
    prefix = "export LD_LIBRARY_PATH=" ORV_PLUGIN_DIR " LSAN_OPTIONS=suppressions=" ORV_SOURCE_DIR
             "/tests/conversion/plugin-lifetime.supp:print_suppressions=0" +
             (prefix.empty() ? "" : "; " + prefix);
#endif
    return RunProgram(ORV_PATH, arguments, scratch.path().string(), {0, "", prefix});
  }
  std::string source(int frame) const {
    return scratch.file("fire_000" + std::to_string(frame) + ".orv");
  }
  std::string destination(int frame) const {
    return scratch.file("out/fire_000" + std::to_string(frame) + ".vdb");
  }
  std::vector<std::string> sequence(std::vector<std::string> options) {
    options.insert(options.begin(),
                   {"convert", scratch.file("fire_####.orv"), scratch.file("out/fire_####.vdb")});
    return options;
  }
  void writeFrames(int count) {
    for (int frame = 1; frame <= count; ++frame) WriteBytes(source(frame), plumeFrameBytes(frame));
  }
  // Names of the files in the output folder.
  std::vector<std::string> outputFiles() const {
    std::vector<std::string> names;
    if (!fs::exists(out)) return names;
    for (const auto& entry : fs::directory_iterator(out)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }
};

openvdb::GridPtrVec readGrids(const std::string& path, openvdb::MetaMap::Ptr* metadata = nullptr) {
  openvdb::initialize();
  openvdb::io::File file(path);
  file.open();
  if (metadata) *metadata = file.getMetadata();
  openvdb::GridPtrVec grids = *file.getGrids();
  file.close();
  return grids;
}

openvdb::GridBase::Ptr findGrid(const openvdb::GridPtrVec& grids, const std::string& name) {
  for (const openvdb::GridBase::Ptr& grid : grids) {
    if (grid->getName() == name) return grid;
  }
  ADD_FAILURE() << "no grid " << name;
  return nullptr;
}

struct ExpectedVoxels {
  float clip = -1;    // < 0: every cell active
  bool half = false;  // values rounded to 16-bit floats
};

float stored(float value, bool half) {
  return half ? static_cast<float>(openvdb::math::half(value)) : value;
}

// Every cell of the frame's box holds its channel values (bit for bit, or rounded to half), active
// unless its magnitude is at most the clip, where it is inactive background; nothing outside.
template <typename GridT>
void expectVoxels(const GridT& grid, const std::vector<const float*>& channels, const int size[3],
                  const ExpectedVoxels& expected) {
  typename GridT::ConstAccessor accessor = grid.getConstAccessor();
  openvdb::Index64 active = 0;
  long long d = 0;
  for (int k = 0; k < size[2]; ++k) {
    for (int j = 0; j < size[1]; ++j) {
      for (int i = 0; i < size[0]; ++i, ++d) {
        double lengthSquared = 0;
        float want[3];
        for (size_t c = 0; c < channels.size(); ++c) {
          lengthSquared += static_cast<double>(channels[c][d]) * channels[c][d];
          want[c] = stored(channels[c][d], expected.half);
        }
        const bool kept = expected.clip < 0 || std::sqrt(lengthSquared) > expected.clip;
        typename GridT::ValueType value;
        const bool on = accessor.probeValue(openvdb::Coord(i, j, k), value);
        const float* got = reinterpret_cast<const float*>(&value);
        for (size_t c = 0; c < channels.size(); ++c) {
          const float wanted = kept ? want[c] : 0.0f;
          if (std::memcmp(&got[c], &wanted, 4) != 0 || on != kept) {
            FAIL() << grid.getName() << " (" << i << "," << j << "," << k << ")[" << c
                   << "]: " << got[c] << (on ? " active" : " inactive") << ", expected " << wanted;
          }
        }
        active += kept;
      }
    }
  }
  EXPECT_EQ(active, grid.activeVoxelCount()) << grid.getName() << ": voxels outside the box";
}

struct PresetCase {
  const char* preset;
  std::vector<std::string> scalars;  // smoke, temperature, fuel
  std::string velocity, colour;      // vec3 grid names; empty: three float grids
};

class PresetOutput : public OrvTool, public ::testing::WithParamInterface<PresetCase> {};

TEST_P(PresetOutput, GridNamesTypesClassesAndValues) {
  const PresetCase& preset = GetParam();
  WriteBytes(source(1), plumeFrameBytes(1));
  // One frame on four threads: its grids are built at once.
  const ConverterRun run =
      orv({"convert", source(1), destination(1), "--preset", preset.preset, "--threads", "4"});
  ASSERT_EQ(0, run.status) << run.errors;
  EXPECT_EQ("", run.errors);

  IOrv* frame = newIOrv(source(1).c_str());
  ASSERT_NE(frame, nullptr);
  int size[3];
  frame->getGridSize(size);
  openvdb::MetaMap::Ptr metadata;
  const openvdb::GridPtrVec grids = readGrids(destination(1), &metadata);
  const bool vectors = !preset.velocity.empty();
  std::vector<std::string> names = preset.scalars;
  if (vectors) {
    names.insert(names.end(), {preset.velocity, preset.colour});
  } else {
    names.insert(names.end(), {"VelocityX_cvn", "VelocityY_cvn", "VelocityZ_cvn", "ColorR_cvn",
                               "ColorG_cvn", "ColorB_cvn"});
  }
  EXPECT_EQ(names, GridNamesInFileOrder(destination(1)));
  const int scalarChannels[] = {2, 1, 10};
  for (int s = 0; s < 3; ++s) {
    auto grid = openvdb::gridPtrCast<openvdb::FloatGrid>(findGrid(grids, preset.scalars[s]));
    ASSERT_TRUE(grid) << preset.scalars[s] << " is not a float grid";
    EXPECT_EQ(vectors ? openvdb::GRID_FOG_VOLUME : openvdb::GRID_UNKNOWN, grid->getGridClass());
    expectVoxels(*grid, {frame->getChannel(scalarChannels[s])}, size, {});
  }
  if (vectors) {
    const struct {
      std::string name;
      int firstChannel;
      openvdb::VecType type;
    } vectorGrids[] = {{preset.velocity, 4, openvdb::VEC_CONTRAVARIANT_RELATIVE},
                       {preset.colour, 7, openvdb::VEC_INVARIANT}};
    for (const auto& expected : vectorGrids) {
      auto grid = openvdb::gridPtrCast<openvdb::Vec3SGrid>(findGrid(grids, expected.name));
      ASSERT_TRUE(grid) << expected.name << " is not a vec3s grid";
      EXPECT_EQ(expected.type, grid->getVectorType());
      const int c = expected.firstChannel;
      expectVoxels(*grid,
                   {frame->getChannel(c), frame->getChannel(c + 1), frame->getChannel(c + 2)}, size,
                   {});
    }
  }
  EXPECT_EQ("orv " ORV_VERSION, metadata->metaValue<std::string>("creator"));
  EXPECT_EQ("scene units per second", metadata->metaValue<std::string>("velocity_unit"));
  deleteIOrv(frame);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPreset, PresetOutput,
    ::testing::Values(
        PresetCase{"blender", {"density", "temperature", "fuel"}, "velocity", "color"},
        PresetCase{"houdini", {"density", "temperature", "fuel"}, "vel", "Cd"},
        PresetCase{"cvn", {"Smoke_cvn", "Temperature_cvn", "Fuel_cvn"}, "", ""}));

TEST_F(OrvTool, ClipKeepsVoxelsAboveTheToleranceExactlyHalfRoundsEveryValueCodecCompresses) {
  WriteBytes(source(1), plumeFrameBytes(1));
  IOrv* frame = newIOrv(source(1).c_str());
  ASSERT_NE(frame, nullptr);
  int size[3];
  frame->getGridSize(size);
  const float clip = 0.05f;
  const struct {
    std::vector<std::string> options;
    ExpectedVoxels expected;
    std::string compression;
  } cases[] = {{{"--clip", "0.05"}, {clip, false}, "blosc + active values"},
               {{"--half"}, {-1, true}, "blosc + active values"},
               {{"--clip=0.05", "--half", "--codec", "zip"}, {clip, true}, "zip + active values"},
               {{"--codec", "none"}, {-1, false}, "none"}};
  for (const auto& c : cases) {
    std::vector<std::string> arguments = {"convert", source(1), destination(1)};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const ConverterRun run = orv(arguments);
    ASSERT_EQ(0, run.status) << run.errors;
    const openvdb::GridPtrVec grids = readGrids(destination(1));
    EXPECT_EQ(c.compression, grids.front()->metaValue<std::string>("file_compression"));
    expectVoxels(*openvdb::gridPtrCast<openvdb::FloatGrid>(findGrid(grids, "density")),
                 {frame->getChannel(2)}, size, c.expected);
    expectVoxels(*openvdb::gridPtrCast<openvdb::Vec3SGrid>(findGrid(grids, "velocity")),
                 {frame->getChannel(4), frame->getChannel(5), frame->getChannel(6)}, size,
                 c.expected);
  }
  deleteIOrv(frame);
}

TEST_F(OrvTool, ParticleGroupsBecomePointGridsWithEveryChannel) {
  WriteBytes(source(1), plumeFrameBytes(1));
  ASSERT_EQ(0, orv({"convert", source(1), destination(1), "--particles"}).status);
  IOrv* frame = newIOrv(source(1).c_str());
  ASSERT_NE(frame, nullptr);
  ICorvanePrtGroup* group = frame->findParticleGroup("sparks");
  ASSERT_NE(group, nullptr);
  std::map<long long, int> particleOfId;
  for (int p = 0; p < group->getParticleCount(); ++p) {
    long long id;
    group->getParticle(p, 10, reinterpret_cast<float*>(&id));
    particleOfId[id] = p;
  }

  auto points = openvdb::gridPtrCast<openvdb::points::PointDataGrid>(
      findGrid(readGrids(destination(1)), "sparks"));
  ASSERT_TRUE(points);
  const openvdb::math::Transform& transform = points->transform();
  int seen = 0;
  for (auto leaf = points->tree().cbeginLeaf(); leaf; ++leaf) {
    openvdb::points::AttributeHandle<openvdb::Vec3f> position(leaf->constAttributeArray("P"));
    openvdb::points::AttributeHandle<openvdb::Vec3f> velocity(leaf->constAttributeArray("v"));
    openvdb::points::AttributeHandle<int64_t> id(leaf->constAttributeArray("id"));
    openvdb::points::AttributeHandle<float> heat(leaf->constAttributeArray("channel2"));
    openvdb::points::AttributeHandle<int32_t> word(leaf->constAttributeArray("channel12"));
    for (auto index = leaf->beginIndexOn(); index; ++index, ++seen) {
      ASSERT_TRUE(particleOfId.count(id.get(*index)));
      const unsigned p = particleOfId[id.get(*index)];
      float gridPosition[3], v[3], h;
      int w;
      group->getParticle(p, 0, gridPosition);
      group->getParticle(p, 1, v);
      group->getParticle(p, 2, &h);
      group->getParticle(p, 12, reinterpret_cast<float*>(&w));
      // Positions are grid coordinates: in world space through the volume grids' transform.
      const openvdb::Vec3d world =
          transform.indexToWorld(index.getCoord().asVec3d() + position.get(*index));
      const openvdb::Vec3d want =
          transform.indexToWorld(openvdb::Vec3d(gridPosition[0], gridPosition[1], gridPosition[2]));
      EXPECT_LT((world - want).length(), 1e-5) << "particle " << p;
      EXPECT_EQ(openvdb::Vec3f(v[0], v[1], v[2]), velocity.get(*index));
      EXPECT_EQ(h, heat.get(*index));
      EXPECT_EQ(w, word.get(*index));
    }
  }
  EXPECT_EQ(kGroupParticles, seen);
  deleteIOrv(frame);
}

TEST_F(OrvTool, FrameListThreadsAndSkipExistingConvertTheFramesAskedInFrameOrder) {
  writeFrames(6);
  fs::create_directories(out);
  WriteBytes(destination(5), {'k', 'e', 'e', 'p'});
  const ConverterRun run =
      orv(sequence({"--frames", "1-5:2,6,3", "--threads", "3", "--skip-existing"}));
  EXPECT_EQ(0, run.status) << run.errors;
  EXPECT_EQ("", run.errors);
  EXPECT_EQ((std::vector<std::string>{"fire_0001.vdb", "fire_0003.vdb", "fire_0005.vdb",
                                      "fire_0006.vdb"}),
            outputFiles());
  EXPECT_EQ("keep", ReadWholeFile(destination(5)));
  for (int frame : {1, 3, 6}) EXPECT_EQ(5u, GridNamesInFileOrder(destination(frame)).size());
  // One line per frame in list order, then the summary.
  std::istringstream lines(run.output);
  std::string line;
  for (const std::string& expected :
       std::vector<std::string>{"[1/4] frame 1 ", "[2/4] frame 3 ", "[3/4] frame 5 ",
                                "[4/4] frame 6 ", "orv: 4 frames in "}) {
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(0u, line.find(expected)) << line;
  }
  EXPECT_NE(std::string::npos, run.output.find("3 converted (")) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("1 skipped, 0 failed")) << run.output;

  // Without a frame list: every frame whose source exists.
  fs::remove_all(out);
  EXPECT_EQ(0, orv(sequence({"--quiet"})).status);
  EXPECT_EQ(6u, outputFiles().size());
}

TEST_F(OrvTool, FailedFramesAreReportedWithExitStatusAndLeaveNoPartialFile) {
  writeFrames(3);
  std::vector<char> broken = ReferenceFrameBytes("v6_colour18.orv");
  ASSERT_TRUE(CorruptPackedColourBlock(broken));
  WriteBytes(source(2), broken);
  ConverterRun run = orv(sequence({"--frames", "1-4"}));
  EXPECT_EQ(2, run.status);
  EXPECT_NE(std::string::npos,
            run.errors.find("orv: frame 2 (" + source(2) + " -> " + destination(2) +
                            "): the colour red channel cannot be decoded"))
      << run.errors;
  EXPECT_NE(std::string::npos,
            run.errors.find("orv: frame 4 (" + source(4) + " -> " + destination(4) +
                            "): cannot load the source: no such file"))
      << run.errors;
  EXPECT_EQ((std::vector<std::string>{"fire_0001.vdb", "fire_0003.vdb"}), outputFiles());

  // Writes cut short by a file-size limit fail every frame, and no partial file stays behind.
  fs::remove_all(out);
  run = orv(sequence({"--frames", "1,3"}), "ulimit -f 4");
  EXPECT_EQ(3, run.status);
  EXPECT_NE(std::string::npos, run.errors.find("could not write all of " + destination(1)))
      << run.errors;
  EXPECT_EQ(std::vector<std::string>{}, outputFiles());
}

TEST_F(OrvTool, BadCommandLinesExitWithStatusOne) {
  writeFrames(1);
  const std::vector<std::vector<std::string>> cases = {
      {"convert", source(1)},
      {"convert", source(1), destination(1), "--bogus"},
      {"convert", source(1), destination(1), "--preset", "maya"},
      {"convert", source(1), destination(1), "--clip", "-1"},
      {"convert", source(1), destination(1), "--threads", "0"},
      {"convert", source(1), destination(1), "--frames", "1-3"},  // one file, no frame token
      sequence({"--frames", "5-1"}),
      {"convert", scratch.file("fire_####.orv"), scratch.file("one.vdb"), "--frames", "1,2"},
      {"info"},
      {"paint"},
  };
  for (const std::vector<std::string>& arguments : cases) {
    const ConverterRun run = orv(arguments);
    EXPECT_EQ(1, run.status) << arguments.back();
    EXPECT_NE("", run.errors) << arguments.back();
  }
  EXPECT_EQ(std::vector<std::string>{}, outputFiles());
  for (const std::vector<std::string>& help :
       std::vector<std::vector<std::string>>{{"--help"}, {"convert", "--help"}, {"info", "-h"}}) {
    const ConverterRun run = orv(help);
    EXPECT_EQ(0, run.status);
    EXPECT_NE(std::string::npos, run.output.find("Usage: orv")) << run.output;
  }
}

TEST_F(OrvTool, InfoListsEveryFileKindAndReportsDamagedFiles) {
  writeFrames(1);
  ASSERT_EQ(0, orv({"convert", source(1), destination(1), "--particles", "--quiet"}).status);
  std::vector<char> truncated = plumeFrameBytes(1);
  truncated.resize(truncated.size() / 2);
  const std::string damaged = scratch.file("damaged.orv");
  WriteBytes(damaged, truncated);

  ConverterRun run = orv({"info", "--stats", source(1), damaged, destination(1)});
  EXPECT_EQ(2, run.status);
  EXPECT_EQ("orv info: " + damaged + ": not a cache file: no footer\n", run.errors);
  for (const std::string& expected : std::vector<std::string>{
           source(1) +
               "\n  format          orv, version 6\n  frame           1\n"
               "  grid            12 x 10 x 9 (1080 cells)\n  voxel size      0.1 x 0.1 x 0.1\n",
           std::string("      2  smoke "), std::string("derived from packed colour"),
           std::string(
               "  particle group  sparks: 40 particles\n    position             float x3\n"),
           std::string("    channel 12           int32\n"),
           destination(1) + "\n  format          vdb, version 224\n", std::string("  density "),
           std::string("velocity.x"),
           std::string(
               "  particle group  sparks: 40 particles\n    P                    vec3s x3\n")}) {
    EXPECT_NE(std::string::npos, run.output.find(expected)) << expected << "\n" << run.output;
  }

  run = orv({"info", "--json", damaged, destination(1)});
  EXPECT_EQ(2, run.status);
  for (const std::string& expected : std::vector<std::string>{
           "\"error\": \"not a cache file: no footer\"", "\"format\": \"vdb\"",
           "\"gridSize\": [12, 10, 9]", "\"name\": \"density\"", "\"count\": 40"}) {
    EXPECT_NE(std::string::npos, run.output.find(expected)) << expected << "\n" << run.output;
  }
  EXPECT_EQ(3, orv({"info", damaged}).status);
}

}  // namespace
