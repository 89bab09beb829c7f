#pragma once
// Benchmark geometry: a closed mesh of about a million triangles, and random
// rays from around its box through it.
#include <QList>
#include <QVector>
#include <QVector3D>

#include <cmath>
#include <random>

namespace SpatialBench {

struct Mesh {
    QVector<QVector3D> vertices;
    QVector<QList<int> > faces;
};

// A closed, bumpy torus (major radius 35, minor 15) of about `triangles`
// triangles of nearly even size, like a scan's, from a grid of quads.
inline Mesh bumpyTorus(int triangles)
{
    const int rings = int(std::sqrt(triangles / 4.0));  // around the tube
    const int segments = 2 * rings;                       // along the tube
    Mesh mesh;
    mesh.vertices.reserve(rings * segments);
    for (int s = 0; s < segments; ++s) {
        const double phi = 2 * M_PI * s / segments;
        for (int r = 0; r < rings; ++r) {
            const double theta = 2 * M_PI * r / rings;
            const double minor = 15.0 * (1.0 + 0.08 * std::sin(7 * phi) * std::sin(5 * theta)
                                         + 0.02 * std::sin(53 * phi + 31 * theta));
            const double ring = 35.0 + minor * std::cos(theta);
            mesh.vertices.append(QVector3D(float(ring * std::cos(phi)), float(ring * std::sin(phi)),
                                           float(minor * std::sin(theta))));
        }
    }
    mesh.faces.reserve(2 * rings * segments);
    for (int s = 0; s < segments; ++s) {
        for (int r = 0; r < rings; ++r) {
            const int a = s * rings + r, b = s * rings + (r + 1) % rings;
            const int c = ((s + 1) % segments) * rings + r, d = ((s + 1) % segments) * rings + (r + 1) % rings;
            mesh.faces.append({a, b, d});
            mesh.faces.append({a, d, c});
        }
    }
    return mesh;
}

struct Ray {
    QVector3D origin, direction;  // direction of length 1
};

// From points on a sphere around the mesh's box towards random points inside the box.
inline QVector<Ray> raysThroughBox(int count, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    QVector<Ray> rays;
    rays.reserve(count);
    while (rays.size() < count) {
        QVector3D from(unit(rng), unit(rng), unit(rng));
        if (from.lengthSquared() < 1e-4f)
            continue;
        from = from.normalized() * 150.0f;
        const QVector3D to(unit(rng) * 55.0f, unit(rng) * 55.0f, unit(rng) * 18.0f);
        rays.append(Ray{from, (to - from).normalized()});
    }
    return rays;
}

}  // namespace SpatialBench
