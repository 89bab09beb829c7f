#include "spatial/KDTree.h"

#include "spatial/KDTreeFlatSearch.h"

#include <QDebug>

#include <cfloat>
#include <cmath>

namespace KDTree {

namespace {

const float noDistance = FLT_MAX;

NodeBase* buildSubtree(const QList<int>& indices, const QVector<QVector3D>& points, int leafSize)
{
    if (indices.size() <= leafSize)
        return new NodeLeaf(indices);
    QVector3D minimum, maximum;
    findPointsRange(indices, points, minimum, maximum);
    const QVector3D size = maximum - minimum;
    const int axis = longestAxis(size);
    // NaN coordinates (no axis) or extents beyond the float range (no finite
    // split) cannot be separated: keep them together rather than recurse forever.
    if (axis < 0)
        return new NodeLeaf(indices);
    const float value = 0.5f * size[axis] + minimum[axis];
    if (!std::isfinite(value))
        return new NodeLeaf(indices);
    QList<int> left, right;
    splitPointsByPlane(indices, points, axis, value, left, right);
    // All points on one side: they coincide, or differ too little to split.
    if (left.isEmpty() || right.isEmpty())
        return new NodeLeaf(indices);
    NodeBase* childLeft = buildSubtree(left, points, leafSize);
    NodeBase* childRight = buildSubtree(right, points, leafSize);
    return new Node(childLeft, childRight, axis, value);
}

// The squared distance of a leaf point, as QVector3D::lengthSquared of the difference.
inline float squaredDistance(const QVector3D& point, const QVector3D& position)
{
    return (point - position).lengthSquared();
}

// A whole query: the running best starts at no point and no distance; the
// distance is reported when asked for.
template <typename Query>
int nearestFromScratch(const NodeBase& node, const Query& query, const QVector<QVector3D>& points,
                       float* distanceSquared)
{
    int index = -1;
    float best = noDistance;
    node.findNearestPoint(query, points, index, best);
    if (distanceSquared)
        *distanceSquared = best;
    return index;
}

}  // namespace

// ---- NodeBase: never built on its own; its bodies only report the call.

NodeBase::~NodeBase() = default;

void NodeBase::findNearestPoint(const QVector3D&, const QVector<QVector3D>&, int&, float&) const
{
    qDebug() << "Calling virtual method NodeBase::findNearestPoint";
}

int NodeBase::findNearestPointInd(const QVector3D&, const QVector<QVector3D>&, float*) const
{
    qDebug() << "Calling virtual method NodeBase::findNearestPointInd";
    return -1;
}

void NodeBase::findNearestPoint(int, const QVector<QVector3D>&, int&, float&) const
{
    qDebug() << "Calling virtual method NodeBase::findNearestPoint";
}

int NodeBase::findNearestPointInd(int, const QVector<QVector3D>&, float*) const
{
    qDebug() << "Calling virtual method NodeBase::findNearestPointInd";
    return -1;
}

// ---- Node

Node::Node(NodeBase* childLeft, NodeBase* childRight, int splitAxis, float splitValue)
    : childLeft(childLeft), childRight(childRight), splitAxis(splitAxis), splitValue(splitValue)
{}

Node::~Node()
{
    if (childLeft)
        delete childLeft;
    childLeft = nullptr;
    if (childRight)
        delete childRight;
    childRight = nullptr;
}

NodeBase* Node::child(int side) const
{
    if (side == 0)
        return childLeft;
    if (side == 1)
        return childRight;
    return nullptr;
}

void Node::findNearestPoint(const QVector3D& position, const QVector<QVector3D>& points, int& index,
                            float& distanceSquared) const
{
    if (flat_) {
        flat_->findNearest(position, -1, points, index, distanceSquared);
        return;
    }
    const float coordinate = position[splitAxis];
    const bool nearIsLeft = splitValue > coordinate;
    (nearIsLeft ? childLeft : childRight)->findNearestPoint(position, points, index, distanceSquared);
    const float offset = splitValue - coordinate;
    const float offsetSquared = offset * offset;
    if (offsetSquared > distanceSquared)
        return;
    (nearIsLeft ? childRight : childLeft)->findNearestPoint(position, points, index, distanceSquared);
}

int Node::findNearestPointInd(const QVector3D& position, const QVector<QVector3D>& points, float* distanceSquared) const
{
    return nearestFromScratch(*this, position, points, distanceSquared);
}

void Node::findNearestPoint(int pointIndex, const QVector<QVector3D>& points, int& index, float& distanceSquared) const
{
    const QVector3D& position = points.at(pointIndex);
    if (flat_) {
        flat_->findNearest(position, pointIndex, points, index, distanceSquared);
        return;
    }
    const float coordinate = position[splitAxis];
    const bool nearIsLeft = splitValue > coordinate;
    (nearIsLeft ? childLeft : childRight)->findNearestPoint(pointIndex, points, index, distanceSquared);
    if (index != -1) {
        const float offset = splitValue - coordinate;
        const float offsetSquared = offset * offset;
        if (offsetSquared > distanceSquared)
            return;
    }
    (nearIsLeft ? childRight : childLeft)->findNearestPoint(pointIndex, points, index, distanceSquared);
}

int Node::findNearestPointInd(int pointIndex, const QVector<QVector3D>& points, float* distanceSquared) const
{
    return nearestFromScratch(*this, pointIndex, points, distanceSquared);
}

// ---- NodeLeaf

NodeLeaf::NodeLeaf(const QList<int>& pointIndices) : pointIndices(pointIndices) {}

void NodeLeaf::findNearestPoint(const QVector3D& position, const QVector<QVector3D>& points, int& index,
                                float& distanceSquared) const
{
    for (const int i : pointIndices) {
        const float d = squaredDistance(points.at(i), position);
        if (d < distanceSquared) {
            distanceSquared = d;
            index = i;
        }
    }
}

int NodeLeaf::findNearestPointInd(const QVector3D& position, const QVector<QVector3D>& points,
                                  float* distanceSquared) const
{
    return nearestFromScratch(*this, position, points, distanceSquared);
}

void NodeLeaf::findNearestPoint(int pointIndex, const QVector<QVector3D>& points, int& index,
                                float& distanceSquared) const
{
    const QVector3D& position = points.at(pointIndex);
    for (const int i : pointIndices) {
        if (i == pointIndex)
            continue;
        const float d = squaredDistance(points.at(i), position);
        if (d < distanceSquared) {
            distanceSquared = d;
            index = i;
        }
    }
}

int NodeLeaf::findNearestPointInd(int pointIndex, const QVector<QVector3D>& points, float* distanceSquared) const
{
    return nearestFromScratch(*this, pointIndex, points, distanceSquared);
}

// ---- Build

NodeBase* buildTree(const QVector<QVector3D>& points, int leafSize)
{
    QList<int> indices;
    indices.reserve(points.size());
    for (int i = 0; i < points.size(); ++i)
        indices.append(i);
    return buildTree(indices, points, leafSize);
}

NodeBase* buildTree(const QList<int>& indices, const QVector<QVector3D>& points, int leafSize)
{
    NodeBase* root = buildSubtree(indices, points, leafSize);
    if (Node* node = dynamic_cast<Node*>(root))
        node->flat_.reset(new FlatSearch(node, points));
    return root;
}

void findPointsRange(const QList<int>& indices, const QVector<QVector3D>& points, QVector3D& minimum,
                     QVector3D& maximum)
{
    QVector<float> low = floatMaxTriple;
    QVector<float> high = floatLowestTriple;
    float* lo = low.data();
    float* hi = high.data();
    for (const int i : indices) {
        const QVector3D& p = points.at(i);
        for (int c = 0; c < 3; ++c) {
            if (lo[c] > p[c])
                lo[c] = p[c];
            if (p[c] > hi[c])
                hi[c] = p[c];
        }
    }
    minimum = QVector3D(lo[0], lo[1], lo[2]);
    maximum = QVector3D(hi[0], hi[1], hi[2]);
}

void splitPointsByPlane(const QList<int>& indices, const QVector<QVector3D>& points, int axis, float value,
                        QList<int>& left, QList<int>& right)
{
    left.clear();
    right.clear();
    for (const int i : indices) {
        if (value > points.at(i)[axis])
            left.append(i);
        else
            right.append(i);
    }
}

int longestAxis(const QVector3D& size)
{
    const float x = size.x(), y = size.y(), z = size.z();
    if (x >= y && x >= z)
        return 0;
    if (y >= x && y >= z)
        return 1;
    if (z >= x && z >= y)
        return 2;
    return -1;
}

}  // namespace KDTree
