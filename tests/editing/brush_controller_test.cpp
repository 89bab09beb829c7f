// Brush controller on the results view: synthetic strokes sculpt a grid toward
// the target, undo and redo replay the history exactly and keep the octree and
// the drawn geometry in step, Ctrl-drag sets the radius, boundaries stay put,
// leaving the template ends a stroke, and the template record is never written.
#include "SculptScene.h"
#include "editing/BrushController.h"
#include "editing/BrushGeometry.h"
#include "editing/Octree/Octree.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

using Viewport3D::Viewport3DLayered;

namespace {

constexpr int kSide = 200;
constexpr int kGrid = 21;  // spacing 0.1

bool invariantHolds(const Octree::Tree& tree, const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles)
{
    for (int t = 0; t < triangles.size(); ++t) {
        const Octree::Node* holder = tree.holders.at(t);
        if (!holder || !holder->triangles.contains(t))
            return false;
        const QList<int>& c = triangles.at(t);
        if (holder->parent && !holder->cube.containsTriangle(vertices[c[0]], vertices[c[1]], vertices[c[2]]))
            return false;
    }
    return true;
}

}  // namespace

class BrushControllerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::registerMouseSignalTypes();
        view = std::make_unique<Viewport3DLayered>();
        view->setAttribute(Qt::WA_MouseTracking, true);  // as the main window sets it
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(kSide, kSide), [this] { return view->isInitialized(); }));
        view->camera().distance = 5;  // the whole grid and some room around it
        view->makeCurrent();
        drawn = scene.makeDrawnGeometry();
        view->addObject(drawn.get(), Viewport3DLayered::FrontLayer);
        templateBefore = scene.templateMesh;
        {
            TestSupport::LogCapture log;
            controller = std::make_unique<BrushController>(&scene.templateMesh, &scene.neighbours, &scene.boundary,
                                                           drawn.get(), view.get());
            loggedMedian = log.contains("medianNearestNeighbourDist");
        }
        controller->addBrush(scene.relax.get(), "Relax brush");
        controller->addBrush(scene.move.get(), "Move brush");
        controller->addBrush(scene.projection.get(), "Projection brush");
        controller->addBrush(scene.pushAway.get(), "Push away brush");
        controller->setCurrentBrush(2);
        controller->setMaxProjectionDist(1.5);
    }

    void TearDown() override
    {
        controller.reset();
        view->makeCurrent();
        view->removeObject(drawn.get());
        drawn.reset();
        view.reset();
    }

    QPoint pixelOf(float x, float y, float z = 1) const
    {
        const QVector3D ndc =
            view->camera().projectionMatrix(kSide, kSide).map(view->camera().viewMatrix().map({x, y, z}));
        return QPoint(int(std::lround((ndc.x() + 1) / 2 * kSide)), int(std::lround((1 - ndc.y()) / 2 * kSide)));
    }

    void stroke(const QList<QPoint>& path, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, path.first(), Qt::LeftButton, Qt::LeftButton,
                               modifiers);
        for (int k = 1; k < path.size(); ++k)
            TestSupport::sendMouse(view.get(), QEvent::MouseMove, path[k], Qt::NoButton, Qt::LeftButton, modifiers);
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, path.last(), Qt::LeftButton, Qt::NoButton,
                               modifiers);
    }

    // The platform's standard keys (Ctrl+Z; Ctrl+Shift+Z under X11, Ctrl+Y elsewhere).
    void undoKey() { QTest::keySequence(view.get(), QKeySequence(QKeySequence::Undo)); }
    void redoKey() { QTest::keySequence(view.get(), QKeySequence(QKeySequence::Redo)); }

    QList<QPoint> centreStroke() const { return {pixelOf(-0.2f, 0), pixelOf(0, 0), pixelOf(0.2f, 0)}; }

    // The drawn geometry's buffer holds the controller's arrays at every corner.
    ::testing::AssertionResult drawnMatchesController()
    {
        view->makeCurrent();
        const int corners = drawn->cornerCount;
        QVector<QVector3D> positions(corners), normals(corners);
        if (!drawn->vertexBuffer.bind())
            return ::testing::AssertionFailure() << "bind";
        drawn->vertexBuffer.read(0, positions.data(), 12 * corners);
        drawn->vertexBuffer.read(12 * corners, normals.data(), 12 * corners);  // no texture coordinates
        drawn->vertexBuffer.release();
        const auto& triangles = scene.templateMesh.triangles;
        if (positions != GeometryStack::takeByIndexLists(triangles, controller->vertices()))
            return ::testing::AssertionFailure() << "positions differ";
        if (normals != GeometryStack::takeByIndexLists(triangles, controller->normals()))
            return ::testing::AssertionFailure() << "normals differ";
        return ::testing::AssertionSuccess();
    }

    SculptScene::Scene scene{kGrid};
    GeometryStack::GeomStack templateBefore;
    std::unique_ptr<Viewport3DLayered> view;
    std::unique_ptr<Viewport3D::GLGeometrySplitted> drawn;
    std::unique_ptr<BrushController> controller;
    bool loggedMedian = false;
};

TEST_F(BrushControllerTest, DefaultsComeFromTheMedianFanNeighbourDistance)
{
    EXPECT_TRUE(loggedMedian);
    EXPECT_NEAR(controller->medianNearestNeighbourDist(), 0.1, 1e-6);
    EXPECT_NEAR(controller->brushRadius(), 0.5, 1e-5);
    EXPECT_EQ(controller->initialBrushRadius(), controller->brushRadius());
    EXPECT_NEAR(controller->initialMaxProjectionDist(), 0.3, 1e-5);
    EXPECT_EQ(controller->brushIntensity(), 1.0);
    EXPECT_TRUE(controller->protectBoundaries());
    EXPECT_FALSE(controller->recomputeNormals());
    EXPECT_FALSE(view->alwaysRedrawBackLayer());
    EXPECT_EQ(controller->brushNames(),
              QStringList({"Relax brush", "Move brush", "Projection brush", "Push away brush"}));
    // A grid of spacing 2 from four vertices: median 2, radius 10, distance 6.
    const QVector<QVector3D> square = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}};
    EXPECT_EQ(medianNearestFanNeighbourDist({{1, 3}, {0, 2}, {1, 3}, {2, 0}}, square), 2.0);
}

TEST_F(BrushControllerTest, StrokeSculptsTowardTheTargetAndUndoRedoReplayItExactly)
{
    const QVector<QVector3D> original = scene.templateMesh.vertices;
    stroke(centreStroke());
    TestSupport::saveFrame(TestSupport::renderFrame(view.get()), "brush_controller_after_stroke");
    const QVector<QVector3D> sculpted = controller->vertices();
    ASSERT_EQ(controller->history().strokes().size(), 1);
    EXPECT_FALSE(controller->strokeActive());

    int moved = 0;
    float lowest = 1;
    for (int v = 0; v < sculpted.size(); ++v) {
        const QVector3D& p = sculpted[v];
        EXPECT_EQ(p.toVector2D(), original[v].toVector2D()) << "projection moves along the normal only";
        EXPECT_TRUE(p.z() >= 0 && p.z() <= 1) << v;
        const bool away = std::abs(p.y()) > 0.7f || std::abs(p.x()) > 0.9f;
        if (away) {
            EXPECT_EQ(p, original[v]) << "beyond the brush: " << v;
        }
        moved += p != original[v];
        lowest = std::min(lowest, p.z());
    }
    EXPECT_GT(moved, 20);
    EXPECT_LT(lowest, 0.2f);
    EXPECT_TRUE(drawnMatchesController());
    EXPECT_TRUE(invariantHolds(controller->octree(), sculpted, scene.templateMesh.triangles));

    undoKey();
    EXPECT_EQ(controller->vertices(), original);
    EXPECT_EQ(controller->normals(), scene.templateMesh.normals);
    EXPECT_TRUE(drawnMatchesController());
    EXPECT_TRUE(invariantHolds(controller->octree(), original, scene.templateMesh.triangles));

    redoKey();
    EXPECT_EQ(controller->vertices(), sculpted);
    EXPECT_TRUE(drawnMatchesController());
    EXPECT_TRUE(invariantHolds(controller->octree(), sculpted, scene.templateMesh.triangles));
    redoKey();  // at the last stroke: nothing
    EXPECT_EQ(controller->history().currentIndex(), 0);

    // The same stroke after an undo works on the restored surface: the same result.
    undoKey();
    stroke(centreStroke());
    EXPECT_EQ(controller->vertices(), sculpted);
    EXPECT_EQ(controller->history().strokes().size(), 1) << "the undone stroke is gone";
    redoKey();
    EXPECT_EQ(controller->vertices(), sculpted) << "nothing to redo";

    // A second stroke over the first goes deeper, and two undos restore the template.
    stroke(centreStroke());
    float deeper = 1;
    for (const QVector3D& p : controller->vertices())
        deeper = std::min(deeper, p.z());
    EXPECT_LT(deeper, lowest + 1e-6f);
    EXPECT_NE(controller->vertices(), sculpted);
    undoKey();
    EXPECT_EQ(controller->vertices(), sculpted);
    undoKey();
    EXPECT_EQ(controller->vertices(), original);
    undoKey();  // at -1: nothing
    EXPECT_EQ(controller->history().currentIndex(), -1);

    // The template record itself was never written (what Cancel relies on).
    EXPECT_EQ(scene.templateMesh.vertices, templateBefore.vertices);
    EXPECT_EQ(scene.templateMesh.normals, templateBefore.normals);
    EXPECT_EQ(scene.templateMesh.boundingBox, templateBefore.boundingBox);
}

TEST_F(BrushControllerTest, RecomputedNormalsAreRecordedAndRestored)
{
    controller->setRecomputeNormals(true);
    controller->setBrushIntensity(0.5);
    stroke(centreStroke());
    const QVector<QVector3D> sculptedNormals = controller->normals();
    EXPECT_NE(sculptedNormals, scene.templateMesh.normals);
    EXPECT_FALSE(controller->history().strokes().first().normals.isEmpty());
    for (const QVector3D& n : sculptedNormals)
        EXPECT_NEAR(n.length(), 1.0, 1e-5);
    EXPECT_TRUE(drawnMatchesController());
    controller->undo();
    EXPECT_EQ(controller->normals(), scene.templateMesh.normals);
    controller->redo();
    EXPECT_EQ(controller->normals(), sculptedNormals);
    EXPECT_TRUE(drawnMatchesController());

    // What Done makes of the sculpted positions: normals recomputed from them.
    GeometryStack::GeomStack done = scene.templateMesh;
    done.vertices = controller->vertices();
    done.computeNormals();
    EXPECT_NE(done.normals, scene.templateMesh.normals);
    EXPECT_EQ(done.normals, GeometryStack::vertexNormals(done.polygons, controller->vertices()));
}

TEST_F(BrushControllerTest, ControlDragSetsTheRadius)
{
    QSignalSpy radiusSpy(controller.get(), &BrushController::brushRadiusChanged);
    const double initial = controller->initialBrushRadius();
    const QPoint centre(kSide / 2, kSide / 2);  // NDC (0, 0)
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton,
                           Qt::ControlModifier);
    EXPECT_TRUE(controller->radiusDragMode());
    EXPECT_FALSE(controller->strokeActive());
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, centre + QPoint(10, 0), Qt::NoButton, Qt::LeftButton,
                           Qt::ControlModifier);  // NDC (0.1, 0): right grows
    EXPECT_NEAR(controller->brushRadius(), 1.2 * initial, 1e-6);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, centre + QPoint(10, -10), Qt::NoButton, Qt::LeftButton,
                           Qt::ControlModifier);  // up by 0.1: shrinks by the same
    EXPECT_NEAR(controller->brushRadius(), initial, 1e-6);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, centre + QPoint(-90, -10), Qt::NoButton, Qt::LeftButton,
                           Qt::ControlModifier);  // far left: never below 0.01
    EXPECT_EQ(controller->brushRadius(), 0.01);
    ASSERT_EQ(radiusSpy.count(), 3);
    EXPECT_EQ(radiusSpy.last().at(0).toDouble(), 0.01);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton,
                           Qt::ControlModifier);
    EXPECT_FALSE(controller->radiusDragMode());
    EXPECT_TRUE(controller->history().strokes().isEmpty());
    EXPECT_EQ(controller->vertices(), scene.templateMesh.vertices);
}

TEST_F(BrushControllerTest, BoundariesStayWhenProtectedAndLeavingTheTemplateEndsTheStroke)
{
    const QVector<QVector3D> original = scene.templateMesh.vertices;
    const QList<QPoint> alongEdge = {pixelOf(0.95f, -0.2f), pixelOf(0.95f, 0), pixelOf(0.95f, 0.2f)};
    stroke(alongEdge);
    QVector<QVector3D> sculpted = controller->vertices();
    int interiorMoved = 0;
    for (int v = 0; v < sculpted.size(); ++v) {
        if (scene.boundary[v]) {
            EXPECT_EQ(sculpted[v], original[v]) << v;
        } else {
            interiorMoved += sculpted[v] != original[v];
        }
    }
    EXPECT_GT(interiorMoved, 0);
    EXPECT_TRUE(invariantHolds(controller->octree(), sculpted, scene.templateMesh.triangles));

    controller->undo();
    controller->setProtectBoundaries(false);
    stroke(alongEdge);
    sculpted = controller->vertices();
    int boundaryMoved = 0;
    for (int v = 0; v < sculpted.size(); ++v)
        boundaryMoved += scene.boundary[v] && sculpted[v] != original[v];
    EXPECT_GT(boundaryMoved, 0);

    // Off the template the stroke ends and is recorded; coming back does not resume it.
    const int strokesBefore = controller->history().strokes().size();
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, pixelOf(-0.5f, -0.5f), Qt::LeftButton, Qt::LeftButton,
                           Qt::NoModifier);
    EXPECT_TRUE(controller->strokeActive());
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, pixelOf(-1.4f, -0.5f), Qt::NoButton, Qt::LeftButton,
                           Qt::NoModifier);
    EXPECT_FALSE(controller->strokeActive());
    EXPECT_EQ(controller->history().strokes().size(), strokesBefore + 1);
    bool onTemplate = true;
    QVector3D normal;
    const QVector3D fallback = controller->getBrushPoint(view->screenToNdc(pixelOf(-1.4f, -0.5f)), onTemplate, normal);
    EXPECT_FALSE(onTemplate);
    EXPECT_NEAR(fallback.z(), 1.0, 1e-4) << "on the camera-facing plane through the template's centre";
    EXPECT_NEAR((normal - QVector3D(0, 0, 1)).length(), 0.0, 1e-6);
    const QVector<QVector3D> afterLeaving = controller->vertices();
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, pixelOf(-0.5f, -0.5f), Qt::NoButton, Qt::LeftButton,
                           Qt::NoModifier);
    EXPECT_EQ(controller->vertices(), afterLeaving);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, pixelOf(-0.5f, -0.5f), Qt::LeftButton, Qt::NoButton,
                           Qt::NoModifier);
    EXPECT_EQ(controller->history().strokes().size(), strokesBefore + 1);
}

TEST_F(BrushControllerTest, NoBrushPointIsReportedAsNoneAndMovesNothing)
{
    // A ray almost parallel to the camera-facing plane through the template's centre never meets it.
    bool onTemplate = true;
    QVector3D normal(1, 2, 3);
    QVector3D point = controller->getBrushPoint(QPointF(1e9, 0), onTemplate, normal);
    EXPECT_TRUE(std::isnan(point.x()) && std::isnan(point.y()) && std::isnan(point.z()))
        << ::testing::PrintToString(point);
    EXPECT_FALSE(onTemplate);
    EXPECT_EQ(normal, QVector3D());

    // A stroke is under way when the view stops being invertible.
    const QPoint start = pixelOf(0, 0), next = pixelOf(0.1f, 0), further = pixelOf(0.2f, 0);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, next, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    const QVector<QVector3D> sculpted = controller->vertices();
    ASSERT_NE(sculpted, scene.templateMesh.vertices);
    const QMatrix4x4 rotation = view->camera().rotation;
    view->camera().rotation = QMatrix4x4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1);  // flattens depth
    {
        TestSupport::LogCapture log;
        point = controller->getBrushPoint(view->screenToNdc(further), onTemplate, normal);
        EXPECT_TRUE(std::isnan(point.x())) << ::testing::PrintToString(point);
        EXPECT_TRUE(log.contains("Failed to invert model view matrix"));

        // The move ends the stroke, recorded, without moving a vertex.
        TestSupport::sendMouse(view.get(), QEvent::MouseMove, further, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        EXPECT_FALSE(controller->strokeActive());
        EXPECT_EQ(controller->history().strokes().size(), 1);
        EXPECT_EQ(controller->vertices(), sculpted);
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, further, Qt::LeftButton, Qt::NoButton,
                               Qt::NoModifier);

        // A press with no point starts no stroke.
        stroke({start, next, further});
        EXPECT_FALSE(controller->strokeActive());
        EXPECT_EQ(controller->history().strokes().size(), 1);
        EXPECT_EQ(controller->vertices(), sculpted);
    }

    view->camera().rotation = rotation;
    stroke({start, next, further});
    EXPECT_EQ(controller->history().strokes().size(), 2) << "strokes work again";
    EXPECT_NE(controller->vertices(), sculpted);
}

TEST_F(BrushControllerTest, APressDuringAStrokeRecordsThatStrokeFirst)
{
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, pixelOf(0, 0), Qt::LeftButton, Qt::LeftButton,
                           Qt::NoModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, pixelOf(0.1f, 0), Qt::NoButton, Qt::LeftButton,
                           Qt::NoModifier);
    const QVector<QVector3D> afterFirst = controller->vertices();
    EXPECT_NE(afterFirst, scene.templateMesh.vertices);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, pixelOf(0.1f, 0), Qt::RightButton,
                           Qt::LeftButton | Qt::RightButton, Qt::NoModifier);
    EXPECT_TRUE(controller->strokeActive());
    ASSERT_EQ(controller->history().strokes().size(), 1);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, pixelOf(0.2f, 0), Qt::NoButton,
                           Qt::LeftButton | Qt::RightButton, Qt::NoModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, pixelOf(0.2f, 0), Qt::RightButton, Qt::LeftButton,
                           Qt::NoModifier);
    EXPECT_EQ(controller->history().strokes().size(), 2);
    controller->undo();
    EXPECT_EQ(controller->vertices(), afterFirst) << "the first stroke was kept whole";
}

TEST_F(BrushControllerTest, ClicksWheelAndNavigationKeepTheBackLayerCachedOnlyWhileSculpting)
{
    const QPoint centre = pixelOf(0, 0);
    stroke({centre});  // a click without a drag
    ASSERT_EQ(controller->history().strokes().size(), 1);
    EXPECT_TRUE(controller->history().strokes().first().positions.isEmpty());
    EXPECT_EQ(controller->vertices(), scene.templateMesh.vertices);
    undoKey();
    EXPECT_EQ(controller->history().currentIndex(), -1) << "undoing it only moves the index";

    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton,
                           Qt::AltModifier);
    EXPECT_TRUE(view->alwaysRedrawBackLayer()) << "camera navigation";
    EXPECT_FALSE(controller->strokeActive());
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton,
                           Qt::AltModifier);
    EXPECT_FALSE(view->alwaysRedrawBackLayer());

    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton,
                           Qt::NoModifier);
    EXPECT_TRUE(controller->strokeActive());
    TestSupport::sendWheel(view.get(), centre, 120);
    EXPECT_FALSE(controller->strokeActive()) << "a wheel turn ends the stroke";
    EXPECT_TRUE(view->alwaysRedrawBackLayer());
    EXPECT_EQ(controller->history().strokes().size(), 1);
}

TEST_F(BrushControllerTest, CursorIsWhiteOverTheTemplateAndRedOverTheFallbackPlane)
{
    auto count = [](const QImage& image, const QColor& colour) {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += TestSupport::colorNear(image.pixelColor(x, y), colour, 40);
        return n;
    };
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, pixelOf(0.3f, 0.3f), Qt::NoButton, Qt::NoButton,
                           Qt::NoModifier);
    const QImage over = TestSupport::renderFrame(view.get());
    TestSupport::saveFrame(over, "brush_cursor_over_template");
    EXPECT_GT(count(over, Qt::white), 50);
    EXPECT_EQ(count(over, Qt::red), 0);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, pixelOf(1.35f, 1.35f), Qt::NoButton, Qt::NoButton,
                           Qt::NoModifier);
    const QImage off = TestSupport::renderFrame(view.get());
    TestSupport::saveFrame(off, "brush_cursor_off_template");
    EXPECT_GT(count(off, Qt::red), 50);
    EXPECT_EQ(controller->vertices(), scene.templateMesh.vertices) << "moves without a stroke sculpt nothing";
}

TEST(BrushGeometryTest, FanNormalsAndTheFallbackPlane)
{
    // Centre 0 with neighbours around it counter-clockwise seen from +z.
    const QVector<QVector3D> p = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}};
    EXPECT_EQ(computeVertexFanNormal(0, {1, 2, 3, 4, 1}, p), QVector3D(0, 0, -1)) << "closed fan, walk order";
    EXPECT_EQ(computeVertexFanNormal(0, {4, 3, 2, 1, 4}, p), QVector3D(0, 0, 1));
    EXPECT_EQ(computeVertexFanNormal(0, {2, 1}, p), QVector3D(0, 0, 1)) << "open fan of one triangle";
    EXPECT_EQ(computeVertexFanNormal(0, {}, p), QVector3D());
    const QMap<int, QVector3D> normals = computeFanNormals({0, 1, 2}, {{4, 3, 2, 1, 4}, {2}, {}}, p);
    EXPECT_EQ(normals.keys(), QList<int>({0, 2})) << "a single-entry fan keeps its old normal";
    EXPECT_EQ(normals.value(2), QVector3D());

    EXPECT_EQ(interpolateBarycentric(0.25, 0.5, {4, 0, 0}, {0, 4, 0}, {0, 0, 4}), QVector3D(1, 1, 2));
    QVector3D point(7, 7, 7);
    EXPECT_TRUE(intersectRayWithPlane({0, 0, 5}, {0, 0, -1}, {3, 3, 1}, {0, 0, -1}, point));
    EXPECT_EQ(point, QVector3D(0, 0, 1));
    EXPECT_FALSE(intersectRayWithPlane({0, 0, 5}, {1, 0, 0}, {3, 3, 1}, {0, 0, -1}, point)) << "parallel";
    EXPECT_FALSE(intersectRayWithPlane({0, 0, 5}, {0, 0, 1}, {3, 3, 1}, {0, 0, -1}, point)) << "facing away";
    QMatrix4x4 view;
    view.translate(0, 0, -3);
    view.rotate(90, 1, 0, 0);
    // World +y turns toward the eye.
    EXPECT_NEAR((transformNormal({0, 0, 1}, view.inverted()) - QVector3D(0, 1, 0)).length(), 0.0, 1e-6);
}
