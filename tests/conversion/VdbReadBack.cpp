#include "tests/conversion/VdbReadBack.h"

#include <openvdb/io/File.h>

#include <cstring>
#include <fstream>

VdbContents ReadVdb(const std::string& path) {
  openvdb::initialize();
  VdbContents contents;
  try {
    openvdb::io::File file(path);
    file.open();
    contents.fileMetadata = file.getMetadata();
    const openvdb::GridPtrVecPtr grids = file.getGrids();
    for (const openvdb::GridBase::Ptr& grid : *grids) {
      openvdb::FloatGrid::Ptr floatGrid = openvdb::gridPtrCast<openvdb::FloatGrid>(grid);
      EXPECT_TRUE(floatGrid) << grid->getName() << " is not a float grid";
      if (floatGrid) contents.grids.push_back(floatGrid);
    }
    file.close();
  } catch (const openvdb::Exception& error) {
    ADD_FAILURE() << "cannot read " << path << ": " << error.what();
  }
  return contents;
}

namespace {

// Little-endian fields of the archive layout, with the stream's failure state as the only check.
class ArchiveFields {
 public:
  explicit ArchiveFields(std::istream& in) : in_(in) {}
  template <typename T>
  T read() {
    T value{};
    in_.read(reinterpret_cast<char*>(&value), sizeof value);
    return value;
  }
  std::string readString() {
    const uint32_t length = read<uint32_t>();
    if (!in_ || length > (1u << 20)) {
      in_.setstate(std::ios_base::failbit);
      return {};
    }
    std::string text(length, '\0');
    in_.read(&text[0], length);
    return text;
  }
  void skip(std::streamoff bytes) { in_.seekg(bytes, std::ios_base::cur); }
  void seek(std::streamoff position) { in_.seekg(position); }
  bool ok() const { return static_cast<bool>(in_); }

 private:
  std::istream& in_;
};

}  // namespace

std::vector<std::string> GridNamesInFileOrder(const std::string& path) {
  std::ifstream stream(path, std::ios_base::binary);
  ArchiveFields fields(stream);
  std::vector<std::string> names;
  fields.read<int64_t>();  // magic
  fields.read<uint32_t>();  // file format version
  fields.read<uint32_t>();  // library major version
  fields.read<uint32_t>();  // library minor version
  const char hasGridOffsets = fields.read<char>();
  fields.skip(36);  // uuid text
  const int32_t metadataCount = fields.read<int32_t>();
  for (int32_t m = 0; fields.ok() && m < metadataCount; ++m) {
    fields.readString();  // name
    fields.readString();  // type
    fields.skip(fields.read<uint32_t>());
  }
  const int32_t gridCount = fields.read<int32_t>();
  for (int32_t g = 0; fields.ok() && g < gridCount; ++g) {
    names.push_back(fields.readString());
    fields.readString();  // grid type
    fields.readString();  // instance parent
    fields.read<int64_t>();  // grid position
    fields.read<int64_t>();  // block position
    const int64_t end = fields.read<int64_t>();
    fields.seek(end);
  }
  EXPECT_TRUE(fields.ok()) << "cannot list the grids of " << path;
  EXPECT_EQ(1, hasGridOffsets) << path;
  return names;
}

std::vector<std::string> GridNames(const VdbContents& contents) {
  std::vector<std::string> names;
  for (const openvdb::FloatGrid::Ptr& grid : contents.grids) names.push_back(grid->getName());
  return names;
}

::testing::AssertionResult HoldsDenseValues(const openvdb::FloatGrid& grid, const float* values,
                                            const int size[3]) {
  const openvdb::Index64 expectedCount =
      static_cast<openvdb::Index64>(size[0]) * size[1] * size[2];
  if (grid.activeVoxelCount() != expectedCount) {
    return ::testing::AssertionFailure() << grid.getName() << ": " << grid.activeVoxelCount()
                                         << " active voxels, expected " << expectedCount;
  }
  if (grid.background() != 0.0f) {
    return ::testing::AssertionFailure() << grid.getName() << ": background " << grid.background();
  }
  openvdb::FloatGrid::ConstAccessor accessor = grid.getConstAccessor();
  long long d = 0;
  for (int k = 0; k < size[2]; ++k) {
    for (int j = 0; j < size[1]; ++j) {
      for (int i = 0; i < size[0]; ++i, ++d) {
        const openvdb::Coord xyz(i, j, k);
        float value = 0.0f;
        const bool active = accessor.probeValue(xyz, value);
        if (!active || std::memcmp(&value, &values[d], sizeof value) != 0) {
          return ::testing::AssertionFailure()
                 << grid.getName() << ": voxel (" << i << ", " << j << ", " << k << ") is "
                 << (active ? "active" : "inactive") << " with " << value << ", expected "
                 << values[d];
        }
      }
    }
  }
  // Every active voxel lies inside the box: the counts agree and all box cells are active.
  return ::testing::AssertionSuccess();
}
