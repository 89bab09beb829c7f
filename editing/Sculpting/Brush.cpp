#include "editing/Sculpting/Brush.h"

#include "editing/Octree/Octree.h"
#include "editing/Sculpting/BrushTools.h"

#include <cmath>

namespace Sculpting {

Brush::Brush(const QVector<QList<int>>* templateTriangles, const GeometryStack::GeomStack* target,
             const QVector<QList<int>>* targetTriangles, const BVH2::BvhNodeBase* targetBvh)
    : templateTriangles(templateTriangles), target(target), targetTriangles(targetTriangles), targetBvh(targetBvh)
{}

Brush::~Brush() = default;

QMap<int, QVector3D> Brush::apply(const QVector3D&, const QVector3D&, const QVector<QVector3D>&,
                                  const QVector<QVector3D>&, Octree::Tree*, const QVector<bool>&, double, double,
                                  double, QList<int>&) const
{
    return {};
}

QVector<Brush::VertexUnderBrush> Brush::verticesUnderBrush(const QVector3D& centre, double radius,
                                                           const QVector<QVector3D>& vertices, Octree::Tree* octree,
                                                           const QVector<bool>& protection,
                                                           QList<int>& touchedTriangles) const
{
    QVector<VertexUnderBrush> under;
    if (!octree || !templateTriangles)
        return under;
    const QList<int> candidates = octree->root->findTrianglesInsideSphere(centre, radius);
    const QList<int> inside =
        collectVerticesInRadius(centre, radius, candidates, vertices, *templateTriangles, touchedTriangles);
    const QList<double> weights = computeWeights(inside, vertices, centre, radius);
    under.reserve(inside.size());
    for (int k = 0; k < inside.size(); ++k) {
        const int vertex = inside.at(k);
        if (vertex < protection.size() && protection.at(vertex))
            continue;
        under.append({vertex, weights.at(k)});
    }
    return under;
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
    QMap<int, QVector3D> result;
    const QVector3D shift = newCentre - centre;
    const float i = float(intensity);
    for (const VertexUnderBrush& under :
         verticesUnderBrush(centre, radius, vertices, octree, protection, touchedTriangles)) {
        const QVector3D q = vertices.at(under.vertex) + float(under.weight) * i * shift;
        result.insert(under.vertex, snapWithin(q, normals.at(under.vertex), maxProjectionDistance));
    }
    return result;
}

BrushRelax::BrushRelax(const QVector<QList<int>>* templateTriangles, const QVector<QList<int>>* vertexNeighbours,
                       const GeometryStack::GeomStack* target, const QVector<QList<int>>* targetTriangles,
                       const BVH2::BvhNodeBase* targetBvh)
    : Brush(templateTriangles, target, targetTriangles, targetBvh), vertexNeighbours_(vertexNeighbours)
{}

QMap<int, QVector3D> BrushRelax::apply(const QVector3D& centre, const QVector3D&, const QVector<QVector3D>& vertices,
                                       const QVector<QVector3D>& normals, Octree::Tree* octree,
                                       const QVector<bool>& protection, double radius, double intensity,
                                       double maxProjectionDistance, QList<int>& touchedTriangles) const
{
    QMap<int, QVector3D> result;
    const float i = float(intensity);
    for (const VertexUnderBrush& under :
         verticesUnderBrush(centre, radius, vertices, octree, protection, touchedTriangles)) {
        const int vertex = under.vertex;
        const QList<int> fan = vertexNeighbours_ && vertex < vertexNeighbours_->size()
                                   ? openFan(vertexNeighbours_->at(vertex))
                                   : QList<int>();
        if (fan.isEmpty())
            continue;  // no neighbours to relax toward: the vertex stays
        const QVector3D& p = vertices.at(vertex);
        const QVector3D q = p + float(under.weight) * i * (neighboursMean(fan, vertices) - p);
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
    QMap<int, QVector3D> result;
    const float i = float(intensity);
    for (const VertexUnderBrush& under :
         verticesUnderBrush(centre, radius, vertices, octree, protection, touchedTriangles)) {
        const QVector3D& p = vertices.at(under.vertex);
        const QVector3D h = projectOntoTarget(p, normals.at(under.vertex));
        if (!(squaredDistance(h, p) <= maxProjectionDistance * maxProjectionDistance))
            continue;  // the target is out of reach: the vertex stays
        result.insert(under.vertex, p + float(under.weight) * i * (h - p));
    }
    return result;
}

QMap<int, QVector3D> BrushPushAway::apply(const QVector3D& centre, const QVector3D&, const QVector<QVector3D>& vertices,
                                          const QVector<QVector3D>& normals, Octree::Tree* octree,
                                          const QVector<bool>& protection, double radius, double intensity,
                                          double maxProjectionDistance, QList<int>& touchedTriangles) const
{
    QMap<int, QVector3D> result;
    for (const VertexUnderBrush& under :
         verticesUnderBrush(centre, radius, vertices, octree, protection, touchedTriangles)) {
        const QVector3D& p = vertices.at(under.vertex);
        const QVector3D& n = normals.at(under.vertex);
        int face = -1;
        double u = 0, v = 0;
        QVector3D h;
        if (!findTargetHitAlongNormal(p, n, target, targetTriangles, targetBvh, maxProjectionDistance, face, u, v, h))
            continue;
        const double e = std::sqrt(squaredDistance(h, p));
        const float lift = float(e + (maxProjectionDistance - e) * under.weight * intensity);
        result.insert(under.vertex, h + n * lift);
    }
    return result;
}

}  // namespace Sculpting
