#pragma once
// Exact distance of points to a triangle mesh, for judging a fit: the
// triangles are binned in a grid of cells about two edges wide and searched in
// rings of cells around each point.
#include "mesh/BoundingBox.h"

#include <QList>
#include <QVector3D>
#include <QVector>
#include <algorithm>
#include <cmath>

namespace TestMeshes {

// Closest point of triangle abc to p (Ericson's region test), in double.
inline double pointTriangleDistance(const QVector3D& pf, const QVector3D& af, const QVector3D& bf, const QVector3D& cf)
{
    struct V {
        double x, y, z;
        V operator-(const V& o) const { return {x - o.x, y - o.y, z - o.z}; }
        V operator+(const V& o) const { return {x + o.x, y + o.y, z + o.z}; }
        V operator*(double s) const { return {x * s, y * s, z * s}; }
        double dot(const V& o) const { return x * o.x + y * o.y + z * o.z; }
    };
    auto v = [](const QVector3D& q) { return V{q.x(), q.y(), q.z()}; };
    const V p = v(pf), a = v(af), b = v(bf), c = v(cf);
    const V ab = b - a, ac = c - a, ap = p - a;
    auto dist = [&](const V& q) { return std::sqrt((p - q).dot(p - q)); };
    const double d1 = ab.dot(ap), d2 = ac.dot(ap);
    if (d1 <= 0 && d2 <= 0)
        return dist(a);
    const V bp = p - b;
    const double d3 = ab.dot(bp), d4 = ac.dot(bp);
    if (d3 >= 0 && d4 <= d3)
        return dist(b);
    const double vc = d1 * d4 - d3 * d2;
    if (vc <= 0 && d1 >= 0 && d3 <= 0)
        return dist(a + ab * (d1 / (d1 - d3)));
    const V cp = p - c;
    const double d5 = ab.dot(cp), d6 = ac.dot(cp);
    if (d6 >= 0 && d5 <= d6)
        return dist(c);
    const double vb = d5 * d2 - d1 * d6;
    if (vb <= 0 && d2 >= 0 && d6 <= 0)
        return dist(a + ac * (d2 / (d2 - d6)));
    const double va = d3 * d6 - d5 * d4;
    if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0)
        return dist(b + (c - b) * ((d4 - d3) / ((d4 - d3) + (d5 - d6))));
    const double denom = 1.0 / (va + vb + vc);
    return dist(a + ab * (vb * denom) + ac * (vc * denom));
}

class SurfaceDistance {
public:
    SurfaceDistance(const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles)
        : vertices_(vertices), triangles_(triangles)
    {
        const Viewport3D::BoundingBox box = Viewport3D::BoundingBox::fromPoints(vertices_);
        double edges = 0;
        for (const QList<int>& t : triangles_)
            edges += (vertices_[t[0]] - vertices_[t[1]]).length();
        cell_ = std::max(2.0 * edges / std::max(1, triangles_.size()), 1e-6);
        origin_ = box.origin;
        for (int a = 0; a < 3; ++a)
            cells_[a] = std::max(1, int(std::ceil(box.size[a] / cell_)) + 1);
        grid_.resize(cells_[0] * cells_[1] * cells_[2]);
        for (int t = 0; t < triangles_.size(); ++t) {
            const Viewport3D::BoundingBox tb = Viewport3D::BoundingBox::fromPoints(
                {vertices_[triangles_[t][0]], vertices_[triangles_[t][1]], vertices_[triangles_[t][2]]});
            int lo[3], hi[3];
            for (int a = 0; a < 3; ++a) {
                lo[a] = cellOf(tb.origin[a], a);
                hi[a] = cellOf(tb.origin[a] + tb.size[a], a);
            }
            for (int z = lo[2]; z <= hi[2]; ++z)
                for (int y = lo[1]; y <= hi[1]; ++y)
                    for (int x = lo[0]; x <= hi[0]; ++x)
                        grid_[index(x, y, z)].append(t);
        }
    }

    // Any mesh with vertices and triangles: a test mesh, a geometry stack.
    template <typename Surface>
    explicit SurfaceDistance(const Surface& surface) : SurfaceDistance(surface.vertices, surface.triangles)
    {}

    // Rings of cells around the point's cell, until no unseen cell can hold
    // anything nearer than the best distance found.
    double distance(const QVector3D& p) const
    {
        int c[3];
        for (int a = 0; a < 3; ++a)
            c[a] = int(std::floor((p[a] - origin_[a]) / cell_));
        const int rings =
            std::max({std::abs(c[0]) + cells_[0], std::abs(c[1]) + cells_[1], std::abs(c[2]) + cells_[2]});
        double best = 1e300;
        for (int r = 0; r <= rings && best > (r - 1) * cell_; ++r)
            // The ring's cells that lie in the grid.
            for (int z = std::max(0, c[2] - r); z <= std::min(cells_[2] - 1, c[2] + r); ++z)
                for (int y = std::max(0, c[1] - r); y <= std::min(cells_[1] - 1, c[1] + r); ++y)
                    for (int x = std::max(0, c[0] - r); x <= std::min(cells_[0] - 1, c[0] + r); ++x) {
                        if (std::max({std::abs(x - c[0]), std::abs(y - c[1]), std::abs(z - c[2])}) != r)
                            continue;  // inside the ring: seen before
                        for (int t : grid_[index(x, y, z)])
                            best = std::min(
                                best, pointTriangleDistance(p, vertices_[triangles_[t][0]], vertices_[triangles_[t][1]],
                                                            vertices_[triangles_[t][2]]));
                    }
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
    int cellOf(float value, int axis) const
    {
        return std::min(cells_[axis] - 1, std::max(0, int(std::floor((value - origin_[axis]) / cell_))));
    }
    int index(int x, int y, int z) const { return (z * cells_[1] + y) * cells_[0] + x; }

    QVector<QVector3D> vertices_;
    QVector<QList<int>> triangles_;
    double cell_ = 1;
    QVector3D origin_;
    int cells_[3] = {1, 1, 1};
    QVector<QVector<int>> grid_;  // triangles whose box meets each cell
};

}  // namespace TestMeshes
