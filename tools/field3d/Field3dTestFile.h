// Field3D files described in memory and written in either container, for tests, fuzz seeds and
// benchmarks. The layout follows what the Field3D library writes (its attribute names, types and
// order per container), with the values of every voxel given by functions, so that a test knows
// what a reader must return. MAC layers are written in full to HDF5 and as the data-less stubs the
// library leaves in Ogawa files.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

namespace orv::field3d {

enum class Container { Ogawa, Hdf5 };
enum class LayerKind { Dense, Sparse, Mac };
enum class ValueType { Half, Float, Double };
enum class MappingKind { Matrix, Null };

// Local-to-world time samples (row-major, row-vector convention); none means the identity.
struct TestMapping {
  MappingKind kind = MappingKind::Matrix;
  std::vector<std::pair<float, std::array<double, 16>>> samples;
};

// A mapping whose local-to-world scales by `scale` and then moves by `offset`.
TestMapping ScaledMapping(const std::array<double, 3>& scale, const std::array<double, 3>& offset);

struct TestLayer {
  std::string name;
  LayerKind kind = LayerKind::Dense;
  ValueType type = ValueType::Float;
  int components = 1;
  std::array<long long, 6> extents{{0, 0, 0, 3, 3, 3}};  // min x, y, z, max x, y, z (inclusive)
  std::array<long long, 6> window{{0, 0, 0, 3, 3, 3}};
  int blockOrder = 2;
  // Component c at voxel (i, j, k); for MAC layers, face array c (u, v, w) at face (i, j, k).
  std::function<double(int c, long long i, long long j, long long k)> value;
  // Sparse layers: which blocks are stored, and each empty block's value per component.
  std::function<bool(long long block)> stored = [](long long) { return true; };
  std::function<double(int c, long long block)> emptyValue = [](int, long long) { return 0.0; };
};

struct TestPartition {
  std::string group;  // "<name>.<n>"
  TestMapping mapping;
  std::vector<TestLayer> layers;
};

struct TestFile {
  std::vector<TestPartition> partitions;
  bool unfinished = false;  // Ogawa: leave the header as a writer that has not closed the file
};

// The bytes of the file in Ogawa form.
std::vector<unsigned char> OgawaBytes(const TestFile& file);
// Writes the file; false when it cannot be written (HDF5 in a build without it).
bool WriteTestFile(const TestFile& file, Container container, const std::string& path);
bool CanWrite(Container container);

// `value` as the layer's element type stores it, as a float (what a reader must return).
float Stored(ValueType type, double value);
// What a reader must return for component c of voxel (i, j, k) inside the layer's window: the
// stored value, an empty block's value, or for MAC layers the mean of the two faces.
float ExpectedVoxel(const TestLayer& layer, int c, long long i, long long j, long long k);

// World position of the centre of voxel (i, j, k) of a layer in a partition of `mapping` (time 0).
std::array<double, 3> VoxelCentreWorld(const TestMapping& mapping, const TestLayer& layer, long long i, long long j,
                                       long long k);

}  // namespace orv::field3d
