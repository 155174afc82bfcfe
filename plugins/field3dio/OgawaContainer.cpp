#include "plugins/field3dio/OgawaContainer.h"

#include <algorithm>
#include <cstring>

#include "codecs/ByteCursor.h"

namespace Field3dIo {

namespace {

// Field3D's type codes of attribute and dataset values.
enum TypeCode {
  kInt8 = 0, kUint8, kInt16, kUint16, kInt32, kUint32, kInt64, kUint64,
  kHalf, kFloat32, kFloat64, kVecHalf, kVecFloat32, kVecFloat64, kVecInt32, kMatrix, kString
};

// Longest node name and attribute value accepted: far beyond any Field3D writes, small enough that
// a damaged length cannot make a lookup expensive.
constexpr uint64_t kMaxNameBytes = 4096;
constexpr uint64_t kMaxAttributeBytes = 1 << 16;

// Byte width of the integer codes, 0 for the others.
int integerWidth(int code) {
  switch (code) {
    case kInt8: case kUint8: return 1;
    case kInt16: case kUint16: return 2;
    case kInt32: case kUint32: case kVecInt32: return 4;
    case kInt64: case kUint64: return 8;
    default: return 0;
  }
}

bool isSigned(int code) { return code == kInt8 || code == kInt16 || code == kInt32 || code == kInt64 || code == kVecInt32; }

// Scalar kind and components of the value codes of voxel data and block tables.
bool valueType(int code, ScalarKind& scalar, int& components) {
  components = code >= kVecHalf && code <= kVecFloat64 ? 3 : 1;
  switch (code) {
    case kInt8: case kUint8: scalar = ScalarKind::Byte; return true;
    case kHalf: case kVecHalf: scalar = ScalarKind::Half; return true;
    case kFloat32: case kVecFloat32: scalar = ScalarKind::Float; return true;
    case kFloat64: case kVecFloat64: scalar = ScalarKind::Double; return true;
    default: return false;
  }
}

uint64_t littleEndian(const unsigned char* bytes, int width) {
  uint64_t value = 0;
  for (int b = width - 1; b >= 0; --b) value = (value << 8) | bytes[b];
  return value;
}

}  // namespace

OgawaContainer::OgawaContainer(std::unique_ptr<ByteSource> source)
    : source_(std::move(source)), archive_(*source_) {}

OgawaArchive::Status OgawaContainer::open(std::string& reason) {
  const OgawaArchive::Status status = archive_.open(reason);
  if (status != OgawaArchive::Status::Ok) return status;
  nodes_.emplace_back(archive_.root());
  claimed_.insert(archive_.root());
  return status;
}

bool OgawaContainer::readCode(uint64_t ref, int& out) {
  unsigned char bytes[4];
  uint64_t length = 0;
  if (!OgawaArchive::IsData(ref) || !archive_.dataLength(ref, length) || length != 4 ||
      !archive_.readData(ref, bytes, 4)) {
    return false;
  }
  out = static_cast<int>(littleEndian(bytes, 4));
  return true;
}

bool OgawaContainer::index(NodeId id) {
  if (id < 0 || id >= static_cast<NodeId>(nodes_.size())) return fail("no such node");
  if (nodes_[id].indexed) return true;
  std::vector<uint64_t> refs;
  uint64_t count = 0;
  if (!archive_.children(nodes_[id].ref, UINT64_MAX, refs, count)) {
    return fail("a group record lies outside the file");
  }
  std::vector<Child> children;
  for (size_t c = 2; c < refs.size(); ++c) {
    const uint64_t ref = refs[c];
    if (OgawaArchive::IsData(ref) || ref == 0 || claimed_.count(ref)) continue;
    // A node: its name and kind come first, both data.
    std::vector<uint64_t> head;
    uint64_t headCount = 0;
    if (!archive_.children(ref, 2, head, headCount)) return fail("a group record lies outside the file");
    uint64_t nameLength = 0;
    Child child{std::string(), -1, ref, -1};
    if (head.size() < 2 || !OgawaArchive::IsData(head[0]) || !archive_.dataLength(head[0], nameLength) ||
        nameLength > kMaxNameBytes || !readCode(head[1], child.kind)) {
      continue;  // not a node
    }
    child.name.resize(static_cast<size_t>(nameLength));
    if (!archive_.readData(head[0], &child.name[0], nameLength)) return fail("a name lies outside the file");
    claimed_.insert(ref);
    children.push_back(std::move(child));
  }
  nodes_[id].children = std::move(children);
  nodes_[id].indexed = true;
  return true;
}

OgawaContainer::Child* OgawaContainer::find(NodeId node, const char* name, int kind) {
  if (!index(node)) return nullptr;
  for (Child& child : nodes_[node].children) {
    if (child.kind == kind && child.name == name) return &child;
  }
  return nullptr;
}

NodeId OgawaContainer::nodeOf(Child& child) {
  if (child.node < 0) {
    child.node = static_cast<NodeId>(nodes_.size());
    nodes_.emplace_back(child.ref);
  }
  return child.node;
}

bool OgawaContainer::groups(NodeId group, std::vector<NamedGroup>& out) {
  out.clear();
  if (!index(group)) return false;
  for (size_t c = 0; c < nodes_[group].children.size(); ++c) {
    if (nodes_[group].children[c].kind != kGroup) continue;
    const NodeId id = nodeOf(nodes_[group].children[c]);  // may grow nodes_
    out.push_back(NamedGroup{nodes_[group].children[c].name, id});
  }
  return true;
}

bool OgawaContainer::findGroup(NodeId parent, const char* name, NodeId& out) {
  Child* child = find(parent, name, kGroup);
  if (!child) return false;
  out = nodeOf(*child);
  return true;
}

bool OgawaContainer::readTyped(NodeId node, const char* name, bool dataset, Typed& out) {
  const Child* child = find(node, name, kAttribute);
  if (dataset) {
    child = find(node, name, kDataset);
    if (!child) child = find(node, name, kCompressedDataset);
  }
  if (!child) return false;
  std::vector<uint64_t> refs;
  uint64_t count = 0;
  if (!archive_.children(child->ref, dataset ? UINT64_MAX : 4, refs, count)) {
    return fail("a group record lies outside the file");
  }
  if (refs.size() < 3 || !readCode(refs[2], out.typeCode)) return fail(std::string("node ") + name + " has no type");
  out.kind = child->kind;
  out.values.assign(refs.begin() + 3, refs.end());
  for (uint64_t ref : out.values) {
    if (!OgawaArchive::IsData(ref)) return fail(std::string("node ") + name + " holds a group as a value");
  }
  return true;
}

bool OgawaContainer::attribute(NodeId node, const char* name, int& typeCode,
                               std::vector<unsigned char>& value) {
  Typed typed;
  if (!readTyped(node, name, false, typed)) return false;
  uint64_t length = 0;
  if (typed.values.empty()) return fail(std::string("attribute ") + name + " has no value");
  if (!archive_.dataLength(typed.values[0], length)) return fail("an attribute value lies outside the file");
  if (length > kMaxAttributeBytes) return fail(std::string("attribute ") + name + " is too long");
  value.resize(static_cast<size_t>(length));
  typeCode = typed.typeCode;
  return archive_.readData(typed.values[0], value.data(), length) || fail("an attribute value lies outside the file");
}

bool OgawaContainer::hasAttribute(NodeId node, const char* name) { return find(node, name, kAttribute) != nullptr; }

bool OgawaContainer::integers(NodeId node, const char* name, long long* out, int count) {
  int code = -1;
  std::vector<unsigned char> value;
  if (!attribute(node, name, code, value)) return false;
  const int width = integerWidth(code);
  const int stored = code == kVecInt32 ? 3 : 1;
  if (width == 0 || stored != count || value.size() != static_cast<size_t>(width) * count) {
    return fail(std::string("attribute ") + name + " is not " + std::to_string(count) + " integer(s)");
  }
  for (int v = 0; v < count; ++v) {
    const uint64_t bits = littleEndian(value.data() + v * width, width);
    if (isSigned(code) && width < 8 && (bits >> (8 * width - 1)) != 0) {
      out[v] = static_cast<long long>(bits) - (1ll << (8 * width));
    } else {
      out[v] = static_cast<long long>(bits);
    }
  }
  return true;
}

bool OgawaContainer::reals(NodeId node, const char* name, double* out, int count) {
  int code = -1;
  std::vector<unsigned char> value;
  if (!attribute(node, name, code, value)) return false;
  const int stored = code == kMatrix ? 16 : (code == kVecFloat32 || code == kVecFloat64 ? 3 : 1);
  const int width = code == kFloat32 || code == kVecFloat32 ? 4 : (code == kFloat64 || code == kVecFloat64 || code == kMatrix ? 8 : 0);
  if (width == 0 || stored != count || value.size() != static_cast<size_t>(width) * count) {
    return fail(std::string("attribute ") + name + " is not " + std::to_string(count) + " real(s)");
  }
  for (int v = 0; v < count; ++v) {
    const uint64_t bits = littleEndian(value.data() + v * width, width);
    if (width == 4) {
      const uint32_t narrow = static_cast<uint32_t>(bits);
      float f;
      std::memcpy(&f, &narrow, 4);
      out[v] = f;
    } else {
      std::memcpy(&out[v], &bits, 8);
    }
  }
  return true;
}

bool OgawaContainer::text(NodeId node, const char* name, std::string& out) {
  int code = -1;
  std::vector<unsigned char> value;
  if (!attribute(node, name, code, value)) return false;
  if (code != kString) return fail(std::string("attribute ") + name + " is not a string");
  out.assign(value.begin(), value.end());
  return true;
}

bool OgawaContainer::describe(NodeId node, const char* name, DatasetShape& out) {
  Typed typed;
  if (!readTyped(node, name, true, typed)) return false;
  out = DatasetShape();
  if (!valueType(typed.typeCode, out.scalar, out.typeComponents)) {
    return fail(std::string("dataset ") + name + " has type code " + std::to_string(typed.typeCode));
  }
  out.elements = typed.values.size();
  out.compressed = typed.kind == kCompressedDataset;
  if (out.compressed) return true;
  uint64_t total = 0;
  for (uint64_t ref : typed.values) {
    uint64_t length = 0;
    if (!archive_.dataLength(ref, length)) return fail(std::string("dataset ") + name + " lies outside the file");
    if (length > source_->size() - total) return fail(std::string("dataset ") + name + " is larger than the file");
    total += length;
  }
  const uint64_t valueBytes = static_cast<uint64_t>(ScalarBytes(out.scalar)) * out.typeComponents;
  if (total % valueBytes != 0) return fail(std::string("dataset ") + name + " ends inside a value");
  out.scalars = total / ScalarBytes(out.scalar);
  return true;
}

bool OgawaContainer::readValues(NodeId node, const char* name, unsigned long long first,
                                unsigned long long count, void* out) {
  Typed typed;
  DatasetShape shape;
  if (!describe(node, name, shape) || !readTyped(node, name, true, typed)) return false;
  if (shape.compressed) return fail(std::string("dataset ") + name + " is compressed");
  if (first > shape.scalars || count > shape.scalars - first) {
    return fail(std::string("dataset ") + name + " holds fewer values than asked for");
  }
  // Bytes [begin, end) of the elements taken back to back.
  const uint64_t width = static_cast<uint64_t>(ScalarBytes(shape.scalar));
  const uint64_t begin = first * width, end = (first + count) * width;
  unsigned char* at = static_cast<unsigned char*>(out);
  uint64_t elementStart = 0;
  for (uint64_t ref : typed.values) {
    uint64_t length = 0;
    if (!archive_.dataLength(ref, length)) return fail(std::string("dataset ") + name + " lies outside the file");
    const uint64_t from = std::max(begin, elementStart), to = std::min(end, elementStart + length);
    if (from < to && !archive_.readDataPart(ref, from - elementStart, at + (from - begin), to - from)) {
      return fail(std::string("dataset ") + name + " lies outside the file");
    }
    elementStart += length;
  }
  return true;
}

bool OgawaContainer::readBlocks(NodeId node, const char* name, StoredBlocks& out) {
  Typed typed;
  if (!readTyped(node, name, true, typed)) return false;
  out = StoredBlocks();
  out.compressed = typed.kind == kCompressedDataset;
  out.offsets.reserve(typed.values.size() + 1);
  out.offsets.push_back(0);
  uint64_t total = 0;
  for (uint64_t ref : typed.values) {
    uint64_t length = 0;
    // Elements sharing one record could otherwise add up to far more than the file holds.
    if (!archive_.dataLength(ref, length) || length > source_->size() - total) {
      return fail(std::string("block table ") + name + " is larger than the file");
    }
    total += length;
    out.offsets.push_back(static_cast<size_t>(total));
  }
  out.bytes.resize(static_cast<size_t>(total));
  for (size_t e = 0; e < typed.values.size(); ++e) {
    const size_t length = out.offsets[e + 1] - out.offsets[e];
    if (!archive_.readData(typed.values[e], out.bytes.data() + out.offsets[e], length)) {
      return fail(std::string("block table ") + name + " lies outside the file");
    }
  }
  return true;
}

}  // namespace Field3dIo
