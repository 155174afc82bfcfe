#include "converter/VdbGrids.h"

#include <openvdb/io/File.h>

#include <atomic>
#include <fstream>

#include "converter/DenseGridBuilder.h"
#include "support/FramePattern.h"
#include "support/platform/Output.h"

namespace {

// io::File writes through a stream whose state it never checks after the data, so a write that
// fails part-way (a full disk, an I/O error, a file-size limit) would pass as success. This writes
// the same bytes (the file layout with grid offsets that io::File uses) and reports such a failure
// as IoError.
class CheckedVdbFile : public openvdb::io::File {
 public:
  // shownName: the name errors give (the destination of a temporary file).
  CheckedVdbFile(const std::string& path, const std::string& shownName)
      : openvdb::io::File(path), shownName_(shownName) {}

  // Returns the bytes written.
  long long writeChecked(const openvdb::GridPtrVec& grids, const openvdb::MetaMap& metadata) const {
    std::ofstream stream(filename().c_str(),
                         std::ios_base::out | std::ios_base::binary | std::ios_base::trunc);
    if (stream.fail()) {
      OPENVDB_THROW(openvdb::IoError, "could not open " << shownName_ << " for writing: "
                                                        << orv::platform::LastSystemError());
    }
    openvdb::io::Archive::write(stream, grids, /*seekable=*/true, metadata);
    stream.flush();
    const long long written = stream.fail() ? -1 : static_cast<long long>(stream.tellp());
    stream.close();
    if (stream.fail() || written < 0) {
      OPENVDB_THROW(openvdb::IoError, "could not write all of "
                                          << shownName_ << ": "
                                          << orv::platform::LastSystemError());
    }
    return written;
  }

 private:
  std::string shownName_;
};

uint32_t compressionFlags(VdbCodec codec) {
  switch (codec) {
    case VdbCodec::Blosc:
      return openvdb::io::COMPRESS_BLOSC | openvdb::io::COMPRESS_ACTIVE_MASK;
    case VdbCodec::Zip:
      return openvdb::io::COMPRESS_ZIP | openvdb::io::COMPRESS_ACTIVE_MASK;
    default:
      return openvdb::io::COMPRESS_NONE;
  }
}

// A name beside destination that no other writer uses and that no file pattern of a renderer
// matches: hidden, with the process id, a sequence number and no .vdb ending.
std::string temporaryNameFor(const char* destination) {
  static std::atomic<unsigned> sequence{0};
  std::string fileName;
  const std::string directory = DirectoryPart(destination, &fileName);
  return directory + "." + fileName + "." + std::to_string(orv::platform::CurrentProcessId()) +
         "-" + std::to_string(sequence++) + ".part";
}

long long writeFile(const std::string& path, const std::string& shownName,
                    const openvdb::GridPtrVec& grids, const openvdb::MetaMap& metadata,
                    VdbCodec codec) {
  CheckedVdbFile file(path, shownName);
  if (codec != VdbCodec::LibraryDefault) file.setCompression(compressionFlags(codec));
  const long long written = file.writeChecked(grids, metadata);
  file.close();
  return written;
}

// Nodes of `span` voxels per axis needed to cover the box.
long long nodesCovering(const int size[3], long long span) {
  long long nodes = 1;
  for (int a = 0; a < 3; ++a) nodes *= (static_cast<long long>(size[a]) + span - 1) / span;
  return nodes;
}

bool emptyBox(const int size[3]) { return size[0] <= 0 || size[1] <= 0 || size[2] <= 0; }

template <typename TreeT>
long long gridBytes(const int size[3]) {
  using Upper = typename TreeT::RootNodeType::ChildNodeType;
  using Lower = typename Upper::ChildNodeType;
  using Leaf = typename Lower::ChildNodeType;
  using Value = typename TreeT::ValueType;
  if (emptyBox(size)) return 0;
  constexpr long long kAllocationOverhead = 16;  // per heap block: the node and its value buffer
  const long long leafBytes = sizeof(Leaf) + Leaf::SIZE * sizeof(Value) + 2 * kAllocationOverhead;
  return nodesCovering(size, Leaf::DIM) * leafBytes +
         nodesCovering(size, Lower::DIM) * static_cast<long long>(sizeof(Lower)) +
         nodesCovering(size, Upper::DIM) * static_cast<long long>(sizeof(Upper));
}

}  // namespace

long long DenseGridBytes(const int size[3], int components) {
  return components == 3 ? gridBytes<openvdb::Vec3STree>(size) : gridBytes<openvdb::FloatTree>(size);
}

long long GridTeardownBytes(const int size[3]) {
  constexpr long long kMargin = 8ll << 20;
  if (emptyBox(size)) return kMargin;
  return nodesCovering(size, openvdb::FloatTree::LeafNodeType::DIM) * 8 + kMargin;
}

openvdb::FloatGrid::Ptr BuildFloatGrid(const char* name, const float* values, const int size[3]) {
  openvdb::FloatGrid::Ptr grid = BuildDenseFloatGrid(values, size);
  grid->setName(name);
  return grid;
}

openvdb::math::Transform::Ptr MakeIndexToWorld(const IndexToWorldMatrix& matrix) {
  openvdb::Mat4d indexToWorld;  // starts as the identity
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) indexToWorld(r, c) = matrix.m[r][c];
  }
  return openvdb::math::Transform::createLinearTransform(indexToWorld);
}

void AssignIndexToWorld(openvdb::GridPtrVec& grids, const IndexToWorldMatrix& matrix) {
  for (openvdb::GridBase::Ptr& grid : grids) grid->setTransform(MakeIndexToWorld(matrix));
}

long long WriteVdbFile(const char* destination, const openvdb::GridPtrVec& grids,
                       const VdbWriteOptions& options) {
  openvdb::MetaMap fileMetadata;
  fileMetadata.insertMeta("CorvaneVDBVer", openvdb::Int32Metadata(0));
  for (auto entry = options.extraMetadata.beginMeta(); entry != options.extraMetadata.endMeta();
       ++entry) {
    fileMetadata.insertMeta(entry->first, *entry->second);
  }
  if (!options.atomic) {
    return writeFile(destination, destination, grids, fileMetadata, options.codec);
  }

  const std::string temporary = temporaryNameFor(destination);
  try {
    const long long written = writeFile(temporary, destination, grids, fileMetadata, options.codec);
    long long onDisk = -1;
    if (!orv::platform::FileSizeBytes(temporary.c_str(), onDisk) || onDisk != written) {
      OPENVDB_THROW(openvdb::IoError, "only " << onDisk << " of " << written << " bytes of "
                                              << destination << " reached the disk");
    }
    std::string reason;
    if (!orv::platform::ReplaceFile(temporary.c_str(), destination, &reason)) {
      OPENVDB_THROW(openvdb::IoError,
                    "could not rename the written file to " << destination << ": " << reason);
    }
    return written;
  } catch (...) {
    orv::platform::RemoveFile(temporary.c_str());
    throw;
  }
}

bool ParseVdbCodec(const std::string& name, VdbCodec& codec) {
  if (name == "blosc")
    codec = VdbCodec::Blosc;
  else if (name == "zip")
    codec = VdbCodec::Zip;
  else if (name == "none")
    codec = VdbCodec::None;
  else
    return false;
  return true;
}
