#pragma once
// A body-like template shaped as real scans are: an ellipsoid torso with holes, two arms and two
// long thin legs stitched into it, and a head, two hands and two feet each joined by a single
// shared vertex (non-manifold vertices). The density sets the resolution, so one generator gives
// a template and a differently triangulated, denser target of the same shape.
#include "tests/support/TestMeshes.h"

#include <QHash>
#include <QPair>
#include <QSet>

#include <algorithm>
#include <cmath>

namespace TestMeshes {

namespace BodyParts {

const double pi = 3.14159265358979323846;

// Torso: the lat-long sphere scaled to an ellipsoid, with z up.
inline QVector3D torsoPoint(double theta, double phi)
{
    return QVector3D(float(0.34 * std::sin(theta) * std::cos(phi)), float(0.2 * std::sin(theta) * std::sin(phi)),
                     float(0.6 * std::cos(theta)));
}

// The boundary loop left by the removed faces, in the direction of the remaining faces' edges.
inline QList<int> boundaryLoop(const QVector<QList<int>>& triangles, const QSet<int>& removed)
{
    QSet<QPair<int, int>> edges;
    for (int f = 0; f < triangles.size(); ++f) {
        if (removed.contains(f))
            continue;
        const QList<int>& t = triangles[f];
        for (int i = 0; i < 3; ++i)
            edges.insert(qMakePair(t[i], t[(i + 1) % 3]));
    }
    QHash<int, int> nextOf;
    for (int f : removed) {
        const QList<int>& t = triangles[f];
        for (int i = 0; i < 3; ++i) {
            const QPair<int, int> reversed(t[(i + 1) % 3], t[i]);
            if (edges.contains(reversed))
                nextOf.insert(reversed.first, reversed.second);
        }
    }
    QList<int> loop;
    if (nextOf.isEmpty())
        return loop;
    const QList<int> starts = nextOf.keys();
    const int start = *std::min_element(starts.begin(), starts.end());  // the same loop in every run
    int v = start;
    do {
        loop << v;
        v = nextOf.value(v, start);
    } while (v != start && loop.size() <= nextOf.size());
    return loop;
}

// The faces of the cells (rings r0 .. r0 + h - 1, segments s0 .. s0 + w - 1) of the lat-long grid.
inline QSet<int> gridCells(int segments, int r0, int h, int s0, int w)
{
    QSet<int> cells;
    for (int r = r0; r < r0 + h; ++r)
        for (int s = s0; s < s0 + w; ++s) {
            const int cell = segments + (r - 1) * 2 * segments + 2 * (((s % segments) + segments) % segments);
            cells << cell << cell + 1;
        }
    return cells;
}

// A tube grown from the loop along dir, turning from the loop's shape into a circle of the given
// radius, closed by an apex; returns the apex.
inline int growLimb(Mesh& mesh, const QList<int>& loop, const QVector3D& dir, double length, double radius)
{
    QVector3D centre(0, 0, 0);
    for (int v : loop)
        centre += mesh.vertices[v];
    centre /= float(loop.size());
    const QVector3D d = dir.normalized();
    const QVector3D u = QVector3D::crossProduct(d, QVector3D(0.3f, 0.5f, 0.8f)).normalized();
    const QVector3D w = QVector3D::crossProduct(d, u);
    const int n = loop.size();
    const double spacing = 2 * pi * radius / n;
    const int rings = std::max(2, int(length / spacing));
    QList<int> previous = loop;
    for (int k = 1; k <= rings; ++k) {
        const double t = double(k) / rings;
        const double blend = std::min(1.0, 4.0 * t);
        QList<int> ring;
        for (int j = 0; j < n; ++j) {
            const QVector3D offset = mesh.vertices[loop[j]] - centre;
            const double angle = std::atan2(QVector3D::dotProduct(offset, w), QVector3D::dotProduct(offset, u));
            const QVector3D circle = float(radius) * (float(std::cos(angle)) * u + float(std::sin(angle)) * w);
            const QVector3D across = float(1.0 - blend) * offset + float(blend) * circle;
            ring << mesh.vertices.size();
            mesh.vertices << centre + d * float(length * t) + across;
        }
        for (int j = 0; j < n; ++j) {
            const int a = previous[j], b = previous[(j + 1) % n], a1 = ring[j], b1 = ring[(j + 1) % n];
            mesh.triangles << QList<int>{b, a, a1} << QList<int>{b, a1, b1};
        }
        previous = ring;
    }
    mesh.vertices << centre + d * float(length + radius);
    const int apex = mesh.vertices.size() - 1;
    for (int j = 0; j < n; ++j)
        mesh.triangles << QList<int>{previous[(j + 1) % n], previous[j], apex};
    return apex;
}

// A small sphere touching the mesh at one vertex only: the shared vertex is non-manifold.
inline void pinchSphere(Mesh& mesh, int at, const QVector3D& outward, double radius, int levels)
{
    const Mesh ball = icosphere(levels);
    const QVector3D d = outward.normalized();
    int touching = 0;
    for (int i = 1; i < ball.vertices.size(); ++i)
        if (QVector3D::dotProduct(ball.vertices[i], d) < QVector3D::dotProduct(ball.vertices[touching], d))
            touching = i;
    const QVector3D shift = mesh.vertices[at] - ball.vertices[touching] * float(radius);
    QVector<int> index(ball.vertices.size());
    for (int i = 0; i < ball.vertices.size(); ++i) {
        if (i == touching) {
            index[i] = at;
            continue;
        }
        index[i] = mesh.vertices.size();
        mesh.vertices << ball.vertices[i] * float(radius) + shift;
    }
    for (const QList<int>& t : ball.triangles)
        mesh.triangles << QList<int>{index[t[0]], index[t[1]], index[t[2]]};
}

// The mesh without the vertices that no triangle uses (the inside of the holes).
inline Mesh withoutLooseVertices(const Mesh& mesh)
{
    QVector<bool> used(mesh.vertices.size(), false);
    for (const QList<int>& t : mesh.triangles)
        for (int v : t)
            used[v] = true;
    QVector<int> index(mesh.vertices.size(), -1);
    Mesh kept;
    for (int v = 0; v < mesh.vertices.size(); ++v)
        if (used[v]) {
            index[v] = kept.vertices.size();
            kept.vertices << mesh.vertices[v];
        }
    for (const QList<int>& t : mesh.triangles)
        kept.triangles << QList<int>{index[t[0]], index[t[1]], index[t[2]]};
    return kept;
}

}  // namespace BodyParts

// density 1 gives about 13,000 vertices; the vertex count grows about with its square.
inline Mesh bodyShape(double density)
{
    using namespace BodyParts;
    const int rings = std::max(12, int(std::lround(64 * density)));
    const int segments = 2 * rings;
    Mesh mesh = latLongSphere(rings, segments);
    for (QVector3D& v : mesh.vertices) {
        const double theta = std::acos(std::max(-1.0, std::min(1.0, double(v.z()))));
        mesh.vertices[&v - mesh.vertices.data()] = torsoPoint(theta, std::atan2(double(v.y()), double(v.x())));
    }
    const int w = std::max(2, segments / 28), h = std::max(2, rings / 14);
    auto ringAt = [&](double theta) { return std::max(1, int(theta / pi * rings)); };
    auto segmentAt = [&](double phi) { return int(phi / (2 * pi) * segments); };
    struct LimbPlan {
        double theta, phi;
        QVector3D dir;
        double length;
    };
    const LimbPlan limbs[4] = {{0.3 * pi, 0.0, QVector3D(1.0f, 0, -0.5f), 0.75},
                               {0.3 * pi, pi, QVector3D(-1.0f, 0, -0.5f), 0.75},
                               {0.8 * pi, 0.25 * pi, QVector3D(0.15f, 0, -1.0f), 1.0},
                               {0.8 * pi, 0.75 * pi, QVector3D(-0.15f, 0, -1.0f), 1.0}};
    QSet<int> removed;
    QList<QSet<int>> limbCells;
    for (const LimbPlan& limb : limbs) {
        const QSet<int> cells = gridCells(segments, ringAt(limb.theta) - h / 2, h, segmentAt(limb.phi) - w / 2, w);
        limbCells << cells;
        removed += cells;
    }
    // Plain holes: the belly, the back, a shoulder.
    removed += gridCells(segments, ringAt(0.55 * pi), h, segmentAt(0.5 * pi), w);
    removed += gridCells(segments, ringAt(0.45 * pi), h + 1, segmentAt(1.5 * pi), w + 2);
    removed += gridCells(segments, ringAt(0.2 * pi), 1, segmentAt(0.1 * pi), 2);
    const QVector<QList<int>> torsoTriangles = mesh.triangles;
    QVector<QList<int>> kept;
    for (int f = 0; f < torsoTriangles.size(); ++f)
        if (!removed.contains(f))
            kept << torsoTriangles[f];
    mesh.triangles = kept;
    const int ballLevels = density < 0.6 ? 1 : density < 1.4 ? 2 : 3;
    for (int i = 0; i < 4; ++i) {
        const QList<int> loop = boundaryLoop(torsoTriangles, limbCells[i]);
        const int apex = growLimb(mesh, loop, limbs[i].dir, limbs[i].length, i < 2 ? 0.05 : 0.065);
        pinchSphere(mesh, apex, limbs[i].dir, i < 2 ? 0.06 : 0.07, ballLevels);
    }
    pinchSphere(mesh, 0, QVector3D(0, 0, 1), 0.16, ballLevels + 2);  // the head on the north pole
    return withoutLooseVertices(mesh);
}

// The body and, apart from it, a small sphere: two pieces.
inline Mesh bodyAndPebble(double density)
{
    Mesh mesh = bodyShape(density);
    const Mesh pebble = icosphere(2);
    const int offset = mesh.vertices.size();
    for (const QVector3D& p : pebble.vertices)
        mesh.vertices << p * 0.1f + QVector3D(0.8f, 0.0f, 0.0f);
    for (const QList<int>& t : pebble.triangles)
        mesh.triangles << QList<int>{t[0] + offset, t[1] + offset, t[2] + offset};
    return mesh;
}

// The target's pose: the arms lowered, the legs apart, the trunk bowed forward.
inline QVector3D bentPose(const QVector3D& p)
{
    QVector3D q = p;
    if (std::abs(p.x()) > 0.3f && p.z() > -0.2f) {
        const float side = p.x() > 0 ? 1.0f : -1.0f;
        const float reach = std::abs(p.x()) - 0.3f;
        q.setZ(p.z() - 0.35f * reach * reach * 2.0f);
        q.setX(p.x() - side * 0.1f * reach);
    }
    if (p.z() < -0.6f) {
        const float depth = -0.6f - p.z();
        q.setX(q.x() + (p.x() > 0 ? 1.0f : -1.0f) * 0.15f * depth);
    }
    q.setY(q.y() + 0.12f * q.z() * q.z());
    return q;
}

// The template (about 15,000 vertices) and the bent target (about 40,000), in the common space
// where the target's largest extent is 100.
struct ScanPair {
    Mesh source, target;
    ScanPair(double sourceDensity = 1.08, double targetDensity = 1.63)
    {
        source = bodyShape(sourceDensity);
        Mesh posed = mapped(bodyShape(targetDensity), bentPose);
        const float factor = 100.0f / largestExtent(posed.vertices);
        source = mapped(source, [&](const QVector3D& p) { return p * factor; });
        target = mapped(posed, [&](const QVector3D& p) { return p * factor; });
    }
};

}  // namespace TestMeshes
