#include "spatial/KDTreeFlatSearch.h"

#include "spatial/KDTree.h"

#include <algorithm>
#include <cfloat>

namespace KDTree {

namespace {

const int32_t leafMarker = 3;
const int inlineStackDepth = 96;

struct Pending {
    int32_t entry;
    float bound;
};

// Squared distance from q to the box, summed in the order of
// QVector3D::lengthSquared; each term is at most the matching term of any
// point in the box, so the sum never exceeds such a point's squared distance.
inline float boxDistance(const float lo[3], const float hi[3], const float q[3])
{
    float t[3];
    for (int a = 0; a < 3; ++a)
        t[a] = q[a] < lo[a] ? lo[a] - q[a] : (q[a] > hi[a] ? q[a] - hi[a] : 0.0f);
    return t[0] * t[0] + t[1] * t[1] + t[2] * t[2];
}

}  // namespace

FlatSearch::FlatSearch(const NodeBase* root, const QVector<QVector3D>& points)
{
    append(root, points, 1, rootRange_);
}

int FlatSearch::append(const NodeBase* node, const QVector<QVector3D>& points, int depth, Range& range)
{
    maxDepth_ = std::max(maxDepth_, depth);
    for (int a = 0; a < 3; ++a) {
        range.lo[a] = FLT_MAX;
        range.hi[a] = -FLT_MAX;
    }
    const int self = int(entries_.size());
    entries_.push_back(Entry());
    Entry entry;
    entry.axis = leafMarker;
    entry.first = entry.last = 0;
    entry.split = 0.0f;
    entry.child[0] = entry.child[1] = range;
    if (const Node* inner = dynamic_cast<const Node*>(node)) {
        Range left, right;
        append(inner->childLeft, points, depth + 1, left);
        entry.first = append(inner->childRight, points, depth + 1, right);
        entry.split = inner->splitValue;
        entry.axis = inner->splitAxis;
        entry.child[0] = left;
        entry.child[1] = right;
        for (int a = 0; a < 3; ++a) {
            range.lo[a] = std::min(left.lo[a], right.lo[a]);
            range.hi[a] = std::max(left.hi[a], right.hi[a]);
        }
    } else if (const NodeLeaf* leaf = dynamic_cast<const NodeLeaf*>(node)) {
        entry.first = int(indices_.size());
        for (const int i : leaf->pointIndices) {
            indices_.push_back(i);
            const QVector3D& p = points.at(i);
            for (int a = 0; a < 3; ++a) {
                // Comparisons false for NaN: such points never count as nearer anyway.
                if (p[a] < range.lo[a])
                    range.lo[a] = p[a];
                if (p[a] > range.hi[a])
                    range.hi[a] = p[a];
            }
        }
        entry.last = int(indices_.size());
    }
    entries_[size_t(self)] = entry;
    return self;
}

void FlatSearch::findNearest(const QVector3D& position, int skipIndex, const QVector<QVector3D>& points, int& index,
                             float& distanceSquared) const
{
    const QVector3D* const p = points.constData();
    const float q[3] = {position.x(), position.y(), position.z()};
    const Entry* const nodes = entries_.data();
    const int32_t* const leafPoints = indices_.data();

    Pending inlineStack[inlineStackDepth];
    std::vector<Pending> heapStack;
    Pending* stack = inlineStack;
    if (maxDepth_ >= inlineStackDepth) {
        heapStack.resize(size_t(maxDepth_) + 1);
        stack = heapStack.data();
    }

    int best = index;
    float bestDistance = distanceSquared;
    int top = 0;
    stack[top++] = Pending{0, boxDistance(rootRange_.lo, rootRange_.hi, q)};
    while (top > 0) {
        const Pending current = stack[--top];
        if (current.bound > bestDistance)
            continue;
        int32_t e = current.entry;
        bool skipped = false;
        // Down the near sides, leaving each far side for later, as the recursion does.
        while (nodes[e].axis != leafMarker) {
            const Entry& n = nodes[e];
            const int nearSide = n.split > q[n.axis] ? 0 : 1;
            const int32_t children[2] = {e + 1, n.first};
            const float farBound = boxDistance(n.child[1 - nearSide].lo, n.child[1 - nearSide].hi, q);
            if (farBound <= bestDistance)
                stack[top++] = Pending{children[1 - nearSide], farBound};
            if (boxDistance(n.child[nearSide].lo, n.child[nearSide].hi, q) > bestDistance) {
                skipped = true;
                break;
            }
            e = children[nearSide];
        }
        if (skipped)
            continue;
        const Entry& leaf = nodes[e];
        for (int32_t s = leaf.first; s < leaf.last; ++s) {
            const int i = leafPoints[s];
            const float dx = p[i].x() - q[0];
            const float dy = p[i].y() - q[1];
            const float dz = p[i].z() - q[2];
            const float d = dx * dx + dy * dy + dz * dz;
            if (d < bestDistance && i != skipIndex) {
                bestDistance = d;
                best = i;
            }
        }
    }
    index = best;
    distanceSquared = bestDistance;
}

}  // namespace KDTree
