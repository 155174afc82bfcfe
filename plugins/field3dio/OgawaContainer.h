// Field3D's tree stored in an Ogawa container. Every Field3D object is an Ogawa group (a node)
// whose first two children are data: its name and its kind (0 group, 1 attribute, 2 dataset,
// 3 compressed dataset). An attribute holds a type code and one value; a dataset a type code and
// one data child per element (one zlib stream per element when compressed).
//
// Each node's children are indexed once. A group record that a second parent (or the same parent
// twice) refers to is left out, so the tree the interpretation walks is a true tree: no cycle, and
// no record whose content is counted twice, whatever the file says.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "plugins/field3dio/ByteSource.h"
#include "plugins/field3dio/Field3dContainer.h"
#include "plugins/field3dio/OgawaArchive.h"

namespace Field3dIo {

class OgawaContainer : public Field3dContainer {
 public:
  // Takes the source; open() must succeed before anything else is asked.
  OgawaContainer(std::unique_ptr<ByteSource> source);
  OgawaArchive::Status open(std::string& reason);

  NodeId root() override { return 0; }
  bool groups(NodeId group, std::vector<NamedGroup>& out) override;
  bool findGroup(NodeId parent, const char* name, NodeId& out) override;
  bool hasAttribute(NodeId node, const char* name) override;
  bool integers(NodeId node, const char* name, long long* out, int count) override;
  bool reals(NodeId node, const char* name, double* out, int count) override;
  bool text(NodeId node, const char* name, std::string& out) override;
  bool describe(NodeId node, const char* name, DatasetShape& out) override;
  bool readValues(NodeId node, const char* name, unsigned long long first, unsigned long long count,
                  void* out) override;
  bool readBlocks(NodeId node, const char* name, StoredBlocks& out) override;

  enum Kind { kGroup = 0, kAttribute = 1, kDataset = 2, kCompressedDataset = 3 };

 private:
  struct Child {
    std::string name;
    int kind;
    uint64_t ref;
    NodeId node;  // -1 until the child is handed out as a group
  };
  struct Node {
    explicit Node(uint64_t ref) : ref(ref) {}
    uint64_t ref;
    bool indexed = false;
    std::vector<Child> children;
  };
  // A typed value node: its type code and the references of its value children.
  struct Typed {
    int kind = -1;
    int typeCode = -1;
    std::vector<uint64_t> values;
  };

  bool index(NodeId id);
  // The node id of a group child, made on first use.
  NodeId nodeOf(Child& child);
  Child* find(NodeId node, const char* name, int kind);
  // The type code and value children of the attribute or dataset node `name`.
  bool readTyped(NodeId node, const char* name, bool dataset, Typed& out);
  // The type code and the one value of an attribute, refused when longer than any attribute
  // Field3D writes.
  bool attribute(NodeId node, const char* name, int& typeCode, std::vector<unsigned char>& value);
  bool readCode(uint64_t ref, int& out);

  std::unique_ptr<ByteSource> source_;
  OgawaArchive archive_;
  std::vector<Node> nodes_;
  std::unordered_set<uint64_t> claimed_;
};

}  // namespace Field3dIo
