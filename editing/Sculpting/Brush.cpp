#include "editing/Sculpting/Brush.h"

#include "editing/Octree/Octree.h"
#include "editing/Sculpting/BrushTools.h"

#include <cmath>

namespace Sculpting {

Brush::Brush(const QVector<QList<int> >* templateTriangles, const GeometryStack::GeomStack* target,
             const QVector<QList<int> >* targetTriangles, const BVH2::BvhNodeBase* targetBvh)
    : templateTriangles(templateTriangles), target(target), targetTriangles(targetTriangles), targetBvh(targetBvh)
{}

Brush::~Brush() = default;

QMap<int, QVector3D> Brush::apply(const QVector3D&, const QVector3D&, const QVector<QVector3D>&,
                                  const QVector<QVector3D>&, Octree::Tree*, const QVector<bool>&, double, double,
                                  double, QList<int>&) const
{
    return {};
}

void Brush::verticesUnderBrush(const QVector3D& centre, const QVector<QVector3D>& vertices, Octree::Tree* octree,
                               const QVector<bool>& protection, double radius, QList<int>& touchedTriangles,
                               QList<int>& movable, QList<double>& weights) const
{
    if (!octree || !templateTriangles)
        return;
    const QList<int> candidates = octree->root->findTrianglesInsideSphere(centre, radius);
    const QList<int> inside =
        collectVerticesInRadius(centre, radius, candidates, vertices, *templateTriangles, touchedTriangles);
    const QList<double> allWeights = computeWeights(inside, vertices, centre, radius);
    for (int k = 0; k < inside.size(); ++k) {
        const int vertex = inside.at(k);
        if (vertex < protection.size() && protection.at(vertex))
            continue;
        movable.append(vertex);
        weights.append(allWeights.at(k));
    }
}

QVector3D Brush::projectOntoTarget(const QVector3D& point, const QVector3D& normal) const
{
    return Sculpting::projectOntoTarget(point, normal, target, targetTriangles, targetBvh);
}

QVector3D Brush::snapWithin(const QVector3D& q, const QVector3D& normal, double maxDistance) const
{
    const QVector3D h = projectOntoTarget(q, normal);
    return squaredDistance(h, q) <= maxDistance * maxDistance ? h : q;
}

QMap<int, QVector3D> BrushMove::apply(const QVector3D& centre, const QVector3D& newCentre,
                                      const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                                      Octree::Tree* octree, const QVector<bool>& protection, double radius,
                                      double intensity, double maxProjectionDistance,
                                      QList<int>& touchedTriangles) const
{
    QList<int> movable;
    QList<double> weights;
    verticesUnderBrush(centre, vertices, octree, protection, radius, touchedTriangles, movable, weights);
    const QVector3D shift = newCentre - centre;
    const float i = float(intensity);
    QMap<int, QVector3D> result;
    for (int k = 0; k < movable.size(); ++k) {
        const int vertex = movable.at(k);
        const QVector3D q = vertices.at(vertex) + float(weights.at(k)) * i * shift;
        result.insert(vertex, snapWithin(q, normals.at(vertex), maxProjectionDistance));
    }
    return result;
}

BrushRelax::BrushRelax(const QVector<QList<int> >* templateTriangles, const QVector<QList<int> >* vertexNeighbours,
                       const GeometryStack::GeomStack* target, const QVector<QList<int> >* targetTriangles,
                       const BVH2::BvhNodeBase* targetBvh)
    : Brush(templateTriangles, target, targetTriangles, targetBvh), vertexNeighbours(vertexNeighbours)
{}

QMap<int, QVector3D> BrushRelax::apply(const QVector3D& centre, const QVector3D&, const QVector<QVector3D>& vertices,
                                       const QVector<QVector3D>& normals, Octree::Tree* octree,
                                       const QVector<bool>& protection, double radius, double intensity,
                                       double maxProjectionDistance, QList<int>& touchedTriangles) const
{
    QList<int> movable;
    QList<double> weights;
    verticesUnderBrush(centre, vertices, octree, protection, radius, touchedTriangles, movable, weights);
    const float i = float(intensity);
    QMap<int, QVector3D> result;
    for (int k = 0; k < movable.size(); ++k) {
        const int vertex = movable.at(k);
        const QList<int> fan = vertexNeighbours && vertex < vertexNeighbours->size()
                                   ? openFan(vertexNeighbours->at(vertex))
                                   : QList<int>();
        if (fan.isEmpty())
            continue;  // no neighbours to relax toward: the vertex stays
        const QVector3D& p = vertices.at(vertex);
        const QVector3D q = p + float(weights.at(k)) * i * (neighboursMean(fan, vertices) - p);
        result.insert(vertex, snapWithin(q, normals.at(vertex), maxProjectionDistance));
    }
    return result;
}

QMap<int, QVector3D> BrushProjection::apply(const QVector3D& centre, const QVector3D&,
                                            const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                                            Octree::Tree* octree, const QVector<bool>& protection, double radius,
                                            double intensity, double maxProjectionDistance,
                                            QList<int>& touchedTriangles) const
{
    QList<int> movable;
    QList<double> weights;
    verticesUnderBrush(centre, vertices, octree, protection, radius, touchedTriangles, movable, weights);
    const float i = float(intensity);
    QMap<int, QVector3D> result;
    for (int k = 0; k < movable.size(); ++k) {
        const int vertex = movable.at(k);
        const QVector3D& p = vertices.at(vertex);
        const QVector3D h = projectOntoTarget(p, normals.at(vertex));
        if (squaredDistance(h, p) <= maxProjectionDistance * maxProjectionDistance)
            result.insert(vertex, p + float(weights.at(k)) * i * (h - p));
    }
    return result;
}

QMap<int, QVector3D> BrushPushAway::apply(const QVector3D& centre, const QVector3D&, const QVector<QVector3D>& vertices,
                                          const QVector<QVector3D>& normals, Octree::Tree* octree,
                                          const QVector<bool>& protection, double radius, double intensity,
                                          double maxProjectionDistance, QList<int>& touchedTriangles) const
{
    QList<int> movable;
    QList<double> weights;
    verticesUnderBrush(centre, vertices, octree, protection, radius, touchedTriangles, movable, weights);
    QMap<int, QVector3D> result;
    for (int k = 0; k < movable.size(); ++k) {
        const int vertex = movable.at(k);
        const QVector3D& p = vertices.at(vertex);
        const QVector3D& n = normals.at(vertex);
        int face = -1;
        double u = 0, v = 0;
        QVector3D h;
        if (!findTargetHitAlongNormal(p, n, target, targetTriangles, targetBvh, maxProjectionDistance, face, u, v, h))
            continue;
        const double e = std::sqrt(squaredDistance(h, p));
        const float lift = float(e + (maxProjectionDistance - e) * weights.at(k) * intensity);
        result.insert(vertex, h + n * lift);
    }
    return result;
}

}  // namespace Sculpting
