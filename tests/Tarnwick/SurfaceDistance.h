#pragma once
// Exact mean distance of points to a triangle mesh, for judging a fit: the
// triangles are binned in a grid of cells about two edges wide and searched in
// rings of cells around each point.
#include "mesh/BoundingBox.h"
#include "mesh/GeomStack.h"
#include "tests/support/TestMeshes.h"

#include <QVector3D>
#include <QVector>
#include <algorithm>
#include <cmath>

namespace TestSupport {

class SurfaceDistance {
public:
    explicit SurfaceDistance(const GeometryStack::GeomStack& surface)
        : vertices_(surface.vertices), triangles_(surface.triangles)
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
            for (int z = c[2] - r; z <= c[2] + r; ++z)
                for (int y = c[1] - r; y <= c[1] + r; ++y)
                    for (int x = c[0] - r; x <= c[0] + r; ++x) {
                        if (std::max({std::abs(x - c[0]), std::abs(y - c[1]), std::abs(z - c[2])}) != r)
                            continue;  // inside the ring: seen before
                        if (x < 0 || y < 0 || z < 0 || x >= cells_[0] || y >= cells_[1] || z >= cells_[2])
                            continue;
                        for (int t : grid_[index(x, y, z)])
                            best = std::min(best, TestMeshes::pointTriangleDistance(p, vertices_[triangles_[t][0]],
                                                                                    vertices_[triangles_[t][1]],
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
    QVector<QList<int> > triangles_;
    double cell_ = 1;
    QVector3D origin_;
    int cells_[3] = {1, 1, 1};
    QVector<QVector<int> > grid_;  // triangles whose box meets each cell
};

}  // namespace TestSupport
