#include "spatial/KDTreeFlatSearch.h"

#include "spatial/KDTree.h"

#include <algorithm>

namespace KDTree {

namespace {

const int32_t leafMarker = 3;
const int inlineStackDepth = 96;

struct Pending {
    int32_t entry;
    float offset[3];  // per-axis squared distance from the query to the subtree's cell
};

inline float cellDistance(const float offset[3])
{
    // Summed in the order of QVector3D::lengthSquared, each term no larger than the
    // matching term of any point in the cell, so it never exceeds such a point's distance.
    return offset[0] * offset[0] + offset[1] * offset[1] + offset[2] * offset[2];
}

}  // namespace

FlatSearch::FlatSearch(const NodeBase* root)
{
    append(root, 1);
}

int FlatSearch::append(const NodeBase* node, int depth)
{
    maxDepth = std::max(maxDepth, depth);
    const int self = int(entries.size());
    entries.push_back(Entry{0.0f, leafMarker, 0, 0});
    if (const Node* inner = dynamic_cast<const Node*>(node)) {
        append(inner->childLeft, depth + 1);
        const int right = append(inner->childRight, depth + 1);
        entries[size_t(self)] = Entry{inner->splitValue, inner->splitAxis, right, 0};
    } else if (const NodeLeaf* leaf = dynamic_cast<const NodeLeaf*>(node)) {
        const int first = int(indices.size());
        for (const int i : leaf->pointIndices)
            indices.push_back(i);
        entries[size_t(self)] = Entry{0.0f, leafMarker, first, int(indices.size())};
    }
    return self;
}

void FlatSearch::findNearest(const QVector3D& position, int skipIndex, const QVector<QVector3D>& points,
                             int& index, float& distanceSquared) const
{
    const QVector3D* const p = points.constData();
    const float q[3] = {position.x(), position.y(), position.z()};
    const Entry* const nodes = entries.data();
    const int32_t* const leafPoints = indices.data();

    Pending inlineStack[inlineStackDepth];
    std::vector<Pending> heapStack;
    Pending* stack = inlineStack;
    if (maxDepth >= inlineStackDepth) {
        heapStack.resize(size_t(maxDepth) + 1);
        stack = heapStack.data();
    }

    int best = index;
    float bestDistance = distanceSquared;
    int top = 0;
    stack[top++] = Pending{0, {0.0f, 0.0f, 0.0f}};
    while (top > 0) {
        Pending current = stack[--top];
        if (cellDistance(current.offset) > bestDistance)
            continue;
        int32_t e = current.entry;
        // Down the near sides, leaving each far side for later, as the recursion does.
        while (nodes[e].axis != leafMarker) {
            const Entry& n = nodes[e];
            const float coordinate = q[n.axis];
            const float offset = n.split - coordinate;
            Pending far = current;
            far.offset[n.axis] = offset;
            if (n.split > coordinate) {
                far.entry = n.first;
                e = e + 1;
            } else {
                far.entry = e + 1;
                e = n.first;
            }
            if (cellDistance(far.offset) <= bestDistance)
                stack[top++] = far;
        }
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
