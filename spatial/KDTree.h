#pragma once
// Nearest-point search over a set of 3D points (as a rule a mesh's vertices).
// The tree holds only point indices and split planes: every query is given
// the point array the tree was built from again. Distances are squared and
// single precision; "nothing found" is the index -1 with 3.4028235e38.
// Queries are const and may run on any number of threads at once.
#include <QList>
#include <QVector3D>
#include <QVector>

#include <memory>

namespace KDTree {

// Start values of a per-axis running minimum and maximum: the finite float extremes.
static const QVector<float> floatMaxTriple = {3.40282347e38f, 3.40282347e38f, 3.40282347e38f};
static const QVector<float> floatLowestTriple = {-3.40282347e38f, -3.40282347e38f, -3.40282347e38f};

class FlatSearch;

class NodeBase {
public:
    virtual ~NodeBase();

    // Nearest point to `position` strictly closer than the running best.
    virtual void findNearestPoint(const QVector3D& position, const QVector<QVector3D>& points, int& index,
                                  float& distanceSquared) const;
    // Index of the point nearest to `position`, or -1.
    virtual int findNearestPointInd(const QVector3D& position, const QVector<QVector3D>& points,
                                    float* distanceSquared) const;
    // Nearest point other than point `pointIndex` itself, strictly closer than the running best.
    virtual void findNearestPoint(int pointIndex, const QVector<QVector3D>& points, int& index,
                                  float& distanceSquared) const;
    // Index of the point nearest to point `pointIndex` (never itself), or -1.
    virtual int findNearestPointInd(int pointIndex, const QVector<QVector3D>& points, float* distanceSquared) const;
};

class Node : public NodeBase {
public:
    Node(NodeBase* childLeft, NodeBase* childRight, int splitAxis, float splitValue);
    ~Node() override;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    void findNearestPoint(const QVector3D& position, const QVector<QVector3D>& points, int& index,
                          float& distanceSquared) const override;
    int findNearestPointInd(const QVector3D& position, const QVector<QVector3D>& points,
                            float* distanceSquared) const override;
    void findNearestPoint(int pointIndex, const QVector<QVector3D>& points, int& index,
                          float& distanceSquared) const override;
    int findNearestPointInd(int pointIndex, const QVector<QVector3D>& points, float* distanceSquared) const override;

    // 0: childLeft, 1: childRight, anything else: null.
    NodeBase* child(int side) const;

    NodeBase* childLeft;   // points below the split value on the split axis
    NodeBase* childRight;  // points on or above it
    int splitAxis;
    float splitValue;

private:
    friend NodeBase* buildTree(const QList<int>&, const QVector<QVector3D>&, int);
    // A flattened copy of this subtree's structure (indices and planes only),
    // made for the root of a build; it answers the same queries faster.
    std::unique_ptr<const FlatSearch> flat_;
};

class NodeLeaf : public NodeBase {
public:
    explicit NodeLeaf(const QList<int>& pointIndices);

    void findNearestPoint(const QVector3D& position, const QVector<QVector3D>& points, int& index,
                          float& distanceSquared) const override;
    int findNearestPointInd(const QVector3D& position, const QVector<QVector3D>& points,
                            float* distanceSquared) const override;
    void findNearestPoint(int pointIndex, const QVector<QVector3D>& points, int& index,
                          float& distanceSquared) const override;
    int findNearestPointInd(int pointIndex, const QVector<QVector3D>& points, float* distanceSquared) const override;

    QList<int> pointIndices;
};

// Tree over all points (indices 0 .. n-1); the caller owns the root.
NodeBase* buildTree(const QVector<QVector3D>& points, int leafSize);
// Tree over the listed points; the caller owns the root.
NodeBase* buildTree(const QList<int>& indices, const QVector<QVector3D>& points, int leafSize);

// Per-axis minimum and maximum of the listed points (inverted extremes for none).
void findPointsRange(const QList<int>& indices, const QVector<QVector3D>& points, QVector3D& minimum,
                     QVector3D& maximum);
// Points with coordinate < value go left, the others (the plane included) right.
void splitPointsByPlane(const QList<int>& indices, const QVector<QVector3D>& points, int axis, float value,
                        QList<int>& left, QList<int>& right);
// Axis of the largest component (x before y before z on ties); -1 only for NaN.
int longestAxis(const QVector3D& size);

}  // namespace KDTree
