// One container's way of storing Field3D's tree: groups, attributes and datasets. The layout
// writer states everything once; each container writes it in its own form.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/field3d/Field3dTestFile.h"

namespace orv::field3d {

// Field3D's Ogawa type codes; the HDF5 writer takes the matching HDF5 type.
enum OgawaType {
  kUint8 = 1, kInt32 = 4, kUint32 = 5, kHalf = 8, kFloat32 = 9, kFloat64 = 10,
  kVecHalf = 11, kVecFloat32 = 12, kVecFloat64 = 13, kVecInt32 = 14, kMatrix = 15, kString = 16
};

// The type code of voxel values of `type` with `components` per voxel.
int ValueTypeCode(ValueType type, int components);

class TreeWriter {
 public:
  using Node = int;
  virtual ~TreeWriter() = default;
  virtual Node root() = 0;
  virtual Node group(Node parent, const std::string& name) = 0;
  virtual void text(Node node, const std::string& name, const std::string& value) = 0;
  virtual void integers(Node node, const std::string& name, const std::vector<long long>& values, int type) = 0;
  // A float32 scalar (kFloat32) or a 4x4 float64 matrix (kMatrix).
  virtual void reals(Node node, const std::string& name, const std::vector<double>& values, int type) = 0;
  // A dataset of little-endian values of `type`, one element.
  virtual void values(Node node, const std::string& name, const std::vector<unsigned char>& bytes, int type) = 0;
  // A table of blocks, one element each: zlib streams in Ogawa, the rows of a 2-D dataset in HDF5
  // (absent when there are none).
  virtual void blocks(Node node, const std::string& name, const std::vector<std::vector<unsigned char>>& blocks,
                      int type) = 0;
  // Completes the file; false when it could not be written.
  virtual bool finish() = 0;
};

// An Ogawa file at `path` (none when empty), its bytes also left in `bytes` when given.
std::unique_ptr<TreeWriter> MakeOgawaWriter(const std::string& path, bool unfinished, std::vector<unsigned char>* bytes);
// An HDF5 file at `path`; null when it cannot be created or the build has no HDF5.
std::unique_ptr<TreeWriter> MakeHdf5Writer(const std::string& path);

}  // namespace orv::field3d
