#include "plugins/openvdbio/VdbGridOrder.h"

#include <openvdb/io/Archive.h>
#include <openvdb/io/GridDescriptor.h>
#include <openvdb/openvdb.h>

#include <fstream>

namespace OpenVdbIo {

namespace {

// Walks the header, the file metadata and the grid descriptors the way a reader of the file
// layout does, skipping each grid's data by its stored end position.
class DescriptorWalk : public openvdb::io::Archive {
 public:
  std::vector<std::string> names(std::istream& stream) {
    std::vector<std::string> order;
    readHeader(stream);
    setFormatVersion(stream);
    setLibraryVersion(stream);
    setDataCompression(stream);
    openvdb::MetaMap fileMetadata;
    fileMetadata.readMeta(stream);
    if (!inputHasGridOffsets()) return order;
    const int32_t count = readGridCount(stream);
    for (int32_t g = 0; g < count && stream.good(); ++g) {
      openvdb::io::GridDescriptor descriptor;
      descriptor.read(stream);
      order.push_back(descriptor.gridName());
      descriptor.seekToEnd(stream);
    }
    if (!stream.good()) order.clear();
    return order;
  }
};

}  // namespace

std::vector<std::string> StoredGridOrder(const std::string& path) {
  try {
    std::ifstream stream(path, std::ios_base::in | std::ios_base::binary);
    if (!stream) return {};
    DescriptorWalk walk;
    return walk.names(stream);
  } catch (...) {
    return {};
  }
}

}  // namespace OpenVdbIo
