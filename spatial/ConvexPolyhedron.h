#pragma once
// Convex volumes for selection (lasso prisms, frusta, node boxes, triangles)
// and the separating-axis tests between them. Single precision throughout,
// without tolerance: volumes that only touch are not separated.
#include <QVector3D>
#include <QVector>

namespace Viewport3D {
class BoundingBox;
}

namespace BVH2 {

// How A compares with B on one axis, or over all candidate axes.
enum PolyhedronIntersection {
    PolyhedronIntersection_NoIntersection = 0,
    PolyhedronIntersection_PartialOverlap = 1,
    PolyhedronIntersection_AInsideB = 2,
    PolyhedronIntersection_BInsideA = 3,
    PolyhedronIntersection_AEqualsB = 4,
};

// Corner points, edge directions and face normals; neither list normalised,
// one vector per direction is enough, length and sign do not matter.
class ConvexPolyhedron {
public:
    ConvexPolyhedron() = default;
    ConvexPolyhedron(const QVector<QVector3D>& vertices, const QVector<QVector3D>& edgeVectors,
                     const QVector<QVector3D>& polygonNormals);
    // The eight corners, with the unit axes as edges and as normals.
    explicit ConvexPolyhedron(const Viewport3D::BoundingBox& box);
    // Corners p0, p1, p2; edges p1-p0, p2-p1, p0-p2; normal (p1-p0) x (p2-p1).
    ConvexPolyhedron(const QVector3D& p0, const QVector3D& p1, const QVector3D& p2);
    // The same from the first three points of `triangle`.
    explicit ConvexPolyhedron(const QVector<QVector3D>& triangle);

    QVector<QVector3D> vertices;
    QVector<QVector3D> edgeVectors;
    QVector<QVector3D> polygonNormals;
};

// Smallest and largest dot product of `axis` with the vertices (inverted extremes for none).
void getProjectionRange(const QVector3D& axis, const QVector<QVector3D>& vertices, float& min, float& max);
PolyhedronIntersection checkAxisProjectionIntersection(const QVector3D& axis, const QVector<QVector3D>& verticesA,
                                                       const QVector<QVector3D>& verticesB);
// A's normals, B's normals, then every edge of A crossed with every edge of B.
QVector<QVector3D> buildSeparatingAxes(const QVector<QVector3D>& normalsA, const QVector<QVector3D>& edgesA,
                                       const QVector<QVector3D>& normalsB, const QVector<QVector3D>& edgesB);
// Note the order: normals before edges here, edges before normals in ConvexPolyhedron.
PolyhedronIntersection checkConvexPolyhedronsIntersection(
    const QVector<QVector3D>& verticesA, const QVector<QVector3D>& normalsA, const QVector<QVector3D>& edgesA,
    const QVector<QVector3D>& verticesB, const QVector<QVector3D>& normalsB, const QVector<QVector3D>& edgesB);
PolyhedronIntersection checkConvexPolyhedronsIntersection(const ConvexPolyhedron& a, const ConvexPolyhedron& b);
// The frustum is A, the box or triangle B.
PolyhedronIntersection frustumIntersectsAaBoundingBox(const QVector<QVector3D>& frustumVertices,
                                                      const QVector<QVector3D>& frustumNormals,
                                                      const QVector<QVector3D>& frustumEdges,
                                                      const Viewport3D::BoundingBox& box);
PolyhedronIntersection frustumIntersectsTriangle(const QVector<QVector3D>& frustumVertices,
                                                 const QVector<QVector3D>& frustumNormals,
                                                 const QVector<QVector3D>& frustumEdges, const QVector3D& p0,
                                                 const QVector3D& p1, const QVector3D& p2);
// Separating-axis overlap of a triangle (its first three points) and a box; touching counts.
bool triangleIntersectsAaBoundingBox(const QVector<QVector3D>& triangle, const Viewport3D::BoundingBox& box);

}  // namespace BVH2
