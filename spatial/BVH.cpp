// Construction of the face hierarchy, whole-subtree selection and the debug dump.
#include "spatial/BVH.h"

#include "spatial/BVHFlatHierarchy.h"

#include <QDebug>
#include <QString>
#include <QStringList>

namespace BVH2 {

namespace {

BvhNodeBase* buildSubtree(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                          const QVector<QList<int> >& faces, int leafSize)
{
    if (faceIndices.isEmpty())
        return new BvhNodeEmpty();
    const Viewport3D::BoundingBox box = computeBoundingBox(faceIndices, vertices, faces);
    if (faceIndices.size() <= leafSize)
        return new BvhNodeLeaf(faceIndices, box);
    const SplitAxis axis = SplitAxis(box.longestAxis());
    const float value = boundingBoxCenterAlongAxis(box, axis);
    QList<int> left, right, intersecting;
    splitFacesByAxisAlignedPlane(axis, value, faceIndices, vertices, faces, left, right, intersecting);
    // No face wholly on one side: the plane cannot separate this list any further.
    if (left.isEmpty() || right.isEmpty())
        return new BvhNodeLeaf(faceIndices, box);
    return new BvhNode(left + intersecting, right + intersecting, box, vertices, faces, leafSize);
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

int BvhNodeBase::findFirstRayIntersectedTriangleInd(const QVector3D&, const QVector3D&, const QVector<QList<int> >&,
                                                    const QVector<QVector3D>&, RayFaceIntersection, double*,
                                                    double*) const
{
    qDebug() << "Calling virtual method BvhNodeBase::findFirstRayTriangleIntersection";
    return -1;
}

void BvhNodeBase::findFirstRayIntersectedTriangle(const QVector3D&, const QVector3D&, const QVector<QList<int> >&,
                                                  const QVector<QVector3D>&, RayFaceIntersection, int&, double&,
                                                  double*, double*) const
{
    qDebug() << "Calling virtual method BvhNodeBase::findFirstRayTriangleIntersection";
}

void BvhNodeBase::findVerticesInsideSphere(const QVector3D&, double, const QVector<QList<int> >&,
                                           const QVector<QVector3D>&, QMap<int, double>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::findVerticesInsideSphere";
}

void BvhNodeBase::selectFaces(QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::selectFaces";
}

void BvhNodeBase::selectIntersectedTriangles(const QVector3D&, const QVector3D&, const QVector<QList<int> >&,
                                             const QVector<QVector3D>&, RayFaceIntersection, QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::selectIntersectedTriangles";
}

void BvhNodeBase::selectIntersectedTriangles(const QVector<QVector3D>&, const QVector<QList<int> >&,
                                             const QVector<QVector3D>&, const QVector<QVector3D>&,
                                             const QVector<QVector3D>&, QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::selectIntersectedTriangles";
}

void BvhNodeBase::selectIntersectedTriangles(const QVector<QVector3D>&, const QVector<QList<int> >&,
                                             const ConvexPolyhedron&, QVector<bool>&) const
{
    qDebug() << "Calling virtual method BvhNodeBase::selectIntersectedTriangles";
}

// ---- Inner node

BvhNode::BvhNode(const QList<int>& left, const QList<int>& right, const Viewport3D::BoundingBox& boundingBox,
                 const QVector<QVector3D>& vertices, const QVector<QList<int> >& faces, int leafSize)
    : childLeft(nullptr), childRight(nullptr), boundingBox(boundingBox)
{
    childLeft = buildSubtree(left, vertices, faces, leafSize);
    childRight = buildSubtree(right, vertices, faces, leafSize);
}

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
{
}

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

BvhNodeBase* buildTree(const QVector<QVector3D>& vertices, const QVector<QList<int> >& faces, int leafSize)
{
    QList<int> faceIndices;
    faceIndices.reserve(faces.size());
    for (int f = 0; f < faces.size(); ++f)
        faceIndices.append(f);
    return buildTree(faceIndices, vertices, faces, leafSize);
}

BvhNodeBase* buildTree(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                       const QVector<QList<int> >& faces, int leafSize)
{
    BvhNodeBase* root = buildSubtree(faceIndices, vertices, faces, leafSize);
    if (BvhNode* node = dynamic_cast<BvhNode*>(root))
        node->flat.reset(new FlatHierarchy(node, faces));
    return root;
}

Viewport3D::BoundingBox computeBoundingBox(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                                           const QVector<QList<int> >& faces)
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
                                  const QVector<QVector3D>& vertices, const QVector<QList<int> >& faces,
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
                                  const QVector<QVector3D>& vertices, const QVector<QList<int> >& faces,
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
