#include "converter/VdbGrids.h"

#include <openvdb/io/File.h>

#include <fstream>

namespace {

// io::File writes through a stream whose state it never checks after the data, so a write that
// fails part-way (a full disk, an I/O error) would pass as success. This writes the same bytes
// (the file layout with grid offsets that io::File uses) and reports such a failure as IoError.
class CheckedVdbFile : public openvdb::io::File {
 public:
  explicit CheckedVdbFile(const char* path) : openvdb::io::File(path) {}

  void writeChecked(const openvdb::GridPtrVec& grids, const openvdb::MetaMap& metadata) const {
    std::ofstream stream(filename().c_str(),
                         std::ios_base::out | std::ios_base::binary | std::ios_base::trunc);
    if (stream.fail()) OPENVDB_THROW(openvdb::IoError, "could not open " << filename() << " for writing");
    openvdb::io::Archive::write(stream, grids, /*seekable=*/true, metadata);
    stream.close();
    if (stream.fail()) OPENVDB_THROW(openvdb::IoError, "could not write all of " << filename());
  }
};

}  // namespace

namespace {

// Nodes of `span` voxels per axis needed to cover the box.
long long nodesCovering(const int size[3], long long span) {
  long long nodes = 1;
  for (int a = 0; a < 3; ++a) nodes *= (static_cast<long long>(size[a]) + span - 1) / span;
  return nodes;
}

bool emptyBox(const int size[3]) { return size[0] <= 0 || size[1] <= 0 || size[2] <= 0; }

}  // namespace

long long FloatGridBytes(const int size[3]) {
  using Upper = openvdb::FloatTree::RootNodeType::ChildNodeType;
  using Lower = Upper::ChildNodeType;
  using Leaf = Lower::ChildNodeType;
  if (emptyBox(size)) return 0;
  constexpr long long kAllocationOverhead = 16;  // per heap block: the node and its value buffer
  const long long leafBytes = sizeof(Leaf) + Leaf::SIZE * sizeof(float) + 2 * kAllocationOverhead;
  return nodesCovering(size, Leaf::DIM) * leafBytes +
         nodesCovering(size, Lower::DIM) * static_cast<long long>(sizeof(Lower)) +
         nodesCovering(size, Upper::DIM) * static_cast<long long>(sizeof(Upper));
}

long long FloatGridTeardownBytes(const int size[3]) {
  constexpr long long kMargin = 8ll << 20;
  if (emptyBox(size)) return kMargin;
  return nodesCovering(size, openvdb::FloatTree::LeafNodeType::DIM) * 8 + kMargin;
}

openvdb::FloatGrid::Ptr BuildFloatGrid(const char* name, const float* values, const int size[3]) {
  openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
  grid->setName(name);
  FillFloatGrid(*grid, values, size);
  return grid;
}

void FillFloatGrid(openvdb::FloatGrid& grid, const float* values, const int size[3]) {
  if (emptyBox(size)) return;
  openvdb::FloatGrid::Accessor accessor = grid.getAccessor();
  const float* value = values;
  for (int k = 0; k < size[2]; ++k) {
    for (int j = 0; j < size[1]; ++j) {
      for (int i = 0; i < size[0]; ++i) accessor.setValue(openvdb::Coord(i, j, k), *value++);
    }
  }
}

void AssignIndexToWorld(openvdb::GridPtrVec& grids, const IndexToWorldMatrix& matrix) {
  openvdb::Mat4d indexToWorld;  // starts as the identity
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) indexToWorld(r, c) = matrix.m[r][c];
  }
  for (openvdb::GridBase::Ptr& grid : grids) {
    grid->setTransform(openvdb::math::Transform::createLinearTransform(indexToWorld));
  }
}

void WriteVdbFile(const char* destination, const openvdb::GridPtrVec& grids) {
  openvdb::MetaMap fileMetadata;
  fileMetadata.insertMeta("CorvaneVDBVer", openvdb::Int32Metadata(0));
  CheckedVdbFile file(destination);
  file.writeChecked(grids, fileMetadata);
  file.close();
}
