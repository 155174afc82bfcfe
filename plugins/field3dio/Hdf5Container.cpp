// Field3D's tree in an HDF5 file, read through libhdf5's C interface. Groups, attributes and
// datasets map one to one; only hard links are followed, so a file cannot send the reader to
// another file. Every HDF5 failure becomes a false result with HDF5's innermost message as the
// reason; HDF5 prints nothing.
#include <hdf5.h>

#include <cstring>
#include <vector>

#include "plugins/field3dio/Hdf5Access.h"

namespace Field3dIo {

namespace {

// A dataset may expand to at most this many times its stored bytes: deflate's own limit is about
// 1032, so a larger claim cannot be real data, and no read is sized by it.
constexpr unsigned long long kMaxExpansion = 1032;
constexpr size_t kMaxStringBytes = 1 << 16;

// Closes an HDF5 identifier when it leaves scope.
class Handle {
 public:
  Handle(hid_t id, herr_t (*close)(hid_t)) : id_(id), close_(close) {}
  ~Handle() {
    if (id_ >= 0) close_(id_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  hid_t get() const { return id_; }
  bool valid() const { return id_ >= 0; }
  hid_t release() {
    const hid_t id = id_;
    id_ = -1;
    return id;
  }

 private:
  hid_t id_;
  herr_t (*close_)(hid_t);
};

herr_t innermostMessage(unsigned n, const H5E_error2_t* error, void* data) {
  if (n == 0 && error && error->desc) *static_cast<std::string*>(data) = error->desc;
  return 0;
}

// HDF5's most specific message about the last failure on this thread.
std::string hdf5Message() {
  std::string message;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, innermostMessage, &message);
  H5Eclear2(H5E_DEFAULT);
  return message.empty() ? std::string("HDF5 failure") : message;
}

// Turns HDF5's automatic error printing off for this thread, and back on at the end.
class QuietErrors {
 public:
  QuietErrors() {
    H5Eget_auto2(H5E_DEFAULT, &function_, &data_);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
  }
  ~QuietErrors() { H5Eset_auto2(H5E_DEFAULT, function_, data_); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  H5E_auto2_t function_ = nullptr;
  void* data_ = nullptr;
};

struct StoredType {
  ScalarKind scalar = ScalarKind::None;
  hid_t memory = -1;  // the native type that reads the stored bits unchanged
};

StoredType storedType(hid_t type) {
  StoredType out;
  const H5T_class_t typeClass = H5Tget_class(type);
  const size_t size = H5Tget_size(type);
  const bool isSigned = typeClass == H5T_INTEGER && H5Tget_sign(type) == H5T_SGN_2;
  if (typeClass == H5T_INTEGER && size == 1) {
    out = {ScalarKind::Byte, isSigned ? H5T_NATIVE_SCHAR : H5T_NATIVE_UCHAR};
  } else if (typeClass == H5T_INTEGER && size == 2) {
    out = {ScalarKind::Half, isSigned ? H5T_NATIVE_SHORT : H5T_NATIVE_USHORT};  // half bits
  } else if (typeClass == H5T_FLOAT && size == 4) {
    out = {ScalarKind::Float, H5T_NATIVE_FLOAT};
  } else if (typeClass == H5T_FLOAT && size == 8) {
    out = {ScalarKind::Double, H5T_NATIVE_DOUBLE};
  }
  return out;
}

herr_t collectHardLink(hid_t, const char* name, const H5L_info_t* info, void* data) {
  if (info && info->type == H5L_TYPE_HARD) static_cast<std::vector<std::string>*>(data)->push_back(name);
  return 0;
}

class Hdf5Container : public Field3dContainer {
 public:
  explicit Hdf5Container(hid_t file) : file_(file) { nodes_.push_back(H5Gopen2(file, "/", H5P_DEFAULT)); }
  ~Hdf5Container() override {
    for (hid_t node : nodes_) {
      if (node >= 0) H5Gclose(node);
    }
    H5Fclose(file_);
  }

  bool rootOpen() const { return nodes_[0] >= 0; }

  NodeId root() override { return 0; }

  bool groups(NodeId group, std::vector<NamedGroup>& out) override {
    out.clear();
    if (!valid(group)) return false;
    std::vector<std::string> names;
    hsize_t position = 0;
    if (H5Literate(nodes_[group], H5_INDEX_NAME, H5_ITER_NATIVE, &position, collectHardLink, &names) < 0) {
      return fail(hdf5Message());
    }
    for (const std::string& name : names) {
      const NodeId id = openGroup(group, name.c_str());
      if (id >= 0) out.push_back(NamedGroup{name, id});
    }
    return true;
  }

  bool findGroup(NodeId parent, const char* name, NodeId& out) override {
    if (!valid(parent) || !hardLink(nodes_[parent], name)) return false;
    out = openGroup(parent, name);
    return out >= 0;
  }

  bool hasAttribute(NodeId node, const char* name) override {
    return valid(node) && H5Aexists(nodes_[node], name) > 0;
  }

  bool integers(NodeId node, const char* name, long long* out, int count) override {
    return readNumbers(node, name, H5T_INTEGER, H5T_NATIVE_LLONG, out, count);
  }

  bool reals(NodeId node, const char* name, double* out, int count) override {
    return readNumbers(node, name, H5T_FLOAT, H5T_NATIVE_DOUBLE, out, count);
  }

  bool text(NodeId node, const char* name, std::string& out) override {
    if (!hasAttribute(node, name)) return false;
    Handle attribute(H5Aopen(nodes_[node], name, H5P_DEFAULT), H5Aclose);
    Handle type(attribute.valid() ? H5Aget_type(attribute.get()) : -1, H5Tclose);
    Handle space(attribute.valid() ? H5Aget_space(attribute.get()) : -1, H5Sclose);
    if (!type.valid() || !space.valid()) return fail(hdf5Message());
    if (H5Tget_class(type.get()) != H5T_STRING || H5Sget_simple_extent_npoints(space.get()) != 1) {
      return fail(std::string("attribute ") + name + " is not a string");
    }
    if (H5Tis_variable_str(type.get()) > 0) {
      Handle memory(H5Tcopy(H5T_C_S1), H5Tclose);
      char* value = nullptr;
      if (H5Tset_size(memory.get(), H5T_VARIABLE) < 0 || H5Aread(attribute.get(), memory.get(), &value) < 0) {
        return fail(hdf5Message());
      }
      out = value ? value : "";
      H5free_memory(value);
      return true;
    }
    // Field3D stores exactly the characters, without a terminator: read them into one more byte.
    const size_t size = H5Tget_size(type.get());
    if (size == 0 || size > kMaxStringBytes) return fail(std::string("attribute ") + name + " is too long");
    Handle memory(H5Tcopy(H5T_C_S1), H5Tclose);
    std::vector<char> value(size + 1, '\0');
    if (H5Tset_size(memory.get(), size + 1) < 0 || H5Tset_strpad(memory.get(), H5T_STR_NULLTERM) < 0 ||
        H5Aread(attribute.get(), memory.get(), value.data()) < 0) {
      return fail(hdf5Message());
    }
    out.assign(value.data());
    return true;
  }

  bool describe(NodeId node, const char* name, DatasetShape& out) override {
    Dataset dataset;
    if (!openDataset(node, name, dataset) || !within(dataset, name)) return false;
    out = DatasetShape();
    out.scalar = dataset.type.scalar;
    out.scalars = dataset.points;
    out.elements = dataset.rank == 2 ? dataset.dims[0] : 1;
    return true;
  }

  bool readValues(NodeId node, const char* name, unsigned long long first, unsigned long long count,
                  void* out) override {
    Dataset dataset;
    if (!openDataset(node, name, dataset) || !within(dataset, name)) return false;
    if (first > dataset.points || count > dataset.points - first) {
      return fail(std::string("dataset ") + name + " holds fewer values than asked for");
    }
    if (count == 0) return true;
    if (first == 0 && count == dataset.points) return read(dataset, name, out);
    if (dataset.rank != 1) return fail(std::string("dataset ") + name + " cannot be read in parts");
    Handle fileSpace(H5Dget_space(dataset.id), H5Sclose);
    const hsize_t start = first, length = count;
    Handle memorySpace(H5Screate_simple(1, &length, nullptr), H5Sclose);
    if (!fileSpace.valid() || !memorySpace.valid() ||
        H5Sselect_hyperslab(fileSpace.get(), H5S_SELECT_SET, &start, nullptr, &length, nullptr) < 0 ||
        H5Dread(dataset.id, dataset.type.memory, memorySpace.get(), fileSpace.get(), H5P_DEFAULT, out) < 0) {
      return fail(hdf5Message());
    }
    return true;
  }

  bool readBlocks(NodeId node, const char* name, StoredBlocks& out) override {
    Dataset dataset;
    if (!openDataset(node, name, dataset)) return false;
    if (dataset.rank != 2) return fail(std::string("block table ") + name + " is not two-dimensional");
    out = StoredBlocks();
    const unsigned long long rowBytes = dataset.dims[1] * ScalarBytes(dataset.type.scalar);
    if (!within(dataset, name)) return false;
    out.bytes.resize(static_cast<size_t>(dataset.points * ScalarBytes(dataset.type.scalar)));
    out.offsets.resize(static_cast<size_t>(dataset.dims[0] + 1));
    for (size_t r = 0; r < out.offsets.size(); ++r) out.offsets[r] = static_cast<size_t>(r * rowBytes);
    return read(dataset, name, out.bytes.data());
  }

 private:
  struct Dataset {
    hid_t id = -1;
    StoredType type;
    int rank = 0;
    hsize_t dims[2] = {0, 0};
    unsigned long long points = 0;
    ~Dataset() {
      if (id >= 0) H5Dclose(id);
    }
  };

  bool valid(NodeId node) const { return node >= 0 && node < static_cast<NodeId>(nodes_.size()) && nodes_[node] >= 0; }

  bool hardLink(hid_t parent, const char* name) {
    H5L_info_t info;
    return H5Lexists(parent, name, H5P_DEFAULT) > 0 && H5Lget_info(parent, name, &info, H5P_DEFAULT) >= 0 &&
           info.type == H5L_TYPE_HARD;
  }

  // Opens child `name` of `parent` when it is a group; its node id, or -1.
  NodeId openGroup(NodeId parent, const char* name) {
    Handle object(H5Oopen(nodes_[parent], name, H5P_DEFAULT), H5Oclose);
    if (!object.valid() || H5Iget_type(object.get()) != H5I_GROUP) {
      H5Eclear2(H5E_DEFAULT);
      return -1;
    }
    nodes_.push_back(object.release());
    return static_cast<NodeId>(nodes_.size() - 1);
  }

  bool openDataset(NodeId node, const char* name, Dataset& out) {
    if (!valid(node) || !hardLink(nodes_[node], name)) return false;
    Handle object(H5Oopen(nodes_[node], name, H5P_DEFAULT), H5Oclose);
    if (!object.valid() || H5Iget_type(object.get()) != H5I_DATASET) {
      H5Eclear2(H5E_DEFAULT);
      return false;
    }
    out.id = object.release();
    Handle type(H5Dget_type(out.id), H5Tclose);
    Handle space(H5Dget_space(out.id), H5Sclose);
    if (!type.valid() || !space.valid()) return fail(hdf5Message());
    out.type = storedType(type.get());
    if (out.type.scalar == ScalarKind::None) return fail(std::string("dataset ") + name + " has an unsupported type");
    out.rank = H5Sget_simple_extent_ndims(space.get());
    if (out.rank < 1 || out.rank > 2 || H5Sget_simple_extent_dims(space.get(), out.dims, nullptr) < 0) {
      return fail(std::string("dataset ") + name + " has an unsupported shape");
    }
    const hssize_t points = H5Sget_simple_extent_npoints(space.get());
    if (points < 0) return fail(hdf5Message());
    out.points = static_cast<unsigned long long>(points);
    return true;
  }

  // True when the dataset's values may be read: their size is bounded by what the file stores.
  bool within(const Dataset& dataset, const char* name) {
    const unsigned long long bytes = dataset.points * ScalarBytes(dataset.type.scalar);
    const unsigned long long stored = H5Dget_storage_size(dataset.id);
    if (bytes / kMaxExpansion > stored || bytes > static_cast<unsigned long long>(SIZE_MAX / 2)) {
      return fail(std::string("dataset ") + name + " claims more values than the file stores");
    }
    return true;
  }

  bool read(const Dataset& dataset, const char* name, void* out) {
    if (!within(dataset, name)) return false;
    if (dataset.points == 0) return true;
    return H5Dread(dataset.id, dataset.type.memory, H5S_ALL, H5S_ALL, H5P_DEFAULT, out) >= 0 || fail(hdf5Message());
  }

  template <typename T>
  bool readNumbers(NodeId node, const char* name, H5T_class_t wanted, hid_t memory, T* out, int count) {
    if (!hasAttribute(node, name)) return false;
    Handle attribute(H5Aopen(nodes_[node], name, H5P_DEFAULT), H5Aclose);
    Handle type(attribute.valid() ? H5Aget_type(attribute.get()) : -1, H5Tclose);
    Handle space(attribute.valid() ? H5Aget_space(attribute.get()) : -1, H5Sclose);
    if (!type.valid() || !space.valid()) return fail(hdf5Message());
    if (H5Tget_class(type.get()) != wanted || H5Sget_simple_extent_npoints(space.get()) != count) {
      return fail(std::string("attribute ") + name + " does not hold " + std::to_string(count) + " value(s)");
    }
    return H5Aread(attribute.get(), memory, out) >= 0 || fail(hdf5Message());
  }

  QuietErrors quiet_;
  hid_t file_;
  std::vector<hid_t> nodes_;
};

std::unique_ptr<Field3dContainer> openWith(const char* name, hid_t access, std::string& reason) {
  auto quiet = std::make_unique<QuietErrors>();
  const hid_t file = H5Fopen(name, H5F_ACC_RDONLY, access);
  if (file < 0) {
    reason = hdf5Message();
    return nullptr;
  }
  quiet.reset();  // the container keeps its own
  auto container = std::make_unique<Hdf5Container>(file);
  if (!container->rootOpen()) {
    reason = hdf5Message();
    return nullptr;
  }
  return container;
}

}  // namespace

bool Hdf5Available() { return true; }

std::unique_ptr<Field3dContainer> OpenHdf5File(const char* path, std::string& reason) {
  return openWith(path, H5P_DEFAULT, reason);
}

std::unique_ptr<Field3dContainer> OpenHdf5Image(const void* data, size_t size, std::string& reason) {
  hid_t made = -1;
  {
    QuietErrors quiet;  // only while the access list is made: the container keeps its own
    made = H5Pcreate(H5P_FILE_ACCESS);
    if (made < 0 || H5Pset_fapl_core(made, 1 << 16, 0) < 0 ||
        H5Pset_file_image(made, const_cast<void*>(data), size) < 0) {
      reason = hdf5Message();
      if (made >= 0) H5Pclose(made);
      return nullptr;
    }
  }
  Handle access(made, H5Pclose);
  return openWith("field3dio-image", access.get(), reason);
}

}  // namespace Field3dIo
