// The weights tables and k-nearest marches over a taken march geometry (the threaded route) against
// the plain march over the mesh, bit for bit, on scan-like templates: a body with holes, long thin
// limbs and non-manifold vertices, next to a second, separate piece.
#include "registration/GraphGeodesic.h"

#include "numerics/Random.h"
#include "registration/LayeredNearestNodes.h"
#include "registration/NonRigidRegistrationGeodesic.h"
#include "spatial/FastMarching.h"
#include "spatial/MarchGeometry.h"
#include "spatial/MarchReach.h"
#include "support/BodyMeshes.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

namespace {

using Table = QVector<QVector<double>>;
using TestMeshes::bodyAndPebble;
using TestMeshes::Mesh;

// The same two pieces, with one pebble vertex moved onto its neighbour: the faces around it get a
// zero-length edge, whose updates write debug lines.
Mesh bodyAndCollapsedPebble(double density)
{
    Mesh mesh = bodyAndPebble(density);
    const QList<int>& face = mesh.triangles.last();
    mesh.vertices[face[0]] = mesh.vertices[face[1]];
    return mesh;
}

bool sameBits(const QVector<double>& a, const QVector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.constData(), b.constData(), sizeof(double) * size_t(a.size())) == 0;
}

TEST(ScanShapedWeights, GeometryRouteEqualsPlainMarchOnEveryLevel)
{
    TestSupport::LogCapture log;  // the non-manifold vertices are reported when the mesh is built
    const Mesh shape = bodyAndPebble(0.3);
    const HE::HalfEdgeGeom mesh(shape.vertices, shape.triangles);
    const FastMarching::MarchGeometry geometry(mesh);
    ASSERT_TRUE(geometry.isComplete());

    Random::seed(3);
    int levels = 0;
    const DynamicGraph::GraphGeodesic graph(&mesh, 0.02, 2.0, &levels, 10, 4, 0.0001);
    ASSERT_GE(levels, 3);
    std::unique_ptr<DynamicGraph::Graph> level(graph.clone());
    for (int L = 0; L < levels; ++L) {
        if (L > 0)
            level->subdivide();
        const QList<int> nodes = DynamicGraph::vertexIndicesOfNodes(level->graphNodes);
        const Table plain = NonRigidRegistration::buildWeightsTableGeodesic(nodes, mesh, 4, {});
        const Table threaded = level->weightsTable();
        ASSERT_EQ(plain.size(), threaded.size());
        for (int v = 0; v < plain.size(); ++v)
            ASSERT_TRUE(sameBits(plain[v], threaded[v])) << "level " << L << ", row " << v;
    }
}

TEST(ScanShapedWeights, KNearestOrdersAndDistancesEqualPlainMarch)
{
    TestSupport::LogCapture log;
    const Mesh shape = bodyAndPebble(0.3);
    const HE::HalfEdgeGeom mesh(shape.vertices, shape.triangles);
    const FastMarching::MarchGeometry geometry(mesh);
    const int n = mesh.vertexHalfEdges.size();
    // A handful of enabled vertices, as on the first level, so that the marches run far.
    for (int every : {1, 97, n / 4}) {
        QVector<bool> enabled(n, false);
        for (int v = 0; v < n; v += every)
            enabled[v] = true;
        for (int source = 0; source < n; source += 37) {
            QList<double> plainDistances, geometryDistances;
            const QList<int> plain =
                FastMarching::findKNearestEnabledVertices(source, mesh, 5, enabled, &plainDistances);
            const QList<int> fast =
                FastMarching::findKNearestEnabledVertices(source, geometry, 5, enabled, &geometryDistances);
            ASSERT_EQ(plain, fast) << "source " << source;
            ASSERT_TRUE(sameBits(plainDistances.toVector(), geometryDistances.toVector())) << "source " << source;
        }
    }
}

// Every k-nearest query over the body, the plain march against the march that ends at the last
// node it can reach: the same nodes, distances and debug lines, with nodes spread thinly (most
// rows end early) and densely, and a single node in the head that most marches never reach.
TEST(ScanShapedWeights, MarchEndingAtLastReachableNodeEqualsPlainMarch)
{
    TestSupport::LogCapture log;
    const Mesh shape = bodyAndCollapsedPebble(0.3);
    const HE::HalfEdgeGeom mesh(shape.vertices, shape.triangles);
    const FastMarching::MarchGeometry geometry(mesh);
    ASSERT_TRUE(geometry.isComplete());
    const int n = mesh.vertexHalfEdges.size();
    const int headVertex = shape.vertices.size() - 1 - TestMeshes::icosphere(2).vertices.size();
    QVector<QVector<bool>> nodeSets;
    for (int every : {1, 97, n / 4}) {
        QVector<bool> enabled(n, false);
        for (int v = 0; v < n; v += every)
            enabled[v] = true;
        nodeSets << enabled;
    }
    QVector<bool> head(n, false);
    head[headVertex] = true;
    nodeSets << head << QVector<bool>(n / 2, true);  // flags shorter than the mesh: the rest is off
    int endedEarly = 0;
    for (const QVector<bool>& enabled : nodeSets) {
        const FastMarching::MarchReach reach(geometry, enabled);
        for (int source = 0; source < n; source += 7) {
            QList<double> plainDistances, reachDistances;
            log.clear();
            const QList<int> plain =
                FastMarching::findKNearestEnabledVertices(source, mesh, 5, enabled, &plainDistances);
            const QStringList plainLines = log.texts();
            log.clear();
            const QList<int> fast =
                FastMarching::findKNearestEnabledVertices(source, geometry, 5, enabled, reach, &reachDistances);
            ASSERT_EQ(plain, fast) << "source " << source;
            ASSERT_TRUE(sameBits(plainDistances.toVector(), reachDistances.toVector())) << "source " << source;
            ASSERT_EQ(plainLines, log.texts()) << "source " << source;
            endedEarly += plain.size() < 5 && reach.enabledInReach(source) >= 0;
        }
    }
    EXPECT_GT(endedEarly, 100);
}

// The count of reachable nodes is what a complete march accepts, wherever one is given; the
// pebble's marches, which log, and only they, get none.
TEST(ScanShapedWeights, ReachCountsWhatCompleteMarchesAccept)
{
    TestSupport::LogCapture log;
    const Mesh shape = bodyAndCollapsedPebble(0.3);
    const HE::HalfEdgeGeom mesh(shape.vertices, shape.triangles);
    const FastMarching::MarchGeometry geometry(mesh);
    const int n = mesh.vertexHalfEdges.size();
    const int pebbleStart = shape.vertices.size() - TestMeshes::icosphere(2).vertices.size();
    QVector<bool> enabled(n, false);
    for (int v = 0; v < n; v += 41)
        enabled[v] = true;
    const FastMarching::MarchReach reach(geometry, enabled);
    std::set<int> counts;
    for (int source = 0; source < n; source += 5) {
        const int count = reach.enabledInReach(source);
        if (source >= pebbleStart) {
            EXPECT_EQ(count, -1) << "source " << source;
            continue;
        }
        ASSERT_GE(count, 0) << "source " << source;
        const QList<int> all = FastMarching::findKNearestEnabledVertices(source, mesh, n + 1, enabled, nullptr);
        ASSERT_EQ(count, all.size()) << "source " << source;
        counts.insert(count);
    }
    // The head, the hands and the feet reach only themselves, the torso reaches more.
    EXPECT_GE(counts.size(), 2u);
}

// One march shared by several sets of enabled vertices against one march per set, with and
// without each set's reach: the same vertices and distances for every set, with sets spread
// thinly and densely, a set holding only the head, an empty set, one that holds every source and
// one that the flags' end cuts short.
TEST(ScanShapedWeights, MarchSharedBySetsEqualsOneMarchPerSet)
{
    TestSupport::LogCapture log;
    const Mesh shape = bodyAndPebble(0.3);
    const HE::HalfEdgeGeom mesh(shape.vertices, shape.triangles);
    const FastMarching::MarchGeometry geometry(mesh);
    ASSERT_TRUE(geometry.isComplete());
    const int n = mesh.vertexHalfEdges.size();
    const int headVertex = shape.vertices.size() - 1 - TestMeshes::icosphere(2).vertices.size();

    QVector<QVector<bool>> sets;
    for (int every : {1, 53, 211, n / 4}) {
        QVector<bool> enabled(n, false);
        for (int v = every / 3; v < n; v += every)
            enabled[v] = true;
        sets << enabled;
    }
    QVector<bool> head(n, false);
    head[headVertex] = true;
    sets << head << QVector<bool>(n, false) << QVector<bool>(n / 2, true);

    std::vector<quint64> membership(size_t(n), 0);
    std::vector<std::unique_ptr<FastMarching::MarchReach>> reaches;
    QVector<const FastMarching::MarchReach*> withReach, withoutReach;
    for (int s = 0; s < sets.size(); ++s) {
        for (int v = 0; v < sets[s].size(); ++v)
            if (sets[s][v])
                membership[size_t(v)] |= quint64(1) << s;
        reaches.push_back(std::make_unique<FastMarching::MarchReach>(geometry, sets[s]));
        withReach << reaches.back().get();
        withoutReach << nullptr;
    }
    for (int k : {1, 5}) {
        for (int source = 0; source < n; source += 13) {
            const QVector<FastMarching::NearestVertices> shared =
                FastMarching::findKNearestEnabledVerticesOfSets(source, geometry, k, membership, withReach);
            const QVector<FastMarching::NearestVertices> sharedToTheEnd =
                FastMarching::findKNearestEnabledVerticesOfSets(source, geometry, k, membership, withoutReach);
            ASSERT_EQ(shared.size(), sets.size());
            for (int s = 0; s < sets.size(); ++s) {
                QList<double> distances;
                const QList<int> own =
                    FastMarching::findKNearestEnabledVertices(source, geometry, k, sets[s], *reaches[s], &distances);
                for (const FastMarching::NearestVertices& found : {shared[s], sharedToTheEnd[s]}) {
                    ASSERT_EQ(own, found.vertices) << "k " << k << ", source " << source << ", set " << s;
                    ASSERT_TRUE(sameBits(distances.toVector(), found.distances.toVector()))
                        << "k " << k << ", source " << source << ", set " << s;
                }
            }
        }
    }
    EXPECT_TRUE(log.texts().filter("zero edge length").isEmpty());
}

// The nearest nodes of all layers, found together, give each layer the table its own marches give,
// for every row and for the rows a subdivision asks for; a mesh with a logging corner gets no
// layers, so its tables keep their lines.
TEST(ScanShapedWeights, LayeredNearestNodesGiveEachLayersTable)
{
    TestSupport::LogCapture log;
    const Mesh shape = bodyAndPebble(0.3);
    const HE::HalfEdgeGeom mesh(shape.vertices, shape.triangles);
    const int n = mesh.vertexHalfEdges.size();

    Random::seed(5);
    int levels = 0;
    const DynamicGraph::GraphGeodesic graph(&mesh, 0.02, 2.0, &levels, 10, 4, 0.0001);
    ASSERT_GE(levels, 3);
    const QList<QList<int>> layers = DynamicGraph::layersFrom(graph.graphNodes);
    ASSERT_EQ(layers.size(), levels + 1);
    const NonRigidRegistration::LayeredNearestNodes nearest(mesh, 4, layers);
    ASSERT_TRUE(nearest.hasLayers());

    QVector<bool> everyThird(n, false);
    for (int v = 0; v < n; v += 3)
        everyThird[v] = true;
    for (int L = 0; L < layers.size(); ++L) {
        ASSERT_EQ(nearest.layerOf(layers[L]), L);
        for (const QVector<bool>& mask : {QVector<bool>(), everyThird}) {
            const Table own = NonRigidRegistration::buildWeightsTableGeodesicThreaded(layers[L], mesh, 4, mask);
            const Table shared = nearest.weightsTable(L, mask);
            ASSERT_EQ(own.size(), shared.size());
            for (int v = 0; v < own.size(); ++v)
                ASSERT_TRUE(sameBits(own[v], shared[v])) << "layer " << L << ", row " << v;
        }
    }
    QList<int> reordered = layers[1];
    reordered.move(0, 1);
    EXPECT_EQ(nearest.layerOf(reordered), -1);

    const Mesh collapsed = bodyAndCollapsedPebble(0.3);
    const HE::HalfEdgeGeom collapsedMesh(collapsed.vertices, collapsed.triangles);
    EXPECT_FALSE(NonRigidRegistration::LayeredNearestNodes(collapsedMesh, 4, layers).hasLayers());
}

}  // namespace
