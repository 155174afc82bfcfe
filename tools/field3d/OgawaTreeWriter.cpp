// Field3D's tree as an Ogawa file: every object a group whose first two children are its name
// and kind; data records written as they come, each group after its children, the root last and
// its offset and the frozen byte put into the header at the end (or left 0 for an unfinished file).
#include <zlib.h>

#include <cstdio>
#include <cstring>

#include "tools/field3d/TreeWriter.h"

namespace orv::field3d {

namespace {

enum NodeKind { kGroupNode = 0, kAttributeNode = 1, kDatasetNode = 2, kCompressedNode = 3 };

class OgawaTreeWriter : public TreeWriter {
 public:
  OgawaTreeWriter(const std::string& path, bool unfinished, std::vector<unsigned char>* bytes)
      : path_(path), unfinished_(unfinished), bytes_(bytes) {
    nodes_.push_back(Entry{"f3droot", kGroupNode, -1, {}, {}});
  }

  Node root() override { return 0; }
  Node group(Node parent, const std::string& name) override { return add(parent, name, kGroupNode, -1, {}); }
  void text(Node node, const std::string& name, const std::string& value) override {
    add(node, name, kAttributeNode, kString, {std::vector<unsigned char>(value.begin(), value.end())});
  }
  void integers(Node node, const std::string& name, const std::vector<long long>& values, int type) override {
    const int width = type == kUint8 ? 1 : 4;
    std::vector<unsigned char> value;
    for (long long v : values) {
      for (int b = 0; b < width; ++b) value.push_back(static_cast<unsigned char>(static_cast<unsigned long long>(v) >> (8 * b)));
    }
    add(node, name, kAttributeNode, type, {value});
  }
  void reals(Node node, const std::string& name, const std::vector<double>& values, int type) override {
    std::vector<unsigned char> value;
    for (double v : values) {
      unsigned char bytes[8];
      if (type == kFloat32) {
        const float f = static_cast<float>(v);
        std::memcpy(bytes, &f, 4);
        value.insert(value.end(), bytes, bytes + 4);
      } else {
        std::memcpy(bytes, &v, 8);
        value.insert(value.end(), bytes, bytes + 8);
      }
    }
    add(node, name, kAttributeNode, type, {value});
  }
  void values(Node node, const std::string& name, const std::vector<unsigned char>& bytes, int type) override {
    add(node, name, kDatasetNode, type, {bytes});
  }
  void blocks(Node node, const std::string& name, const std::vector<std::vector<unsigned char>>& blocks,
              int type) override {
    std::vector<std::vector<unsigned char>> streams;
    for (const std::vector<unsigned char>& block : blocks) {
      uLongf length = compressBound(block.size());
      std::vector<unsigned char> stream(length);
      compress2(stream.data(), &length, block.data(), block.size(), 1);
      stream.resize(length);
      streams.push_back(std::move(stream));
    }
    add(node, name, kCompressedNode, type, streams);
  }

  bool finish() override {
    std::vector<unsigned char> out(16, 0);
    std::memcpy(out.data(), "Ogawa", 5);
    out[5] = unfinished_ ? 0x00 : 0xff;
    out[7] = 1;
    const uint64_t root = writeNode(out, 0);
    if (!unfinished_) {
      for (int b = 0; b < 8; ++b) out[8 + b] = static_cast<unsigned char>(root >> (8 * b));
    }
    if (bytes_) *bytes_ = out;
    if (path_.empty()) return true;
    std::FILE* file = std::fopen(path_.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && written;
  }

 private:
  struct Entry {
    std::string name;
    int kind;
    int type;
    std::vector<std::vector<unsigned char>> values;
    std::vector<Node> children;
  };

  Node add(Node parent, const std::string& name, int kind, int type, std::vector<std::vector<unsigned char>> values) {
    nodes_.push_back(Entry{name, kind, type, std::move(values), {}});
    const Node node = static_cast<Node>(nodes_.size() - 1);
    nodes_[parent].children.push_back(node);
    return node;
  }

  static void u64(std::vector<unsigned char>& out, uint64_t value) {
    for (int b = 0; b < 8; ++b) out.push_back(static_cast<unsigned char>(value >> (8 * b)));
  }
  static uint64_t data(std::vector<unsigned char>& out, const std::vector<unsigned char>& bytes) {
    if (bytes.empty()) return 1ull << 63;
    const uint64_t at = out.size();
    u64(out, bytes.size());
    out.insert(out.end(), bytes.begin(), bytes.end());
    return at | (1ull << 63);
  }
  static std::vector<unsigned char> int32(int value) {
    return {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value >> 16),
            static_cast<unsigned char>(value >> 24)};
  }

  uint64_t writeNode(std::vector<unsigned char>& out, Node node) {
    const Entry& entry = nodes_[node];
    std::vector<uint64_t> refs;
    refs.push_back(data(out, std::vector<unsigned char>(entry.name.begin(), entry.name.end())));
    refs.push_back(data(out, int32(entry.kind)));
    if (entry.kind != kGroupNode) {
      refs.push_back(data(out, int32(entry.type)));
      for (const std::vector<unsigned char>& value : entry.values) refs.push_back(data(out, value));
    }
    for (Node child : entry.children) refs.push_back(writeNode(out, child));
    const uint64_t at = out.size();
    u64(out, refs.size());
    for (uint64_t ref : refs) u64(out, ref);
    return at;
  }

  std::string path_;
  bool unfinished_;
  std::vector<unsigned char>* bytes_;
  std::vector<Entry> nodes_;
};

}  // namespace

std::unique_ptr<TreeWriter> MakeOgawaWriter(const std::string& path, bool unfinished, std::vector<unsigned char>* bytes) {
  return std::make_unique<OgawaTreeWriter>(path, unfinished, bytes);
}

}  // namespace orv::field3d
