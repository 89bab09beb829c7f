#include "mesh/FanTriangulation.h"

#include <limits>

#include <QVarLengthArray>

#include "mesh/GeomStack.h"

namespace GeometryStack {
namespace Fan {

double innerEdgeLengthSquared(int origin, const QVector3D* corners, int n)
{
    if (n < 4)
        return 0.0;
    double sum = 0.0;
    const QVector3D& from = corners[origin];
    for (int k = 2; k <= n - 2; ++k) {
        const QVector3D diagonal = corners[(origin + k) % n] - from;
        sum += diagonal.lengthSquared();
    }
    return sum;
}

int optimalOrigin(const QVector3D* corners, int n)
{
    if (n == 3)
        return 0;
    if (n <= 0)
        return -1;
    // A quad has only two distinct diagonals.
    const int candidates = n == 4 ? 2 : n;
    float minimum = std::numeric_limits<float>::infinity();
    int best = -1;
    for (int origin = 0; origin < candidates; ++origin) {
        const double sum = innerEdgeLengthSquared(origin, corners, n);
        if (sum < minimum) {
            minimum = float(sum);
            best = origin;
        }
    }
    return best;
}

int usableOrigin(const QVector3D* corners, int n)
{
    // With NaN or infinite positions no sum is finite; any fan is as good.
    const int origin = optimalOrigin(corners, n);
    return origin < 0 ? 0 : origin;
}

}  // namespace Fan

double triangleFanInnerEdgeLengthSquared(int origin, const QVector<QVector3D>& corners)
{
    const int n = corners.size();
    if (n < 4 || origin < 0 || origin >= n)
        return 0.0;
    return Fan::innerEdgeLengthSquared(origin, corners.constData(), n);
}

int optimalTriangleFanOrigin(const QVector<QVector3D>& corners)
{
    return Fan::optimalOrigin(corners.constData(), corners.size());
}

QVector<QVector<int>> triangulateFan(int n, int origin, QVector<QVector<bool>>& edgeFlags)
{
    const int count = polygonTriangleCount(n);
    edgeFlags = QVector<QVector<bool>>(count, QVector<bool>(3, false));
    if (origin < 0 || origin >= n)
        origin = 0;
    QVector<QVector<int>> result(count);
    for (int i = 0; i < count; ++i) {
        result[i] = {origin, (origin + 1 + i) % n, (origin + 2 + i) % n};
        edgeFlags[i] = {i == 0, true, i == count - 1};
    }
    return result;
}

int polygonTriangleCount(int n)
{
    // Fewer than three corners make no triangle.
    return n < 3 ? 0 : n - 2;
}

int triangleCount(const QVector<QList<int>>& polygons)
{
    int count = 0;
    for (const QList<int>& polygon : polygons)
        count += polygonTriangleCount(polygon.size());
    return count;
}

QVector<QVector<IndexPair>> triangulatePolygons(const QVector<QList<int>>& polygons, const QVector<QVector3D>& vertices,
                                                QVector<int>& triangleIndToPolygonInd,
                                                QVector<QVector<bool>>& triangleEdgeFlags)
{
    const int total = triangleCount(polygons);
    QVector<QVector<IndexPair>> result(total);
    triangleIndToPolygonInd.resize(total);
    triangleEdgeFlags.resize(total);
    int t = 0;
    for (int p = 0; p < polygons.size(); ++p) {
        const QList<int>& polygon = polygons[p];
        QVector<QVector3D> corners;
        corners.reserve(polygon.size());
        for (int index : polygon)
            corners.append(vertices.at(index));
        int origin = optimalTriangleFanOrigin(corners);
        if (origin < 0)
            origin = 0;
        QVector<QVector<bool>> flags;
        const QVector<QVector<int>> fan = triangulateFan(polygon.size(), origin, flags);
        for (int i = 0; i < fan.size(); ++i, ++t) {
            result[t] = {IndexPair(p, fan[i][0]), IndexPair(p, fan[i][1]), IndexPair(p, fan[i][2])};
            triangleEdgeFlags[t] = flags[i];
            triangleIndToPolygonInd[t] = p;
        }
    }
    return result;
}

QVector<QList<int>> trianglesFromCornerPairs(const QVector<QList<int>>& indexLists,
                                             const QVector<QVector<IndexPair>>& pairs)
{
    QVector<QList<int>> triangles(pairs.size());
    for (int t = 0; t < pairs.size(); ++t) {
        QList<int> triangle;
        triangle.reserve(pairs[t].size());
        for (const IndexPair& pair : pairs[t])
            triangle.append(indexLists.at(pair.first).at(pair.second));
        triangles[t] = triangle;
    }
    return triangles;
}

QVector<QVector3D> polygonCornerNormals(const QVector<QVector3D>& corners)
{
    const int n = corners.size();
    QVector<QVector3D> normals(n);
    for (int i = 0; i < n; ++i)
        normals[i] = Fan::cornerNormal(corners[(i + n - 1) % n], corners[i], corners[(i + 1) % n]);
    return normals;
}

QVector<QVector3D> vertexNormals(const QVector<QList<int>>& polygons, const QVector<QVector3D>& vertices)
{
    QVector<QVector3D> sums(vertices.size(), QVector3D(0, 0, 0));
    QVector<int> counts(vertices.size(), 0);
    QVarLengthArray<QVector3D, 16> corners;
    for (const QList<int>& polygon : polygons) {
        const int n = polygon.size();
        corners.resize(n);
        for (int i = 0; i < n; ++i)
            corners[i] = vertices.at(polygon.at(i));
        for (int i = 0; i < n; ++i) {
            const int vertex = polygon.at(i);
            sums[vertex] += Fan::cornerNormal(corners[(i + n - 1) % n], corners[i], corners[(i + 1) % n]);
            ++counts[vertex];
        }
    }
    for (int v = 0; v < sums.size(); ++v) {
        if (counts[v] > 0)
            sums[v] = (sums[v] / float(counts[v])).normalized();
    }
    return sums;
}

}  // namespace GeometryStack
