// Separating-axis tests between convex volumes, and the selection of the
// triangles in or touching a frustum or convex polyhedron through the hierarchy.
#include "spatial/ConvexPolyhedron.h"

#include "spatial/BVH.h"

#include <cfloat>

namespace BVH2 {

ConvexPolyhedron::ConvexPolyhedron(const QVector<QVector3D>& vertices, const QVector<QVector3D>& edgeVectors,
                                   const QVector<QVector3D>& polygonNormals)
    : vertices(vertices), edgeVectors(edgeVectors), polygonNormals(polygonNormals)
{}

ConvexPolyhedron::ConvexPolyhedron(const Viewport3D::BoundingBox& box)
    : vertices(box.getVertices()), edgeVectors(boxAxes), polygonNormals(boxAxes)
{}

ConvexPolyhedron::ConvexPolyhedron(const QVector3D& p0, const QVector3D& p1, const QVector3D& p2)
    : vertices({p0, p1, p2}),
      edgeVectors({p1 - p0, p2 - p1, p0 - p2}),
      polygonNormals({QVector3D::crossProduct(p1 - p0, p2 - p1)})
{}

ConvexPolyhedron::ConvexPolyhedron(const QVector<QVector3D>& triangle)
    : ConvexPolyhedron(triangle.at(0), triangle.at(1), triangle.at(2))
{}

void getProjectionRange(const QVector3D& axis, const QVector<QVector3D>& vertices, float& min, float& max)
{
    min = FLT_MAX;
    max = -FLT_MAX;
    for (const QVector3D& vertex : vertices) {
        const float d = QVector3D::dotProduct(axis, vertex);
        if (d > max)
            max = d;
        if (d < min)
            min = d;
    }
}

PolyhedronIntersection checkAxisProjectionIntersection(const QVector3D& axis, const QVector<QVector3D>& verticesA,
                                                       const QVector<QVector3D>& verticesB)
{
    float minA, maxA, minB, maxB;
    getProjectionRange(axis, verticesA, minA, maxA);
    getProjectionRange(axis, verticesB, minB, maxB);
    if (minB > maxA || minA > maxB)
        return PolyhedronIntersection_NoIntersection;
    if (minA == minB && maxA == maxB)
        return PolyhedronIntersection_AEqualsB;
    if (minB <= minA && maxA <= maxB)
        return PolyhedronIntersection_AInsideB;
    if (minA <= minB && maxB <= maxA)
        return PolyhedronIntersection_BInsideA;
    return PolyhedronIntersection_PartialOverlap;
}

QVector<QVector3D> buildSeparatingAxes(const QVector<QVector3D>& normalsA, const QVector<QVector3D>& edgesA,
                                       const QVector<QVector3D>& normalsB, const QVector<QVector3D>& edgesB)
{
    QVector<QVector3D> axes;
    axes.reserve(normalsA.size() + normalsB.size() + edgesA.size() * edgesB.size());
    axes += normalsA;
    axes += normalsB;
    for (const QVector3D& a : edgesA)
        for (const QVector3D& b : edgesB)
            axes.append(QVector3D::crossProduct(a, b));
    return axes;
}

PolyhedronIntersection checkConvexPolyhedronsIntersection(
    const QVector<QVector3D>& verticesA, const QVector<QVector3D>& normalsA, const QVector<QVector3D>& edgesA,
    const QVector<QVector3D>& verticesB, const QVector<QVector3D>& normalsB, const QVector<QVector3D>& edgesB)
{
    const QVector<QVector3D> axes = buildSeparatingAxes(normalsA, edgesA, normalsB, edgesB);
    bool allAInB = true;
    bool allBInA = true;
    for (const QVector3D& axis : axes) {
        const PolyhedronIntersection r = checkAxisProjectionIntersection(axis, verticesA, verticesB);
        if (r == PolyhedronIntersection_NoIntersection)
            return r;
        if (r != PolyhedronIntersection_AInsideB && r != PolyhedronIntersection_AEqualsB)
            allAInB = false;
        if (r != PolyhedronIntersection_BInsideA && r != PolyhedronIntersection_AEqualsB)
            allBInA = false;
    }
    if (allAInB && allBInA)
        return PolyhedronIntersection_AEqualsB;
    if (allBInA)
        return PolyhedronIntersection_BInsideA;
    if (allAInB)
        return PolyhedronIntersection_AInsideB;
    return PolyhedronIntersection_PartialOverlap;
}

PolyhedronIntersection checkConvexPolyhedronsIntersection(const ConvexPolyhedron& a, const ConvexPolyhedron& b)
{
    return checkConvexPolyhedronsIntersection(a.vertices, a.polygonNormals, a.edgeVectors, b.vertices, b.polygonNormals,
                                              b.edgeVectors);
}

PolyhedronIntersection frustumIntersectsAaBoundingBox(const QVector<QVector3D>& frustumVertices,
                                                      const QVector<QVector3D>& frustumNormals,
                                                      const QVector<QVector3D>& frustumEdges,
                                                      const Viewport3D::BoundingBox& box)
{
    return checkConvexPolyhedronsIntersection(frustumVertices, frustumNormals, frustumEdges, box.getVertices(), boxAxes,
                                              boxAxes);
}

PolyhedronIntersection frustumIntersectsTriangle(const QVector<QVector3D>& frustumVertices,
                                                 const QVector<QVector3D>& frustumNormals,
                                                 const QVector<QVector3D>& frustumEdges, const QVector3D& p0,
                                                 const QVector3D& p1, const QVector3D& p2)
{
    const ConvexPolyhedron triangle(p0, p1, p2);
    return checkConvexPolyhedronsIntersection(frustumVertices, frustumNormals, frustumEdges, triangle.vertices,
                                              triangle.polygonNormals, triangle.edgeVectors);
}

bool triangleIntersectsAaBoundingBox(const QVector<QVector3D>& triangle, const Viewport3D::BoundingBox& box)
{
    const QVector3D c = box.origin + box.size * 0.5f;
    const QVector3D h = box.size * 0.5f;
    const QVector3D q[3] = {triangle.at(0) - c, triangle.at(1) - c, triangle.at(2) - c};
    const QVector3D e[3] = {q[1] - q[0], q[2] - q[1], q[0] - q[2]};

    for (const QVector3D& edge : e) {
        for (const QVector3D& unit : boxAxes) {
            const QVector3D a = QVector3D::crossProduct(unit, edge);
            const float rad = h.x() * qAbs(a.x()) + h.y() * qAbs(a.y()) + h.z() * qAbs(a.z());
            const float s0 = QVector3D::dotProduct(a, q[0]);
            const float s1 = QVector3D::dotProduct(a, q[1]);
            const float s2 = QVector3D::dotProduct(a, q[2]);
            if (qMin(s0, qMin(s1, s2)) > rad || qMax(s0, qMax(s1, s2)) < -rad)
                return false;
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        const float lo = qMin(q[0][axis], qMin(q[1][axis], q[2][axis]));
        const float hi = qMax(q[0][axis], qMax(q[1][axis], q[2][axis]));
        if (lo > h[axis] || hi < -h[axis])
            return false;
    }
    const QVector3D m = QVector3D::crossProduct(e[0], e[1]);
    QVector3D vmin, vmax;
    for (int i = 0; i < 3; ++i) {
        if (m[i] > 0.0f) {
            vmin[i] = -h[i] - q[0][i];
            vmax[i] = h[i] - q[0][i];
        } else {
            vmin[i] = h[i] - q[0][i];
            vmax[i] = -h[i] - q[0][i];
        }
    }
    if (QVector3D::dotProduct(m, vmin) > 0.0f)
        return false;
    return QVector3D::dotProduct(m, vmax) >= 0.0f;
}

// ---- Selection through the hierarchy. The volume is A, the box or triangle B:
// a subtree separated from the volume is skipped, one inside it taken whole.

namespace {

template <typename NodeTest, typename TriangleTest>
void selectInLeaf(const BvhNodeLeaf& leaf, const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                  QVector<bool>& faceMask, NodeTest nodeTest, TriangleTest triangleTest)
{
    const PolyhedronIntersection r = nodeTest(leaf.boundingBox);
    if (r == PolyhedronIntersection_NoIntersection)
        return;
    if (r == PolyhedronIntersection_BInsideA) {
        leaf.selectFaces(faceMask);
        return;
    }
    for (const int f : leaf.faceIndices) {
        const QList<int>& face = faces.at(f);
        if (face.size() < 3)
            continue;
        if (triangleTest(vertices.at(face.at(0)), vertices.at(face.at(1)), vertices.at(face.at(2))) !=
            PolyhedronIntersection_NoIntersection)
            faceMask[f] = true;
    }
}

}  // namespace

void BvhNode::selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                         const QVector<QVector3D>& frustumVertices,
                                         const QVector<QVector3D>& frustumNormals,
                                         const QVector<QVector3D>& frustumEdges, QVector<bool>& faceMask) const
{
    const PolyhedronIntersection r =
        frustumIntersectsAaBoundingBox(frustumVertices, frustumNormals, frustumEdges, boundingBox);
    if (r == PolyhedronIntersection_NoIntersection)
        return;
    if (r == PolyhedronIntersection_BInsideA) {
        childLeft->selectFaces(faceMask);
        childRight->selectFaces(faceMask);
        return;
    }
    childLeft->selectIntersectedTriangles(vertices, faces, frustumVertices, frustumNormals, frustumEdges, faceMask);
    childRight->selectIntersectedTriangles(vertices, faces, frustumVertices, frustumNormals, frustumEdges, faceMask);
}

void BvhNode::selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                         const ConvexPolyhedron& polyhedron, QVector<bool>& faceMask) const
{
    const PolyhedronIntersection r = checkConvexPolyhedronsIntersection(polyhedron, ConvexPolyhedron(boundingBox));
    if (r == PolyhedronIntersection_NoIntersection)
        return;
    if (r == PolyhedronIntersection_BInsideA) {
        childLeft->selectFaces(faceMask);
        childRight->selectFaces(faceMask);
        return;
    }
    childLeft->selectIntersectedTriangles(vertices, faces, polyhedron, faceMask);
    childRight->selectIntersectedTriangles(vertices, faces, polyhedron, faceMask);
}

void BvhNodeLeaf::selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                             const QVector<QVector3D>& frustumVertices,
                                             const QVector<QVector3D>& frustumNormals,
                                             const QVector<QVector3D>& frustumEdges, QVector<bool>& faceMask) const
{
    selectInLeaf(
        *this, vertices, faces, faceMask,
        [&](const Viewport3D::BoundingBox& box) {
            return frustumIntersectsAaBoundingBox(frustumVertices, frustumNormals, frustumEdges, box);
        },
        [&](const QVector3D& p0, const QVector3D& p1, const QVector3D& p2) {
            return frustumIntersectsTriangle(frustumVertices, frustumNormals, frustumEdges, p0, p1, p2);
        });
}

void BvhNodeLeaf::selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                             const ConvexPolyhedron& polyhedron, QVector<bool>& faceMask) const
{
    selectInLeaf(
        *this, vertices, faces, faceMask,
        [&](const Viewport3D::BoundingBox& box) {
            return checkConvexPolyhedronsIntersection(polyhedron, ConvexPolyhedron(box));
        },
        [&](const QVector3D& p0, const QVector3D& p1, const QVector3D& p2) {
            return checkConvexPolyhedronsIntersection(polyhedron, ConvexPolyhedron(p0, p1, p2));
        });
}

void BvhNodeEmpty::selectIntersectedTriangles(const QVector<QVector3D>&, const QVector<QList<int>>&,
                                              const QVector<QVector3D>&, const QVector<QVector3D>&,
                                              const QVector<QVector3D>&, QVector<bool>&) const
{}

void BvhNodeEmpty::selectIntersectedTriangles(const QVector<QVector3D>&, const QVector<QList<int>>&,
                                              const ConvexPolyhedron&, QVector<bool>&) const
{}

}  // namespace BVH2
