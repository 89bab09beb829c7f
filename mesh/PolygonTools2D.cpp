#include "mesh/PolygonTools2D.h"

namespace PolygonTools2D {

QVector3D barycentricCoordinates(const QPointF& p, const QPointF& a, const QPointF& b, const QPointF& c)
{
    const float d = float((b.y() - c.y()) * (a.x() - c.x()) + (c.x() - b.x()) * (a.y() - c.y()));
    const float wa = float(((b.y() - c.y()) * (p.x() - c.x()) + (c.x() - b.x()) * (p.y() - c.y())) / d);
    const float wb = float(((c.y() - a.y()) * (p.x() - c.x()) + (a.x() - c.x()) * (p.y() - c.y())) / d);
    const float wc = 1.0f - wa - wb;
    return QVector3D(wa, wb, wc);
}

bool isPointInsideTriangle(const QPointF& p, const QPointF& a, const QPointF& b, const QPointF& c)
{
    const QVector3D w = barycentricCoordinates(p, a, b, c);
    return w.x() >= 0.0f && w.x() <= 1.0f && w.y() >= 0.0f && w.y() <= 1.0f && w.z() >= 0.0f && w.z() <= 1.0f;
}

bool isReflectAngle(const QPointF& a, const QPointF& b, const QPointF& c, bool clockwise)
{
    const QVector3D u(float(a.x() - b.x()), float(a.y() - b.y()), 0.0f);
    const QVector3D v(float(c.x() - b.x()), float(c.y() - b.y()), 0.0f);
    const float z = QVector3D::crossProduct(u, v).z();
    return clockwise ? z < 0.0f : z > 0.0f;
}

bool isInnerTriangle(int i, int j, int k, const QVector<QPointF>& vertices)
{
    for (int m = 0; m < vertices.size(); ++m) {
        if (m == i || m == j || m == k)
            continue;
        if (isPointInsideTriangle(vertices.at(m), vertices.at(i), vertices.at(j), vertices.at(k)))
            return false;
    }
    return true;
}

bool isPolygonClockwise(const QVector<QPointF>& points, bool* ok)
{
    // Minus twice the signed area, rounded to single precision after every step.
    float sum = 0.0f;
    const int n = points.size();
    for (int i = 0; i < n; ++i) {
        const QPointF& p = points.at(i);
        const QPointF& q = points.at((i + 1) % n);
        sum = float(double(sum) + (q.y() + p.y()) * (q.x() - p.x()));
    }
    if (ok)
        *ok = sum != 0.0f;
    return sum >= 0.0f;
}

namespace {

struct RingNode {
    int next;
    int prev;
};

}  // namespace

QVector<QVector<int>> triangulateByEarClipping(const QVector<QPointF>& polygon, bool* ok)
{
    bool valid = false;
    const bool clockwise = isPolygonClockwise(polygon, &valid);
    if (!valid) {
        if (ok)
            *ok = false;
        return QVector<QVector<int>>();
    }

    const int n = polygon.size();
    QVector<QVector<int>> triangles(qMax(n - 2, 0));
    // Node i stands for point i; cutting a node relinks its neighbours and leaves it behind.
    QVector<RingNode> ring(n);
    for (int i = 0; i < n; ++i)
        ring[i] = RingNode{(i + 1) % n, (n + i - 1) % n};

    int cur = 0, remaining = n, rejected = 0, count = 0;
    for (;;) {
        const int next = ring.at(cur).next;
        const int prev = ring.at(cur).prev;
        if (next == prev) {
            if (ok)
                *ok = true;
            return triangles;
        }
        if (rejected == remaining) {
            if (ok)
                *ok = false;
            return QVector<QVector<int>>();
        }
        ++rejected;
        const bool ear = !isReflectAngle(polygon.at(prev), polygon.at(cur), polygon.at(next), clockwise) &&
                         isInnerTriangle(prev, cur, next, polygon);
        if (ear) {
            triangles[count++] = QVector<int>{cur, next, prev};
            --remaining;
            ring[prev].next = next;
            ring[next].prev = prev;
            rejected = 0;
        }
        cur = next;
    }
}

}  // namespace PolygonTools2D
