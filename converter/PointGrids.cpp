#include "converter/PointGrids.h"

#include <openvdb/points/PointConversion.h>
#include <openvdb/tools/PointIndexGrid.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "converter/ChannelNames.h"
#include "orv/ICorvanePrtGroup.h"

namespace {

constexpr int kChannelCount = 32;
constexpr int kPositionChannel = 0;
// Index coordinates of points must stay well inside the 32-bit voxel coordinates of a grid.
constexpr double kIndexLimit = 1.0e9;

// The particles written (their indices in the group) and the grid that holds them.
struct PointLayout {
  std::vector<unsigned> kept;
  openvdb::tools::PointIndexGrid::Ptr index;
  openvdb::points::PointDataGrid::Ptr grid;
};

// Reads channel of every kept particle as one T each; false when a value cannot be read.
template <typename T>
bool readChannel(ICorvanePrtGroup& group, int channel, const std::vector<unsigned>& kept,
                 std::vector<T>& out) {
  static_assert(sizeof(T) <= 16, "a particle value is at most three words or one 64-bit ID");
  float words[4];
  out.resize(kept.size());
  for (size_t p = 0; p < kept.size(); ++p) {
    if (!group.getParticle(kept[p], channel, words)) return false;
    std::memcpy(&out[p], words, sizeof(T));
  }
  return true;
}

// Adds channel as an attribute of value type T; false when its values cannot be read.
template <typename T>
bool addChannelAs(ICorvanePrtGroup& group, int channel, PointLayout& layout) {
  std::vector<T> values;
  if (!readChannel(group, channel, layout.kept, values)) return false;
  const std::string name = ParticleAttributeName(channel);
  openvdb::points::appendAttribute<T>(layout.grid->tree(), name);
  openvdb::points::populateAttribute(layout.grid->tree(), layout.index->tree(), name,
                                     openvdb::points::PointAttributeVector<T>(values));
  return true;
}

bool addChannel(ICorvanePrtGroup& group, int channel, PointLayout& layout) {
  switch (ParticleChannelKind(group, channel)) {
    case ParticleValueKind::Float:
      return group.getChannelComponents(channel) == 3
                 ? addChannelAs<openvdb::Vec3s>(group, channel, layout)
                 : addChannelAs<float>(group, channel, layout);
    case ParticleValueKind::Int64:
      return addChannelAs<int64_t>(group, channel, layout);
    case ParticleValueKind::Int32:
      return addChannelAs<int32_t>(group, channel, layout);
    default:
      return true;  // a channel without values has nothing to write
  }
}

}  // namespace

PointGridResult BuildPointGrid(ICorvanePrtGroup& group,
                               const openvdb::math::Transform& indexToWorld) {
  PointGridResult result;
  const char* groupName = group.getName() ? group.getName() : "";
  const int count = group.getParticleCount();
  PointLayout layout;
  std::vector<openvdb::Vec3d> positions;
  for (int p = 0; p < count; ++p) {
    float position[3];
    if (!group.getParticle(static_cast<unsigned>(p), kPositionChannel, position)) {
      result.error = std::string("particle group ") + groupName + ": positions cannot be read";
      return result;
    }
    const openvdb::Vec3d index(position[0], position[1], position[2]);
    if (!std::isfinite(index[0]) || !std::isfinite(index[1]) || !std::isfinite(index[2]) ||
        std::fabs(index[0]) > kIndexLimit || std::fabs(index[1]) > kIndexLimit ||
        std::fabs(index[2]) > kIndexLimit) {
      ++result.dropped;
      continue;
    }
    layout.kept.push_back(static_cast<unsigned>(p));
    positions.push_back(indexToWorld.indexToWorld(index));
  }
  const openvdb::points::PointAttributeVector<openvdb::Vec3d> wrapped(positions);
  layout.index =
      openvdb::tools::createPointIndexGrid<openvdb::tools::PointIndexGrid>(wrapped, indexToWorld);
  layout.grid = openvdb::points::createPointDataGrid<openvdb::points::NullCodec,
                                                     openvdb::points::PointDataGrid>(
      *layout.index, wrapped, indexToWorld);
  for (int channel = kPositionChannel + 1; channel < kChannelCount; ++channel) {
    if (!group.hasChannel(channel)) continue;
    if (!addChannel(group, channel, layout)) {
      result.error = std::string("particle group ") + groupName + ": " +
                     ParticleChannelName(channel) + " cannot be read";
      return result;
    }
  }
  layout.grid->setName(groupName);
  result.points = static_cast<long long>(layout.kept.size());
  result.grid = layout.grid;
  return result;
}
