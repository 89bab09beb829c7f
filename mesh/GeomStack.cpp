#include "mesh/GeomStack.h"

#include <QVarLengthArray>

#include <vector>

#include "mesh/FanTriangulation.h"
#include "mesh/ObjFileImport.h"
#include "numerics/ParallelChunks.h"

namespace GeometryStack {

GeomStack::GeomStack(const QString& path, QString* errorText, bool triangulate, bool computeNormals)
{
    QString error;
    const bool ok = ObjFileImport::loadObjFile(path, vertices, textureVertices, polygons, texturePolygons,
                                               polygroupNames, polygonIndToPolygroupInd, error);
    if (errorText)
        *errorText = ok ? QString("") : error;
    if (!ok)
        return;
    boundingBox = Viewport3D::BoundingBox::fromPoints(vertices);
    if (computeNormals)
        this->computeNormals();
    if (triangulate)
        this->triangulate();
}

GeomStack::GeomStack(const QVector<QVector3D>& vertices, const QVector<QList<int>>& polygons,
                     const QVector<QVector2D>& textureVertices, const QVector<QList<int>>& texturePolygons,
                     const QVector<QVector3D>& normals)
    : vertices(vertices), textureVertices(textureVertices), polygons(polygons), texturePolygons(texturePolygons)
{
    if (normals.isEmpty())
        computeNormals();
    triangulate();
    boundingBox = Viewport3D::BoundingBox::fromPoints(vertices);
}

void GeomStack::computeNormals()
{
    normals = vertexNormals(polygons, vertices);
}

void GeomStack::scale(double factor)
{
    vertices = scaledVertices(vertices, factor);
    boundingBox.scale(factor);
}

bool GeomStack::saveToObj(const QString& path, bool withTextureCoordinates, bool withNormals) const
{
    return ObjFileImport::saveToObjFile(path, vertices, withTextureCoordinates ? textureVertices : QVector<QVector2D>(),
                                        withNormals ? normals : QVector<QVector3D>(), polygons,
                                        withTextureCoordinates ? texturePolygons : QVector<QList<int>>(),
                                        withNormals ? polygons : QVector<QList<int>>(), polygroupNames,
                                        polygonIndToPolygroupInd);
}

int GeomStack::memorySize() const
{
    auto indexCount = [](const QVector<QList<int>>& lists) {
        int count = 0;
        for (const QList<int>& list : lists)
            count += list.size();
        return count;
    };
    return 4 *
           (3 * (vertices.size() + normals.size()) + 2 * textureVertices.size() + triangleIndToPolygonInd.size() +
            indexCount(polygons) + indexCount(texturePolygons) + indexCount(triangles) + indexCount(textureTriangles));
}

// The same fans as triangulatePolygons followed by trianglesFromCornerPairs,
// built without the intermediate corner pairs. Runs of polygons are
// triangulated side by side on the pool, each from the triangle index its run
// starts at; within a run the few distinct edge-flag triples are shared rather
// than allocated once per triangle.
void GeomStack::triangulate()
{
    const int polygonCount = polygons.size();
    const int chunk = 1 << 14;
    const int chunkCount = polygonCount == 0 ? 0 : 1 + (polygonCount - 1) / chunk;
    std::vector<int> firstTriangle(size_t(chunkCount) + 1, 0);
    // Read through const pointers: the tasks must not detach shared lists.
    const QList<int>* polygonLists = polygons.constData();
    const QList<int>* texturePolygonLists = texturePolygons.constData();
    Parallel::forChunks(polygonCount, chunk, [&](int begin, int end) {
        int count = 0;
        for (int p = begin; p < end; ++p)
            count += polygonTriangleCount(polygonLists[p].size());
        firstTriangle[size_t(begin / chunk) + 1] = count;
    });
    for (int c = 0; c < chunkCount; ++c)
        firstTriangle[size_t(c) + 1] += firstTriangle[size_t(c)];
    const int total = firstTriangle[size_t(chunkCount)];
    const bool withTexture = !texturePolygons.isEmpty();
    triangles = QVector<QList<int>>(total);
    textureTriangles = withTexture ? QVector<QList<int>>(total) : QVector<QList<int>>();
    triangleIndToPolygonInd = QVector<int>(total);
    triangleEdgeFlags = QVector<QVector<bool>>(total);

    QList<int>* triangleLists = triangles.data();
    QList<int>* textureLists = withTexture ? textureTriangles.data() : nullptr;
    int* polygonOfTriangle = triangleIndToPolygonInd.data();
    QVector<bool>* edgeFlags = triangleEdgeFlags.data();
    const QVector3D* positions = vertices.constData();
    Parallel::forChunks(polygonCount, chunk, [&](int begin, int end) {
        const QVector<bool> whole{true, true, true};
        const QVector<bool> first{true, true, false};
        const QVector<bool> middle{false, true, false};
        const QVector<bool> last{false, true, true};
        QVarLengthArray<QVector3D, 16> corners;
        int t = firstTriangle[size_t(begin / chunk)];
        for (int p = begin; p < end; ++p) {
            const QList<int>& polygon = polygonLists[p];
            const int n = polygon.size();
            const int count = polygonTriangleCount(n);
            if (count == 0)
                continue;
            corners.resize(n);
            for (int i = 0; i < n; ++i)
                corners[i] = positions[polygon.at(i)];
            const int origin = Fan::usableOrigin(corners.constData(), n);
            const QList<int>* texture = textureLists ? &texturePolygonLists[p] : nullptr;
            for (int i = 0; i < count; ++i, ++t) {
                const int a = origin;
                const int b = (origin + 1 + i) % n;
                const int c = (origin + 2 + i) % n;
                triangleLists[t] = QList<int>{polygon.at(a), polygon.at(b), polygon.at(c)};
                if (texture)
                    textureLists[t] = QList<int>{texture->at(a), texture->at(b), texture->at(c)};
                polygonOfTriangle[t] = p;
                edgeFlags[t] = count == 1 ? whole : i == 0 ? first : i == count - 1 ? last : middle;
            }
        }
    });
}

QVector<QVector3D> scaledVertices(const QVector<QVector3D>& positions, double factor)
{
    if (factor == 1.0)
        return positions;
    const float f = float(factor);
    QVector<QVector3D> scaled(positions.size());
    for (int i = 0; i < positions.size(); ++i)
        scaled[i] = positions[i] * f;
    return scaled;
}

}  // namespace GeometryStack
