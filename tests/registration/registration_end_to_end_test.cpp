// Whole registration runs as the registration controller starts them, without a window: both
// meshes scaled so that the template's largest extent is 1, the graph built from the median
// nearest-neighbour distance with the default parameters, the run on its worker thread.
#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"

#include "numerics/Random.h"
#include "registration/GraphGeodesic.h"
#include "registration/NearestPointHelpers.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "support/SurfaceDistance.h"
#include "support/TestMeshes.h"

#include "spatial/KDTree.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <memory>

using namespace NonRigidRegistration;
using TestMeshes::Mesh;

namespace {

struct Defaults {
    double initialRigidness = 3.0;
    double finalRigidness = 0.2;
    double initialDensity = 1.0;
    double densityMultiplier = 2.0;
    int maxIterations = 20;
};

struct RunResult {
    QVector<QVector3D> deformed;  // in the normalised space
    int levels = -1;
    bool finished = false;
};

// The controller's evaluation, step by step, then the run on its thread until the result
// has arrived. Every position is in the normalised space.
RunResult registerNormalised(const Mesh& source, const Mesh& target, const QVector<int>& srcControls,
                             const QVector<QVector3D>& dstControls, unsigned seed = 1)
{
    RunResult out;
    const Defaults defaults;
    HE::HalfEdgeGeom mesh(source.vertices, source.triangles);
    std::unique_ptr<KDTree::NodeBase> tree(KDTree::buildTree(target.vertices, 10));

    Random::seed(seed);
    const double radius = computeMedianNearestNeighbourDistance(source.vertices, 1.0) * defaults.initialDensity;
    int levels = 0;
    DynamicGraph::GraphGeodesic graph(&mesh, radius, defaults.densityMultiplier, &levels, 10, 4, 0.0001);
    out.levels = levels;

    NonRigidRegistrationInteractiveUpdater updater;
    NonRigidRegistrationAutoLevelsParams params;
    params.srcVertices = source.vertices;
    params.srcNormals = TestMeshes::vertexNormals(source);
    params.dstVertices = target.vertices;
    params.dstNormals = TestMeshes::vertexNormals(target);
    params.graph = &graph;
    params.dstKdTree = tree.get();
    params.dstMask = QVector<bool>(target.vertices.size(), false);
    params.srcFitMask = QVector<bool>(source.vertices.size(), false);
    for (const QList<int>& triangle : source.triangles)
        for (int v : triangle)
            params.srcFitMask[v] = true;
    params.srcControlIndices = srcControls;
    params.dstControlVertices = dstControls;
    params.initialRigidness = defaults.initialRigidness;
    params.rigidnessDivisor = std::pow(defaults.initialRigidness / defaults.finalRigidness, 1.0 / (levels - 1));
    params.maxIterations = defaults.maxIterations;
    params.updater = &updater;

    NonRigidRegistrationAutoLevelsThreaded thread(&params);
    QObject::connect(&thread, &NonRigidRegistrationAutoLevelsThreaded::optimizationComplete, &updater,
                     [&](QVector<QVector3D> vertices, QVector<QVector3D>) { out.deformed = vertices; });
    QEventLoop loop;
    QObject::connect(&thread, &QThread::finished, &loop, &QEventLoop::quit);
    thread.start(QThread::InheritPriority);
    loop.exec();
    QCoreApplication::processEvents();
    out.finished = thread.isFinished();
    return out;
}

Mesh scaled(const Mesh& mesh, float factor)
{
    return TestMeshes::mapped(mesh, [factor](const QVector3D& p) { return p * factor; });
}

// Stretched by 20% along the tube's axis (y) and bent sideways: a smooth deformation of space.
QVector3D stretchAndBend(const QVector3D& p)
{
    const float y = 1.2f * p.y();
    return QVector3D(p.x() + 0.08f * y * y, y, p.z());
}

float maxMove(const QVector<QVector3D>& a, const QVector<QVector3D>& b)
{
    float worst = 0;
    for (int i = 0; i < a.size(); ++i)
        worst = std::max(worst, (a[i] - b[i]).length());
    return worst;
}

}  // namespace

// A capped tube of about 5,000 vertices, open at one end, onto a stretched and bent copy
// triangulated differently (about 7,000 vertices), with four control-point pairs.
TEST(RegistrationEndToEnd, TubeOntoStretchedBentSurface)
{
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
    const Mesh tube = TestMeshes::cappedTube(64, 60, 16, 3.0);  // 4,865 vertices
    // The target is triangulated differently; the controller's normalisation makes the
    // template's largest extent 1. Control pairs: four template vertices (the apex, and three on
    // the tube) and where the deformation takes them.
    const TestMeshes::RegistrationPair pair =
        TestMeshes::registrationPair(tube, TestMeshes::cappedTube(75, 78, 18, 3.0), stretchAndBend, [&](const Mesh&) {
            return QVector<int>{tube.vertices.size() - 1, 16, 30 * 64 + 40, 55 * 64 + 5};
        });
    ASSERT_NE(pair.source.vertices.size(), pair.target.vertices.size());
    const Mesh& source = pair.source;
    const Mesh& target = pair.target;
    const QVector<int>& srcControls = pair.srcControls;
    const QVector<QVector3D>& dstControls = pair.dstControls;

    const TestMeshes::SurfaceDistance toTarget(target);
    const double before = toTarget.meanDistance(source.vertices);
    QElapsedTimer timer;
    timer.start();
    const RunResult run = registerNormalised(source, target, srcControls, dstControls);
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.deformed.size(), source.vertices.size());
    const double after = toTarget.meanDistance(run.deformed);
    std::printf("levels %d, mean distance before %.5f, after %.5f, %.1f s\n", run.levels, before, after,
                timer.elapsed() / 1000.0);

    EXPECT_LE(after, 0.01);          // extent 1: at most 1% of it
    EXPECT_LE(after, 0.2 * before);  // at least 80% below the start
    for (int i = 0; i < srcControls.size(); ++i)
        EXPECT_LE((run.deformed[srcControls[i]] - dstControls[i]).length(), 0.01f) << "control pair " << i;
}

// A target equal to the template: nothing should move.
TEST(RegistrationEndToEnd, TargetEqualToTemplateMovesNothing)
{
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
    const Mesh tube = TestMeshes::cappedTube(48, 40, 12, 3.0);
    const float factor = 1.0f / TestMeshes::largestExtent(tube.vertices);
    const Mesh source = scaled(tube, factor);
    QVector<int> srcControls{0, 24, tube.vertices.size() - 1, 40 * 48};
    QVector<QVector3D> dstControls;
    for (int v : srcControls)
        dstControls << source.vertices[v];

    const RunResult run = registerNormalised(source, source, srcControls, dstControls);
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(run.deformed.size(), source.vertices.size());
    EXPECT_LE(maxMove(run.deformed, source.vertices), 1e-3f);
}

// Templates the hierarchy and the solver must survive: vertices in no face, more separate
// pieces than the graph's node limit, and edges shared by three faces. Each registers onto a
// moved copy of itself without hanging, ending the process or producing non-finite positions.
TEST(RegistrationEndToEnd, AwkwardTemplatesRegister)
{
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
    const QVector3D shift(0.03f, -0.02f, 0.01f);

    Mesh strays = TestMeshes::icosphere(3);
    for (int i = 0; i < 15; ++i)
        strays.vertices << QVector3D(1.5f + 0.1f * i, 0.2f * (i % 3), 0);

    Mesh pieces;  // twelve small spheres in a row
    for (int p = 0; p < 12; ++p) {
        const Mesh ball = TestMeshes::icosphere(2);
        const int base = pieces.vertices.size();
        for (const QVector3D& v : ball.vertices)
            pieces.vertices << v * 0.4f + QVector3D(float(p), 0, 0);
        for (QList<int> t : ball.triangles) {
            for (int& c : t)
                c += base;
            pieces.triangles << t;
        }
    }

    Mesh fins = TestMeshes::icosphere(3);  // three fins on edges of the sphere
    for (int f = 0; f < 3; ++f) {
        const QList<int> t = fins.triangles[f * 97];
        fins.vertices << (fins.vertices[t[0]] + fins.vertices[t[1]]) * 0.8f;
        fins.triangles << QList<int>{t[0], t[1], fins.vertices.size() - 1};  // the edge's third face
    }

    struct Case {
        const char* name;
        Mesh mesh;
        bool manifold;
    };
    const Case cases[] = {
        {"stray vertices", strays, true}, {"twelve pieces", pieces, true}, {"edges with three faces", fins, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const float factor = 1.0f / TestMeshes::largestExtent(c.mesh.vertices);
        const Mesh source = scaled(c.mesh, factor);
        const Mesh target = TestMeshes::mapped(source, [&](const QVector3D& p) { return p + shift; });
        QVector<int> srcControls{0, 1, 2, 3};
        QVector<QVector3D> dstControls;
        for (int v : srcControls)
            dstControls << target.vertices[v];

        const RunResult run = registerNormalised(source, target, srcControls, dstControls);
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(run.deformed.size(), source.vertices.size());
        for (const QVector3D& v : run.deformed)
            ASSERT_TRUE(std::isfinite(v.x() + v.y() + v.z()));
        // Vertices on faces follow the shift (around broken edges the march's distances are
        // unreliable, so a few there may not); vertices in no face take part in nothing.
        QVector<bool> onFace(source.vertices.size(), false);
        for (const QList<int>& t : source.triangles)
            for (int v : t)
                onFace[v] = true;
        int astray = 0;
        for (int v = 0; v < source.vertices.size(); ++v) {
            if (onFace[v]) {
                astray += (run.deformed[v] - (source.vertices[v] + shift)).length() < 0.01f ? 0 : 1;
            } else {
                EXPECT_LT((run.deformed[v] - source.vertices[v]).length(), 1e-3f) << v;
            }
        }
        EXPECT_LE(astray, c.manifold ? 0 : source.vertices.size() / 20) << astray << " vertices off";
    }
}
