// The loaded-model view: its polygroup colours and groups in the own view, its
// single-colour geometry in the results view (layer and opacity), its trees,
// the shading flags, the removal of both geometries on destruction, and a
// record built from a preparation over a rescaled copy against a fresh one.
#include "QuadScene.h"
#include "mesh/MeshSelections.h"
#include "numerics/Random.h"
#include "rendering/GeomStackView.h"
#include "rendering/MeshCornerArrays.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "spatial/BVH.h"
#include "spatial/BVHFirstHitSearch.h"
#include "spatial/KDTree.h"
#include "support/GLViewTestHelpers.h"
#include "support/QtPrinters.h"
#include "support/TestMeshes.h"

#include <cstring>
#include <limits>
#include <memory>
#include <random>

using Viewport3D::GLGeometrySplitted;
using Viewport3D::Viewport3D2;
using Viewport3D::Viewport3DLayered;

namespace {

const QColor kBackground(215, 218, 219);
const QColor kModelColor(200, 70, 40);
const QColor kWire(255, 0, 0);

// Four unit squares in z = 0 covering [-1, 1]^2, one polygon each:
//   p0 upper left, p1 upper right, p2 lower left, p3 lower right.
// With polygroups, p0..p2 are groups 0..2 and p3 belongs to no group (-1).
GeometryStack::GeomStack quadrantMesh(bool withPolygroups)
{
    QVector<QVector3D> vertices;
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            vertices.append(QVector3D(column - 1.0f, 1.0f - row, 0.0f));
    auto square = [](int topLeft) { return QList<int>{topLeft + 3, topLeft + 4, topLeft + 1, topLeft}; };
    GeometryStack::GeomStack mesh(vertices, {square(0), square(1), square(3), square(4)}, {}, {}, {});
    if (withPolygroups) {
        mesh.polygroupNames = {"brow", "cheek", "chin"};
        mesh.polygonIndToPolygroupInd = {0, 1, 2, -1};
    }
    return mesh;
}

// Centres of the four squares.
const QPointF kCentres[4] = {{-0.5, 0.5}, {0.5, 0.5}, {-0.5, -0.5}, {0.5, -0.5}};

}  // namespace

class GeomStackViewTest : public ::testing::Test {
protected:
    static constexpr int kSide = 200;

    void SetUp() override
    {
        modelView = std::make_unique<Viewport3D2>();
        resultsView = std::make_unique<Viewport3DLayered>();
        ASSERT_TRUE(TestSupport::showGLView(modelView.get(), QSize(kSide, kSide),
                                            [this] { return modelView->isInitialized(); }));
        ASSERT_TRUE(TestSupport::showGLView(resultsView.get(), QSize(kSide, kSide),
                                            [this] { return resultsView->isInitialized(); }));
    }

    void TearDown() override
    {
        record.reset();
        if (blocker) {
            resultsView->makeCurrent();
            resultsView->removeObject(blocker.get());
            blocker.reset();
        }
        resultsView.reset();
        modelView.reset();
    }

    void build(GeometryStack::GeomStack* mesh, bool transparentInResults, bool shaded = false, bool wireVisible = false)
    {
        record = std::make_unique<GeomStackView>(mesh, modelView.get(), resultsView.get(), kModelColor, shaded,
                                                 wireVisible, kWire, transparentInResults);
    }

    static QColor at(const QImage& image, const QPointF& world)
    {
        return image.pixelColor(QuadScene::pixelOf(float(world.x()), float(world.y()), kSide));
    }

    QImage frame(QGLWidget* view, const QString& name)
    {
        const QImage image = TestSupport::renderFrame(view);
        TestSupport::saveFrame(image, name);
        return image;
    }

    std::unique_ptr<Viewport3D2> modelView;
    std::unique_ptr<Viewport3DLayered> resultsView;
    std::unique_ptr<GeomStackView> record;
    std::unique_ptr<GLGeometrySplitted> blocker;
};

TEST_F(GeomStackViewTest, PolygroupsGetReproducibleColoursAndUngroupedPolygonsShowOnlyInResults)
{
    GeometryStack::GeomStack mesh = quadrantMesh(true);
    build(&mesh, false);

    ASSERT_EQ(record->viewGeometry->shadingGroupsCount(), 3);
    qreal hue, saturation, lightness;
    kModelColor.getHslF(&hue, &saturation, &lightness);
    const QVector<QColor> expected = GeometryStack::randomColors(3, float(saturation), float(lightness), float(hue));
    QVector<QColor> firstColours;
    for (int i = 0; i < 3; ++i) {
        const Viewport3D::ShadingGroup& group = record->viewGeometry->shadingGroup(i);
        firstColours.append(group.colorFront);
        EXPECT_EQ(group.colorFront, expected[i]) << i;
        EXPECT_EQ(group.colorBack, QColor(Qt::darkGray));
        EXPECT_EQ(group.colorWire, kWire);
        EXPECT_FLOAT_EQ(group.opacity, 1.0f);
        EXPECT_TRUE(group.textured);
        EXPECT_FALSE(group.shaded);
        EXPECT_FALSE(group.wireVisible);
    }
    EXPECT_NEAR(firstColours[0].hslHueF(), hue, 1e-3) << "the first group keeps the given hue";
    EXPECT_NE(firstColours[1], firstColours[2]);

    // Own view: each grouped square in its group's colour, the ungrouped one missing.
    const QImage own = frame(modelView.get(), "geomstackview_polygroups_own");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(TestSupport::colorNear(at(own, kCentres[i]), firstColours[i], 2)) << "square " << i;
    EXPECT_TRUE(TestSupport::colorNear(at(own, kCentres[3]), kBackground, 1)) << "polygroup -1 is not drawn";

    // Results view: every square, ungrouped included, in the given colour.
    ASSERT_EQ(record->resultsGeometry->shadingGroupsCount(), 1);
    const QImage results = frame(resultsView.get(), "geomstackview_polygroups_results");
    for (const QPointF& centre : kCentres)
        EXPECT_TRUE(TestSupport::colorNear(at(results, centre), kModelColor, 2)) << centre.x() << "," << centre.y();

    // Someone else draws from the generator between the builds: the rebuild still matches.
    Random::seed(77);
    Random::draw();
    record.reset();
    build(&mesh, false);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(record->viewGeometry->shadingGroup(i).colorFront, firstColours[i]) << i;
    const QImage rebuilt = frame(modelView.get(), "geomstackview_polygroups_rebuilt");
    EXPECT_EQ(rebuilt, own);
}

TEST_F(GeomStackViewTest, MeshWithoutPolygroupsGetsOneGroupWithABlackWireAtFullOpacity)
{
    GeometryStack::GeomStack mesh = quadrantMesh(false);
    modelView->makeCurrent();
    std::unique_ptr<GLGeometrySplitted> plain(
        makeGLGeometrySplittedByPolygroups(&mesh, kModelColor, true, true, kWire, 0.25));
    ASSERT_EQ(plain->shadingGroupsCount(), 1);
    EXPECT_EQ(plain->shadingGroup(0).colorWire, QColor(Qt::black));
    EXPECT_FLOAT_EQ(plain->shadingGroup(0).opacity, 1.0f);
    EXPECT_EQ(plain->shadingGroup(0).colorFront, kModelColor);
    EXPECT_TRUE(plain->shadingGroup(0).wireVisible);
    EXPECT_EQ(plain->cornerCount, 3 * 8);
    plain.reset();

    build(&mesh, false, false, true);
    ASSERT_EQ(record->viewGeometry->shadingGroupsCount(), 1);
    EXPECT_EQ(record->viewGeometry->shadingGroup(0).colorWire, QColor(Qt::black));
    EXPECT_EQ(record->resultsGeometry->shadingGroup(0).colorWire, kWire) << "the results view keeps the given wire";

    // Every square drawn in the own view, the outer polygon edges black.
    const QImage own = frame(modelView.get(), "geomstackview_plain_wire");
    for (const QPointF& centre : kCentres)
        EXPECT_TRUE(TestSupport::colorNear(at(own, centre), kModelColor, 2));
    int blackPixels = 0;
    for (int y = -3; y <= 3; ++y) {
        const QPoint p = QuadScene::pixelOf(0.0f, 0.5f, kSide) + QPoint(y, 0);
        const QPoint q = QuadScene::pixelOf(0.5f, 0.0f, kSide) + QPoint(0, y);
        blackPixels += TestSupport::colorNear(own.pixelColor(p), Qt::black, 40) ? 1 : 0;
        blackPixels += TestSupport::colorNear(own.pixelColor(q), Qt::black, 40) ? 1 : 0;
    }
    EXPECT_GE(blackPixels, 2) << "the inner polygon edges x = 0 and y = 0 are drawn black";
}

TEST_F(GeomStackViewTest, TransparencyFlagChoosesLayerAndOpacityInResults)
{
    GeometryStack::GeomStack mesh = quadrantMesh(true);
    // An opaque blue square in the back layer, nearer the eye, over the model's
    // upper-left square on screen (same direction from the eye at z = 3).
    resultsView->makeCurrent();
    blocker = QuadScene::make(QuadScene::flatGroup(QColor(0, 0, 255)));
    blocker->modelMatrix.translate(-1.0f / 3.0f, 1.0f / 3.0f, 1.0f);
    blocker->modelMatrix.scale(0.1f);
    resultsView->addObject(blocker.get(), Viewport3DLayered::BackLayer);

    struct Case {
        bool transparent;
        float opacity;
        QColor overBlocker;
    };
    const QColor mixed((kModelColor.red() + 0) / 2, (kModelColor.green() + 0) / 2, (kModelColor.blue() + 255) / 2);
    const Case cases[] = {{false, 1.0f, QColor(0, 0, 255)}, {true, 0.5f, mixed}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.transparent);
        build(&mesh, c.transparent);
        EXPECT_FLOAT_EQ(record->resultsGeometry->shadingGroup(0).opacity, c.opacity);
        EXPECT_FLOAT_EQ(record->viewGeometry->shadingGroup(0).opacity, 1.0f);
        const QImage image =
            frame(resultsView.get(), QString("geomstackview_results_transparent_%1").arg(c.transparent));
        EXPECT_TRUE(TestSupport::colorNear(at(image, kCentres[0]), c.overBlocker, 3))
            << "back layer: hidden by the nearer square; front layer: laid over it";
        record.reset();
    }
}

TEST_F(GeomStackViewTest, TreesCoverTheMeshAndDestructionEmptiesBothViews)
{
    GeometryStack::GeomStack mesh = quadrantMesh(true);
    build(&mesh, true);
    ASSERT_NE(record->bvh, nullptr);
    ASSERT_NE(record->kdTree, nullptr);
    EXPECT_EQ(record->geometry, &mesh);

    // A ray down the z axis through the lower-right square hits one of its triangles.
    int face = -1;
    double distance = std::numeric_limits<double>::max();
    record->bvh->findFirstRayIntersectedTriangle(QVector3D(0.6f, -0.4f, 5), QVector3D(0, 0, -1), mesh.triangles,
                                                 mesh.vertices, BVH2::RayFaceIntersection_AnyFace, face, distance,
                                                 nullptr, nullptr);
    ASSERT_GE(face, 0);
    EXPECT_EQ(mesh.triangleIndToPolygonInd[face], 3);
    EXPECT_DOUBLE_EQ(distance, 5.0);
    EXPECT_EQ(record->kdTree->findNearestPointInd(QVector3D(0.9f, -0.8f, 0.1f), mesh.vertices, nullptr), 8);

    ASSERT_EQ(modelView->objects.size(), 1);
    EXPECT_EQ(modelView->objects.first(), record->viewGeometry);
    record.reset();
    EXPECT_TRUE(modelView->objects.isEmpty());
    const QImage results = frame(resultsView.get(), "geomstackview_destroyed_results");
    for (const QPointF& centre : kCentres)
        EXPECT_TRUE(TestSupport::colorNear(at(results, centre), kBackground, 1));
    EXPECT_EQ(mesh.vertices.size(), 9) << "the mesh is left alone";
}

TEST_F(GeomStackViewTest, ShadingParamsReachOnlyThePolygroupGroupsOfTheOwnView)
{
    for (bool withPolygroups : {false, true}) {
        SCOPED_TRACE(withPolygroups);
        GeometryStack::GeomStack mesh = quadrantMesh(withPolygroups);
        build(&mesh, false, true, false);
        modelView->makeCurrent();
        Viewport3D::ShadingGroup selection = QuadScene::flatGroup(QColor(255, 0, 0));
        record->viewGeometry->addShadingGroup(selection, QVector<bool>(record->viewGeometry->cornerCount, false));

        record->setShadingParams(false, false, true);
        const int groups = withPolygroups ? 3 : 1;
        for (int i = 0; i < groups; ++i) {
            const Viewport3D::ShadingGroup& group = record->viewGeometry->shadingGroup(i);
            EXPECT_FALSE(group.textured) << i;
            EXPECT_FALSE(group.shaded) << i;
            EXPECT_TRUE(group.wireVisible) << i;
        }
        const Viewport3D::ShadingGroup& added = record->viewGeometry->shadingGroup(groups);
        EXPECT_FALSE(added.wireVisible) << "a tool's group keeps its flags";
        EXPECT_EQ(added.colorFront, QColor(255, 0, 0));
        const Viewport3D::ShadingGroup& results = record->resultsGeometry->shadingGroup(0);
        EXPECT_TRUE(results.textured);
        EXPECT_TRUE(results.shaded);
        EXPECT_FALSE(results.wireVisible);
        record.reset();
    }
}

namespace {

// The renderer's buffer block of `count` values of T from byteOffset.
template <typename T>
QVector<T> readBack(GLGeometrySplitted* geometry, int byteOffset, int count)
{
    QVector<T> values(count);
    geometry->vertexBuffer.bind();
    EXPECT_TRUE(geometry->vertexBuffer.read(byteOffset, values.data(), int(sizeof(T)) * count));
    geometry->vertexBuffer.release();
    return values;
}

}  // namespace

TEST_F(GeomStackViewTest, BothGeometriesHoldThePlainPerCornerArraysAndGroupMasks)
{
    // The quadrants with a texture layout, so that every block of the buffer is there.
    GeometryStack::GeomStack seed = quadrantMesh(true);
    QVector<QVector2D> textureVertices;
    for (const QVector3D& v : seed.vertices)
        textureVertices.append(QVector2D(v.x() * 0.5f + 0.5f, v.y() * 0.25f + 0.5f));
    GeometryStack::GeomStack mesh(seed.vertices, seed.polygons, textureVertices, seed.polygons, {});
    mesh.polygroupNames = seed.polygroupNames;
    mesh.polygonIndToPolygroupInd = {2, -1, 0, 1};
    build(&mesh, true);

    const QVector<QVector3D> positions = GeometryStack::cornerPositions(mesh);
    const QVector<QVector2D> textureCoordinates = GeometryStack::cornerTextureCoordinates(mesh);
    const QVector<QVector3D> normals = GeometryStack::cornerNormals(mesh);
    const QVector<float> edgeFlags = GeometryStack::edgeFlagsPerCorner(mesh);
    const int n = positions.size();
    ASSERT_EQ(n, 24);
    ASSERT_EQ(textureCoordinates.size(), n);

    struct Case {
        GLGeometrySplitted* geometry;
        QGLWidget* view;
    };
    for (const Case& c :
         {Case{record->viewGeometry, modelView.get()}, Case{record->resultsGeometry, resultsView.get()}}) {
        c.view->makeCurrent();
        ASSERT_EQ(c.geometry->cornerCount, n);
        EXPECT_EQ(readBack<QVector3D>(c.geometry, 0, n), positions);
        EXPECT_EQ(readBack<QVector2D>(c.geometry, 12 * n, n), textureCoordinates);
        EXPECT_EQ(readBack<QVector3D>(c.geometry, 20 * n, n), normals);
        EXPECT_EQ(readBack<float>(c.geometry, 32 * n, n), edgeFlags);
    }

    // Group i covers the corners of polygroup i, the results group all of them.
    for (int i = 0; i < 3; ++i) {
        QVector<int> starts, counts;
        GLGeometrySplitted::maskToRuns(
            GeometryStack::polygonMaskToCornerMask(mesh, GeometryStack::polygonMaskOfPolygroup(mesh, i)), starts,
            counts);
        EXPECT_EQ(record->viewGeometry->runStarts[i], starts) << i;
        EXPECT_EQ(record->viewGeometry->runCounts[i], counts) << i;
    }
    EXPECT_EQ(record->resultsGeometry->runStarts[0], QVector<int>{0});
    EXPECT_EQ(record->resultsGeometry->runCounts[0], QVector<int>{n});
}

TEST_F(GeomStackViewTest, PreparationOverARescaledCopyGivesTheRecordBuiltOverTheRescaledMesh)
{
    // Large enough for the trees to split over the pool.
    const TestMeshes::Mesh torus = TestMeshes::bumpyTorus(40000);
    GeometryStack::GeomStack mesh(torus.vertices, torus.triangles, {}, {}, {});
    const double factor = 1.0 / 3.0 * 7.3;  // no power of two: every coordinate rounds anew

    // Prepared over a rescaled copy before the mesh itself is rescaled, as a
    // new target's common scale rescales the template.
    auto rescaled = std::make_shared<GeometryStack::GeomStack>(mesh);
    rescaled->scale(factor);
    GeomStackViewPreparation fitting = prepareGeomStackView(rescaled);
    // One over the positions before the rescale does not fit and is let go.
    GeomStackViewPreparation stale = prepareGeomStackView(std::make_shared<GeometryStack::GeomStack>(mesh));
    rescaled.reset();
    mesh.scale(factor);
    ASSERT_TRUE(preparationFits(*fitting.mesh, mesh));
    ASSERT_FALSE(preparationFits(*stale.mesh, mesh));

    const GeomStackView fresh(&mesh, modelView.get(), resultsView.get(), kModelColor, true, true, kWire, true);
    const GeomStackView prepared(&mesh, modelView.get(), resultsView.get(), kModelColor, true, true, kWire, true,
                                 &fitting);
    const GeomStackView fallback(&mesh, modelView.get(), resultsView.get(), kModelColor, true, true, kWire, true,
                                 &stale);
    EXPECT_EQ(fitting.mesh, nullptr) << "the copy is let go once taken";
    EXPECT_EQ(stale.mesh, nullptr);

    const int n = fresh.viewGeometry->cornerCount;
    std::mt19937 random(3);
    std::uniform_real_distribution<float> coordinate(-60.0f * float(factor), 60.0f * float(factor));
    for (const GeomStackView* record : {&prepared, &fallback}) {
        // The same search structure, array for array, and the same answers.
        const auto* root = dynamic_cast<const BVH2::BvhNode*>(record->bvh);
        const auto* freshRoot = dynamic_cast<const BVH2::BvhNode*>(fresh.bvh);
        ASSERT_TRUE(root && freshRoot && root->firstHitSearch() && freshRoot->firstHitSearch());
        EXPECT_TRUE(root->firstHitSearch()->identicalTo(*freshRoot->firstHitSearch()));
        for (int r = 0; r < 200; ++r) {
            const QVector3D origin(coordinate(random), coordinate(random), coordinate(random));
            const QVector3D direction = (QVector3D(coordinate(random), coordinate(random), 0) - origin).normalized();
            int faceA = -1, faceB = -1;
            double tA = std::numeric_limits<double>::max(), tB = tA;
            record->bvh->findFirstRayIntersectedTriangle(origin, direction, mesh.triangles, mesh.vertices,
                                                         BVH2::RayFaceIntersection_AnyFace, faceA, tA, nullptr,
                                                         nullptr);
            fresh.bvh->findFirstRayIntersectedTriangle(origin, direction, mesh.triangles, mesh.vertices,
                                                       BVH2::RayFaceIntersection_AnyFace, faceB, tB, nullptr, nullptr);
            ASSERT_EQ(faceA, faceB) << r;
            ASSERT_EQ(tA, tB) << r;
            float distanceA = 0, distanceB = 0;
            ASSERT_EQ(record->kdTree->findNearestPointInd(origin, mesh.vertices, &distanceA),
                      fresh.kdTree->findNearestPointInd(origin, mesh.vertices, &distanceB))
                << r;
            ASSERT_EQ(distanceA, distanceB) << r;
        }
        // The same buffers in both views.
        const struct {
            GLGeometrySplitted* geometry;
            GLGeometrySplitted* freshGeometry;
            QGLWidget* view;
        } pairs[] = {{record->viewGeometry, fresh.viewGeometry, modelView.get()},
                     {record->resultsGeometry, fresh.resultsGeometry, resultsView.get()}};
        for (const auto& pair : pairs) {
            pair.view->makeCurrent();
            ASSERT_EQ(pair.geometry->cornerCount, n);
            const int floats = 7 * n;  // positions, normals, edge flags (no texture layout)
            const QVector<float> a = readBack<float>(pair.geometry, 0, floats);
            const QVector<float> b = readBack<float>(pair.freshGeometry, 0, floats);
            EXPECT_EQ(std::memcmp(a.constData(), b.constData(), sizeof(float) * size_t(a.size())), 0);
            EXPECT_EQ(pair.geometry->runStarts, pair.freshGeometry->runStarts);
            EXPECT_EQ(pair.geometry->runCounts, pair.freshGeometry->runCounts);
        }
    }
}
