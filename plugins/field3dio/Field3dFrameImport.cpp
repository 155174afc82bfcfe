#include "plugins/field3dio/Field3dFrameImport.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "cache/CorvaneFrameData.h"
#include "plugins/ChannelFills.h"
#include "plugins/MappedChannels.h"
#include "plugins/ParallelRunner.h"
#include "plugins/field3dio/ChannelNames.h"
#include "plugins/ImportCodes.h"
#include "plugins/field3dio/Field3dLayers.h"
#include "plugins/field3dio/FrameResample.h"
#include "plugins/field3dio/LayerDecode.h"
#include "support/DecodeBudget.h"
#include "support/FramePattern.h"
#include "support/Log.h"

namespace Field3dIo {

namespace {

struct Assignment {
  int channelId;
  int layer;
  int component;  // -1 scalar, 0..2 vector component
};

// The file's layers and channels, with every skipped layer or name logged.
bool catalogue(Field3dContainer& file, const char* path, std::vector<Field3dLayer>& layers,
               std::vector<Field3dChannel>& channels) {
  std::vector<std::string> skipped;
  if (!ListLayers(file, layers, skipped)) {
    LogMessage("#field3dio: %s is broken: %s\n", path, file.reason().c_str());
    return false;
  }
  channels = NameChannels(layers, skipped);
  for (const std::string& why : skipped) LogMessage("#field3dio: %s: skipped %s\n", path, why.c_str());
  return true;
}

std::vector<Assignment> assignChannels(const Field3dImportRequest& request, const std::vector<Field3dChannel>& channels) {
  std::vector<Assignment> assignments;
  for (const auto& served : AssignMappedChannels<Field3dChannel>(
           request.mappings, request.mappingCount, "field3dio",
           [&](const char* name) { return FindChannel(channels, name); })) {
    assignments.push_back(Assignment{served.first, served.second->layer, served.second->component});
  }
  return assignments;
}

class FrameFiller {
 public:
  FrameFiller(Field3dContainer& file, const Field3dImportRequest& request, CorvaneFrameData& frame,
              const std::vector<Field3dLayer>& layers, const std::vector<Assignment>& assignments)
      : file_(file), request_(request), frame_(frame), layers_(layers), assignments_(assignments) {}

  int run() {
    const Field3dLayer& base = layers_[assignments_.front().layer];
    for (const Assignment& a : assignments_) {
      if (SameAffineMap(layers_[a.layer].voxelToWorld, base.voxelToWorld)) box_.expand(layers_[a.layer].window);
    }
    const int layout = setLayout(base);
    if (layout != kImportOk || box_.empty()) return layout;
    leaveOutOversizedResamples();
    for (size_t a = 0; a < assignments_.size(); ++a) {
      if (!dropped_[a]) frame_.channelMask |= 1u << assignments_[a].channelId;
    }
    if (request_.headerOnly) return kImportOk;
    return fillChannels();
  }

 private:
  int setLayout(const Field3dLayer& base) {
    long long cells = box_.empty() ? 0 : 1;
    for (int axis = 0; axis < 3; ++axis) {
      if (box_.size(axis) > INT_MAX || __builtin_mul_overflow(cells, box_.size(axis), &cells)) {
        return fail(kImportBroken, "the mapped layers span more cells than a frame can hold");
      }
    }
    if (cells > 0 && (cells > request_.maxFloats || static_cast<long long>(assignments_.size()) > request_.maxFloats / cells)) {
      return fail(kImportBroken, "the mapped layers need more memory than the decoded-bytes cap leaves");
    }
    Matrix4 gridToVoxel;
    for (int axis = 0; axis < 3; ++axis) gridToVoxel.at(3, axis) = static_cast<double>(box_.empty() ? 0 : box_.min[axis]) + 0.5;
    gridToWorld_ = Then(gridToVoxel, base.voxelToWorld);
    Matrix4 worldToGrid;
    if (!InvertAffine(gridToWorld_, worldToGrid)) return fail(kImportTransformMismatch, "the mapping of the first mapped layer cannot be inverted");
    float transform[12];
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) transform[3 * r + c] = static_cast<float>(worldToGrid.at(r, c));
    }
    for (int c = 0; c < 3; ++c) transform[9 + c] = static_cast<float>(worldToGrid.at(3, c));
    for (float value : transform) {
      if (!std::isfinite(value)) return fail(kImportTransformMismatch, "the frame transform does not fit in floats");
    }
    std::copy(transform, transform + 12, frame_.transform);
    for (int axis = 0; axis < 3; ++axis) frame_.gridSize[axis] = static_cast<int>(box_.size(axis));
    const int frameNumber = FrameNumberFromFileName(request_.path);
    if (frameNumber != NoFrame) frame_.frameNumber = frameNumber;
    return kImportOk;
  }

  bool resampled(const Field3dLayer& layer) const {
    return !SameAffineMap(layer.voxelToWorld, layers_[assignments_.front().layer].voxelToWorld);
  }

  // A layer on another mapping whose window would not fit what the budget leaves beside the frame is left
  // out with a log line, rather than the whole frame refused for it.
  void leaveOutOversizedResamples() {
    spare_ = request_.maxFloats - box_.voxels() * static_cast<long long>(assignments_.size());
    dropped_.assign(assignments_.size(), false);
    for (size_t a = 0; a < assignments_.size(); ++a) {
      const Field3dLayer& layer = layers_[assignments_[a].layer];
      if (!resampled(layer) || layer.window.voxels() <= spare_) continue;
      dropped_[a] = true;
      LogMessage("#field3dio: %s: layer %s/%s is too large to resample; channel %d left out\n", request_.path,
                 layer.partition.c_str(), layer.name.c_str(), assignments_[a].channelId);
    }
  }

  int fillChannels() {
    ParallelRunner runner(request_.manager);
    std::vector<MappedSource> served;
    for (size_t a = 0; a < assignments_.size(); ++a) {
      if (dropped_[a]) continue;
      served.push_back(MappedSource{assignments_[a].channelId, assignments_[a].layer, assignments_[a].component});
      if (!frame_.allocateChannel(assignments_[a].channelId)) return fail(kImportBroken, "out of memory for a channel");
    }
    for (const SourceFill& fill : FillsBySource(served)) {
      const Field3dLayer& layer = layers_[fill.source];
      float* destination[3] = {nullptr, nullptr, nullptr};
      for (int c = 0; c < 3; ++c) destination[c] = fill.channel[c] < 0 ? nullptr : ChannelValues(frame_, fill.channel[c]);
      const int result = resampled(layer) ? decodeResampled(layer, destination, runner)
                                          : decodeInPlace(layer, destination, runner);
      if (result != kImportOk) return result;
    }
    FinishMappedChannels(frame_, served, runner);
    return kImportOk;
  }

  int decodeInPlace(const Field3dLayer& layer, float* const destination[3], ParallelRunner& runner) {
    DecodeTarget target;
    target.box = box_;
    std::copy(destination, destination + 3, target.component);
    const VoxelBox overlap = layer.window.intersection(box_);
    if (overlap.empty() || overlap.voxels() != box_.voxels()) {
      for (float* values : target.component) {
        if (values) runner.forRange(box_.voxels(), [values](long long first, long long last) { std::fill(values + first, values + last, 0.0f); });
      }
    }
    return decode(layer, target, runner);
  }

  // Decodes the layer one component at a time into a volume over its window, then samples that.
  int decodeResampled(const Field3dLayer& layer, float* const destination[3], ParallelRunner& runner) {
    Matrix4 worldToVoxel;
    InvertAffine(layer.voxelToWorld, worldToVoxel);  // the layer list keeps only invertible maps
    const Matrix4 gridToVoxel = Then(gridToWorld_, worldToVoxel);
    const long long voxels = layer.window.voxels();  // within spare_: see leaveOutOversizedResamples
    std::vector<float> volume(static_cast<size_t>(voxels));
    for (int c = 0; c < 3; ++c) {
      if (!destination[c]) continue;
      DecodeTarget target;
      target.box = layer.window;
      target.component[c] = volume.data();
      if (voxels > 0) {
        const int result = decode(layer, target, runner);
        if (result != kImportOk) return result;
        ResampleVolume(volume.data(), layer.window, gridToVoxel, frame_.gridSize, destination[c], runner);
      } else {
        std::fill(destination[c], destination[c] + box_.voxels(), 0.0f);
      }
    }
    return kImportOk;
  }

  int decode(const Field3dLayer& layer, const DecodeTarget& target, ParallelRunner& runner) {
    std::string reason;
    if (DecodeLayer(file_, layer, target, runner, reason)) return kImportOk;
    LogMessage("#field3dio: %s is broken: layer %s/%s: %s\n", request_.path, layer.partition.c_str(),
               layer.name.c_str(), reason.c_str());
    return kImportBroken;
  }

  int fail(int code, const char* why) {
    LogMessage("#field3dio: cannot import %s: %s\n", request_.path, why);
    return code;
  }

  Field3dContainer& file_;
  const Field3dImportRequest& request_;
  CorvaneFrameData& frame_;
  const std::vector<Field3dLayer>& layers_;
  const std::vector<Assignment>& assignments_;
  VoxelBox box_;
  Matrix4 gridToWorld_;
  long long spare_ = 0;         // floats of the budget the frame's channels leave
  std::vector<bool> dropped_;   // per assignment: left out
};

}  // namespace

long long FloatsLeftFor(const CorvaneFrameData& frame) {
  return frame.budget->left() / static_cast<long long>(sizeof(float));
}

int ImportField3dFrame(Field3dContainer& file, const Field3dImportRequest& request, CorvaneFrameData& frame) {
  std::vector<Field3dLayer> layers;
  std::vector<Field3dChannel> channels;
  if (!catalogue(file, request.path, layers, channels)) return kImportBroken;
  const std::vector<Assignment> assignments = assignChannels(request, channels);
  if (assignments.empty()) {
    LogMessage("#field3dio: none of the mapped grids is in %s\n", request.path);
    return kImportNoMappedGrid;
  }
  return FrameFiller(file, request, frame, layers, assignments).run();
}

int ListField3dChannels(Field3dContainer& file, const char* path, CacheIO::AvailableChannelArray& out) {
  std::vector<Field3dLayer> layers;
  std::vector<Field3dChannel> channels;
  if (!catalogue(file, path, layers, channels)) return kImportBroken;
  for (const Field3dChannel& channel : channels) {
    CacheIO::AvailableChannels entry;
    if (!entry.name.assign(channel.name.c_str())) return kImportBroken;
    entry.flag = channel.component >= 0 ? 1 : 0;
    if (!out.Append(std::move(entry))) return kImportBroken;
  }
  return kImportOk;
}

}  // namespace Field3dIo
