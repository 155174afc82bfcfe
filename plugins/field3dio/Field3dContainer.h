// What the Field3D tree needs from a container, so that one interpretation serves both the HDF5
// and the Ogawa form of a .f3d file. A container offers named groups (in its stored order), typed
// attributes and datasets of little-endian values; names differ between the two forms (the
// interpretation asks for either), the access does not.
//
// Values are handed out exactly as stored: half floats as their 16-bit patterns, floats and doubles
// as IEEE values, flags as bytes, always little-endian. Every method returns false for a missing
// object or one of another shape; `reason()` then says what was wrong when it was a damaged file
// rather than a plain absence.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace Field3dIo {

enum class ScalarKind { None, Byte, Half, Float, Double };

// Bytes of one scalar of `kind`; 0 for None.
inline int ScalarBytes(ScalarKind kind) {
  switch (kind) {
    case ScalarKind::Byte: return 1;
    case ScalarKind::Half: return 2;
    case ScalarKind::Float: return 4;
    case ScalarKind::Double: return 8;
    default: return 0;
  }
}

// A group of the container; valid for the container's lifetime.
using NodeId = int;

struct NamedGroup {
  std::string name;
  NodeId node = -1;
};

// How a dataset stores its values.
struct DatasetShape {
  ScalarKind scalar = ScalarKind::None;
  // 3 when the container's element type is a vector of three scalars, 1 when it is a scalar, 0 when
  // the container does not say (HDF5 stores vectors as flat scalars).
  int typeComponents = 0;
  // Scalars held in all elements together; for compressed blocks, unknown until inflated (0).
  unsigned long long scalars = 0;
  // Stored elements: the rows of a block table (HDF5 rank 2) or the data children (Ogawa).
  unsigned long long elements = 0;
  bool compressed = false;  // each element is a zlib stream
};

// The elements of a block table, stored back to back: element r is bytes[offset[r], offset[r + 1]).
struct StoredBlocks {
  std::vector<unsigned char> bytes;
  std::vector<size_t> offsets;
  bool compressed = false;

  size_t count() const { return offsets.empty() ? 0 : offsets.size() - 1; }
};

class Field3dContainer {
 public:
  virtual ~Field3dContainer() = default;

  virtual NodeId root() = 0;
  // The sub-groups of `group` in stored order.
  virtual bool groups(NodeId group, std::vector<NamedGroup>& out) = 0;
  virtual bool findGroup(NodeId parent, const char* name, NodeId& out) = 0;

  virtual bool hasAttribute(NodeId node, const char* name) = 0;
  // Exactly `count` values of an integer attribute (any integer type).
  virtual bool integers(NodeId node, const char* name, long long* out, int count) = 0;
  // Exactly `count` values of a floating-point attribute (a 4x4 matrix is 16 values).
  virtual bool reals(NodeId node, const char* name, double* out, int count) = 0;
  virtual bool text(NodeId node, const char* name, std::string& out) = 0;

  virtual bool describe(NodeId node, const char* name, DatasetShape& out) = 0;
  // Scalars [first, first + count) of a dataset, its elements taken as one sequence. `describe`
  // tells the count and kind; a range past the end is refused.
  virtual bool readValues(NodeId node, const char* name, unsigned long long first, unsigned long long count,
                          void* out) = 0;
  // The elements of a block table.
  virtual bool readBlocks(NodeId node, const char* name, StoredBlocks& out) = 0;

  const std::string& reason() const { return reason_; }

 protected:
  bool fail(const std::string& why) {
    reason_ = why;
    return false;
  }
  std::string reason_;
};

}  // namespace Field3dIo
