// Construction of the face hierarchy, whole-subtree selection and the debug dump.
#include "spatial/BVH.h"

#include "spatial/BVHFirstHitSearch.h"

#include <QDebug>
#include <QString>
#include <QStringList>
#include <QtConcurrent>

#include <cmath>
#include <vector>

namespace BVH2 {

// The recursive build on plain index vectors. Each face's extents over all
// its vertices are read once; a node's box and the plane test then use them,
// which gives the same boxes and sides as the vertex-by-vertex definitions
// (strict comparisons in the same order keep even the sign of zeros). Faces
// with a NaN coordinate or without indices take the vertex-by-vertex path.
//
// With parallel levels, the left subtrees of the top levels of a large build
// are built on the thread pool while this thread builds the right ones. Each
// subtree depends only on its face list, so the tree is the same node for node
// as the one-thread build; its builders share the face extents, which the
// root's call has read for every face before any subtree starts.
class TreeBuilder {
public:
    TreeBuilder(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces, int leafSize,
                int parallelLevels = 0)
        : vertices_(vertices),
          faces_(faces),
          leafSize_(leafSize),
          parallelLevels_(parallelLevels),
          state_(ownState_),
          extents_(ownExtents_)
    {}

    BvhNodeBase* build(std::vector<int>&& list) { return build(std::move(list), parallelLevels_); }

private:
    // Fewer faces than this are not worth a task.
    static constexpr size_t parallelFaces = 20000;

    // A builder of one subtree on another thread, with its own scratch.
    TreeBuilder(TreeBuilder& parent, int parallelLevels)
        : vertices_(parent.vertices_),
          faces_(parent.faces_),
          leafSize_(parent.leafSize_),
          parallelLevels_(parallelLevels),
          state_(parent.state_),
          extents_(parent.extents_)
    {}

    BvhNodeBase* build(std::vector<int>&& list, int levels)
    {
        if (list.empty())
            return new BvhNodeEmpty();
        readExtents(list);
        const Viewport3D::BoundingBox box = boxOf(list);
        if (list.size() <= size_t(std::max(leafSize_, 0)))
            return new BvhNodeLeaf(toQList(list), box);
        const int axis = box.longestAxis();
        if (axis < 0)  // NaN extents: every face counts as right of the plane
            return new BvhNodeLeaf(toQList(list), box);
        const float value = boundingBoxCenterAlongAxis(box, SplitAxis(axis));
        side_.resize(list.size());
        size_t counts[3] = {0, 0, 0};
        for (size_t i = 0; i < list.size(); ++i) {
            side_[i] = sideOf(list[i], SplitAxis(axis), value);
            ++counts[side_[i] + 1];
        }
        const size_t nLeft = counts[FaceToPlanePosition_Left + 1];
        const size_t nRight = counts[FaceToPlanePosition_Right + 1];
        const size_t nBoth = counts[FaceToPlanePosition_Intersects + 1];
        if (nLeft == 0 || nRight == 0)
            return new BvhNodeLeaf(toQList(list), box);
        std::vector<int> left, right;
        left.reserve(nLeft + nBoth);
        right.reserve(nRight + nBoth);
        for (size_t i = 0; i < list.size(); ++i) {
            if (side_[i] == FaceToPlanePosition_Left)
                left.push_back(list[i]);
            else if (side_[i] == FaceToPlanePosition_Right)
                right.push_back(list[i]);
        }
        for (size_t i = 0; i < list.size(); ++i) {
            if (side_[i] == FaceToPlanePosition_Intersects) {
                left.push_back(list[i]);
                right.push_back(list[i]);
            }
        }
        std::vector<int>().swap(list);
        if (levels > 0 && left.size() + right.size() >= parallelFaces) {
            TreeBuilder leftBuilder(*this, levels - 1);
            QFuture<BvhNodeBase*> leftBuild =
                QtConcurrent::run([&leftBuilder, &left] { return leftBuilder.build(std::move(left)); });
            BvhNodeBase* rightChild = build(std::move(right), levels - 1);
            BvhNodeBase* leftChild = leftBuild.result();
            return new BvhNode(leftChild, rightChild, box);
        }
        BvhNodeBase* leftChild = build(std::move(left), levels);
        BvhNodeBase* rightChild = build(std::move(right), levels);
        return new BvhNode(leftChild, rightChild, box);
    }

    static QList<int> toQList(const std::vector<int>& list)
    {
        QList<int> result;
        result.reserve(int(list.size()));
        for (const int f : list)
            result.append(f);
        return result;
    }

    void readExtents(const std::vector<int>& list)
    {
        if (state_.empty()) {
            state_.assign(size_t(faces_.size()), unread);
            extents_.resize(6 * size_t(faces_.size()));
        }
        for (const int f : list) {
            if (state_[size_t(f)] != unread)
                continue;
            const QList<int>& face = faces_.at(f);
            bool plain = face.isEmpty();
            float* e = &extents_[6 * size_t(f)];
            for (int k = 0; k < face.size() && !plain; ++k) {
                const QVector3D& p = vertices_.at(face.at(k));
                for (int a = 0; a < 3; ++a) {
                    const float c = p[a];
                    if (std::isnan(c)) {
                        plain = true;
                    } else if (k == 0) {
                        e[a] = e[3 + a] = c;
                    } else {
                        if (c < e[a])
                            e[a] = c;
                        if (c > e[3 + a])
                            e[3 + a] = c;
                    }
                }
            }
            state_[size_t(f)] = plain ? vertexByVertex : summarised;
        }
    }

    Viewport3D::BoundingBox boxOf(const std::vector<int>& list) const
    {
        for (const int f : list)
            if (state_[size_t(f)] == vertexByVertex)
                return computeBoundingBox(toQList(list), vertices_, faces_);
        const float* first = &extents_[6 * size_t(list.front())];
        float lo[3] = {first[0], first[1], first[2]};
        float hi[3] = {first[3], first[4], first[5]};
        for (const int f : list) {
            const float* e = &extents_[6 * size_t(f)];
            for (int a = 0; a < 3; ++a) {
                if (e[a] < lo[a])
                    lo[a] = e[a];
                if (e[3 + a] > hi[a])
                    hi[a] = e[3 + a];
            }
        }
        const QVector3D minimum(lo[0], lo[1], lo[2]);
        const QVector3D maximum(hi[0], hi[1], hi[2]);
        return Viewport3D::BoundingBox(minimum, maximum - minimum);
    }

    signed char sideOf(int f, SplitAxis axis, float value) const
    {
        if (state_[size_t(f)] == vertexByVertex)
            return static_cast<signed char>(getFaceToAxisAlignedPlanePosition(axis, value, faces_.at(f), vertices_));
        const float* e = &extents_[6 * size_t(f)];
        const bool low = e[axis] <= value;
        const bool high = e[3 + axis] >= value;
        if (low && high)
            return FaceToPlanePosition_Intersects;
        return low ? FaceToPlanePosition_Left : FaceToPlanePosition_Right;
    }

    enum : unsigned char { unread, summarised, vertexByVertex };

    const QVector<QVector3D>& vertices_;
    const QVector<QList<int>>& faces_;
    const int leafSize_;
    const int parallelLevels_;
    std::vector<unsigned char> ownState_;  // the root builder's storage of the two below
    std::vector<float> ownExtents_;
    std::vector<unsigned char>& state_;  // per face
    std::vector<float>& extents_;        // per face: minimum x, y, z, maximum x, y, z
    std::vector<signed char> side_;      // scratch of one node's plane test
};

namespace {

BvhNodeBase* buildSubtree(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                          const QVector<QList<int>>& faces, int leafSize)
{
    TreeBuilder builder(vertices, faces, leafSize);
    return builder.build(std::vector<int>(faceIndices.begin(), faceIndices.end()));
}

QString indent(int depth)
{
    return QString(depth > 0 ? depth : 0, QLatin1Char('\t'));
}

}  // namespace

// ---- Base: never built on its own; its bodies only report the call.

BvhNodeBase::BvhNodeBase() = default;
BvhNodeBase::~BvhNodeBase() = default;

void BvhNodeBase::debugTraverse(int) const
{
    qDebug() << "Calling virtual method BvhNodeBase::debugTraverse";
}

void BvhNodeBase::markRayIntersectionCandidateFaces(const QVector3D&, const QVector3D&, QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::checkRayIntersectionCandidateFaces";
}

int BvhNodeBase::findFirstRayIntersectedTriangleInd(const QVector3D&, const QVector3D&, const QVector<QList<int>>&,
                                                    const QVector<QVector3D>&, RayFaceIntersection, double*,
                                                    double*) const
{
    qDebug() << "Calling virtual method BvhNodeBase::findFirstRayTriangleIntersection";
    return -1;
}

void BvhNodeBase::findFirstRayIntersectedTriangle(const QVector3D&, const QVector3D&, const QVector<QList<int>>&,
                                                  const QVector<QVector3D>&, RayFaceIntersection, int&, double&,
                                                  double*, double*) const
{
    qDebug() << "Calling virtual method BvhNodeBase::findFirstRayTriangleIntersection";
}

void BvhNodeBase::findVerticesInsideSphere(const QVector3D&, double, const QVector<QList<int>>&,
                                           const QVector<QVector3D>&, QMap<int, double>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::findVerticesInsideSphere";
}

void BvhNodeBase::selectFaces(QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::selectFaces";
}

void BvhNodeBase::selectIntersectedTriangles(const QVector3D&, const QVector3D&, const QVector<QList<int>>&,
                                             const QVector<QVector3D>&, RayFaceIntersection, QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::selectIntersectedTriangles";
}

void BvhNodeBase::selectIntersectedTriangles(const QVector<QVector3D>&, const QVector<QList<int>>&,
                                             const QVector<QVector3D>&, const QVector<QVector3D>&,
                                             const QVector<QVector3D>&, QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::selectIntersectedTriangles";
}

void BvhNodeBase::selectIntersectedTriangles(const QVector<QVector3D>&, const QVector<QList<int>>&,
                                             const ConvexPolyhedron&, QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::selectIntersectedTriangles";
}

// ---- Inner node

BvhNode::BvhNode(const QList<int>& left, const QList<int>& right, const Viewport3D::BoundingBox& boundingBox,
                 const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces, int leafSize)
    : childLeft(nullptr), childRight(nullptr), boundingBox(boundingBox)
{
    childLeft = buildSubtree(left, vertices, faces, leafSize);
    childRight = buildSubtree(right, vertices, faces, leafSize);
}

BvhNode::BvhNode(BvhNodeBase* left, BvhNodeBase* right, const Viewport3D::BoundingBox& boundingBox)
    : childLeft(left), childRight(right), boundingBox(boundingBox)
{}

BvhNode::~BvhNode()
{
    if (childLeft)
        delete childLeft;
    childLeft = nullptr;
    if (childRight)
        delete childRight;
    childRight = nullptr;
}

void BvhNode::debugTraverse(int depth) const
{
    qDebug() << indent(depth) + "Node";
    qDebug() << indent(depth) + "Left child:";
    childLeft->debugTraverse(depth + 1);
    qDebug() << indent(depth) + "Right child:";
    childRight->debugTraverse(depth + 1);
}

void BvhNode::selectFaces(QVector<bool>& faceMask) const
{
    childLeft->selectFaces(faceMask);
    childRight->selectFaces(faceMask);
}

// ---- Leaf

BvhNodeLeaf::BvhNodeLeaf(const QList<int>& faceIndices, const Viewport3D::BoundingBox& boundingBox)
    : faceIndices(faceIndices), boundingBox(boundingBox)
{}

void BvhNodeLeaf::debugTraverse(int depth) const
{
    QStringList numbers;
    for (const int f : faceIndices)
        numbers.append(QString::number(f));
    qDebug() << indent(depth) + "NodeLeaf: " + numbers.join(QLatin1Char(','));
}

void BvhNodeLeaf::selectFaces(QVector<bool>& faceMask) const
{
    for (const int f : faceIndices)
        faceMask[f] = true;
}

// ---- Empty node

BvhNodeEmpty::BvhNodeEmpty() = default;

void BvhNodeEmpty::debugTraverse(int depth) const
{
    qDebug() << indent(depth) + "NodeEmpty";
}

void BvhNodeEmpty::selectFaces(QVector<bool>&) const {}

// ---- Build

BvhNodeBase* buildTree(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces, int leafSize)
{
    QList<int> faceIndices;
    faceIndices.reserve(faces.size());
    for (int f = 0; f < faces.size(); ++f)
        faceIndices.append(f);
    return buildTree(faceIndices, vertices, faces, leafSize);
}

namespace {
// Up to 2^4 subtrees at once.
constexpr int kParallelLevels = 4;
}  // namespace

// The root of a whole build also gets the first-hit search.
BvhNodeBase* buildSearchableTree(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                                 const QVector<QList<int>>& faces, int leafSize, int parallelLevels)
{
    TreeBuilder builder(vertices, faces, leafSize, parallelLevels);
    BvhNodeBase* root = builder.build(std::vector<int>(faceIndices.begin(), faceIndices.end()));
    if (BvhNode* node = dynamic_cast<BvhNode*>(root))
        node->search_ = FirstHitSearch::create(node, vertices, faces, parallelLevels > 0);
    return root;
}

BvhNodeBase* buildTree(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                       const QVector<QList<int>>& faces, int leafSize)
{
    return buildSearchableTree(faceIndices, vertices, faces, leafSize, kParallelLevels);
}

BvhNodeBase* buildTreeOnOneThread(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                                  const QVector<QList<int>>& faces, int leafSize)
{
    return buildSearchableTree(faceIndices, vertices, faces, leafSize, 0);
}

Viewport3D::BoundingBox computeBoundingBox(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                                           const QVector<QList<int>>& faces)
{
    // Seeded with the first vertex of the first listed face that has one
    // (faces without indices add nothing; none at all gives the zero box).
    bool seeded = false;
    QVector3D minimum, maximum;
    for (const int f : faceIndices) {
        for (const int v : faces.at(f)) {
            const QVector3D& p = vertices.at(v);
            if (!seeded) {
                minimum = maximum = p;
                seeded = true;
            }
            for (int axis = 0; axis < 3; ++axis) {
                if (p[axis] < minimum[axis])
                    minimum[axis] = p[axis];
                if (p[axis] > maximum[axis])
                    maximum[axis] = p[axis];
            }
        }
    }
    return Viewport3D::BoundingBox(minimum, maximum - minimum);
}

FaceToPlanePosition getFaceToAxisAlignedPlanePosition(SplitAxis axis, double value, const QList<int>& face,
                                                      const QVector<QVector3D>& vertices)
{
    bool low = false;
    bool high = false;
    for (const int v : face) {
        const float coordinate = vectorComponent(vertices.at(v), axis);
        if (coordinate <= value)
            low = true;
        if (coordinate >= value)
            high = true;
    }
    if (low && high)
        return FaceToPlanePosition_Intersects;
    if (low)
        return FaceToPlanePosition_Left;
    return FaceToPlanePosition_Right;
}

void splitFacesByAxisAlignedPlane(SplitAxis axis, double value, const QList<int>& faceIndices,
                                  const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                  QList<int>& left, QList<int>& right, QList<int>& intersecting)
{
    left.clear();
    right.clear();
    intersecting.clear();
    left.reserve(faceIndices.size());
    right.reserve(faceIndices.size());
    intersecting.reserve(faceIndices.size());
    for (const int f : faceIndices) {
        switch (getFaceToAxisAlignedPlanePosition(axis, value, faces.at(f), vertices)) {
            case FaceToPlanePosition_Left:
                left.append(f);
                break;
            case FaceToPlanePosition_Right:
                right.append(f);
                break;
            case FaceToPlanePosition_Intersects:
                intersecting.append(f);
                break;
        }
    }
}

void splitFacesByAxisAlignedPlane(SplitAxis axis, double value, const QList<int>& faceIndices,
                                  const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                  QList<int>& left, QList<int>& right)
{
    left.clear();
    right.clear();
    for (const int f : faceIndices) {
        const FaceToPlanePosition position = getFaceToAxisAlignedPlanePosition(axis, value, faces.at(f), vertices);
        if (position != FaceToPlanePosition_Right)
            left.append(f);
        if (position != FaceToPlanePosition_Left)
            right.append(f);
    }
}

float boundingBoxCenterAlongAxis(const Viewport3D::BoundingBox& box, SplitAxis axis)
{
    return vectorComponent(box.center(), axis);
}

int boundingBoxLongestAxis(const Viewport3D::BoundingBox& box)
{
    return box.longestAxis();
}

}  // namespace BVH2
