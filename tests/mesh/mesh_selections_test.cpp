// Masks, per-corner arrays, sub-meshes, transformed copies and colours of mesh records.
#include "mesh/MeshSelections.h"

#include "numerics/Random.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <cmath>

using namespace GeometryStack;

namespace {

//     4 - 3
//    /    |  `.         quad (0,1,3,4) and triangle (1,2,3); the quad's shorter diagonal
//   /     |    `.       runs from corner 1, so it is cut as (1,3,4), (1,4,0)
//  0 ---- 1 --- 2
GeomStack quadAndTriangle()
{
    GeomStack record({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}, {0.5f, 1, 0}}, {{0, 1, 3, 4}, {1, 2, 3}},
                     {{0, 0}, {0.5f, 0}, {0.5f, 0.5f}, {0, 0.5f}, {1, 0}}, {{0, 1, 2, 3}, {1, 4, 2}}, {});
    record.polygonIndToPolygroupInd = {-1, 0};
    record.polygroupNames = {"right"};
    return record;
}

}  // namespace

TEST(MeshSelections, MasksAndIndexLists)
{
    EXPECT_EQ(maskToIndices({false, true, true}), (QList<int>{1, 2}));
    EXPECT_TRUE(maskToIndices({}).isEmpty());
    EXPECT_EQ(indicesToMask({0, 2}, 4), (QVector<bool>{true, false, true, false}));
    EXPECT_EQ(positionsOfMaskedIndices({false, true, false, true}, {3, 0, 1, 1}), (QList<int>{0, 2, 3}));
    // Round trip.
    const QVector<bool> mask = {true, false, false, true, true};
    EXPECT_EQ(indicesToMask(maskToIndices(mask), mask.size()), mask);
}

TEST(MeshSelections, PolygonMasksBecomeTriangleCornerAndVertexMasks)
{
    const GeomStack record = quadAndTriangle();
    ASSERT_EQ(record.triangleIndToPolygonInd, (QVector<int>{0, 0, 1}));
    EXPECT_EQ(polygonMaskToTriangleMask(record, {true, false}), (QVector<bool>{true, true, false}));
    EXPECT_EQ(polygonMaskToCornerMask(record, {true, false}),
              (QVector<bool>{true, true, true, true, true, true, false, false, false}));
    EXPECT_EQ(triangleMaskToCornerMask({false, true}), (QVector<bool>{false, false, false, true, true, true}));
    EXPECT_EQ(verticesMaskOfPolygons(record, {false, true}), (QVector<bool>{false, true, true, true, false}));
    EXPECT_EQ(verticesMaskOfPolygons(record, {false, false}), QVector<bool>(5, false));
    // A vertex that no polygon uses is never set.
    EXPECT_EQ(verticesMaskOfPolygons({true}, {{0, 1, 2}}, 4), (QVector<bool>{true, true, true, false}));
    EXPECT_EQ(vertexPolygons({{0, 1, 3, 4}, {1, 2, 3}, {0, 0, 2}}, 6),
              (QVector<QList<int>>{{0, 2, 2}, {0, 1}, {1, 2}, {0, 1}, {0}, {}}));
}

TEST(MeshSelections, PolygroupMasks)
{
    GeomStack record = quadAndTriangle();
    EXPECT_EQ(polygonMaskOfPolygroup(record, -1), (QVector<bool>{true, false}));
    EXPECT_EQ(polygonMaskOfPolygroup(record, 0), (QVector<bool>{false, true}));
    EXPECT_EQ(polygonMaskOfPolygroup(record, 5), (QVector<bool>{false, false}));
    record.polygonIndToPolygroupInd.clear();
    EXPECT_TRUE(polygonMaskOfPolygroup(record, -1).isEmpty());
}

TEST(MeshSelections, PerCornerArraysLineUpWithTriangles)
{
    GeomStack record = quadAndTriangle();
    ASSERT_EQ(record.triangles, (QVector<QList<int>>{{1, 3, 4}, {1, 4, 0}, {1, 2, 3}}));
    const QVector<QVector3D> positions = cornerPositions(record);
    const QVector<QVector3D> normals = cornerNormals(record);
    const QVector<QVector2D> uvs = cornerTextureCoordinates(record);
    ASSERT_EQ(positions.size(), 9);
    ASSERT_EQ(uvs.size(), 9);
    for (int t = 0; t < 3; ++t) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(positions[3 * t + k], record.vertices[record.triangles[t][k]]);
            EXPECT_EQ(normals[3 * t + k], record.normals[record.triangles[t][k]]);
            EXPECT_EQ(uvs[3 * t + k], record.textureVertices[record.textureTriangles[t][k]]);
        }
    }
    EXPECT_EQ(edgeFlagsPerCorner(record), (QVector<float>{1, 1, 0, 0, 1, 1, 1, 1, 1}));
    EXPECT_EQ(cornerIndices(record), indexRange(9));
    EXPECT_EQ(indexRange(3), (QVector<int>{0, 1, 2}));
    EXPECT_TRUE(indexRange(0).isEmpty());
    EXPECT_TRUE(indexRange(-2).isEmpty());

    record.textureTriangles.clear();
    EXPECT_TRUE(cornerTextureCoordinates(record).isEmpty());
}

//  source polygons [0,1,2], [2,1,3], [3,4,2], cut with [2, 0]:
//
//    1 --- 3            kept: [3,4,2] -> [0,1,2]
//    | \   | \                [0,1,2] -> [3,4,2]
//    |  \  |  4
//    0 - 2 -'
TEST(MeshSelections, SubMeshNumbersVerticesInOrderOfFirstUse)
{
    const QVector<QVector3D> points = {{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {1, 1, 0}, {2, 0.5f, 0}};
    const QVector<QVector2D> uvs = {{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {9, 9}};
    GeomStack source(points, {{0, 1, 2}, {2, 1, 3}, {3, 4, 2}}, uvs, {{5, 1, 2}, {2, 1, 3}, {3, 4, 2}}, {});
    source.polygonIndToPolygroupInd = {0, 1, 0};
    source.polygroupNames = {"a", "b"};

    QVector<int> vertexInds = {77}, texVertexInds = {77};
    const GeomStack sub(source, {2, 0}, vertexInds, texVertexInds);
    EXPECT_EQ(vertexInds, (QVector<int>{3, 4, 2, 0, 1}));
    EXPECT_EQ(sub.polygons, (QVector<QList<int>>{{0, 1, 2}, {3, 4, 2}}));
    EXPECT_EQ(sub.triangleIndToPolygonInd, (QVector<int>{0, 1}));
    EXPECT_EQ(texVertexInds, (QVector<int>{3, 4, 2, 5, 1}));
    EXPECT_EQ(sub.texturePolygons, (QVector<QList<int>>{{0, 1, 2}, {3, 4, 2}}));
    EXPECT_EQ(sub.polygonIndToPolygroupInd, (QVector<int>{0, 0}));
    EXPECT_EQ(sub.polygroupNames, source.polygroupNames);
    EXPECT_EQ(sub.boundingBox, Viewport3D::BoundingBox::fromPoints(sub.vertices));

    // Mapped back through the maps, the sub-mesh holds exactly the source's data of those polygons.
    const QList<int> kept = {2, 0};
    for (int p = 0; p < kept.size(); ++p) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(vertexInds[sub.polygons[p][k]], source.polygons[kept[p]][k]);
            EXPECT_EQ(texVertexInds[sub.texturePolygons[p][k]], source.texturePolygons[kept[p]][k]);
            EXPECT_EQ(vertexInds[sub.triangles[p][k]], source.triangles[kept[p]][k]);
            EXPECT_EQ(texVertexInds[sub.textureTriangles[p][k]], source.textureTriangles[kept[p]][k]);
        }
    }
    for (int v = 0; v < vertexInds.size(); ++v) {
        EXPECT_EQ(sub.vertices[v], source.vertices[vertexInds[v]]);
        // Normals are copied, not recomputed: vertex 2 keeps the normal of all three source faces.
        EXPECT_EQ(sub.normals[v], source.normals[vertexInds[v]]);
    }
    for (int t = 0; t < texVertexInds.size(); ++t)
        EXPECT_EQ(sub.textureVertices[t], source.textureVertices[texVertexInds[t]]);
}

TEST(MeshSelections, SubMeshOfBareOrEmptySelection)
{
    GeomStack source = quadAndTriangle();
    source.texturePolygons.clear();
    source.textureTriangles.clear();
    source.normals.clear();
    QVector<int> vertexInds = {9}, texVertexInds = {4, 2};
    const GeomStack sub(source, {1}, vertexInds, texVertexInds);
    EXPECT_EQ(texVertexInds, (QVector<int>{4, 2}));
    EXPECT_TRUE(sub.normals.isEmpty());
    EXPECT_TRUE(sub.texturePolygons.isEmpty());
    EXPECT_TRUE(sub.textureVertices.isEmpty());
    EXPECT_EQ(vertexInds, (QVector<int>{1, 2, 3}));

    // A polygon listed twice is kept twice.
    const GeomStack twice(source, {1, 1}, vertexInds, texVertexInds);
    EXPECT_EQ(twice.polygons, (QVector<QList<int>>{{0, 1, 2}, {0, 1, 2}}));

    const GeomStack empty(source, {}, vertexInds, texVertexInds);
    EXPECT_TRUE(vertexInds.isEmpty());
    EXPECT_TRUE(empty.vertices.isEmpty());
    EXPECT_TRUE(empty.polygons.isEmpty());
    EXPECT_TRUE(empty.triangles.isEmpty());
    EXPECT_EQ(empty.boundingBox, Viewport3D::BoundingBox());
    EXPECT_EQ(empty.polygroupNames, source.polygroupNames);
}

TEST(MeshSelections, FirstUseOrderAndRemapping)
{
    QVector<int> map = {5, 5};
    const QVector<int> used = usedIndicesInFirstUseOrder({{4, 2}, {2, 0, 4}}, 6, map);
    EXPECT_EQ(used, (QVector<int>{4, 2, 0}));
    EXPECT_EQ(map, (QVector<int>{2, -1, 1, -1, 0, -1}));
    EXPECT_EQ(remapIndexLists({{4, 2}, {2, 0, 4}}, map), (QVector<QList<int>>{{0, 1}, {1, 2, 0}}));
}

TEST(MeshSelections, TransformedPositionsAndNormals)
{
    const QVector<QVector3D> points = {{1, 2, 3}, {-1, 0, 0.5f}};
    EXPECT_EQ(transformedVertices(points, QMatrix4x4()).constData(), points.constData());
    EXPECT_EQ(transformedNormals(points, QMatrix4x4()).constData(), points.constData());

    QMatrix4x4 translation;
    translation.translate(1, 2, 3);
    EXPECT_EQ(transformedVertices(points, translation), (QVector<QVector3D>{{2, 4, 6}, {0, 2, 3.5f}}));

    // A perspective matrix divides by w.
    QMatrix4x4 perspective(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    EXPECT_EQ(transformedVertices({{2, 4, 2}}, perspective), (QVector<QVector3D>{{1, 2, 1}}));

    // A matrix equal to the identity entry by entry, but made through a general path, still shares.
    QMatrix4x4 general(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    EXPECT_EQ(transformedVertices(points, general).constData(), points.constData());

    QMatrix4x4 stretch;
    stretch.scale(2, 1, 1);
    const QVector3D diagonal = QVector3D(1, 1, 0) / std::sqrt(2.0f);
    const QVector3D expected = QVector3D(1, 2, 0) / std::sqrt(5.0f);
    EXPECT_NEAR((transformedNormals({diagonal}, stretch)[0] - expected).length(), 0, 1e-6);
    QMatrix4x4 uniform;
    uniform.scale(3);
    EXPECT_NEAR((transformedNormals({diagonal}, uniform)[0] - diagonal).length(), 0, 1e-6);
    // A singular matrix inverts to the identity: normals are only normalised.
    QMatrix4x4 flat;
    flat.scale(1, 1, 0);
    EXPECT_NEAR((transformedNormals({{0, 0, 2}}, flat)[0] - QVector3D(0, 0, 1)).length(), 0, 1e-6);
}

TEST(MeshSelections, RandomColorsAreReproducible)
{
    const QVector<QColor> one = randomColors(1, 0.5f, 0.4f, 0.25f);
    ASSERT_EQ(one.size(), 1);
    EXPECT_NEAR(one[0].hslHueF(), 0.25, 1e-3);

    const QVector<QColor> colors = randomColors(20, 0.8f, 0.5f, 0.1f);
    EXPECT_EQ(randomColors(20, 0.8f, 0.5f, 0.1f), colors);
    // The hues after the first are the generator's draws after seeding with 2000.
    Random::seed(2000);
    for (int i = 1; i < colors.size(); ++i) {
        const float hue = float(Random::draw()) / 32767.0f;
        EXPECT_EQ(colors[i], QColor::fromHslF(hue, 0.8f, 0.5f, 1.0)) << i;
        EXPECT_GE(colors[i].hslHueF(), 0.0);
        EXPECT_LE(colors[i].hslHueF(), 1.0);
    }

    // No colours, but the generator is reseeded all the same.
    Random::draw();
    EXPECT_TRUE(randomColors(0, 1, 1, 0).isEmpty());
    const int afterReseed = Random::draw();
    Random::seed(2000);
    EXPECT_EQ(afterReseed, Random::draw());
}

TEST(MeshSelections, ContainerTemplates)
{
    const QVector<QList<int>> lists = {{1, 2}, {}, {3}};
    EXPECT_EQ(countElements(lists), 3);
    EXPECT_EQ(flatten(lists), (QVector<int>{1, 2, 3}));
    EXPECT_EQ(flatten(QVector<QVector<bool>>{{true}, {false, true}}), (QVector<bool>{true, false, true}));
    EXPECT_EQ(countElements(QVector<QVector<bool>>{{true}, {false, true}}), 3);

    const QVector<QVector3D> values = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
    EXPECT_EQ(takeByIndices(values, QList<int>{2, 0, 2}), (QVector<QVector3D>{{2, 2, 2}, {0, 0, 0}, {2, 2, 2}}));
    EXPECT_EQ(takeByIndices(values, QVector<int>{1}), (QVector<QVector3D>{{1, 1, 1}}));
    EXPECT_EQ(takeByIndices(QVector<bool>{true, false}, QVector<int>{1, 1, 0}), (QVector<bool>{false, false, true}));
    EXPECT_EQ(takeByIndices(QVector<int>{5, 6}, QList<int>{}), QVector<int>());
    EXPECT_EQ(takeByIndexLists({{2, 1}, {0}}, values), (QVector<QVector3D>{{2, 2, 2}, {1, 1, 1}, {0, 0, 0}}));
}
