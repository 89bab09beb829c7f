// The sub-mesh constructor of the mesh record: the chosen polygons with their vertices numbered
// in order of first use, and maps back to the source's vertices and texture vertices.
#include "mesh/GeomStack.h"
#include "mesh/MeshSelections.h"

namespace GeometryStack {

GeomStack::GeomStack(const GeomStack& source, const QList<int>& polygonInds, QVector<int>& vertexInds,
                     QVector<int>& texVertexInds)
{
    QVector<int> vertexMap;
    const QVector<QList<int>> keptPolygons = takeByIndices(source.polygons, polygonInds);
    vertexInds = usedIndicesInFirstUseOrder(keptPolygons, source.vertices.size(), vertexMap);
    vertices = takeByIndices(source.vertices, vertexInds);
    // The source's normals are kept as they are: a vertex on the border of the kept part keeps
    // the normal its whole neighbourhood gave it.
    if (!source.normals.isEmpty())
        normals = takeByIndices(source.normals, vertexInds);
    polygons = remapIndexLists(keptPolygons, vertexMap);

    const QVector<QVector<IndexPair>> cornerPairs =
        triangulatePolygons(polygons, vertices, triangleIndToPolygonInd, triangleEdgeFlags);
    triangles = trianglesFromCornerPairs(polygons, cornerPairs);

    if (!source.texturePolygons.isEmpty()) {
        QVector<int> textureMap;
        const QVector<QList<int>> keptTexturePolygons = takeByIndices(source.texturePolygons, polygonInds);
        texVertexInds = usedIndicesInFirstUseOrder(keptTexturePolygons, source.textureVertices.size(), textureMap);
        texturePolygons = remapIndexLists(keptTexturePolygons, textureMap);
        textureVertices = takeByIndices(source.textureVertices, texVertexInds);
        textureTriangles = trianglesFromCornerPairs(texturePolygons, cornerPairs);
    }

    if (!source.polygonIndToPolygroupInd.isEmpty())
        polygonIndToPolygroupInd = takeByIndices(source.polygonIndToPolygroupInd, polygonInds);
    polygroupNames = source.polygroupNames;
    boundingBox = Viewport3D::BoundingBox::fromPoints(vertices);
}

}  // namespace GeometryStack
