#pragma once
// The structure of a built point tree laid out in one array, depth first,
// for queries without virtual calls or recursion. It visits points in the
// same near-side-first order as the node classes and takes a point only when
// it is strictly closer, so ties resolve exactly as there. Instead of the
// distance to the split plane it skips a subtree by the distance to the box of
// its points (kept with the parent, in the parent's cache line), a bound that
// is tighter (a surface's points fill little of their cells) and never above
// the distance of a point inside, so it only drops points that could never be taken.
#include <QVector3D>
#include <QVector>

#include <cstdint>
#include <vector>

namespace KDTree {

class NodeBase;

class FlatSearch {
public:
    FlatSearch(const NodeBase* root, const QVector<QVector3D>& points);

    // Running-best search as the node classes do it; skipIndex (or -1) is never taken.
    void findNearest(const QVector3D& position, int skipIndex, const QVector<QVector3D>& points, int& index,
                     float& distanceSquared) const;

private:
    struct Range {
        float lo[3], hi[3];  // of the subtree's points, NaN coordinates left out
    };
    struct alignas(64) Entry {
        Range child[2];  // inner node: boxes of the left and right subtrees
        float split;     // inner node: split value
        int32_t axis;    // 0..2 inner node, 3 leaf
        int32_t first;   // inner: index of the right child (left follows at +1); leaf: first index slot
        int32_t last;    // leaf: one past the last index slot
    };
    int append(const NodeBase* node, const QVector<QVector3D>& points, int depth, Range& range);

    std::vector<Entry> entries_;
    Range rootRange_;
    std::vector<int32_t> indices_;  // the leaves' point indices, leaf after leaf
    int maxDepth_ = 0;
};

}  // namespace KDTree
