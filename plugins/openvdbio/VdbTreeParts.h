// The stored parts of a tree inside a box: its leaf nodes and the tiles whose value is not the
// background, each clipped to the box. Everything else in the box holds the background, so a dense
// copy visits these parts and the cells it produces, never the empty space between blobs.
#pragma once

#include <openvdb/openvdb.h>

#include <algorithm>
#include <vector>

namespace OpenVdbIo {

template <typename TreeT>
class VdbTreeParts {
 public:
  using ValueT = typename TreeT::ValueType;
  using LeafT = typename TreeT::LeafNodeType;

  struct Part {
    openvdb::CoordBBox box;          // clipped to the box the parts were gathered for
    const ValueT* voxels = nullptr;  // a leaf's values (LeafT::coordToOffset order); null for a tile
    ValueT value{};                  // a tile's value
  };

  VdbTreeParts(const TreeT& tree, const openvdb::CoordBBox& box) {
    for (auto leaf = tree.cbeginLeaf(); leaf; ++leaf) {
      openvdb::CoordBBox clipped = leaf->getNodeBoundingBox();
      clipped.intersect(box);
      if (!clipped.empty()) leaves_.add(Part{clipped, leaf->buffer().data(), ValueT{}});
    }
    auto tile = tree.cbeginValueAll();
    tile.setMaxDepth(tile.getLeafDepth() - 1);  // tiles only, no leaf voxels
    for (; tile; ++tile) {
      if (*tile == tree.background()) continue;
      openvdb::CoordBBox clipped = tile.getBoundingBox();
      clipped.intersect(box);
      if (!clipped.empty()) tiles_.add(Part{clipped, nullptr, *tile});
    }
    leaves_.sort();
    tiles_.sort();
  }

  // Calls visit(part) for every part that meets the z range [zLow, zHigh].
  template <typename Visit>
  void forEachMeeting(int zLow, int zHigh, Visit&& visit) const {
    leaves_.forEachMeeting(zLow, zHigh, visit);
    tiles_.forEachMeeting(zLow, zHigh, visit);
  }

  // Index of voxel (x, y, z) of a leaf part within its values, and the step to the next x.
  static long long voxelOffset(int x, int y, int z) {
    return static_cast<long long>(LeafT::coordToOffset(openvdb::Coord(x, y, z)));
  }
  static constexpr long long kXStep = 1ll << (2 * LeafT::LOG2DIM);

 private:
  // Parts ordered by their lowest z; `depth` is the largest z extent, which bounds the search.
  struct ByLowestZ {
    std::vector<Part> parts;
    long long depth = 0;

    void add(const Part& part) {
      parts.push_back(part);
      depth = std::max<long long>(depth, part.box.dim().z());
    }
    void sort() {
      std::sort(parts.begin(), parts.end(),
                [](const Part& a, const Part& b) { return a.box.min().z() < b.box.min().z(); });
    }
    template <typename Visit>
    void forEachMeeting(int zLow, int zHigh, Visit& visit) const {
      const long long earliest = static_cast<long long>(zLow) - depth + 1;
      auto first = std::lower_bound(parts.begin(), parts.end(), earliest,
                                    [](const Part& p, long long z) { return p.box.min().z() < z; });
      for (auto part = first; part != parts.end() && part->box.min().z() <= zHigh; ++part) {
        if (part->box.max().z() >= zLow) visit(*part);
      }
    }
  };

  ByLowestZ leaves_;
  ByLowestZ tiles_;
};

}  // namespace OpenVdbIo
