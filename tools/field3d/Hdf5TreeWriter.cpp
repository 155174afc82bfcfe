// Field3D's tree as an HDF5 file, in the library's forms: int32 and float32 attributes as rank-1
// arrays, matrices as 4x4 float64, strings fixed-length without a terminator, half values as
// 16-bit integers, datasets chunked and deflated, block tables as (blocks, values per block).
#include <hdf5.h>

#include <algorithm>

#include "tools/field3d/TreeWriter.h"

namespace orv::field3d {

namespace {

hid_t fileType(int type) {
  switch (type) {
    case kUint8: return H5T_STD_I8LE;
    case kHalf: case kVecHalf: return H5T_STD_I16LE;
    case kFloat32: case kVecFloat32: return H5T_IEEE_F32LE;
    default: return H5T_IEEE_F64LE;
  }
}
hid_t memoryType(int type) {
  switch (type) {
    case kUint8: return H5T_NATIVE_SCHAR;
    case kHalf: case kVecHalf: return H5T_NATIVE_SHORT;  // the bits, unconverted
    case kFloat32: case kVecFloat32: return H5T_NATIVE_FLOAT;
    default: return H5T_NATIVE_DOUBLE;
  }
}
size_t scalarBytes(int type) { return type == kUint8 ? 1 : (type == kHalf || type == kVecHalf ? 2 : (type == kFloat32 || type == kVecFloat32 ? 4 : 8)); }

class Hdf5TreeWriter : public TreeWriter {
 public:
  ~Hdf5TreeWriter() override { close(); }

  Node root() override { return 0; }
  Node group(Node parent, const std::string& name) override {
    nodes_.push_back(H5Gcreate2(nodes_[parent], name.c_str(), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT));
    return static_cast<Node>(nodes_.size() - 1);
  }
  void text(Node node, const std::string& name, const std::string& value) override {
    const hid_t type = H5Tcopy(H5T_C_S1);
    H5Tset_size(type, std::max<size_t>(value.size(), 1));
    H5Tset_strpad(type, H5T_STR_NULLTERM);
    const hid_t space = H5Screate(H5S_SCALAR);
    const hid_t attribute = H5Acreate2(nodes_[node], name.c_str(), type, space, H5P_DEFAULT, H5P_DEFAULT);
    std::string stored = value;
    stored.resize(std::max<size_t>(value.size(), 1), '\0');
    H5Awrite(attribute, type, stored.data());
    H5Aclose(attribute);
    H5Sclose(space);
    H5Tclose(type);
  }
  void integers(Node node, const std::string& name, const std::vector<long long>& values, int) override {
    const std::vector<int> narrow(values.begin(), values.end());
    attribute(node, name, H5T_STD_I32LE, H5T_NATIVE_INT, {values.size()}, narrow.data());
  }
  void reals(Node node, const std::string& name, const std::vector<double>& values, int type) override {
    if (type == kMatrix) {
      attribute(node, name, H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE, {4, 4}, values.data());
      return;
    }
    const std::vector<float> narrow(values.begin(), values.end());
    attribute(node, name, H5T_IEEE_F32LE, H5T_NATIVE_FLOAT, {values.size()}, narrow.data());
  }
  void values(Node node, const std::string& name, const std::vector<unsigned char>& bytes, int type) override {
    const hsize_t count = bytes.size() / scalarBytes(type);
    dataset(node, name, type, {count}, type == kUint8 ? 0 : std::min<hsize_t>(65536, std::max<hsize_t>(count, 1)),
            bytes.data());
  }
  void blocks(Node node, const std::string& name, const std::vector<std::vector<unsigned char>>& blocks,
              int type) override {
    if (blocks.empty()) return;  // no stored block: no dataset
    std::vector<unsigned char> rows;
    for (const auto& block : blocks) rows.insert(rows.end(), block.begin(), block.end());
    dataset(node, name, type, {blocks.size(), blocks.front().size() / scalarBytes(type)}, 0, rows.data());
  }
  bool finish() override {
    const bool written = file_ >= 0;
    close();
    return written;
  }

  bool open(const std::string& path) {
    const hid_t access = H5Pcreate(H5P_FILE_ACCESS);
    H5Pset_libver_bounds(access, H5F_LIBVER_LATEST, H5F_LIBVER_LATEST);
    file_ = H5Fcreate(path.c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access);
    H5Pclose(access);
    if (file_ < 0) return false;
    nodes_.push_back(H5Gopen2(file_, "/", H5P_DEFAULT));
    return true;
  }

 private:
  void attribute(Node node, const std::string& name, hid_t stored, hid_t memory, std::vector<hsize_t> dims,
                 const void* data) {
    const hid_t space = H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr);
    const hid_t attribute = H5Acreate2(nodes_[node], name.c_str(), stored, space, H5P_DEFAULT, H5P_DEFAULT);
    H5Awrite(attribute, memory, data);
    H5Aclose(attribute);
    H5Sclose(space);
  }

  // A dataset of `dims`; chunked along its rows (chunkLength 0: one row per chunk for a table,
  // contiguous for a plain array) and deflated when chunked.
  void dataset(Node node, const std::string& name, int type, std::vector<hsize_t> dims, hsize_t chunkLength,
               const void* data) {
    const hid_t space = H5Screate_simple(static_cast<int>(dims.size()), dims.data(), nullptr);
    const hid_t create = H5Pcreate(H5P_DATASET_CREATE);
    std::vector<hsize_t> chunk = dims;
    if (dims.size() == 2) chunk[0] = 1;
    if (dims.size() == 1) chunk[0] = chunkLength;
    if (chunk[0] > 0 && dims[0] > 0) {
      H5Pset_chunk(create, static_cast<int>(chunk.size()), chunk.data());
      H5Pset_deflate(create, 9);
    }
    const hid_t set = H5Dcreate2(nodes_[node], name.c_str(), fileType(type), space, H5P_DEFAULT, create, H5P_DEFAULT);
    H5Dwrite(set, memoryType(type), H5S_ALL, H5S_ALL, H5P_DEFAULT, data);
    H5Dclose(set);
    H5Pclose(create);
    H5Sclose(space);
  }

  void close() {
    for (hid_t node : nodes_) H5Gclose(node);
    nodes_.clear();
    if (file_ >= 0) H5Fclose(file_);
    file_ = -1;
  }

  hid_t file_ = -1;
  std::vector<hid_t> nodes_;
};

}  // namespace

std::unique_ptr<TreeWriter> MakeHdf5Writer(const std::string& path) {
  auto writer = std::make_unique<Hdf5TreeWriter>();
  return writer->open(path) ? std::move(writer) : nullptr;
}

}  // namespace orv::field3d
