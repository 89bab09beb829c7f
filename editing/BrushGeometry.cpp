#include "editing/BrushGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

double squaredLength(const QVector3D& d)
{
    return double(d.x()) * d.x() + double(d.y()) * d.y() + double(d.z()) * d.z();
}

}  // namespace

double findNearestFanNeighbour(int v, const QList<int>& fan, const QVector<QVector3D>& positions)
{
    double best = std::numeric_limits<double>::max();
    const QVector3D& p = positions.at(v);
    for (int neighbour : fan) {
        const double d = squaredLength(positions.at(neighbour) - p);
        if (d < best)
            best = d;
    }
    return best;
}

double medianNearestFanNeighbourDist(const QVector<QList<int>>& vertexNeighbours, const QVector<QVector3D>& vertices)
{
    if (vertices.isEmpty())
        return 0;
    std::vector<double> squared(size_t(vertices.size()));
    for (int v = 0; v < vertices.size(); ++v)
        squared[size_t(v)] = findNearestFanNeighbour(v, vertexNeighbours.value(v), vertices);
    std::sort(squared.begin(), squared.end());
    return std::sqrt(squared[size_t(vertices.size() / 2)]);
}

QVector3D computeVertexFanNormal(int v, const QList<int>& fan, const QVector<QVector3D>& positions)
{
    if (fan.isEmpty())
        return QVector3D();
    const QVector3D& p = positions.at(v);
    double x = 0, y = 0, z = 0;
    for (int j = 0; j + 1 < fan.size(); ++j) {
        const QVector3D n =
            QVector3D::crossProduct(positions.at(fan.at(j + 1)) - p, positions.at(fan.at(j)) - p).normalized();
        x += n.x();
        y += n.y();
        z += n.z();
    }
    const double pairs = fan.size() - 1;
    return QVector3D(float(x / pairs), float(y / pairs), float(z / pairs)).normalized();
}

QMap<int, QVector3D> computeFanNormals(const QList<int>& vertexList, const QVector<QList<int>>& vertexNeighbours,
                                       const QVector<QVector3D>& positions)
{
    QMap<int, QVector3D> normals;
    for (int v : vertexList) {
        const QList<int> fan = vertexNeighbours.value(v);
        if (fan.size() == 1)
            continue;
        normals.insert(v, computeVertexFanNormal(v, fan, positions));
    }
    return normals;
}

QVector3D interpolateBarycentric(double u, double v, const QVector3D& a, const QVector3D& b, const QVector3D& c)
{
    return float(1 - u - v) * a + float(u) * b + float(v) * c;
}

QVector3D transformNormal(const QVector3D& direction, const QMatrix4x4& m)
{
    return (m.inverted().transposed() * QVector4D(direction, 0)).toVector3D();
}

bool intersectRayWithPlane(const QVector3D& origin, const QVector3D& direction, const QVector3D& planePoint,
                           const QVector3D& planeNormal, QVector3D& point)
{
    const double s = QVector3D::dotProduct(direction, planeNormal);
    if (s < 1e-6)
        return false;
    const float t = float(QVector3D::dotProduct(planePoint - origin, planeNormal) / s);
    point = origin + t * direction;
    return true;
}
