#pragma once
// Exact mean distance of points to a triangle mesh, for judging a fit: the
// nearest vertex bounds the search, and every triangle with a vertex within
// that bound plus the longest edge is measured.
#include "mesh/GeomStack.h"
#include "spatial/BVH.h"
#include "spatial/KDTree.h"

#include <QMap>
#include <QVector3D>
#include <QVector>
#include <algorithm>
#include <cmath>
#include <memory>

namespace TestSupport {

// Closest point of triangle abc to p by regions (Ericson), as a distance.
inline double pointTriangleDistance(const QVector3D& p, const QVector3D& a, const QVector3D& b, const QVector3D& c)
{
    const QVector3D ab = b - a, ac = c - a, ap = p - a;
    const float d1 = QVector3D::dotProduct(ab, ap), d2 = QVector3D::dotProduct(ac, ap);
    if (d1 <= 0 && d2 <= 0)
        return (p - a).length();
    const QVector3D bp = p - b;
    const float d3 = QVector3D::dotProduct(ab, bp), d4 = QVector3D::dotProduct(ac, bp);
    if (d3 >= 0 && d4 <= d3)
        return (p - b).length();
    const float vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return (p - (a + ab * (d1 / (d1 - d3)))).length();
    const QVector3D cp = p - c;
    const float d5 = QVector3D::dotProduct(ab, cp), d6 = QVector3D::dotProduct(ac, cp);
    if (d6 >= 0 && d5 <= d6)
        return (p - c).length();
    const float vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return (p - (a + ac * (d2 / (d2 - d6)))).length();
    const float va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return (p - (b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6))))).length();
    const float denom = 1.0f / (va + vb + vc);
    return (p - (a + ab * (vb * denom) + ac * (vc * denom))).length();
}

class SurfaceDistance {
public:
    explicit SurfaceDistance(const GeometryStack::GeomStack& surface)
        : vertices_(surface.vertices), triangles_(surface.triangles), trianglesOfVertex_(surface.vertices.size())
    {
        for (int t = 0; t < triangles_.size(); ++t)
            for (int k = 0; k < 3; ++k) {
                trianglesOfVertex_[triangles_[t][k]].append(t);
                longestEdge_ =
                    std::max(longestEdge_,
                             double((vertices_[triangles_[t][k]] - vertices_[triangles_[t][(k + 1) % 3]]).length()));
            }
        points_.reset(KDTree::buildTree(vertices_, 10));
        faces_.reset(BVH2::buildTree(vertices_, triangles_, 10));
    }

    double distance(const QVector3D& p) const
    {
        float nearestSquared = 0;
        points_->findNearestPointInd(p, vertices_, &nearestSquared);
        QMap<int, double> near;
        faces_->findVerticesInsideSphere(p, std::sqrt(double(nearestSquared)) + longestEdge_ + 1e-6, triangles_,
                                         vertices_, near);
        double best = std::sqrt(double(nearestSquared));
        for (auto v = near.cbegin(); v != near.cend(); ++v)
            for (int t : trianglesOfVertex_[v.key()])
                best = std::min(best, pointTriangleDistance(p, vertices_[triangles_[t][0]], vertices_[triangles_[t][1]],
                                                            vertices_[triangles_[t][2]]));
        return best;
    }

    double meanDistance(const QVector<QVector3D>& points) const
    {
        double sum = 0;
        for (const QVector3D& p : points)
            sum += distance(p);
        return points.isEmpty() ? 0.0 : sum / points.size();
    }

private:
    QVector<QVector3D> vertices_;
    QVector<QList<int> > triangles_;
    QVector<QVector<int> > trianglesOfVertex_;
    double longestEdge_ = 0;
    std::unique_ptr<KDTree::NodeBase> points_;
    std::unique_ptr<BVH2::BvhNodeBase> faces_;
};

}  // namespace TestSupport
