// The mesh record: fan triangulation, normals, derived arrays, loading, scaling and saving.
#include <cmath>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "mesh/GeomStack.h"
#include "support/QtPrinters.h"
#include "support/TempFiles.h"

using namespace GeometryStack;

namespace {

// Pentagon, corners counter-clockwise:
//      3 ---- 2      y = 2
//     /       |
//    4        1      y = 1
//     \      /
//        0           y = 0
const QVector<QVector3D> kPentagon{{0, 0, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}, {-1, 1, 0}};
// Quad whose short diagonal runs from corner 1 to corner 3:
//   3 (1,1) ---- 2 (2,1)
//  /            /
// 0 (0,0) -- 1 (1,0)
const QVector<QVector3D> kQuad{{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 1, 0}};

// The eight corners of the unit cube and its six faces, counter-clockwise from outside.
const QVector<QVector3D> kCubeVertices{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                       {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
const QVector<QList<int>> kCubeFaces{{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                                     {2, 3, 7, 6}, {1, 2, 6, 5}, {0, 4, 7, 3}};

struct RandomMesh {
    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    QVector<QList<int>> polygons;
    QVector<QList<int>> texturePolygons;
};

RandomMesh randomMesh(unsigned seed, int polygonCount)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(-10.0f, 10.0f);
    RandomMesh mesh;
    for (int i = 0; i < 200; ++i) {
        mesh.vertices.append(QVector3D(coordinate(random), coordinate(random), coordinate(random)));
        mesh.textureVertices.append(QVector2D(coordinate(random), coordinate(random)));
    }
    // Include corners at equal distances so ties between origins happen.
    for (int i = 0; i < 8; ++i)
        mesh.vertices.append(QVector3D(std::cos(i * 0.785398f), std::sin(i * 0.785398f), 0));
    for (int p = 0; p < polygonCount; ++p) {
        const int n = 3 + int(random() % 7);
        QList<int> polygon, texture;
        for (int k = 0; k < n; ++k) {
            polygon.append(p % 5 == 0 ? 200 + k % 8 : int(random() % 200));
            texture.append(int(random() % 200));
        }
        mesh.polygons.append(polygon);
        mesh.texturePolygons.append(texture);
    }
    return mesh;
}

}  // namespace

TEST(FanTriangulation, PentagonDiagonalSumsAndFan)
{
    const double sums[] = {9, 6, 10, 6, 9};
    for (int origin = 0; origin < 5; ++origin)
        EXPECT_DOUBLE_EQ(triangleFanInnerEdgeLengthSquared(origin, kPentagon), sums[origin]) << origin;
    // Origins 1 and 3 tie; the first wins.
    ASSERT_EQ(optimalTriangleFanOrigin(kPentagon), 1);

    QVector<QVector<bool>> flags;
    const QVector<QVector<int>> fan = triangulateFan(5, 1, flags);
    EXPECT_EQ(fan, (QVector<QVector<int>>{{1, 2, 3}, {1, 3, 4}, {1, 4, 0}}));
    EXPECT_EQ(flags, (QVector<QVector<bool>>{{true, true, false}, {false, true, false}, {false, true, true}}));
}

TEST(FanTriangulation, QuadTakesTheShorterDiagonal)
{
    EXPECT_DOUBLE_EQ(triangleFanInnerEdgeLengthSquared(0, kQuad), 5.0);
    EXPECT_DOUBLE_EQ(triangleFanInnerEdgeLengthSquared(1, kQuad), 1.0);
    ASSERT_EQ(optimalTriangleFanOrigin(kQuad), 1);
    QVector<QVector<bool>> flags;
    EXPECT_EQ(triangulateFan(4, 1, flags), (QVector<QVector<int>>{{1, 2, 3}, {1, 3, 0}}));
    EXPECT_EQ(flags, (QVector<QVector<bool>>{{true, true, false}, {false, true, true}}));

    // Corner 2 would give the same diagonal as corner 0; only 0 and 1 are tried.
    const QVector<QVector3D> longDiagonalFirst{{0, 0, 0}, {1, 0, 0}, {1, 5, 0}, {0, 1, 0}};
    EXPECT_EQ(optimalTriangleFanOrigin(longDiagonalFirst), 1);
}

TEST(FanTriangulation, SmallAndDegenerateCornerCounts)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const QVector<QVector3D> triangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    for (int origin = 0; origin < 3; ++origin)
        EXPECT_EQ(triangleFanInnerEdgeLengthSquared(origin, triangle), 0.0);

    const struct {
        const char* name;
        QVector<QVector3D> corners;
        int origin;
    } cases[] = {
        {"triangle", triangle, 0},
        {"triangle with NaN (no sums computed)", {{nan, 0, 0}, {1, 0, 0}, {0, 1, 0}}, 0},
        {"no corners", {}, -1},
        {"one corner", {{1, 2, 3}}, 0},
        {"two corners", {{1, 2, 3}, {4, 5, 6}}, 0},
        // Each quad diagonal touches one NaN corner.
        {"NaN quad", {{nan, 0, 0}, {nan, 0, 0}, {1, 1, 0}, {0, 1, 0}}, -1},
        {"quad with one usable diagonal", {{nan, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 1},
        {"infinite hexagon", {{inf, 0, 0}, {inf, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}}, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(optimalTriangleFanOrigin(c.corners), c.origin) << c.name;

    QVector<QVector<bool>> flags{{true}};
    EXPECT_EQ(triangulateFan(3, 0, flags), (QVector<QVector<int>>{{0, 1, 2}}));
    EXPECT_EQ(flags, (QVector<QVector<bool>>{{true, true, true}}));
    for (int n : {-1, 0, 1, 2}) {
        EXPECT_TRUE(triangulateFan(n, 0, flags).isEmpty()) << n;
        EXPECT_TRUE(flags.isEmpty()) << n;
    }
    // An origin of -1 (no finite sum) falls back to corner 0.
    EXPECT_EQ(triangulateFan(4, -1, flags), (QVector<QVector<int>>{{0, 1, 2}, {0, 2, 3}}));

    EXPECT_EQ(triangleCount({{0, 1, 2}, {0, 1, 2, 3, 4}, {0, 1}, {}}), 4);
    EXPECT_EQ(polygonTriangleCount(6), 4);
}

TEST(FanTriangulation, TriangulatePolygonsNamesCornersOfEachPolygon)
{
    // Quad of the example, then the pentagon's corners behind it.
    QVector<QVector3D> vertices = kQuad + kPentagon;
    const QVector<QList<int>> polygons{{0, 1, 2, 3}, {4, 5, 6, 7, 8}, {0, 1, 3}};
    QVector<int> toPolygon;
    QVector<QVector<bool>> flags;
    const QVector<QVector<IndexPair>> pairs = triangulatePolygons(polygons, vertices, toPolygon, flags);
    const QVector<QVector<IndexPair>> expected{{{0, 1}, {0, 2}, {0, 3}}, {{0, 1}, {0, 3}, {0, 0}},
                                               {{1, 1}, {1, 2}, {1, 3}}, {{1, 1}, {1, 3}, {1, 4}},
                                               {{1, 1}, {1, 4}, {1, 0}}, {{2, 0}, {2, 1}, {2, 2}}};
    EXPECT_EQ(pairs, expected);
    EXPECT_EQ(toPolygon, (QVector<int>{0, 0, 1, 1, 1, 2}));
    ASSERT_EQ(flags.size(), 6);
    EXPECT_EQ(flags[5], (QVector<bool>{true, true, true}));
    EXPECT_EQ(trianglesFromCornerPairs(polygons, pairs),
              (QVector<QList<int>>{{1, 2, 3}, {1, 3, 0}, {5, 6, 7}, {5, 7, 8}, {5, 8, 4}, {0, 1, 3}}));
}

TEST(Normals, KnownGeometry)
{
    const QVector<QVector3D> triangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    EXPECT_EQ(polygonCornerNormals(triangle), QVector<QVector3D>(3, QVector3D(0, 0, 1)));
    // Vertex 3 belongs to no polygon.
    EXPECT_EQ(vertexNormals({{0, 1, 2}}, triangle + QVector<QVector3D>{{5, 5, 5}}),
              (QVector<QVector3D>{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 0}}));

    // Every cube corner meets three faces: its normal is the diagonal outward.
    const QVector<QVector3D> normals = vertexNormals(kCubeFaces, kCubeVertices);
    ASSERT_EQ(normals.size(), 8);
    const QVector3D centre(0.5f, 0.5f, 0.5f);
    for (int v = 0; v < 8; ++v) {
        const QVector3D expected = (kCubeVertices[v] - centre).normalized();
        EXPECT_NEAR((normals[v] - expected).length(), 0.0f, 1e-6f) << v;
    }

    // A degenerate polygon's corners add (0, 0, 0) but count.
    const QVector<QVector3D> withLine{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}};
    const QVector<QVector3D> mixed = vertexNormals({{0, 1, 2}, {0, 1, 3}}, withLine);
    EXPECT_EQ(mixed[0], QVector3D(0, 0, 1));
    EXPECT_EQ(mixed[3], QVector3D(0, 0, 0));
}

TEST(GeomStack, RecordTriangulationMatchesThePlainFunctions)
{
    // Enough polygons for several runs triangulated side by side, and few.
    for (const int polygonCount : {400, 40000}) {
        SCOPED_TRACE(polygonCount);
        const RandomMesh mesh = randomMesh(7, polygonCount);
        const GeomStack record(mesh.vertices, mesh.polygons, mesh.textureVertices, mesh.texturePolygons, {});

        QVector<int> toPolygon;
        QVector<QVector<bool>> flags;
        const QVector<QVector<IndexPair>> pairs = triangulatePolygons(mesh.polygons, mesh.vertices, toPolygon, flags);
        EXPECT_EQ(record.triangles, trianglesFromCornerPairs(mesh.polygons, pairs));
        EXPECT_EQ(record.textureTriangles, trianglesFromCornerPairs(mesh.texturePolygons, pairs));
        EXPECT_EQ(record.triangleIndToPolygonInd, toPolygon);
        EXPECT_EQ(record.triangleEdgeFlags, flags);
        EXPECT_EQ(record.triangles.size(), triangleCount(mesh.polygons));

        // Each polygon's fan edges: n - 3 diagonals twice and n polygon edges once.
        int t = 0;
        for (const QList<int>& polygon : mesh.polygons) {
            int polygonEdges = 0;
            for (int i = 0; i < polygon.size() - 2; ++i, ++t)
                for (bool flag : record.triangleEdgeFlags[t])
                    polygonEdges += flag;
            EXPECT_EQ(polygonEdges, polygon.size());
        }
        EXPECT_EQ(record.normals, vertexNormals(mesh.polygons, mesh.vertices));
        EXPECT_EQ(record.boundingBox, Viewport3D::BoundingBox::fromPoints(mesh.vertices));
        EXPECT_TRUE(record.polygroupNames.isEmpty());
        EXPECT_TRUE(record.polygonIndToPolygroupInd.isEmpty());
    }
}

TEST(GeomStack, ArraysWithDegeneratePolygons)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // NaN corners leave no finite diagonal sum: the fan starts at corner 0.
    const QVector<QVector3D> vertices{{nan, 0, 0}, {nan, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const GeomStack record(vertices, {{0, 1, 2, 3}, {0, 1}, {}}, {}, {}, {QVector3D(0, 0, 1)});
    EXPECT_EQ(record.triangles, (QVector<QList<int>>{{0, 1, 2}, {0, 2, 3}}));
    EXPECT_EQ(record.triangleIndToPolygonInd, (QVector<int>{0, 0}));
    EXPECT_TRUE(record.textureTriangles.isEmpty());
    // A non-empty fifth list supplies nothing: no normals are computed.
    EXPECT_TRUE(record.normals.isEmpty());
}

TEST(GeomStack, LoadsAFileAndDerivesWhatIsAsked)
{
    TestSupport::TempDir dir;
    const QString path = dir.write("quad.obj",
                                   "v 0 0 0\nv 1 0 0\nv 2 1 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                   "g side\nf 1/1 2/2 3/3 4/4\n");
    QString error = "stale";
    const GeomStack plain(path, &error, false, false);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(error.isNull());
    EXPECT_EQ(plain.polygons, (QVector<QList<int>>{{0, 1, 2, 3}}));
    EXPECT_EQ(plain.polygroupNames, QVector<QString>{"side"});
    EXPECT_EQ(plain.polygonIndToPolygroupInd, QVector<int>{0});
    EXPECT_EQ(plain.boundingBox, Viewport3D::BoundingBox({0, 0, 0}, {2, 1, 0}));
    EXPECT_TRUE(plain.triangles.isEmpty());
    EXPECT_TRUE(plain.normals.isEmpty());

    const GeomStack full(path, nullptr, true, true);
    EXPECT_EQ(full.triangles, (QVector<QList<int>>{{1, 2, 3}, {1, 3, 0}}));
    EXPECT_EQ(full.textureTriangles, (QVector<QList<int>>{{1, 2, 3}, {1, 3, 0}}));
    EXPECT_EQ(full.normals, QVector<QVector3D>(4, QVector3D(0, 0, 1)));
    // 4 vertices + 4 normals (3 floats), 4 texture vertices, 2 triangle
    // sources, 4 + 4 polygon indices and 6 + 6 triangle indices.
    EXPECT_EQ(full.memorySize(), 4 * (3 * 8 + 2 * 4 + 2 + 8 + 12));
}

TEST(GeomStack, FailedLoadDerivesNothing)
{
    TestSupport::TempDir dir;
    const QString missing = dir.filePath("missing.obj");
    QString error;
    const GeomStack absent(missing, &error, true, true);
    EXPECT_EQ(error, "Can not load file: " + missing);
    EXPECT_TRUE(absent.vertices.isEmpty());
    EXPECT_TRUE(absent.polygons.isEmpty());

    const QString broken = dir.write("broken.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nv 1 2\n");
    const GeomStack partial(broken, &error, true, true);
    EXPECT_EQ(error, "Failed to parse block \"v\": \" 1 2\" line 4");
    EXPECT_EQ(partial.vertices.size(), 4);  // the failing line's (0, 0, 0) included
    EXPECT_TRUE(partial.triangles.isEmpty());
    EXPECT_TRUE(partial.normals.isEmpty());
    EXPECT_EQ(partial.boundingBox, Viewport3D::BoundingBox());

    const GeomStack empty(dir.write("empty.obj", ""), &error, true, false);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(empty.boundingBox, Viewport3D::BoundingBox());
    EXPECT_TRUE(empty.triangles.isEmpty());
    GeomStack emptyCopy = empty;
    emptyCopy.computeNormals();
    EXPECT_TRUE(emptyCopy.normals.isEmpty());
}

TEST(GeomStack, ScaleAboutTheOriginKeepsNormalsAndSharesForOne)
{
    GeomStack record(kCubeVertices, kCubeFaces, {}, {}, {});
    const QVector<QVector3D> normals = record.normals;
    const QVector3D* before = record.vertices.constData();
    record.scale(1.0);
    EXPECT_EQ(record.vertices.constData(), before);
    EXPECT_EQ(scaledVertices(record.vertices, 1.0).constData(), before);

    record.scale(2.0);
    EXPECT_EQ(record.vertices[6], QVector3D(2, 2, 2));
    EXPECT_EQ(record.boundingBox, Viewport3D::BoundingBox({0, 0, 0}, {2, 2, 2}));
    EXPECT_EQ(record.normals, normals);
    record.scale(-0.5);
    EXPECT_EQ(record.vertices[6], QVector3D(-1, -1, -1));
    EXPECT_EQ(record.boundingBox.size, QVector3D(-1, -1, -1));

    // NaN is not 1: it scales.
    const QVector<QVector3D> scaled = scaledVertices({{1, 1, 1}}, std::nan(""));
    EXPECT_TRUE(std::isnan(scaled[0].x()));
    // The factor is taken in single precision first.
    EXPECT_EQ(scaledVertices({{3, 0, 0}}, 0.1)[0].x(), 3.0f * float(0.1));

    const GeomStack copy = record;
    EXPECT_EQ(copy.vertices.constData(), record.vertices.constData());
}

TEST(GeomStack, SaveToObjWritesWhatIsAskedAndAlwaysTheGroups)
{
    TestSupport::TempDir dir;
    const QString source = dir.write("source.obj",
                                     "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                                     "g tri\nf 1/1 2/2 3/3\n");
    GeomStack record(source, nullptr, true, false);
    record.computeNormals();

    const QString bare = dir.filePath("bare.obj");
    ASSERT_TRUE(record.saveToObj(bare, false, false));
    EXPECT_EQ(TestSupport::readFile(bare), QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\ng tri\nf 1 2 3\n"));

    const QString full = dir.filePath("full.obj");
    ASSERT_TRUE(record.saveToObj(full, true, true));
    EXPECT_EQ(TestSupport::readFile(full), QByteArray("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n"
                                                      "vn 0 0 1\nvn 0 0 1\nvn 0 0 1\ng tri\nf 1/1/1 2/2/2 3/3/3\n"));

    const GeomStack reread(full, nullptr, true, true);
    EXPECT_EQ(reread.vertices, record.vertices);
    EXPECT_EQ(reread.texturePolygons, record.texturePolygons);
    EXPECT_EQ(reread.triangles, record.triangles);
    EXPECT_EQ(reread.polygroupNames, record.polygroupNames);

    EXPECT_FALSE(record.saveToObj(dir.filePath("no/such/folder.obj"), true, true));
}
