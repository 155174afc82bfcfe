#include "converter/VdbFileListing.h"

#include <openvdb/io/File.h>
#include <openvdb/points/PointCount.h>
#include <openvdb/points/PointDataGrid.h>

namespace {

long long voxelCountOf(const openvdb::GridBase& grid) {
  const openvdb::Metadata::ConstPtr count = grid[openvdb::GridBase::META_FILE_VOXEL_COUNT];
  if (const auto* value = dynamic_cast<const openvdb::Int64Metadata*>(count.get())) {
    return value->value();
  }
  return -1;
}

ParticleGroupInfo describePoints(const openvdb::points::PointDataGrid& grid) {
  ParticleGroupInfo group;
  group.name = grid.getName();
  group.count = static_cast<long long>(openvdb::points::pointCount(grid.tree()));
  const auto leaf = grid.tree().cbeginLeaf();
  if (!leaf) return group;
  const openvdb::points::AttributeSet::Descriptor& descriptor = leaf->attributeSet().descriptor();
  std::vector<std::pair<size_t, std::string>> byPosition;
  for (const auto& entry : descriptor.map()) byPosition.emplace_back(entry.second, entry.first);
  std::sort(byPosition.begin(), byPosition.end());
  for (const auto& entry : byPosition) {
    ParticleAttributeInfo channel;
    channel.name = entry.second;
    channel.type = descriptor.valueType(entry.first);
    channel.components = channel.type.compare(0, 3, "vec") == 0 ? 3 : 1;
    group.channels.push_back(channel);
  }
  return group;
}

}  // namespace

bool ListVdbFile(const std::string& path, VdbFileListing& listing, std::string& reason) {
  try {
    openvdb::initialize();
    openvdb::io::File file(path);
    file.open(/*delayLoad=*/false);
    listing.formatVersion = static_cast<int>(file.fileVersion());
    const openvdb::GridPtrVecPtr grids = file.readAllGridMetadata();
    for (const openvdb::GridBase::Ptr& grid : *grids) {
      if (grid->isType<openvdb::points::PointDataGrid>()) {
        const openvdb::GridBase::Ptr whole = file.readGrid(grid->getName());
        listing.pointGrids.push_back(
            describePoints(*openvdb::gridPtrCast<openvdb::points::PointDataGrid>(whole)));
      } else {
        listing.grids.push_back({grid->getName(), grid->valueType(), voxelCountOf(*grid)});
      }
    }
    file.close();
    return true;
  } catch (const std::exception& error) {
    reason = error.what();
    return false;
  }
}
