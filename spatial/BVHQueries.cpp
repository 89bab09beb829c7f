// Ray, triangle and sphere tests of the face hierarchy, and the node queries built on them.
#include "spatial/BVH.h"

#include "spatial/BVHFirstHitSearch.h"

#include <QtGlobal>

#include <cfloat>

namespace BVH2 {

namespace {

inline bool modeAccepts(RayFaceIntersection mode, bool backFaceHit)
{
    if (mode == RayFaceIntersection_FrontFace)
        return !backFaceHit;
    if (mode == RayFaceIntersection_BackFace)
        return backFaceHit;
    return true;
}

}  // namespace

// ---- Geometric tests

bool rayIntersectsAaBoundingBox(const QVector3D& origin, const QVector3D& direction, const Viewport3D::BoundingBox& box,
                                bool hitBehindOrigin)
{
    const QVector3D minimum = box.origin;
    const QVector3D maximum = box.origin + box.size;
    double tNear = -DBL_MAX;
    double tFar = DBL_MAX;
    for (int axis = 0; axis < 3; ++axis) {
        const float o = origin[axis];
        const float d = direction[axis];
        if (d == 0.0f) {
            // Parallel to this slab: inside it (its faces included) or a miss.
            if (o < minimum[axis] || o > maximum[axis])
                return false;
            continue;
        }
        double t1 = (double(minimum[axis]) - double(o)) / double(d);
        double t2 = (double(maximum[axis]) - double(o)) / double(d);
        if (t1 > t2)
            swapDoubles(t1, t2);
        if (t1 > tNear)
            tNear = t1;
        if (t2 < tFar)
            tFar = t2;
        if (tNear > tFar)
            return false;
        if (tFar < 0.0 && !hitBehindOrigin)
            return false;
    }
    return true;
}

bool rayIntersectsAaBoundingBoxInvDir(const QVector3D& origin, const QVector3D& direction,
                                      const Viewport3D::BoundingBox& box)
{
    const QVector3D minimum = box.origin;
    const QVector3D maximum = box.origin + box.size;
    double largestNear = -DBL_MAX;
    double smallestFar = DBL_MAX;
    for (int axis = 0; axis < 3; ++axis) {
        const double inverse = 1.0 / double(direction[axis]);
        double t1 = (double(minimum[axis]) - double(origin[axis])) * inverse;
        double t2 = (double(maximum[axis]) - double(origin[axis])) * inverse;
        if (t1 > t2)
            swapDoubles(t1, t2);
        largestNear = qMax(largestNear, t1);
        smallestFar = qMin(smallestFar, t2);
    }
    if (smallestFar < 0.0)
        return false;
    return largestNear <= smallestFar;
}

bool rayIntersectsTriangle(const QVector3D& origin, const QVector3D& direction, const QVector3D& p0,
                           const QVector3D& p1, const QVector3D& p2, double& t, bool* backFaceHit, double* u, double* v)
{
    const QVector3D e1 = p1 - p0;
    const QVector3D e2 = p2 - p0;
    const QVector3D p = QVector3D::crossProduct(direction, e2);
    const double det = QVector3D::dotProduct(e1, p);
    if (det > -1e-6 && det < 1e-6)
        return false;  // parallel to the plane, or a degenerate triangle
    const double inverse = 1.0 / det;
    const QVector3D s = origin - p0;
    const double uHit = QVector3D::dotProduct(s, p) * inverse;
    if (uHit < 0.0 || uHit > 1.0)
        return false;
    const QVector3D q = QVector3D::crossProduct(s, e1);
    const double vHit = QVector3D::dotProduct(direction, q) * inverse;
    if (vHit < 0.0 || uHit + vHit > 1.0)
        return false;
    t = QVector3D::dotProduct(e2, q) * inverse;
    if (u)
        *u = uHit;
    if (v)
        *v = vHit;
    if (backFaceHit)
        *backFaceHit = det < 1e-6;
    return true;
}

bool sphereIntersectsAaBoundingBox(const QVector3D& centre, double radius, const Viewport3D::BoundingBox& box)
{
    const QVector3D minimum = box.origin;
    const QVector3D maximum = box.origin + box.size;
    double sum = 0.0;
    for (int axis = 0; axis < 3; ++axis) {
        if (centre[axis] < minimum[axis]) {
            const double d = double(centre[axis]) - double(minimum[axis]);
            sum += d * d;
        } else if (centre[axis] > maximum[axis]) {
            const double d = double(centre[axis]) - double(maximum[axis]);
            sum += d * d;
        }
    }
    return sum <= radius * radius;
}

bool pointInsideSphere(const QVector3D& point, const QVector3D& centre, double radius)
{
    return (point - centre).length() <= radius;
}

void swapDoubles(double& a, double& b)
{
    const double kept = a;
    a = b;
    b = kept;
}

int findFirstRayIntersectedTriangleLinear(const QVector<int>& faceIndices, const QVector<QList<int>>& faces,
                                          const QVector<QVector3D>& vertices, const QVector3D& origin,
                                          const QVector3D& direction, double* distance)
{
    double best = DBL_MAX;
    int index = -1;
    for (const int f : faceIndices) {
        const QList<int>& face = faces.at(f);
        double t;
        if (rayIntersectsTriangle(origin, direction, vertices.at(face.at(0)), vertices.at(face.at(1)),
                                  vertices.at(face.at(2)), t) &&
            t >= 0.0 && t < best) {
            best = t;
            index = f;
        }
    }
    if (distance)
        *distance = best;
    return index;
}

QVector<int> maskToIndexVector(const QVector<bool>& mask)
{
    QVector<int> indices;
    for (int i = 0; i < mask.size(); ++i)
        if (mask.at(i))
            indices.append(i);
    return indices;
}

// ---- Inner node

void BvhNode::markRayIntersectionCandidateFaces(const QVector3D& origin, const QVector3D& direction,
                                                QVector<bool>& faceMask) const
{
    childLeft->markRayIntersectionCandidateFaces(origin, direction, faceMask);
    childRight->markRayIntersectionCandidateFaces(origin, direction, faceMask);
}

int BvhNode::findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                                const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                                RayFaceIntersection mode, double* u, double* v) const
{
    int faceIndex = -1;
    double distance = DBL_MAX;
    findFirstRayIntersectedTriangle(origin, direction, faces, vertices, mode, faceIndex, distance, u, v);
    return faceIndex;
}

void BvhNode::findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                              const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                              RayFaceIntersection mode, int& faceIndex, double& distance, double* u,
                                              double* v) const
{
    // The root's search answers as the walk below would; rays it cannot vouch for take the walk.
    if (search_ && search_->findFirstHit(origin, direction, mode, faceIndex, distance, u, v))
        return;
    if (!rayIntersectsAaBoundingBox(origin, direction, boundingBox))
        return;
    childLeft->findFirstRayIntersectedTriangle(origin, direction, faces, vertices, mode, faceIndex, distance, u, v);
    childRight->findFirstRayIntersectedTriangle(origin, direction, faces, vertices, mode, faceIndex, distance, u, v);
}

void BvhNode::findVerticesInsideSphere(const QVector3D& centre, double radius, const QVector<QList<int>>& faces,
                                       const QVector<QVector3D>& vertices, QMap<int, double>& vertexDistances) const
{
    if (!sphereIntersectsAaBoundingBox(centre, radius, boundingBox))
        return;
    childLeft->findVerticesInsideSphere(centre, radius, faces, vertices, vertexDistances);
    childRight->findVerticesInsideSphere(centre, radius, faces, vertices, vertexDistances);
}

void BvhNode::selectIntersectedTriangles(const QVector3D& origin, const QVector3D& direction,
                                         const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                         RayFaceIntersection mode, QVector<bool>& faceMask) const
{
    if (!rayIntersectsAaBoundingBox(origin, direction, boundingBox))
        return;
    childLeft->selectIntersectedTriangles(origin, direction, faces, vertices, mode, faceMask);
    childRight->selectIntersectedTriangles(origin, direction, faces, vertices, mode, faceMask);
}

// ---- Leaf

void BvhNodeLeaf::markRayIntersectionCandidateFaces(const QVector3D& origin, const QVector3D& direction,
                                                    QVector<bool>& faceMask) const
{
    if (!rayIntersectsAaBoundingBox(origin, direction, boundingBox))
        return;
    for (const int f : faceIndices)
        faceMask[f] = true;
}

int BvhNodeLeaf::findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                                    const QVector<QList<int>>& faces,
                                                    const QVector<QVector3D>& vertices, RayFaceIntersection mode,
                                                    double* u, double* v) const
{
    int faceIndex = -1;
    double distance = DBL_MAX;
    findFirstRayIntersectedTriangle(origin, direction, faces, vertices, mode, faceIndex, distance, u, v);
    return faceIndex;
}

void BvhNodeLeaf::findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                                  const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                                  RayFaceIntersection mode, int& faceIndex, double& distance, double* u,
                                                  double* v) const
{
    if (!rayIntersectsAaBoundingBox(origin, direction, boundingBox))
        return;
    for (const int f : faceIndices) {
        const QList<int>& face = faces.at(f);
        if (face.size() < 3)
            continue;
        double t, uHit, vHit;
        bool backFaceHit;
        if (!rayIntersectsTriangle(origin, direction, vertices.at(face.at(0)), vertices.at(face.at(1)),
                                   vertices.at(face.at(2)), t, &backFaceHit, &uHit, &vHit))
            continue;
        if (!modeAccepts(mode, backFaceHit) || !(t >= 0.0) || !(t < distance))
            continue;
        distance = t;
        faceIndex = f;
        if (u)
            *u = uHit;
        if (v)
            *v = vHit;
    }
}

void BvhNodeLeaf::findVerticesInsideSphere(const QVector3D& centre, double radius, const QVector<QList<int>>& faces,
                                           const QVector<QVector3D>& vertices, QMap<int, double>& vertexDistances) const
{
    if (!sphereIntersectsAaBoundingBox(centre, radius, boundingBox))
        return;
    for (const int f : faceIndices) {
        for (const int index : faces.at(f)) {
            const QVector3D& vertex = vertices.at(index);
            if (!pointInsideSphere(vertex, centre, radius) || vertexDistances.contains(index))
                continue;
            vertexDistances.insert(index, double((centre - vertex).length()));
        }
    }
}

void BvhNodeLeaf::selectIntersectedTriangles(const QVector3D& origin, const QVector3D& direction,
                                             const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                             RayFaceIntersection mode, QVector<bool>& faceMask) const
{
    for (const int f : faceIndices) {
        const QList<int>& face = faces.at(f);
        if (face.size() < 3)
            continue;
        double t;
        bool backFaceHit;
        if (rayIntersectsTriangle(origin, direction, vertices.at(face.at(0)), vertices.at(face.at(1)),
                                  vertices.at(face.at(2)), t, &backFaceHit) &&
            modeAccepts(mode, backFaceHit))
            faceMask[f] = true;
    }
}

// ---- Empty node: finds and marks nothing.

void BvhNodeEmpty::markRayIntersectionCandidateFaces(const QVector3D&, const QVector3D&, QVector<bool>&) const {}

int BvhNodeEmpty::findFirstRayIntersectedTriangleInd(const QVector3D&, const QVector3D&, const QVector<QList<int>>&,
                                                     const QVector<QVector3D>&, RayFaceIntersection, double*,
                                                     double*) const
{
    return -1;
}

void BvhNodeEmpty::findFirstRayIntersectedTriangle(const QVector3D&, const QVector3D&, const QVector<QList<int>>&,
                                                   const QVector<QVector3D>&, RayFaceIntersection, int&, double&,
                                                   double*, double*) const
{}

void BvhNodeEmpty::findVerticesInsideSphere(const QVector3D&, double, const QVector<QList<int>>&,
                                            const QVector<QVector3D>&, QMap<int, double>&) const
{}

void BvhNodeEmpty::selectIntersectedTriangles(const QVector3D&, const QVector3D&, const QVector<QList<int>>&,
                                              const QVector<QVector3D>&, RayFaceIntersection, QVector<bool>&) const
{}

}  // namespace BVH2
