// Construction of the half-edge mesh: layout, twins, boundary loops and manifold checks.
#include "mesh/HalfEdge.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>
#include <QHash>
#include <QPair>
#include <QRandomGenerator>

using HE::HalfEdge;
using HE::HalfEdgeGeom;

namespace {

struct Row {
    int origin, end, opposite, next, prev, face;
};

void expectHalfEdges(const HalfEdgeGeom& mesh, const QVector<Row>& rows)
{
    ASSERT_EQ(mesh.halfEdges.size(), rows.size());
    for (int h = 0; h < rows.size(); ++h) {
        SCOPED_TRACE(h);
        EXPECT_EQ(mesh.halfEdgeOriginVertex(h), rows[h].origin);
        EXPECT_EQ(mesh.halfEdges[h].vertex, rows[h].end);
        EXPECT_EQ(mesh.halfEdges[h].opposite, rows[h].opposite);
        EXPECT_EQ(mesh.halfEdges[h].next, rows[h].next);
        EXPECT_EQ(mesh.halfEdges[h].prev, rows[h].prev);
        EXPECT_EQ(mesh.halfEdges[h].face, rows[h].face);
    }
}

QVector<QVector3D> zeros(int n)
{
    return QVector<QVector3D>(n);
}

// The construction written out plainly with a hash of directed edges, as a yardstick for the
// optimised one.
struct PlainHalfEdges {
    QVector<HalfEdge> halfEdges;
    QVector<int> vertexHalfEdges;
    QVector<int> faces;
};

PlainHalfEdges plainConstruction(int nVertices, const QVector<QList<int>>& faces)
{
    PlainHalfEdges r;
    r.faces = QVector<int>(faces.size(), -1);
    r.vertexHalfEdges = QVector<int>(nVertices, -1);
    QHash<QPair<int, int>, int> map;
    for (int f = 0; f < faces.size(); ++f) {
        const QList<int>& c = faces[f];
        const int n = c.size();
        QList<int> own;
        for (int j = 0; j < n; ++j) {
            const int a = c[j], b = c[(j + 1) % n];
            const int h = r.halfEdges.size();
            r.halfEdges.append(HalfEdge(-1, -1, -1, b, f));
            r.vertexHalfEdges[a] = h;
            if (j == 0)
                r.faces[f] = h;
            map[qMakePair(a, b)] = h;
            if (map.contains(qMakePair(b, a))) {
                const int t = map[qMakePair(b, a)];
                r.halfEdges[h].opposite = t;
                r.halfEdges[t].opposite = h;
            }
            own.append(h);
        }
        for (int k = 0; k < n; ++k) {
            r.halfEdges[own[k]].next = own[(k + 1) % n];
            r.halfEdges[own[k]].prev = own[(k + n - 1) % n];
        }
    }
    QList<int> boundary;
    for (int i = 0; i < r.halfEdges.size(); ++i) {
        if (r.halfEdges[i].opposite != -1)
            continue;
        const int o = r.halfEdges[r.halfEdges[i].prev].vertex;
        r.halfEdges.append(HalfEdge(-1, -1, i, o, -1));
        const int b = r.halfEdges.size() - 1;
        boundary.append(b);
        r.vertexHalfEdges[r.halfEdges[i].vertex] = b;
        r.halfEdges[i].opposite = b;
    }
    for (int b : boundary) {
        const int m = r.vertexHalfEdges[r.halfEdges[b].vertex];
        r.halfEdges[b].next = m;
        r.halfEdges[m].prev = b;
    }
    return r;
}

void expectSameAsPlain(const HalfEdgeGeom& mesh, const PlainHalfEdges& plain)
{
    ASSERT_EQ(mesh.halfEdges.size(), plain.halfEdges.size());
    for (int h = 0; h < plain.halfEdges.size(); ++h) {
        const HalfEdge& a = mesh.halfEdges[h];
        const HalfEdge& b = plain.halfEdges[h];
        ASSERT_TRUE(a.next == b.next && a.prev == b.prev && a.opposite == b.opposite && a.vertex == b.vertex &&
                    a.face == b.face)
            << "half-edge " << h;
    }
    EXPECT_EQ(mesh.vertexHalfEdges, plain.vertexHalfEdges);
    EXPECT_EQ(mesh.faces, plain.faces);
}

}  // namespace

//  3 ------ 2
//  |  1   / |
//  |    /   |      triangles (0,1,2) and (0,2,3)
//  |  /  0  |
//  0 ------ 1
TEST(HalfEdgeGeom, UnitSquareHasTenHalfEdgesWithBoundaryLoop)
{
    TestSupport::LogCapture log;
    bool manifold = false;
    const HalfEdgeGeom mesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}, &manifold);

    expectHalfEdges(mesh, {{0, 1, 6, 1, 2, 0},
                           {1, 2, 7, 2, 0, 0},
                           {2, 0, 3, 0, 1, 0},
                           {0, 2, 2, 4, 5, 1},
                           {2, 3, 8, 5, 3, 1},
                           {3, 0, 9, 3, 4, 1},
                           {1, 0, 0, 9, 7, -1},
                           {2, 1, 1, 6, 8, -1},
                           {3, 2, 4, 7, 9, -1},
                           {0, 3, 5, 8, 6, -1}});
    EXPECT_EQ(mesh.vertexHalfEdges, (QVector<int>{9, 6, 7, 8}));
    EXPECT_EQ(mesh.faces, (QVector<int>{0, 3}));
    // The boundary loop 6, 9, 8, 7 runs 1 -> 0 -> 3 -> 2 -> 1.
    EXPECT_EQ(mesh.halfEdges[6].next, 9);
    EXPECT_EQ(mesh.halfEdges[9].next, 8);
    EXPECT_EQ(mesh.halfEdges[8].next, 7);
    EXPECT_EQ(mesh.halfEdges[7].next, 6);
    QVector<int> incident;
    for (int v = 0; v < 4; ++v)
        incident.append(mesh.nIncidentFaces(v));
    EXPECT_EQ(incident, (QVector<int>{2, 1, 2, 1}));
    EXPECT_TRUE(manifold);
    EXPECT_TRUE(log.texts().isEmpty());
    EXPECT_EQ(mesh.vertices.size(), 4);
}

//  4 ----- 1        vertex 0 at the centre, rim vertices
//  | \   / |        1 (-1,1), 2 (-1,-1), 3 (1,-1), 4 (1,1)
//  |   0   |        (drawn mirrored in x for brevity)
//  | /   \ |        triangles (0,4,1) (0,1,2) (0,2,3) (0,3,4)
//  3 ----- 2
TEST(HalfEdgeGeom, FanOfFourCountsFacesAroundCentreAndRim)
{
    bool manifold = false;
    const HalfEdgeGeom mesh({{0, 0, 0}, {-1, 1, 0}, {-1, -1, 0}, {1, -1, 0}, {1, 1, 0}},
                            {{0, 4, 1}, {0, 1, 2}, {0, 2, 3}, {0, 3, 4}}, &manifold);
    EXPECT_TRUE(manifold);
    EXPECT_EQ(mesh.nIncidentFaces(0), 4);
    for (int rim = 1; rim <= 4; ++rim)
        EXPECT_EQ(mesh.nIncidentFaces(rim), 2) << rim;
}

TEST(HalfEdgeGeom, ManifoldChecksAndTheirMessages)
{
    struct Case {
        const char* name;
        int nVertices;
        QVector<QList<int>> faces;
        QStringList messages;
        int halfEdgeCount;
        QList<int> nonManifold;
    };
    const QVector<Case> cases = {
        // Two triangles touching only at vertex 0 (a bow tie).
        {"bow tie", 5, {{0, 1, 2}, {0, 3, 4}}, {"Following vertices are non-manifold: 0"}, 12, {0}},
        // The directed edge 0 -> 1 used twice.
        {"repeated edge",
         4,
         {{0, 1, 2}, {0, 1, 3}},
         {"Edge 0 -> 1 is not manifold!", "Following vertices are non-manifold: 0,1"},
         12,
         {0, 1}},
        //  4 --- 3
        //  | \    \        triangle (0,1,4) and quad (1,2,3,4)
        //  0 -- 1 - 2
        {"triangle and quad", 5, {{0, 1, 4}, {1, 2, 3, 4}}, {}, 12, {}},
        {"single vertex", 1, {}, {}, 0, {}},
        // A face that lists vertex 0 twice in a row: its half-edge 0 -> 0 is its own twin and
        // 0 -> 1, 1 -> 0 pair up, so nothing is open and each walk closes.
        {"repeated corner", 3, {{0, 0, 1}}, {}, 3, {}},
        {"face met twice",
         3,
         {{0, 1, 2}, {0, 1, 2}},
         {"Edge 0 -> 1 is not manifold!", "Edge 1 -> 2 is not manifold!", "Edge 2 -> 0 is not manifold!",
          "Following vertices are non-manifold: 0,1,2"},
         12,
         {0, 1, 2}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::LogCapture log;
        bool manifold = !c.messages.isEmpty();
        const HalfEdgeGeom mesh(zeros(c.nVertices), c.faces, &manifold);
        EXPECT_EQ(manifold, c.messages.isEmpty());
        EXPECT_EQ(log.texts(QtCriticalMsg), c.messages);
        EXPECT_EQ(log.texts().size(), c.messages.size());
        EXPECT_EQ(mesh.halfEdges.size(), c.halfEdgeCount);
        EXPECT_EQ(mesh.nonManifoldVertices(HalfEdgeGeom::computeNFacesToVertex(c.nVertices, c.faces)), c.nonManifold);
    }
}

TEST(HalfEdgeGeom, BowTieCentreSeesOnlyTheFanOfItsStoredHalfEdge)
{
    TestSupport::LogCapture log;
    const QVector<QList<int>> faces = {{0, 1, 2}, {0, 3, 4}};
    const HalfEdgeGeom mesh(zeros(5), faces);
    EXPECT_EQ(mesh.nIncidentFaces(0), 1);
    EXPECT_EQ(mesh.nIncidentFaces(1), 1);
    EXPECT_EQ(mesh.nonManifoldVertices(HalfEdgeGeom::computeNFacesToVertex(5, faces)), QList<int>{0});
    EXPECT_EQ(HalfEdgeGeom::computeNFacesToVertex(5, faces), (QVector<int>{2, 1, 1, 1, 1}));
}

TEST(HalfEdgeGeom, EmptyFaceAndUnusedVertexStayUnset)
{
    bool manifold = false;
    const HalfEdgeGeom mesh(zeros(5), {{0, 1, 2}, {}, {2, 1, 3}}, &manifold);
    EXPECT_TRUE(manifold);
    EXPECT_EQ(mesh.faces, (QVector<int>{0, -1, 3}));
    EXPECT_EQ(mesh.halfEdges[3].face, 2);
    EXPECT_EQ(mesh.vertexHalfEdges[4], -1);
    EXPECT_EQ(mesh.nIncidentFaces(4), 0);

    bool single = false;
    const HalfEdgeGeom lone(zeros(1), {}, &single);
    EXPECT_TRUE(single);
    EXPECT_EQ(lone.vertexHalfEdges, QVector<int>{-1});
    EXPECT_EQ(lone.nIncidentFaces(0), 0);
    EXPECT_TRUE(HalfEdgeGeom().halfEdges.isEmpty());
}

TEST(HalfEdgeGeom, CountsCornersPerVertex)
{
    EXPECT_EQ(HalfEdgeGeom::computeNFacesToVertex(4, {{0, 1, 2}, {0, 0, 3}}), (QVector<int>{3, 1, 1, 1}));
    EXPECT_TRUE(HalfEdgeGeom::computeNFacesToVertex(0, {}).isEmpty());
    EXPECT_TRUE(HalfEdgeGeom::computeNFacesToVertex(-3, {}).isEmpty());
}

// The optimised construction gives the same records as the plain one, on clean grids, on a
// vertex with far more edges than usual, and on random (often non-manifold) polygon soups.
TEST(HalfEdgeGeom, MatchesPlainConstructionOnGoodAndBadMeshes)
{
    QVector<QPair<int, QVector<QList<int>>>> meshes;

    // A 12 x 9 grid of quads, then the same grid split into triangles.
    const int w = 13, h = 10;
    const QVector<QList<int>> quads = TestMeshes::gridFaces(w, h, TestMeshes::Cut::Quad);
    const QVector<QList<int>> triangles = TestMeshes::gridFaces(w, h, TestMeshes::Cut::AlongAC);
    meshes.append({w * h, quads});
    meshes.append({w * h, triangles});

    // A closed fan of 300 triangles around vertex 0, and the same fan with every face doubled.
    QVector<QList<int>> fan, doubled;
    for (int i = 0; i < 300; ++i) {
        fan.append({0, 1 + i, 1 + (i + 1) % 300});
        doubled.append(fan.last());
        doubled.append(fan.last());
    }
    meshes.append({301, fan});
    meshes.append({301, doubled});

    QRandomGenerator random(12345);
    for (int m = 0; m < 40; ++m) {
        const int nVertices = 1 + random.bounded(12);
        QVector<QList<int>> soup;
        for (int f = random.bounded(30); f > 0; --f) {
            QList<int> face;
            for (int k = random.bounded(6); k > 0; --k)
                face.append(random.bounded(nVertices));
            soup.append(face);
        }
        meshes.append({nVertices, soup});
    }

    for (int i = 0; i < meshes.size(); ++i) {
        SCOPED_TRACE(i);
        TestSupport::LogCapture quiet;
        bool manifold = false;
        const HalfEdgeGeom mesh(zeros(meshes[i].first), meshes[i].second, &manifold);
        expectSameAsPlain(mesh, plainConstruction(meshes[i].first, meshes[i].second));
        if (i < 3) {
            EXPECT_TRUE(manifold);
            EXPECT_TRUE(quiet.texts().isEmpty());
        }
    }
}

TEST(HalfEdgeGeom, WalksEndOnBrokenTwinLinks)
{
    // Faces of a closed fan listed twice, a vertex listed twice in a row, and three faces on one
    // edge: every walk around a vertex must end, and such vertices count as non-manifold.
    const QVector<QVector<QList<int>>> inputs = {
        {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {0, 1, 2}, {0, 2, 3}, {0, 3, 1}},
        {{0, 0, 1}, {1, 0, 2}},
        {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {1, 0, 5}},
    };
    for (const QVector<QList<int>>& faces : inputs) {
        TestSupport::LogCapture log;
        bool manifold = true;
        const HalfEdgeGeom mesh(zeros(6), faces, &manifold);
        EXPECT_FALSE(manifold);
        EXPECT_TRUE(log.contains("is not manifold") || log.contains("non-manifold"));
        for (int v = 0; v < 6; ++v)
            EXPECT_LE(mesh.nIncidentFaces(v), mesh.halfEdges.size());
    }
}

TEST(HalfEdgeGeom, ScalingSharesDataForOneAndMultipliesOtherwise)
{
    const QVector<QVector3D> points = {{1, 2, 3}, {-0.5f, 0, 4}};
    const QVector<QVector3D> same = HalfEdgeGeom::scaledVertices(points, 1.0);
    EXPECT_EQ(same.constData(), points.constData());
    EXPECT_EQ(HalfEdgeGeom::scaledVertices(points, 2.0), (QVector<QVector3D>{{2, 4, 6}, {-1, 0, 8}}));

    HalfEdgeGeom mesh(points, {});
    mesh.scale(0.1);
    // The factor is taken in single precision, as for the mesh record.
    EXPECT_EQ(mesh.vertices[0], QVector3D(1, 2, 3) * 0.1f);
}

TEST(HalfEdgeGeom, AddsHalfEdgesAndFacesAtTheEnd)
{
    HalfEdgeGeom mesh(zeros(3), {{0, 1, 2}});
    EXPECT_EQ(mesh.addHalfEdge(HalfEdge(1, 2, 3, 0, 0)), 6);
    EXPECT_EQ(mesh.halfEdges.last().opposite, 3);
    EXPECT_EQ(mesh.addFace(6), 1);
    EXPECT_EQ(mesh.faces, (QVector<int>{0, 6}));
}

TEST(HalfEdgeGeom, JoinsIndices)
{
    EXPECT_EQ(HE::joinIndices({3, 5, 12}, ","), QString("3,5,12"));
    EXPECT_EQ(HE::joinIndices({0}, ","), QString("0"));
    EXPECT_EQ(HE::joinIndices({}, ","), QString());
    EXPECT_EQ(HE::joinIndices({-4, 7}, ", "), QString("-4, 7"));
}

// Hand-made links in which the walk around vertex 0 falls into the loop h2 -> h2 that never
// leads back to its start h0: the walk ends, and the vertex is reported although the face count
// would agree.
TEST(HalfEdgeGeom, WalkIntoLoopThatMissesItsStartEndsAndMarksVertex)
{
    HalfEdgeGeom mesh;
    mesh.vertices = zeros(2);
    mesh.halfEdges = {HalfEdge(1, -1, 4, 0, 0), HalfEdge(-1, -1, 2, 1, 0), HalfEdge(3, -1, 1, 0, 0),
                      HalfEdge(-1, -1, 2, 1, 0), HalfEdge(-1, -1, 0, 1, -1)};
    mesh.vertexHalfEdges = {4, -1};
    mesh.faces = {0};

    HE::HalfEdgeWalk walk(mesh.halfEdges, 0, HE::HalfEdgeWalk::IncomingWalk);
    QList<int> visited;
    for (; !walk.atEnd(); walk.advance())
        visited.append(walk.current());
    EXPECT_EQ(visited, (QList<int>{0, 2}));
    EXPECT_FALSE(walk.closed());

    EXPECT_EQ(mesh.nIncidentFaces(0), 2);
    EXPECT_EQ(mesh.nonManifoldVertices({2, 0}), QList<int>{0});
}
