#pragma once
// Benchmark geometry: the catalog's bumpy torus, and random rays from around its box through it.
#include "tests/support/TestMeshes.h"

#include <QList>
#include <QVector3D>
#include <QVector>

#include <cmath>
#include <random>

namespace SpatialBench {

using Mesh = TestMeshes::Mesh;
using TestMeshes::bumpyTorus;

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
