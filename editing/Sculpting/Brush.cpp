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

QMap<int, QVector3D> Brush::apply(const QVector3D& centre, const QVector3D& newCentre,
                                  const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                                  Octree::Tree* octree, const QVector<bool>& protection, double radius,
                                  double intensity, double maxProjectionDistance, QList<int>& touchedTriangles) const
{
    QMap<int, QVector3D> result;
    if (!octree || !templateTriangles)
        return result;
    const QList<int> candidates = octree->root->findTrianglesInsideSphere(centre, radius);
    const QList<int> inside =
        collectVerticesInRadius(centre, radius, candidates, vertices, *templateTriangles, touchedTriangles);
    const QList<double> weights = computeWeights(inside, vertices, centre, radius);
    const Step step{newCentre - centre, vertices, normals, intensity, maxProjectionDistance};
    for (int k = 0; k < inside.size(); ++k) {
        const int vertex = inside.at(k);
        if (vertex < protection.size() && protection.at(vertex))
            continue;
        QVector3D moved;
        if (moveVertex(step, vertex, weights.at(k), moved))
            result.insert(vertex, moved);
    }
    return result;
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

bool BrushMove::moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const
{
    const float i = float(step.intensity);
    const QVector3D q = step.vertices.at(vertex) + float(weight) * i * step.shift;
    moved = snapWithin(q, step.normals.at(vertex), step.maxProjectionDistance);
    return true;
}

BrushRelax::BrushRelax(const QVector<QList<int> >* templateTriangles, const QVector<QList<int> >* vertexNeighbours,
                       const GeometryStack::GeomStack* target, const QVector<QList<int> >* targetTriangles,
                       const BVH2::BvhNodeBase* targetBvh)
    : Brush(templateTriangles, target, targetTriangles, targetBvh), vertexNeighbours(vertexNeighbours)
{}

bool BrushRelax::moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const
{
    const QList<int> fan =
        vertexNeighbours && vertex < vertexNeighbours->size() ? openFan(vertexNeighbours->at(vertex)) : QList<int>();
    if (fan.isEmpty())
        return false;  // no neighbours to relax toward: the vertex stays
    const float i = float(step.intensity);
    const QVector3D& p = step.vertices.at(vertex);
    const QVector3D q = p + float(weight) * i * (neighboursMean(fan, step.vertices) - p);
    moved = snapWithin(q, step.normals.at(vertex), step.maxProjectionDistance);
    return true;
}

bool BrushProjection::moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const
{
    const float i = float(step.intensity);
    const QVector3D& p = step.vertices.at(vertex);
    const QVector3D h = projectOntoTarget(p, step.normals.at(vertex));
    if (!(squaredDistance(h, p) <= step.maxProjectionDistance * step.maxProjectionDistance))
        return false;
    moved = p + float(weight) * i * (h - p);
    return true;
}

bool BrushPushAway::moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const
{
    const QVector3D& p = step.vertices.at(vertex);
    const QVector3D& n = step.normals.at(vertex);
    int face = -1;
    double u = 0, v = 0;
    QVector3D h;
    if (!findTargetHitAlongNormal(p, n, target, targetTriangles, targetBvh, step.maxProjectionDistance, face, u, v, h))
        return false;
    const double e = std::sqrt(squaredDistance(h, p));
    const float lift = float(e + (step.maxProjectionDistance - e) * weight * step.intensity);
    moved = h + n * lift;
    return true;
}

}  // namespace Sculpting
