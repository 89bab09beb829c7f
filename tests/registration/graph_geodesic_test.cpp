// The geodesic deformation graph: hierarchy, weights table, subdivision and deformation.
#include "registration/GraphGeodesic.h"

#include "numerics/Random.h"
#include "registration/DynamicGraphTransforms.h"
#include "registration/NonRigidRegistrationGeodesic.h"
#include "support/TestMeshes.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QMatrix4x4>
#include <QSet>

#include <cmath>
#include <memory>

using DynamicGraph::ChildNode;
using DynamicGraph::GraphGeodesic;
using DynamicGraph::Node;
using NonRigidRegistration::buildWeightsTableGeodesic;
using NonRigidRegistration::buildWeightsTableGeodesicThreaded;

namespace {

using Table = QVector<QVector<double>>;

std::unique_ptr<HE::HalfEdgeGeom> halfEdges(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces)
{
    return std::make_unique<HE::HalfEdgeGeom>(vertices, faces);
}

std::unique_ptr<HE::HalfEdgeGeom> halfEdges(const TestMeshes::Mesh& mesh)
{
    return halfEdges(mesh.vertices, mesh.triangles);
}

std::unique_ptr<GraphGeodesic> build(const HE::HalfEdgeGeom& mesh, double radius, double multiplier, int minNodes,
                                     int k, double initValue = 0.0001, int* levels = nullptr)
{
    int nLevels = 0;
    auto graph = std::make_unique<GraphGeodesic>(&mesh, radius, multiplier, &nLevels, minNodes, k, initValue);
    EXPECT_EQ(graph->levelsCount(), nLevels);
    if (levels)
        *levels = nLevels;
    return graph;
}

// Every vertex below an entry, the entry's own layer-0 vertex included once.
void collectLayer0(const QVector<ChildNode>& children, QList<int>& out)
{
    for (const ChildNode& child : children) {
        if (child.children.isEmpty())
            out << child.vertexInd;
        collectLayer0(child.children, out);
    }
}

// Checks the nesting under one node or entry: the first child sits on the entry's own vertex,
// every child list is non-empty above layer 0, and depth equals the remaining layer count.
void expectNested(int vertexInd, const QVector<ChildNode>& children, int layer)
{
    if (layer == 0) {
        EXPECT_TRUE(children.isEmpty());
        return;
    }
    ASSERT_FALSE(children.isEmpty());
    EXPECT_EQ(children.first().vertexInd, vertexInd);
    for (const ChildNode& child : children)
        expectNested(child.vertexInd, child.children, layer - 1);
}

QList<int> layer0Vertices(const GraphGeodesic& graph)
{
    QList<int> out;
    for (const Node& node : graph.graphNodes) {
        if (node.children.isEmpty())
            out << node.vertexInd;
        collectLayer0(node.children, out);
    }
    return out;
}

}  // namespace

// Two separate triangles, each an isosceles one whose apex lies √2 from both base corners,
// base corners 2 apart:
//
//      2           5
//     / \         / \         radius 1.5: an apex drawn first takes its whole triangle,
//    0---1       3---4        a base corner drawn first leaves the other corner alone.
//
// The same geometry is also numbered apex first, where both apexes are drawn first often
// (with the numbering above that needs the largest draw).
TEST(GraphGeodesic, TwoSeparateTrianglesEndWithOneNodePerTriangle)
{
    const QVector<QList<int>> faces{{0, 1, 2}, {3, 4, 5}};
    auto baseFirst = halfEdges({{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {3, 0, 0}, {5, 0, 0}, {4, 1, 0}}, faces);
    auto apexFirst = halfEdges({{1, 1, 0}, {0, 0, 0}, {2, 0, 0}, {4, 1, 0}, {3, 0, 0}, {5, 0, 0}}, faces);
    QSet<int> levelCounts;
    for (const HE::HalfEdgeGeom* mesh : {baseFirst.get(), apexFirst.get()}) {
        for (unsigned seed = 1; seed <= 40; ++seed) {
            Random::seed(seed);
            int levels = -1;
            auto graph = build(*mesh, 1.5, 2.0, 2, 1, 0.0001, &levels);
            levelCounts << levels;
            ASSERT_EQ(graph->graphNodes.size(), 2);
            QSet<int> sides;
            for (const Node& node : graph->graphNodes)
                sides << (node.vertexInd < 3 ? 0 : 1);
            EXPECT_EQ(sides.size(), 2);
            if (levels == 1) {
                EXPECT_GT(layer0Vertices(*graph).size(), 2);  // coarsened only because layer 0 had more
                for (const Node& node : graph->graphNodes)
                    expectNested(node.vertexInd, node.children, 1);
            } else {
                EXPECT_EQ(levels, 0);
                for (const Node& node : graph->graphNodes) {
                    EXPECT_TRUE(node.children.isEmpty());
                    EXPECT_TRUE(node.vertexInd == (mesh == apexFirst.get() ? 0 : 2) ||
                                node.vertexInd == (mesh == apexFirst.get() ? 3 : 5));  // the apexes
                }
            }
        }
    }
    EXPECT_EQ(levelCounts, (QSet<int>{0, 1}));
}

// Two triangles sharing the edge 0-2:
//
//    3 (0,1)
//    | `.
//    0---2 (2,0)     0 and 3 lie exactly 1 apart, so layer 0 keeps one of them; 0 and 2 lie
//    | .'            exactly 2 apart, so at radius 2 the node on 0 takes in 2.
//    1 (0,-3)
TEST(GraphGeodesic, SharedEdgeExampleCoarsensOnceAndSubdividesToLayerZero)
{
    auto mesh = halfEdges({{0, 0, 0}, {0, -3, 0}, {2, 0, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 3}});
    int examplesSeen = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        Random::seed(seed);
        int levels = -1;
        auto graph = build(*mesh, 1.0, 2.0, 2, 4, 0.0001, &levels);
        const QList<int> layer0 = layer0Vertices(*graph);
        ASSERT_EQ(layer0.size(), 3);
        EXPECT_TRUE(layer0.contains(1));
        EXPECT_TRUE(layer0.contains(2));
        EXPECT_NE(layer0.contains(0), layer0.contains(3));
        EXPECT_LE(graph->graphNodes.size(), 2);
        if (!layer0.contains(0))
            continue;
        ++examplesSeen;
        EXPECT_EQ(levels, 1);
        ASSERT_EQ(graph->graphNodes.size(), 2);
        graph->subdivide();
        QSet<int> vertices;
        for (const Node& node : graph->graphNodes) {
            vertices << node.vertexInd;
            EXPECT_TRUE(node.children.isEmpty());
        }
        EXPECT_EQ(vertices, (QSet<int>{0, 1, 2}));
        EXPECT_EQ(graph->levelsCount(), 1);
    }
    EXPECT_GT(examplesSeen, 0);
}

TEST(GraphGeodesic, MeshWithoutVerticesGivesNoNodes)
{
    HE::HalfEdgeGeom empty;
    int levels = -1;
    auto graph = build(empty, 1.0, 2.0, 10, 4, 0.0001, &levels);
    EXPECT_EQ(levels, 0);
    EXPECT_TRUE(graph->graphNodes.isEmpty());
    EXPECT_TRUE(graph->weightsTable().isEmpty());
}

TEST(GraphGeodesic, FreshNodesCarryTheInitialValue)
{
    auto mesh = halfEdges(TestMeshes::icosphere(2));
    struct Case {
        double initValue;
        QVector<double> r, t;
    };
    for (const Case& c :
         {Case{0.0001, {1.0001, 0.0001, 0.0001}, {0.0001, 0.0001, 0.0001}}, Case{0.0, {1, 0, 0}, {0, 0, 0}}}) {
        Random::seed(3);
        auto graph = build(*mesh, 0.2, 2.0, 10, 4, c.initValue);
        ASSERT_FALSE(graph->graphNodes.isEmpty());
        for (const Node& node : graph->graphNodes) {
            EXPECT_EQ(node.r, c.r);
            EXPECT_EQ(node.t, c.t);
        }
    }
}

// On a sphere: the layers nest, partition the layer below, end at or below the node limit,
// and the build draws exactly one number per node placed over all layers.
TEST(GraphGeodesic, HierarchyOnASpherePartitionsEveryLayer)
{
    auto mesh = halfEdges(TestMeshes::icosphere(3));  // 642 vertices
    Random::seed(11);
    int levels = -1;
    auto graph = build(*mesh, 0.1, 2.0, 10, 4, 0.0001, &levels);
    const int afterBuild = Random::draw();

    ASSERT_GT(levels, 1);
    EXPECT_LE(graph->graphNodes.size(), 10);
    EXPECT_EQ(graph->vertices, mesh->vertices);
    for (const Node& node : graph->graphNodes)
        expectNested(node.vertexInd, node.children, levels);

    // Nodes placed per layer: the top layer, then each subdivision's node count.
    int placed = 0;
    std::unique_ptr<DynamicGraph::Graph> walk(graph->clone());
    QList<int> counts;
    for (int s = 0; s <= levels; ++s) {
        QList<int> vertices;
        for (const Node& node : walk->graphNodes)
            vertices << node.vertexInd;
        EXPECT_EQ(QSet<int>(vertices.begin(), vertices.end()).size(), vertices.size());
        counts.prepend(vertices.size());
        placed += vertices.size();
        if (s < levels)
            walk->subdivide();
    }
    EXPECT_EQ(counts.first(), layer0Vertices(*graph).size());
    for (int i = 1; i < counts.size(); ++i)
        EXPECT_LT(counts[i], counts[i - 1]);  // every step merged
    walk->subdivide();
    EXPECT_TRUE(walk->graphNodes.isEmpty());  // below layer 0 nothing is left

    Random::seed(11);
    for (int i = 0; i < placed; ++i)
        Random::draw();
    EXPECT_EQ(Random::draw(), afterBuild);
}

// Builds that can never reach the node limit end anyway, with a node on every part.
TEST(GraphGeodesic, CoarseningEndsWhenTheLimitCannotBeReached)
{
    // Twelve separate triangles in a row, three stray vertices after them.
    QVector<QVector3D> vertices;
    QVector<QList<int>> faces;
    for (int t = 0; t < 12; ++t) {
        const int b = vertices.size();
        vertices << QVector3D(3 * t, 0, 0) << QVector3D(3 * t + 1, 0, 0) << QVector3D(3 * t, 1, 0);
        faces << QList<int>{b, b + 1, b + 2};
    }
    auto pieces = halfEdges(vertices, faces);
    QVector<QVector3D> withStrays = vertices;
    withStrays << QVector3D(100, 0, 0) << QVector3D(101, 0, 0) << QVector3D(102, 0, 0);
    auto strays = halfEdges(withStrays, faces);
    auto sphere = halfEdges(TestMeshes::icosphere(2));

    struct Case {
        const char* name;
        const HE::HalfEdgeGeom* mesh;
        double radius, multiplier;
        int parts;
        int expectedNodes;  // -1: only at least `parts`
    };
    const Case cases[] = {
        {"twelve pieces", pieces.get(), 0.5, 2.0, 12, 12},
        {"pieces and stray vertices", strays.get(), 0.5, 2.0, 15, 15},
        {"multiplier 1", sphere.get(), 0.2, 1.0, 1, -1},
        {"multiplier below 1", sphere.get(), 0.2, 0.5, 1, -1},
        {"radius 0", sphere.get(), 0.0, 2.0, 1, -1},
        {"infinite radius", pieces.get(), std::numeric_limits<double>::infinity(), 2.0, 12, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DynamicGraph::countConnectedParts(*c.mesh), c.parts);
        Random::seed(5);
        int levels = -1;
        auto graph = build(*c.mesh, c.radius, c.multiplier, 10, 4, 0.0001, &levels);
        if (c.expectedNodes >= 0) {
            EXPECT_EQ(graph->graphNodes.size(), c.expectedNodes);
        }
        EXPECT_GE(graph->graphNodes.size(), c.parts);
        if (c.multiplier <= 1.0) {
            EXPECT_EQ(levels, 0);
        }
        // Every row finds a node: no empty rows, each sums to 1.
        const Table table = graph->weightsTable();
        ASSERT_EQ(table.size(), c.mesh->vertices.size());
        for (const QVector<double>& row : table) {
            ASSERT_EQ(row.size(), graph->graphNodes.size());
            double sum = 0;
            for (double w : row)
                sum += w;
            EXPECT_NEAR(sum, 1.0, 1e-12);
        }
    }
}

// Six vertices (-1,1), (1,2), (2,1), (2,0), (0,-1), (0,0), five triangles; nodes on the
// vertices 4, 3 and 1. Vertex 5 reaches all three along edges: node 0 at 1, node 1 at 2,
// node 2 at √5. Vertex 2 reaches node 1 at 1 and node 2 at √2 along edges; node 0 lies 2√2
// away in a straight line, but the march does not find that line: once 3 (at 1) and 1 (at √2)
// are accepted, the planar-wave update of 5 from the triangle 1-5-3 gives 1 + 2·0.96177 =
// 2.9236 instead of √5 (so close to the source the front is far from planar), and the update
// of 4 from the triangle 5-4-3 with 3 at 1 and 5 at 2.9236 fails the causality test, so node 0
// is reached along the edges 2-3-4, at 1 + √5 = 3.2361.
TEST(GeodesicWeights, RowsOfTheSixVertexExample)
{
    auto mesh = halfEdges({{-1, 1, 0}, {1, 2, 0}, {2, 1, 0}, {2, 0, 0}, {0, -1, 0}, {0, 0, 0}},
                          {{0, 5, 1}, {1, 5, 3}, {1, 3, 2}, {5, 4, 3}, {0, 4, 5}});
    const QList<int> nodes{4, 3, 1};
    for (bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "threaded" : "serial");
        const Table table = threaded ? buildWeightsTableGeodesicThreaded(nodes, *mesh, 2, {})
                                     : buildWeightsTableGeodesic(nodes, *mesh, 2, {});
        ASSERT_EQ(table.size(), 6);
        // Raw weights 0.512, 0.008, 0 (distances in single precision: 1e-7).
        const QVector<double> expected5{0.512 / 0.52, 0.008 / 0.52, 0};
        const double far2 = std::pow(1 + std::sqrt(5.0), 2);
        const double w1 = std::pow(1 - 1 / far2, 3), w2 = std::pow(1 - 2 / far2, 3);
        const QVector<double> expected2{0, w1 / (w1 + w2), w2 / (w1 + w2)};
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(table[5][j], expected5[j], 1e-7);
            EXPECT_NEAR(table[2][j], expected2[j], 1e-7);
        }
        for (int v = 0; v < 6; ++v) {
            ASSERT_EQ(table[v].size(), 3);
            double sum = 0;
            int nonZero = 0;
            for (double w : table[v]) {
                EXPECT_GE(w, 0.0);
                EXPECT_LE(w, 1.0);
                sum += w;
                nonZero += w != 0.0 ? 1 : 0;
            }
            EXPECT_NEAR(sum, 1.0, 1e-12);
            EXPECT_LE(nonZero, 2);
        }
        // A node's own vertex: raw weight 1 at distance 0, so its own entry dominates.
        EXPECT_GT(table[4][0], 0.5);
        EXPECT_GT(table[1][2], 0.5);
    }
}

TEST(GeodesicWeights, SingleNodesEqualDistancesMasksAndUnreachedVertices)
{
    // Triangle 0-1-2 with the apex √2 from both base corners, and a separate triangle 3-4-5.
    auto mesh = halfEdges({{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}}, {{0, 1, 2}, {3, 4, 5}});

    // k = 0: the nearest node alone, exactly 1.0.
    Table table = buildWeightsTableGeodesic({0, 1}, *mesh, 0, {});
    EXPECT_EQ(table[0], (QVector<double>{1.0, 0.0}));
    EXPECT_EQ(table[1], (QVector<double>{0.0, 1.0}));

    // k = 1: the apex finds both base nodes at √2: no nearer one, so both get one half.
    table = buildWeightsTableGeodesic({0, 1}, *mesh, 1, {});
    EXPECT_EQ(table[2], (QVector<double>{0.5, 0.5}));
    // Only one node reachable in a part: exactly 1.0 for it.
    table = buildWeightsTableGeodesic({0, 3}, *mesh, 4, {});
    EXPECT_EQ(table[1], (QVector<double>{1.0, 0.0}));
    EXPECT_EQ(table[4], (QVector<double>{0.0, 1.0}));

    // No node reachable: the row stays empty.
    table = buildWeightsTableGeodesic({0, 1}, *mesh, 2, {});
    for (int v : {3, 4, 5})
        EXPECT_TRUE(table[v].isEmpty()) << v;

    // Skipped vertices (mask false) have empty rows; the others are computed.
    const QVector<bool> mask{true, false, true, false, false, false};
    for (bool threaded : {false, true}) {
        table = threaded ? buildWeightsTableGeodesicThreaded({0, 1}, *mesh, 1, mask)
                         : buildWeightsTableGeodesic({0, 1}, *mesh, 1, mask);
        ASSERT_EQ(table.size(), 6);
        EXPECT_EQ(table[0].size(), 2);
        EXPECT_TRUE(table[1].isEmpty());
        EXPECT_EQ(table[2].size(), 2);
        for (int v : {3, 4, 5})
            EXPECT_TRUE(table[v].isEmpty());
    }
}

TEST(GeodesicWeights, ThreadedTableEqualsSerialTable)
{
    auto mesh = halfEdges(TestMeshes::latLongSphere(30, 60));
    Random::seed(7);
    auto graph = build(*mesh, 0.05, 2.0, 10, 4);
    std::unique_ptr<DynamicGraph::Graph> level(graph->clone());
    for (int s = 0; s < 2 && s < graph->levelsCount(); ++s)
        level->subdivide();
    const QList<int> nodes = DynamicGraph::vertexIndicesOfNodes(level->graphNodes);
    ASSERT_GT(nodes.size(), 20);

    QVector<bool> mask(mesh->vertices.size(), false);
    for (int v = 0; v < mask.size(); v += 3)
        mask[v] = true;
    for (const QVector<bool>& vertexMask : {QVector<bool>(), mask}) {
        const Table serial = buildWeightsTableGeodesic(nodes, *mesh, 4, vertexMask);
        const Table threaded = buildWeightsTableGeodesicThreaded(nodes, *mesh, 4, vertexMask);
        ASSERT_EQ(serial.size(), threaded.size());
        for (int v = 0; v < serial.size(); ++v)
            ASSERT_EQ(serial[v], threaded[v]) << "row " << v;
    }
    EXPECT_EQ(level->weightsTable(), buildWeightsTableGeodesic(nodes, *mesh, 4, {}));
}

// Subdivision carries the deformation reached: with every node moved by one rigid motion,
// the children inherit that motion.
TEST(GraphGeodesic, SubdivisionCarriesARigidMotionToTheChildren)
{
    auto mesh = halfEdges(TestMeshes::icosphere(3));
    Random::seed(2);
    auto graph = build(*mesh, 0.1, 2.0, 10, 4);
    ASSERT_GE(graph->levelsCount(), 2);

    QMatrix4x4 motion;
    motion.translate(0.3f, -0.2f, 0.1f);
    motion.rotate(4.0f, QVector3D(1, 2, 2).normalized());
    const QQuaternion q = QQuaternion::fromAxisAndAngle(QVector3D(1, 2, 2).normalized(), 4.0f);
    const QVector<double> r = DynamicGraph::quaternionToRotationParameters(q);
    auto moveRigidly = [&](DynamicGraph::Graph& g) {
        QVector<QVector<double>> rotations, translations;
        for (const QVector3D& p : g.nodes()) {
            const QVector3D t = motion.map(p) - p;  // R g + T - g
            rotations << r;
            translations << QVector<double>{t.x(), t.y(), t.z()};
        }
        g.setNodesTransforms(rotations, translations);
    };
    moveRigidly(*graph);

    std::unique_ptr<DynamicGraph::Graph> clone(graph->clone());
    const QVector<Node> before = graph->graphNodes;
    TestSupport::LogCapture log;
    clone->subdivide();

    // The clone's nodes are the children, in parent then child order.
    QList<int> expectedVertices = DynamicGraph::childrenVertexIndices(before);
    EXPECT_EQ(DynamicGraph::vertexIndicesOfNodes(clone->graphNodes), expectedVertices);
    for (const Node& node : clone->graphNodes) {
        const QVector3D rest = mesh->vertices[node.vertexInd];
        const QVector3D expectedT = motion.map(rest) - rest;
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(node.t[i], expectedT[i], 1e-5);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(node.r[i], r[i], 2e-3);
    }
    // And the whole template follows the motion at the finer level.
    const QVector<QVector3D> deformed = clone->deformVertices(clone->weightsTable());
    for (int v = 0; v < deformed.size(); ++v)
        ASSERT_LT((deformed[v] - motion.map(mesh->vertices[v])).length(), 2e-3f) << v;

    // The original keeps its nodes, children and level count; both share the mesh.
    ASSERT_EQ(graph->graphNodes.size(), before.size());
    for (int i = 0; i < before.size(); ++i) {
        EXPECT_EQ(graph->graphNodes[i].vertexInd, before[i].vertexInd);
        EXPECT_EQ(graph->graphNodes[i].children.size(), before[i].children.size());
        EXPECT_EQ(graph->graphNodes[i].t, before[i].t);
    }
    EXPECT_EQ(clone->levelsCount(), graph->levelsCount());
    EXPECT_EQ(static_cast<GraphGeodesic*>(clone.get())->halfEdgeMesh(), mesh.get());

    const QStringList lines = log.texts();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("\t\tBuilding weights table took: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].endsWith(" sec"));
    EXPECT_TRUE(lines[1].startsWith("\t\tGraph subdivision took: ")) << lines[1].toStdString();
}

// A run's weights tables all read one march over every layer, made for its first table: the
// first subdivision's table line tells that march's time, later lines only their own table's.
TEST(GraphGeodesic, TimingLinesTellTheSharedMarchOnce)
{
    auto mesh = halfEdges(TestMeshes::latLongSphere(20, 40));
    Random::seed(5);
    int levels = 0;
    auto graph = build(*mesh, 0.03, 2.0, 10, 4, 0.0001, &levels);
    ASSERT_GE(levels, 3);

    struct Subdivision {
        qint64 callMs;            // the subdivide() call, timed around it
        double tableMs, wholeMs;  // as its two lines tell them
    };
    auto subdivide = [](DynamicGraph::Graph& g) {
        TestSupport::LogCapture log;
        QElapsedTimer call;
        call.start();
        g.subdivide();
        Subdivision s{call.elapsed(), -1, -1};
        const QStringList lines = log.texts();
        EXPECT_EQ(lines.size(), 2);
        auto ms = [&](int i, const QString& prefix) {
            const QString line = lines.value(i);
            EXPECT_TRUE(line.startsWith(prefix) && line.endsWith(" sec")) << line.toStdString();
            return 1000 * line.mid(prefix.size()).chopped(4).toDouble();
        };
        s.tableMs = ms(0, "\t\tBuilding weights table took: ");
        s.wholeMs = ms(1, "\t\tGraph subdivision took: ");
        EXPECT_LE(s.tableMs, s.wholeMs);
        return s;
    };

    std::unique_ptr<DynamicGraph::Graph> run(graph->clone());
    QElapsedTimer timer;
    timer.start();
    run->weightsTable();  // as the first level: the march of every layer
    const qint64 firstTableMs = timer.elapsed();
    ASSERT_GE(firstTableMs, 10) << "a march long enough to tell from reading it";
    for (int level = 1; level < levels; ++level) {
        SCOPED_TRACE(level);
        const Subdivision s = subdivide(*run);
        if (level == 1) {
            EXPECT_GE(s.tableMs, firstTableMs / 2.0) << "the march behind the table";
            EXPECT_LE(s.tableMs, firstTableMs + s.callMs + 1);
        } else {
            EXPECT_LE(s.tableMs, s.callMs + 1) << "its own table only";
        }
        run->weightsTable();
    }

    // A graph asked for no table before marches inside its first subdivision, and tells it once.
    std::unique_ptr<DynamicGraph::Graph> fresh(graph->clone());
    const Subdivision first = subdivide(*fresh);
    EXPECT_GE(first.tableMs, first.callMs / 2.0);
    const Subdivision second = subdivide(*fresh);
    EXPECT_LE(second.tableMs, second.callMs + 1);
}

// The whole-template deformation of a graph equals the deformation with its own table; a
// vertex that reaches no node stays where it is, and a child that reaches no node follows
// its parent.
TEST(GraphGeodesic, DeformationKeepsVerticesWithoutNodesInPlace)
{
    auto mesh = halfEdges({{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}}, {{0, 1, 2}, {3, 4, 5}});
    Node node;
    node.vertexInd = 0;
    node.r = {1, 0, 0};
    node.t = {0, 0, 1};
    ChildNode nearChild, farChild;
    nearChild.vertexInd = 1;
    farChild.vertexInd = 4;  // in the other triangle: its row against node 0 is empty
    node.children = {nearChild, farChild};
    GraphGeodesic graph(mesh.get(), 4, mesh->vertices, 1, {node});

    const QVector<QVector3D> deformed = graph.deformVertices();
    EXPECT_EQ(deformed, graph.deformVertices(graph.weightsTable()));
    for (int v = 0; v < 3; ++v)
        EXPECT_EQ(deformed[v], mesh->vertices[v] + QVector3D(0, 0, 1));
    for (int v = 3; v < 6; ++v)
        EXPECT_EQ(deformed[v], mesh->vertices[v]);

    graph.subdivide();
    ASSERT_EQ(graph.graphNodes.size(), 2);
    for (const Node& child : graph.graphNodes) {
        EXPECT_EQ(child.t, (QVector<double>{0, 0, 1}));
        EXPECT_EQ(child.r, (QVector<double>{1, 0, 0}));
    }
}
