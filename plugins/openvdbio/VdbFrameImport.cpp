#include "plugins/openvdbio/VdbFrameImport.h"

#include <openvdb/io/File.h>

#include <algorithm>
#include <map>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "plugins/ChannelFills.h"
#include "plugins/MappedChannels.h"
#include "plugins/ParallelRunner.h"
#include "plugins/openvdbio/DenseGridCopy.h"
#include "plugins/openvdbio/GridResample.h"
#include "plugins/openvdbio/VdbChannelCatalogue.h"
#include "plugins/openvdbio/VdbFrameLayout.h"
#include "plugins/openvdbio/VdbGridOrder.h"
#include "plugins/ImportCodes.h"
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

// How a mapped grid reaches the frame's cells.
enum class Placement {
  Copied,          // on the frame's voxels: copied, or averaged per block in a preview
  SampledInPlace,  // a staggered grid on the frame's voxels: sampled at the cell centres
  Sampled,         // another transform: sampled at the cell centres
  LeftOut,         // a transform that cannot be inverted
};

class FrameImport {
 public:
  FrameImport(const VdbImportRequest& request, CorvaneFrameData& frame, openvdb::io::File& file,
              const openvdb::GridPtrVec& descriptors, const std::vector<Assignment>& assignments)
      : request_(request), frame_(frame), file_(file), descriptors_(descriptors) {
    for (const Assignment& a : assignments) {
      mapped_.push_back(MappedSource{a.channelId, a.source->gridIndex, a.source->component});
    }
  }

  int run() {
    const int placed = placeGrids();
    if (placed != kImportOk) return placed;
    const int read = readTreesAndBox();
    if (read != kImportOk) return read;
    const int laidOut = layOut();
    if (laidOut != kImportOk || box_.empty()) return laidOut;  // all copied grids empty: no cells
    for (const MappedSource& m : mapped_) {
      if (placement_[m.source] != Placement::LeftOut) frame_.channelMask |= 1u << m.channel;
    }
    if (request_.headerOnly) return kImportOk;
    return fillChannels();
  }

 private:
  const openvdb::GridBase& descriptor(int grid) const { return *descriptors_[grid]; }

  // The frame takes the transform of the first mapped grid with a linear, invertible one; the
  // others are copied when they share it and sampled otherwise.
  int placeGrids() {
    for (const SourceFill& fill : FillsBySource(mapped_)) {
      const openvdb::GridBase& grid = descriptor(fill.source);
      if (!layoutGrid_ && grid.constTransform().isLinear() && CanBeSampled(grid)) layoutGrid_ = &grid;
    }
    if (!layoutGrid_) {
      LogMessage("#openvdbio: none of the mapped grids of %s has a linear, invertible transform to lay the frame on\n",
                 request_.path);
      return kImportTransformMismatch;
    }
    for (const SourceFill& fill : FillsBySource(mapped_)) {
      const openvdb::GridBase& grid = descriptor(fill.source);
      Placement& placement = placement_[fill.source];
      if (SameLinearTransform(layoutGrid_->constTransform(), grid.constTransform())) {
        placement = IsStaggeredGrid(grid) ? Placement::SampledInPlace : Placement::Copied;
      } else if (CanBeSampled(grid)) {
        placement = Placement::Sampled;
      } else {
        placement = Placement::LeftOut;
        LogMessage("#openvdbio: the transform of grid %s in %s cannot be inverted; its channels are left out\n",
                   grid.getName().c_str(), request_.path);
      }
    }
    return kImportOk;
  }

  // The trees (a header-only import reads only those whose box the descriptor lacks) and the
  // frame's box: the union of the active boxes of the grids on the frame's voxels.
  int readTreesAndBox() {
    for (const auto& [g, placement] : placement_) {
      if (placement == Placement::LeftOut) continue;
      const bool onFrameVoxels = placement != Placement::Sampled;
      openvdb::CoordBBox gridBox;
      if (request_.headerOnly && (!onFrameVoxels || boxFromMetadata(descriptor(g), gridBox))) {
        if (!gridBox.empty()) box_.expand(gridBox);
        continue;
      }
      openvdb::GridBase::Ptr grid = file_.readGrid(descriptor(g).getName());
      if (!grid) return kImportBroken;
      if (onFrameVoxels) {
        gridBox = grid->evalActiveVoxelBoundingBox();
        if (!gridBox.empty()) box_.expand(gridBox);
      }
      trees_[g] = grid;
    }
    return kImportOk;
  }

  int layOut() {
    switch (MakeFrameLayout(box_, LinearMatrix(layoutGrid_->constTransform()), request_.maxVoxels, layout_)) {
      case LayoutResult::Ok:
        break;
      case LayoutResult::TooLarge:
        LogMessage("#openvdbio: the grids of %s span more cells than a frame can hold\n", request_.path);
        return kImportBroken;
      case LayoutResult::Singular:
        LogMessage("#openvdbio: the grid transform of %s cannot be inverted\n", request_.path);
        return kImportTransformMismatch;
    }
    for (int a = 0; a < 3; ++a) frame_.gridSize[a] = layout_.size[a];
    for (int e = 0; e < 12; ++e) frame_.transform[e] = layout_.worldToGrid[e];
    const int frameNumber = FrameNumberFromFileName(request_.path);
    if (frameNumber != NoFrame) frame_.frameNumber = frameNumber;
    return kImportOk;
  }

  // Refuses a frame whose channels the decode cap cannot hold, before anything is allocated.
  bool fitsTheBudget(int channels) const {
    const long long cells = frame_.voxelCount();
    long long bytes = 0;
    const orv::DecodeBudget& budget = *frame_.budget;
    if (orv::DecodedByteCount(cells, 4, bytes) && orv::DecodedByteCount(bytes, channels, bytes) &&
        bytes <= budget.left()) {
      return true;
    }
    const openvdb::Coord& low = box_.min();
    const openvdb::Coord& high = box_.max();
    LogMessage("#openvdbio: cannot import %s: its frame spans the index box (%d, %d, %d)..(%d, %d, %d), %d x %d x %d "
               "cells, and needs %lld bytes for %d channels; %s allows %lld bytes, %lld in use\n",
               request_.path, low.x(), low.y(), low.z(), high.x(), high.y(), high.z(), layout_.size[0], layout_.size[1],
               layout_.size[2], bytes > 0 ? bytes : -1ll, channels, orv::DecodeBudget::kVariable, budget.cap(),
               budget.used());
    return false;
  }

  int fillChannels() {
    std::vector<MappedSource> served;
    for (const MappedSource& m : mapped_) {
      if (placement_[m.source] != Placement::LeftOut) served.push_back(m);
    }
    if (!fitsTheBudget(static_cast<int>(served.size()))) return kImportBroken;
    for (const MappedSource& m : served) {
      if (!frame_.allocateChannel(m.channel)) return kImportBroken;  // the frame logged why
    }
    ParallelRunner runner(request_.manager);
    CellPlacement cells;
    cells.cellToIndex = CellCentreToIndex(layout_);
    cells.frameTransform = &layoutGrid_->constTransform();
    std::copy(layout_.size, layout_.size + 3, cells.size);
    for (const SourceFill& fill : FillsBySource(served)) {
      ChannelTargets targets;
      for (int c = 0; c < 3; ++c) targets.component[c] = fill.channel[c] < 0 ? nullptr : ChannelValues(frame_, fill.channel[c]);
      const openvdb::GridBase& grid = *trees_.at(fill.source);
      const Placement placement = placement_[fill.source];
      const bool filled = placement == Placement::Copied
                              ? CopyGridToChannels(grid, box_, layout_, targets, runner, *frame_.budget, request_.path)
                              : SampleGridAtCells(grid, placement == Placement::SampledInPlace, cells, targets, runner,
                                                  *frame_.budget);
      if (!filled) return kImportBroken;
    }
    FinishMappedChannels(frame_, served, runner);
    return kImportOk;
  }

  const VdbImportRequest& request_;
  CorvaneFrameData& frame_;
  openvdb::io::File& file_;
  const openvdb::GridPtrVec& descriptors_;
  std::vector<MappedSource> mapped_;
  std::map<int, Placement> placement_;
  std::map<int, openvdb::GridBase::Ptr> trees_;
  const openvdb::GridBase* layoutGrid_ = nullptr;
  openvdb::CoordBBox box_;
  FrameLayout layout_;
};

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
  return FrameImport(request, frame, file, *descriptors, assignments).run();
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
