// Queries on the half-edge mesh and its in-place fan triangulation.
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>
#include <QSet>
#include <QtMath>
#include <cmath>

using HE::HalfEdgeGeom;

namespace {

using Pairs = QVector<QPair<int, int>>;

//  3 ------ 2
//  |  1   / |
//  |    /   |      triangles (0,1,2) and (0,2,3)
//  |  /  0  |
//  0 ------ 1
HalfEdgeGeom unitSquare()
{
    return HalfEdgeGeom({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
}

// Every link is mutual and every face is a closed cycle of its own half-edges.
void expectConsistent(const HalfEdgeGeom& mesh)
{
    const int n = mesh.halfEdges.size();
    for (int h = 0; h < n; ++h) {
        const HE::HalfEdge& e = mesh.halfEdges[h];
        ASSERT_TRUE(e.next >= 0 && e.next < n && e.prev >= 0 && e.prev < n && e.opposite >= 0 && e.opposite < n) << h;
        EXPECT_EQ(mesh.halfEdges[e.next].prev, h) << h;
        EXPECT_EQ(mesh.halfEdges[e.prev].next, h) << h;
        EXPECT_EQ(mesh.halfEdges[e.opposite].opposite, h) << h;
        EXPECT_EQ(mesh.halfEdges[e.next].face, e.face) << h;
        EXPECT_EQ(mesh.halfEdgeOriginVertex(e.next), e.vertex) << h;
    }
    for (int f = 0; f < mesh.faces.size(); ++f)
        EXPECT_EQ(mesh.halfEdges[mesh.faces[f]].face, f) << f;
}

QVector<QList<int>> vertexLists(const HalfEdgeGeom& mesh)
{
    return mesh.allFaceVertexIndices();
}

// Twice the area vector of a planar polygon.
QVector3D areaVector(const QList<QVector3D>& corners)
{
    QVector3D sum;
    for (int i = 0; i < corners.size(); ++i)
        sum += QVector3D::crossProduct(corners[i], corners[(i + 1) % corners.size()]);
    return sum;
}

}  // namespace

TEST(HalfEdgeQueries, UnitSquareNeighboursFansBoundaryAndEdges)
{
    const HalfEdgeGeom mesh = unitSquare();
    const QVector<QList<int>> neighbours = {{3, 2, 1}, {0, 2}, {1, 0, 3}, {2, 0}};
    for (int v = 0; v < 4; ++v) {
        EXPECT_EQ(mesh.vertexNeighbours(v), neighbours[v]) << v;
        EXPECT_EQ(mesh.getVertexFan(v), neighbours[v]) << v;
    }
    EXPECT_EQ(mesh.buildVertexNeighboursFan(), neighbours);
    EXPECT_EQ(mesh.boundaryVerticesMask(), QVector<bool>(4, true));
    EXPECT_EQ(HalfEdgeGeom::buildEdges(mesh.halfEdges), (Pairs{{0, 1}, {1, 2}, {2, 0}, {2, 3}, {3, 0}}));
}

TEST(HalfEdgeQueries, FansOpenAtTheBoundaryAndCloseInside)
{
    const struct {
        const char* name;
        QVector<QVector3D> vertices;
        QVector<QList<int>> faces;
        QList<int> fanOfZero;
    } cases[] = {
        //        3             vertex 0 inside the triangles (0,1,2), (0,2,3), (0,3,1)
        //       /|\            .
        //      / 0 \           .
        //     1 --- 2
        {"closed fan of three",
         {{0, 0, 0}, {-1, -1, 0}, {1, -1, 0}, {0, 1, 0}},
         {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}},
         {3, 2, 1, 3}},
        {"open fan of two", {{0, 0, 0}, {1, -1, 0}, {0, 1, 0}, {-1, -1, 0}}, {{0, 1, 2}, {0, 2, 3}}, {3, 2, 1}},
        {"open fan closed by a third",
         {{0, 0, 0}, {1, -1, 0}, {0, 1, 0}, {-1, -1, 0}},
         {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}},
         {3, 2, 1, 3}},
        //     3
        //   4 0 2        quads (0,1,2,3) and (0,3,4,1) meeting along 0-3 and 0-1
        //     1
        {"two quads",
         {{0, 0, 0}, {0, -1, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}},
         {{0, 1, 2, 3}, {0, 3, 4, 1}},
         {3, 1, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const HalfEdgeGeom mesh(c.vertices, c.faces);
        EXPECT_EQ(mesh.getVertexFan(0), c.fanOfZero);
    }
    const HalfEdgeGeom closed(cases[0].vertices, cases[0].faces);
    EXPECT_EQ(closed.vertexNeighbours(0), (QList<int>{3, 2, 1}));
    EXPECT_EQ(closed.boundaryVerticesMask(), (QVector<bool>{false, true, true, true}));
}

//  3 --- 2
//  |     |  1        faces (0,1,2), (0,2,3,4), (0,4,5) around vertex 0
//  4 --- 0 -'
//        |
//        5
TEST(HalfEdgeQueries, MixedPolygonFans)
{
    bool manifold = false;
    const HalfEdgeGeom mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 1, 0}, {-1, 0, 0}, {0, -1, 0}},
                            {{0, 1, 2}, {0, 2, 3, 4}, {0, 4, 5}}, &manifold);
    EXPECT_TRUE(manifold);
    EXPECT_EQ(mesh.buildVertexNeighboursFan(),
              (QVector<QList<int>>{{5, 4, 2, 1}, {0, 2}, {1, 0, 3}, {2, 4}, {3, 0, 5}, {4, 0}}));
}

TEST(HalfEdgeQueries, IteratorYieldsTheNeighboursInWalkOrder)
{
    QVector<QVector3D> grid = TestMeshes::gridPoints(5, 5, [](int x, int y) { return QVector3D(x, y, 0); });
    grid.append(QVector3D(9, 9, 9));  // unused
    const QVector<QList<int>> faces = TestMeshes::gridFaces(5, 5, TestMeshes::Cut::Quad);
    const HalfEdgeGeom mesh(grid, faces);
    for (int v = 0; v < grid.size(); ++v) {
        QList<int> walked;
        for (HE::VertexNeighboursIterator it(mesh, v); !it.atEnd(); it.advance()) {
            EXPECT_EQ(mesh.halfEdgeOriginVertex(it.halfEdge()), v);
            walked.append(it.vertex());
        }
        EXPECT_EQ(walked, mesh.vertexNeighbours(v)) << v;
    }
    // An inner vertex starts at its last listed corner (face 10, corner 0: 12 -> 13) and turns
    // clockwise: east, south, west, north.
    EXPECT_EQ(mesh.vertexNeighbours(12), (QList<int>{13, 7, 11, 17}));
    EXPECT_TRUE(mesh.vertexNeighbours(25).isEmpty());
}

TEST(HalfEdgeQueries, VertexWithoutFaces)
{
    const HalfEdgeGeom mesh({{1, 2, 3}}, {});
    EXPECT_TRUE(mesh.vertexNeighbours(0).isEmpty());
    EXPECT_TRUE(mesh.getVertexFan(0).isEmpty());
    EXPECT_EQ(mesh.computeVertexNormal(0), QVector3D());
    EXPECT_EQ(mesh.boundaryVerticesMask(), QVector<bool>{false});
}

TEST(HalfEdgeQueries, VertexNormals)
{
    // Two faces meeting at vertex 0 at a right angle: the mean of their normals (0,1,0) and (1,0,0).
    const HalfEdgeGeom corner({{0, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, -1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    const QVector3D expected = QVector3D(1, 1, 0).normalized();
    EXPECT_NEAR((corner.computeVertexNormal(0) - expected).length(), 0, 1e-6);

    // An octahedron with outward faces: every vertex normal points away from the centre.
    const QVector<QVector3D> points = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const QVector<QList<int>> faces = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4},
                                       {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
    bool manifold = false;
    const HalfEdgeGeom octahedron(points, faces, &manifold);
    ASSERT_TRUE(manifold);
    const QVector<QVector3D> normals = octahedron.computeVertexNormals();
    ASSERT_EQ(normals.size(), 6);
    for (int v = 0; v < 6; ++v)
        EXPECT_NEAR((normals[v] - points[v]).length(), 0, 1e-6) << v;
    EXPECT_EQ(octahedron.boundaryVerticesMask(), QVector<bool>(6, false));
}

//  3 ---- 2
//  |      |      the square face (0,1,2,3)
//  0 ---- 1
TEST(HalfEdgeQueries, FaceWalkStartsAtTheSecondCorner)
{
    const QVector<QVector3D> p = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const HalfEdgeGeom mesh(p, {{0, 1, 2, 3}});
    EXPECT_EQ(mesh.getFaceVertexIndices(0), (QList<int>{1, 2, 3, 0}));
    EXPECT_EQ(mesh.faceVertexPositions(0), (QList<QVector3D>{p[1], p[2], p[3], p[0]}));
    EXPECT_EQ(mesh.findHalfEdge(0, 0), 3);
    EXPECT_EQ(mesh.halfEdgeOriginVertex(3), 3);
    EXPECT_EQ(mesh.findHalfEdge(0, 7), -1);

    const HalfEdgeGeom withEmpty(p, {{}, {0, 1, 2}});
    EXPECT_TRUE(withEmpty.getFaceVertexIndices(0).isEmpty());
    EXPECT_TRUE(withEmpty.faceVertexPositions(0).isEmpty());
    EXPECT_EQ(withEmpty.findHalfEdge(0, 0), -1);
    EXPECT_FALSE(withEmpty.faceHasZeroLengthEdges(0));
    EXPECT_EQ(withEmpty.allFaceVertexIndices(), (QVector<QList<int>>{{}, {1, 2, 0}}));
}

//  2 ---- 1
//  |    /        triangle (0,1,2) over (0,0), (1,1), (0,1): 45 degrees at 1, 90 at 2
//  |  /
//  0
TEST(HalfEdgeQueries, TriangleCornersLengthsAndAngles)
{
    const HalfEdgeGeom mesh({{0, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}});
    EXPECT_NEAR(mesh.halfEdgeNextAngle(0), M_PI / 4, 1e-6);
    EXPECT_NEAR(mesh.halfEdgeNextAngle(1), M_PI / 2, 1e-6);
    EXPECT_NEAR(mesh.halfEdgeNextAngle(0) + mesh.halfEdgeNextAngle(1) + mesh.halfEdgeNextAngle(2), M_PI, 1e-6);
    EXPECT_TRUE(mesh.isAngleAtHalfEdgeEndAcute(0));
    EXPECT_FALSE(mesh.isAngleAtHalfEdgeEndAcute(1));
    EXPECT_FLOAT_EQ(mesh.halfEdgeLengthSquared(0), 2.0f);

    int origin = -1, end = -1, third = -1;
    mesh.halfEdgeTriangleVertices(0, &origin, &end, &third);
    EXPECT_EQ(QVector<int>({origin, end, third}), QVector<int>({0, 1, 2}));
    mesh.halfEdgeTriangleVertices(1, origin, end, third);
    EXPECT_EQ(QVector<int>({origin, end, third}), QVector<int>({1, 2, 0}));
    EXPECT_FALSE(mesh.faceHasZeroLengthEdges(0));

    const HalfEdgeGeom degenerate({{0, 0, 0}, {1, 0, 0}, {1, 0, 0}}, {{0, 1, 2}});
    EXPECT_TRUE(degenerate.faceHasZeroLengthEdges(0));
}

// Straight and folded corners, where rounding can push the cosine past +-1, give 0 and pi.
TEST(HalfEdgeQueries, AngleOfStraightAndFoldedCornersIsNeverNaN)
{
    for (int i = 1; i < 200; ++i) {
        const QVector3D d(0.1f * i, 0.37f * i + 0.013f, -0.29f * i);
        const HalfEdgeGeom straight({-d, {0, 0, 0}, d * 1.7f}, {{0, 1, 2}});
        const HalfEdgeGeom folded({d, {0, 0, 0}, d * 1.7f}, {{0, 1, 2}});
        EXPECT_NEAR(straight.halfEdgeNextAngle(0), M_PI, 1e-3) << i;
        EXPECT_NEAR(folded.halfEdgeNextAngle(0), 0.0, 1e-3) << i;
    }
}

TEST(HalfEdgeQueries, BuildEdgesListsEachEdgeOnce)
{
    //  4 --- 3
    //  |  \   \        triangle (0,1,4) and quad (1,2,3,4)
    //  0 -- 1 - 2
    const HalfEdgeGeom mesh({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}}, {{0, 1, 4}, {1, 2, 3, 4}});
    EXPECT_EQ(HalfEdgeGeom::buildEdges(mesh.halfEdges), (Pairs{{0, 1}, {1, 4}, {4, 0}, {1, 2}, {2, 3}, {3, 4}}));

    // A half-edge that is its own twin makes one pair more than half the half-edges: it is appended.
    const HalfEdgeGeom selfTwin(QVector<QVector3D>(2), {{0, 0, 1}});
    ASSERT_EQ(selfTwin.halfEdges.size(), 3);
    EXPECT_EQ(HalfEdgeGeom::buildEdges(selfTwin.halfEdges), (Pairs{{0, 0}, {0, 1}}));
    EXPECT_TRUE(HalfEdgeGeom::buildEdges({}).isEmpty());
}

TEST(HalfEdgeQueries, FanOriginFollowsTheMeshRecordRule)
{
    //  3 ---- 2
    //  |       \         pentagon (0,0), (1,1), (1,2), (0,2), (-1,1)... corners as listed
    //  4        1
    //    \    /
    //      0
    const QList<QVector3D> pentagon = {{0, 0, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}, {-1, 1, 0}};
    const QVector<double> sums = {9, 6, 10, 6, 9};
    for (int o = 0; o < 5; ++o)
        EXPECT_EQ(HalfEdgeGeom::getTriangleFanInnerEdgeLengthSquared(o, pentagon), sums[o]) << o;
    EXPECT_EQ(HalfEdgeGeom::findOptimalTriangleFanOrigin(pentagon), 1);
    EXPECT_EQ(HalfEdgeGeom::getTriangleFanInnerEdgeLengthSquared(0, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), 0.0);
    EXPECT_EQ(HalfEdgeGeom::findOptimalTriangleFanOrigin({{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 1, 0}}), 1);
    // The rule reads the list in its own order.
    const QList<QVector3D> rotated = {pentagon[1], pentagon[2], pentagon[3], pentagon[4], pentagon[0]};
    EXPECT_EQ(HalfEdgeGeom::findOptimalTriangleFanOrigin(rotated), 0);
}

TEST(HalfEdgeQueries, TransformsShareForIdentityAndMapOtherwise)
{
    const QVector<QVector3D> points = {{1, 0, 0}, {0, 2, 0}};
    EXPECT_EQ(HalfEdgeGeom::transformedVertices(points, QMatrix4x4()).constData(), points.constData());
    EXPECT_EQ(HalfEdgeGeom::transformedNormals(points, QMatrix4x4()).constData(), points.constData());
    QMatrix4x4 m;
    m.translate(1, 2, 3);
    EXPECT_EQ(HalfEdgeGeom::transformedVertices(points, m), (QVector<QVector3D>{{2, 2, 3}, {1, 4, 3}}));
    EXPECT_EQ(HalfEdgeGeom::transformedNormals(points, m), (QVector<QVector3D>{{1, 0, 0}, {0, 1, 0}}));
}

TEST(HalfEdgeQueries, TriangulatingATriangleRotatesItsFirstHalfEdge)
{
    HalfEdgeGeom mesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    EXPECT_EQ(mesh.getFaceVertexIndices(0), (QList<int>{1, 2, 0}));
    QList<int> triangles = {42};
    mesh.triangulateFace(0, &triangles);
    EXPECT_EQ(triangles, QList<int>{0});
    EXPECT_EQ(mesh.faces.size(), 1);
    EXPECT_EQ(mesh.halfEdges.size(), 6);
    EXPECT_EQ(mesh.getFaceVertexIndices(0), (QList<int>{2, 0, 1}));
    expectConsistent(mesh);
}

//  3
//  | `.              pentagon (0,1,2,3,4) over (0,0), (1,0), (2,1), (1,2), (0,1):
//  4    2            the fan from vertex 1 gives (2,3,1), (3,4,1), (4,0,1)
//  |  .'
//  0 - 1
TEST(HalfEdgeQueries, PentagonBecomesAFanOfThree)
{
    const QVector<QVector3D> p = {{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}};
    HalfEdgeGeom mesh(p, {{0, 1, 2, 3, 4}});
    QList<int> triangles;
    mesh.triangulateFace(0, &triangles);
    EXPECT_EQ(triangles, (QList<int>{0, 1, 2}));
    EXPECT_EQ(mesh.faces.size(), 3);
    EXPECT_EQ(mesh.halfEdges.size(), 14);
    EXPECT_EQ(vertexLists(mesh), (QVector<QList<int>>{{2, 3, 1}, {3, 4, 1}, {4, 0, 1}}));
    QVector<int> incident;
    for (int v = 0; v < 5; ++v)
        incident.append(mesh.nIncidentFaces(v));
    EXPECT_EQ(incident, (QVector<int>{1, 3, 1, 2, 2}));
    expectConsistent(mesh);
    // The outline and the boundary stay as they were.
    EXPECT_EQ(mesh.vertexNeighbours(1), (QList<int>{0, 4, 3, 2}));
    EXPECT_EQ(mesh.boundaryVerticesMask(), QVector<bool>(5, true));
}

//  4 --- 3
//  |  \   \        triangle (0,1,4) and quad (1,2,3,4) over (0,0), (1,0), (1,1), (1,2), (0,1)
//  0 -- 1 - 2
TEST(HalfEdgeQueries, TriangulateFacesWithAndWithoutSourceList)
{
    const QVector<QVector3D> p = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 2, 0}, {0, 1, 0}};
    const QVector<QList<int>> faces = {{0, 1, 4}, {1, 2, 3, 4}};

    HalfEdgeGeom mesh(p, faces);
    QVector<int> sources = {7, 7, 7, 7, 7};
    mesh.triangulateFaces(sources);
    EXPECT_EQ(sources, (QVector<int>{0, 1, 1}));
    EXPECT_EQ(vertexLists(mesh), (QVector<QList<int>>{{4, 0, 1}, {3, 4, 2}, {4, 1, 2}}));
    EXPECT_EQ(mesh.halfEdges.size(), 14);
    expectConsistent(mesh);

    HalfEdgeGeom again(p, faces);
    again.triangulateFaces();
    EXPECT_EQ(vertexLists(again), (QVector<QList<int>>{{4, 0, 1}, {3, 4, 2}, {1, 2, 4}}));
}

// Convex hexagons laid like bricks (each spans two grid cells; the middle corners of its long
// sides are pushed outwards): after triangulation every face is a triangle of the same sense,
// the links stay mutual, every vertex keeps its outer neighbours and the area is kept.
//   +--+--+--+
//   |     |  :     band 1 starts at column 1,
//   +--+--+--+     band 0 at column 0
//   |     |  :
//   +--+--+--+
TEST(HalfEdgeQueries, TriangulationKeepsAreaOrientationAndLinks)
{
    QVector<QVector3D> p;
    QVector<QList<int>> faces;
    const int w = 9, h = 6;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            p.append(QVector3D(c, r + (c % 2 != r % 2 ? -0.2f : 0.2f), 0));
    for (int y = 0; y + 1 < h; ++y) {
        for (int x = y % 2; x + 2 < w; x += 2) {
            const int a = y * w + x;
            faces.append({a, a + 1, a + 2, a + w + 2, a + w + 1, a + w});
        }
    }
    bool manifold = false;
    HalfEdgeGeom mesh(p, faces, &manifold);
    ASSERT_TRUE(manifold);
    QVector3D areaBefore;
    for (int f = 0; f < mesh.faces.size(); ++f)
        areaBefore += areaVector(mesh.faceVertexPositions(f));
    QVector<QSet<int>> neighboursBefore;
    for (int v = 0; v < p.size(); ++v) {
        const QList<int> n = mesh.vertexNeighbours(v);
        neighboursBefore.append(QSet<int>(n.begin(), n.end()));
    }

    QVector<int> sources;
    mesh.triangulateFaces(sources);
    expectConsistent(mesh);
    EXPECT_EQ(mesh.faces.size(), 4 * faces.size());
    QVector3D areaAfter;
    for (int f = 0; f < mesh.faces.size(); ++f) {
        const QList<QVector3D> corners = mesh.faceVertexPositions(f);
        ASSERT_EQ(corners.size(), 3);
        EXPECT_GT(areaVector(corners).z(), 0) << f;
        areaAfter += areaVector(corners);
        EXPECT_EQ(sources[f], f < faces.size() ? f : (f - faces.size()) / 3) << f;
    }
    EXPECT_NEAR(areaAfter.z(), areaBefore.z(), 1e-3);
    for (int v = 0; v < p.size(); ++v) {
        const QList<int> n = mesh.vertexNeighbours(v);
        EXPECT_TRUE(QSet<int>(n.begin(), n.end()).contains(neighboursBefore[v])) << v;
    }
}

// Faces that list a vertex twice, faces met twice and corners on one edge: every query and the
// triangulation end, and faces with fewer than three corners are left alone.
TEST(HalfEdgeQueries, QueriesAndTriangulationEndOnBadInput)
{
    const QVector<QVector3D> p = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {2, 0, 0}};
    const QVector<QVector<QList<int>>> inputs = {
        {{0, 0, 1}},
        {{0, 1, 2}, {0, 1, 2}, {2, 1, 3}},
        {{0, 1, 2, 1, 3}, {1, 0, 4}, {0, 1}},
        {{0, 1, 2, 3}, {3, 2, 1, 0}, {0, 1, 2, 3}, {4}},
        {{0, 1, 0, 1, 0, 1}},
    };
    for (const QVector<QList<int>>& faces : inputs) {
        TestSupport::LogCapture quiet;
        HalfEdgeGeom mesh(p, faces);
        for (int v = 0; v < p.size(); ++v) {
            EXPECT_LE(mesh.vertexNeighbours(v).size(), mesh.halfEdges.size());
            mesh.getVertexFan(v);
            mesh.computeVertexNormal(v);
            mesh.nIncidentFaces(v);
        }
        mesh.boundaryVerticesMask();
        HalfEdgeGeom::buildEdges(mesh.halfEdges);
        QVector<int> sources;
        const int before = mesh.faces.size();
        mesh.triangulateFaces(sources);
        EXPECT_EQ(sources.size(), mesh.faces.size());
        for (int f = 0; f < before; ++f) {
            EXPECT_EQ(sources[f], f);
            if (faces[f].size() < 3) {
                EXPECT_EQ(mesh.getFaceVertexIndices(f).size(), faces[f].size()) << f;
            }
        }
        mesh.triangulateFaces();
        mesh.allFaceVertexIndices();
        mesh.computeVertexNormals();
    }
}
