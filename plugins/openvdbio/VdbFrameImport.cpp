#include "plugins/openvdbio/VdbFrameImport.h"

#include <openvdb/io/File.h>

#include <map>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "plugins/MappedChannels.h"
#include "plugins/openvdbio/DenseGridCopy.h"
#include "plugins/openvdbio/VdbChannelCatalogue.h"
#include "plugins/openvdbio/VdbFrameLayout.h"
#include "plugins/openvdbio/VdbGridOrder.h"
#include "plugins/openvdbio/VdbImportCodes.h"
#include "support/FramePattern.h"
#include "support/Log.h"

namespace OpenVdbIo {

namespace {

struct Assignment {
  int channelId;
  const VdbChannel* source;
};

std::vector<Assignment> assignChannels(const VdbImportRequest& request,
                                       const std::vector<VdbChannel>& catalogue) {
  std::vector<Assignment> assignments;
  for (const auto& served : AssignMappedChannels<VdbChannel>(
           request.mappings, request.mappingCount, "openvdbio",
           [&](const char* name) { return FindChannel(catalogue, name); })) {
    assignments.push_back(Assignment{served.first, served.second});
  }
  return assignments;
}

// The grids the assignments read, each once, in first-use order.
std::vector<int> usedGrids(const std::vector<Assignment>& assignments) {
  std::vector<int> used;
  for (const Assignment& a : assignments) {
    bool seen = false;
    for (int g : used) seen = seen || g == a.source->gridIndex;
    if (!seen) used.push_back(a.source->gridIndex);
  }
  return used;
}

// The active voxel box recorded in a grid's descriptor, when the writer recorded one.
bool boxFromMetadata(const openvdb::GridBase& grid, openvdb::CoordBBox& box) {
  const auto low = grid.getMetadata<openvdb::Vec3IMetadata>(openvdb::GridBase::META_FILE_BBOX_MIN);
  const auto high = grid.getMetadata<openvdb::Vec3IMetadata>(openvdb::GridBase::META_FILE_BBOX_MAX);
  if (!low || !high) return false;
  box = openvdb::CoordBBox(openvdb::Coord(low->value()), openvdb::Coord(high->value()));
  return true;
}

// The grid descriptors of an open file, in the order the file stores them when that can be read.
openvdb::GridPtrVecPtr descriptorsInStoredOrder(openvdb::io::File& file, const char* path) {
  openvdb::GridPtrVecPtr sorted = file.readAllGridMetadata();
  const std::vector<std::string> order = StoredGridOrder(path);
  if (order.size() != sorted->size()) return sorted;
  auto stored = std::make_shared<openvdb::GridPtrVec>();
  for (const std::string& name : order) {
    for (openvdb::GridBase::Ptr& grid : *sorted) {
      if (grid && grid->getName() == name) {
        stored->push_back(grid);
        grid.reset();  // taken: a repeated name gets the next grid of that name
        break;
      }
    }
  }
  return stored->size() == order.size() ? stored : file.readAllGridMetadata();
}

}  // namespace

int ImportVdbFrame(const VdbImportRequest& request, CorvaneFrameData& frame) {
  openvdb::io::File file(request.path);
  file.open(false);
  const openvdb::GridPtrVecPtr descriptors = descriptorsInStoredOrder(file, request.path);
  const std::vector<VdbChannel> catalogue = CatalogueChannels(*descriptors);
  const std::vector<Assignment> assignments = assignChannels(request, catalogue);
  if (assignments.empty()) {
    LogMessage("#openvdbio: none of the mapped grids is in %s\n", request.path);
    return kImportNoMappedGrid;
  }

  const std::vector<int> used = usedGrids(assignments);
  const openvdb::math::Transform& transform = (*descriptors)[used.front()]->constTransform();
  for (int g : used) {
    if (!SameLinearTransform(transform, (*descriptors)[g]->constTransform())) {
      LogMessage("#openvdbio: the mapped grids of %s do not share one linear transform\n",
                 request.path);
      return kImportTransformMismatch;
    }
  }

  // The trees, unless a header-only import finds every box in the descriptors.
  std::map<int, openvdb::GridBase::Ptr> trees;
  openvdb::CoordBBox box;
  for (int g : used) {
    openvdb::CoordBBox gridBox;
    if (!request.headerOnly || !boxFromMetadata(*(*descriptors)[g], gridBox)) {
      openvdb::GridBase::Ptr grid = file.readGrid((*descriptors)[g]->getName());
      if (!grid) return kImportBroken;
      gridBox = grid->evalActiveVoxelBoundingBox();
      trees[g] = grid;
    }
    if (!gridBox.empty()) box.expand(gridBox);
  }

  FrameLayout layout;
  switch (MakeFrameLayout(box, LinearMatrix(transform), request.maxVoxels, layout)) {
    case LayoutResult::Ok:
      break;
    case LayoutResult::TooLarge:
      LogMessage("#openvdbio: the grids of %s span more cells than a frame can hold\n", request.path);
      return kImportBroken;
    case LayoutResult::Singular:
      LogMessage("#openvdbio: the grid transform of %s cannot be inverted\n", request.path);
      return kImportTransformMismatch;
  }
  for (int a = 0; a < 3; ++a) frame.gridSize[a] = layout.size[a];
  for (int e = 0; e < 12; ++e) frame.transform[e] = layout.worldToGrid[e];
  const int frameNumber = FrameNumberFromFileName(request.path);
  if (frameNumber != NoFrame) frame.frameNumber = frameNumber;
  if (box.empty()) return kImportOk;  // every mapped grid is empty: no cells, no channels

  for (const Assignment& a : assignments) {
    frame.channelMask |= 1u << a.channelId;
    if (request.headerOnly) continue;
    float* values = frame.allocateChannel(a.channelId);
    if (!values) {
      LogMessage("#openvdbio: out of memory for channel %d of %s\n", a.channelId, request.path);
      return kImportBroken;
    }
    ValueRange range{0.0f, 0.0f};
    if (!CopyGridDensely(*trees.at(a.source->gridIndex), a.source->component, box, layout, values,
                         request.manager, range)) {
      return kImportBroken;
    }
    frame.slots[a.channelId].rangeLow = range.low;
    frame.slots[a.channelId].rangeHigh = range.high;
  }
  return kImportOk;
}

int ListVdbChannels(const char* path, CacheIO::AvailableChannelArray& out) {
  openvdb::io::File file(path);
  file.open(false);
  const std::vector<VdbChannel> catalogue = CatalogueChannels(*descriptorsInStoredOrder(file, path));
  CacheIO::AvailableChannelArray found;
  for (const VdbChannel& channel : catalogue) {
    CacheIO::AvailableChannels entry;
    if (!entry.name.assign(channel.name.c_str())) return kImportBroken;
    entry.flag = channel.component >= 0 ? 1 : 0;
    if (!found.Append(std::move(entry))) return kImportBroken;
  }
  for (const CacheIO::AvailableChannels& entry : found) {
    if (!out.Append(entry)) return kImportBroken;
  }
  return kImportOk;
}

}  // namespace OpenVdbIo
