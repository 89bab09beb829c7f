#pragma once
// The steps every sculpting brush shares: the vertices under the brush sphere,
// their fall-off weights, and the target surface met along a vertex normal.
#include <QList>
#include <QVector3D>
#include <QVector>

namespace BVH2 {
class BvhNodeBase;
}
namespace GeometryStack {
class GeomStack;
}

namespace Sculpting {

// The vertices of the candidate triangles that lie in the sphere, each once;
// every candidate with such a vertex is appended once to `touchedTriangles`.
QList<int> collectVerticesInRadius(const QVector3D& centre, double radius, const QList<int>& candidateTriangles,
                                   const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles,
                                   QList<int>& touchedTriangles);
// Inclusive: a point on the sphere is inside.
bool isInsideSphere(const QVector3D& centre, double radius, const QVector3D& point);
// (cos(pi d / r) + 1) / 2: 1 at the centre, 0 on the sphere.
double falloffWeight(const QVector3D& point, const QVector3D& centre, double radius);
QList<double> computeWeights(const QList<int>& vertexList, const QVector<QVector3D>& vertices, const QVector3D& centre,
                             double radius);

// The nearer of the target hits along +normal and -normal (the forward one on
// a tie), when it lies within `limit`.
bool findTargetHitAlongNormal(const QVector3D& point, const QVector3D& normal, const GeometryStack::GeomStack* target,
                              const QVector<QList<int>>* targetTriangles, const BVH2::BvhNodeBase* targetBvh,
                              double limit, int& face, double& u, double& v, QVector3D& hitPoint);
// The nearest hit along the normal line without a limit, or the point itself.
QVector3D projectOntoTarget(const QVector3D& point, const QVector3D& normal, const GeometryStack::GeomStack* target,
                            const QVector<QList<int>>* targetTriangles, const BVH2::BvhNodeBase* targetBvh);

// Mean of the listed positions (the sum taken in double).
QVector3D neighboursMean(const QList<int>& vertexList, const QVector<QVector3D>& vertices);
// A closed fan without its repeated last entry; an open fan as it is.
QList<int> openFan(const QList<int>& fan);

// Squared length of a - b (single-precision difference) in double.
double squaredDistance(const QVector3D& a, const QVector3D& b);

}  // namespace Sculpting
