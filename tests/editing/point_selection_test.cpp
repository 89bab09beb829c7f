// Point selection on a shown, fitted grid driven by synthetic mouse releases:
// picking and its log line, repeats and modifiers that change nothing, Control
// removal of the nearest listed point with relabelling, the list operations'
// signals, nearest-surface picking through back faces, and marker removal.
#include "editing/pointselectioncontroller.h"
#include "mesh/GeomStack.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "rendering/glpointswithlabels.h"
#include "rendering/labelfontatlas.h"
#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TestMeshes.h"

#include <QSignalSpy>

#include <algorithm>
#include <memory>

using Viewport3D::Viewport3D2;

namespace {

const QColor kLabelColor(255, 255, 0);

// (n + 1) x (n + 1) vertices at unit spacing in the plane z, centred on the z
// axis, row by row from the lowest y; vertex (i, j) has index j (n + 1) + i.
// Quads are counter-clockwise seen from +z, or clockwise when flipped.
void addGrid(GeometryStack::GeomStack& mesh, int n, float z, bool flipped, QVector<QList<int>>& polygons)
{
    const int first = mesh.vertices.size();
    mesh.vertices +=
        TestMeshes::gridPoints(n + 1, n + 1, [n, z](int i, int j) { return QVector3D(i - n / 2.0f, j - n / 2.0f, z); });
    for (QList<int> quad : TestMeshes::gridFaces(n + 1, n + 1, TestMeshes::Cut::Quad, first)) {
        if (flipped)
            std::reverse(quad.begin(), quad.end());
        polygons.append(quad);
    }
}

GeometryStack::GeomStack makeMesh(const QVector<QVector3D>& vertices, const QVector<QList<int>>& polygons)
{
    return GeometryStack::GeomStack(vertices, polygons, {}, {}, {});
}

// The 5 x 5 grid on [-2, 2]^2 (vertex 12 at the origin) and, as vertex 25, an
// unused copy of corner vertex 24 (2, 2).
GeometryStack::GeomStack gridMesh()
{
    GeometryStack::GeomStack seed;
    QVector<QList<int>> polygons;
    addGrid(seed, 4, 0.0f, false, polygons);
    seed.vertices.append(seed.vertices[24]);
    return makeMesh(seed.vertices, polygons);
}

}  // namespace

class PointSelectionTest : public ::testing::Test {
protected:
    static constexpr int kSide = 200;

    static void SetUpTestSuite()
    {
        atlas =
            new LabelFontAtlas(QFont("Arial", 12, QFont::Bold), 4, kLabelColor, Qt::black, 2, printableAsciiChars());
    }
    static void TearDownTestSuite()
    {
        delete atlas;
        atlas = nullptr;
    }

    void SetUp() override
    {
        TestSupport::registerMouseSignalTypes();
        view = std::make_unique<Viewport3D2>();
        results = std::make_unique<Viewport3D::Viewport3DLayered>();
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(kSide, kSide), [this] { return view->isInitialized(); }));
        ASSERT_TRUE(
            TestSupport::showGLView(results.get(), QSize(kSide, kSide), [this] { return results->isInitialized(); }));
    }

    void TearDown() override
    {
        controller.reset();
        record.reset();
        results.reset();
        view.reset();
    }

    void start(GeometryStack::GeomStack meshToShow)
    {
        mesh = std::move(meshToShow);
        record = std::make_unique<GeomStackView>(&mesh, view.get(), results.get(), QColor(180, 180, 180), false, true,
                                                 Qt::black, false);
        controller = std::make_unique<PointSelectionController>(&mesh.vertices, &mesh.triangles, record->bvh,
                                                                record->kdTree, atlas, view.get(), kLabelColor);
        controller->setSelectedPoints({});
        view->fitToView();
    }

    // The pixel where the world point appears, from the view's own matrices.
    QPoint pixelOf(const QVector3D& world)
    {
        view->makeCurrent();
        const QVector3D ndc = (view->projectionMatrix() * view->viewMatrix()).map(world);
        return QPoint(qRound((ndc.x() + 1) * 0.5 * kSide), qRound((1 - ndc.y()) * 0.5 * kSide));
    }

    void click(const QVector3D& world, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               Qt::MouseButton button = Qt::LeftButton)
    {
        const QPoint pixel = pixelOf(world);
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, pixel, button, button, modifiers);
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, pixel, button, Qt::NoButton, modifiers);
    }

    int markerObjects() const
    {
        int count = 0;
        for (Viewport3D::GLObject* object : view->objects)
            count += dynamic_cast<Viewport3D::GLPointsWithLabels*>(object) ? 1 : 0;
        return count;
    }

    QImage frame(const QString& name)
    {
        const QImage image = TestSupport::renderFrame(view.get());
        TestSupport::saveFrame(image, name);
        return image;
    }

    static LabelFontAtlas* atlas;
    std::unique_ptr<Viewport3D2> view;
    std::unique_ptr<Viewport3D::Viewport3DLayered> results;
    GeometryStack::GeomStack mesh;
    std::unique_ptr<GeomStackView> record;
    std::unique_ptr<PointSelectionController> controller;
};

LabelFontAtlas* PointSelectionTest::atlas = nullptr;

TEST_F(PointSelectionTest, ClickAppendsTheNearestVertexOnceAndLogsIt)
{
    start(gridMesh());
    QSignalSpy changed(controller.get(), &PointSelectionController::selectionChanged);
    TestSupport::LogCapture log;

    click(QVector3D(0.3f, -0.2f, 0));
    EXPECT_EQ(controller->selectedPoints(), QList<int>{12});
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(log.texts(QtDebugMsg).filter("Selected vertex:"), QStringList{"Selected vertex: 12"});
    ASSERT_NE(controller->markers, nullptr);
    EXPECT_EQ(markerObjects(), 1);
    EXPECT_EQ(controller->markers->aaBoundingBox().origin, QVector3D(0, 0, 0));

    // Again on the same spot, and near the same vertex: nothing at all.
    Viewport3D::GLPointsWithLabels* const markers = controller->markers;
    log.clear();
    click(QVector3D(0.3f, -0.2f, 0));
    click(QVector3D(-0.4f, 0.1f, 0));
    EXPECT_EQ(controller->selectedPoints(), QList<int>{12});
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(log.texts().filter("Selected vertex:").isEmpty());
    EXPECT_EQ(controller->markers, markers) << "no rebuild";

    // The right and middle buttons pick like the left one; the order is kept.
    click(QVector3D(-1.1f, 0.8f, 0), Qt::NoModifier, Qt::RightButton);
    click(QVector3D(1.8f, -1.7f, 0), Qt::NoModifier, Qt::MiddleButton);
    EXPECT_EQ(controller->selectedPoints(), (QList<int>{12, 16, 4}));
    EXPECT_EQ(controller->pointsCount(), 3);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(log.texts(QtDebugMsg).filter("Selected vertex:"),
              (QStringList{"Selected vertex: 16", "Selected vertex: 4"}));
    EXPECT_EQ(markerObjects(), 1) << "the old markers leave the view";
    const Viewport3D::BoundingBox box = controller->markers->aaBoundingBox();
    EXPECT_EQ(box.origin, QVector3D(-1, -2, 0));
    EXPECT_EQ(box.size, QVector3D(3, 3, 0));

    // Off the mesh: no hit, nothing happens.
    click(QVector3D(2.5f, 2.5f, 0));
    EXPECT_EQ(controller->pointsCount(), 3);
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(PointSelectionTest, NavigationModifiersPickNothing)
{
    start(gridMesh());
    QSignalSpy changed(controller.get(), &PointSelectionController::selectionChanged);
    const Qt::KeyboardModifiers cases[] = {Qt::AltModifier, Qt::ShiftModifier, Qt::ControlModifier | Qt::ShiftModifier,
                                           Qt::ControlModifier | Qt::AltModifier, Qt::MetaModifier};
    for (Qt::KeyboardModifiers modifiers : cases) {
        SCOPED_TRACE(int(modifiers));
        click(QVector3D(0.3f, 0.3f, 0), modifiers);
    }
    EXPECT_TRUE(controller->selectedPoints().isEmpty());
    EXPECT_EQ(changed.count(), 0);

    // A camera drag with Alt: released with Alt still held it picks nothing; with
    // Alt let go before the button, the release picks where it happens.
    for (bool altHeldAtRelease : {true, false}) {
        SCOPED_TRACE(altHeldAtRelease);
        const QPoint from = pixelOf(QVector3D(-1.0f, -1.0f, 0));
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, from, Qt::MiddleButton, Qt::MiddleButton,
                               Qt::AltModifier);
        TestSupport::sendMouse(view.get(), QEvent::MouseMove, from + QPoint(6, -4), Qt::NoButton, Qt::MiddleButton,
                               Qt::AltModifier);
        const QPoint releaseAt = pixelOf(QVector3D(1.0f, 0.9f, 0));  // after the pan
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, releaseAt, Qt::MiddleButton, Qt::NoButton,
                               altHeldAtRelease ? Qt::AltModifier : Qt::NoModifier);
    }
    EXPECT_EQ(controller->selectedPoints(), QList<int>{18});
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(PointSelectionTest, ControlClickRemovesTheNearestListedPointAndRelabels)
{
    start(gridMesh());
    QSignalSpy changed(controller.get(), &PointSelectionController::selectionChanged);

    click(QVector3D(0.1f, 0.1f, 0), Qt::ControlModifier);
    EXPECT_EQ(changed.count(), 0) << "an empty list: nothing to remove";

    for (const QVector3D& p : {QVector3D(-1.9f, -1.8f, 0), QVector3D(0.1f, 0.2f, 0), QVector3D(1.9f, -1.8f, 0)})
        click(p);
    ASSERT_EQ(controller->selectedPoints(), (QList<int>{0, 12, 4}));
    changed.clear();

    // Of the listed points, vertex 12 is nearest to the hit.
    TestSupport::LogCapture log;
    click(QVector3D(1.2f, 0.6f, 0), Qt::ControlModifier);
    EXPECT_EQ(controller->selectedPoints(), (QList<int>{0, 4}));
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(log.texts().filter("Selected vertex:").isEmpty());
    EXPECT_EQ(markerObjects(), 1);
    const QImage afterRemoval = frame("point_selection_after_removal");

    // The remaining points carry "0" and "1": the same frame as markers built
    // for that list, and not the frame of the old labels "0" and "2".
    controller->setSelectedPoints({0, 4});
    EXPECT_EQ(frame("point_selection_relabelled"), afterRemoval);
    view->makeCurrent();
    view->removeObject(controller->markers);
    Viewport3D::GLPointsWithLabels oldLabels({mesh.vertices[0], mesh.vertices[4]}, {"0", "2"}, atlas, kLabelColor,
                                             5.0f);
    view->addObject(&oldLabels);
    EXPECT_NE(frame("point_selection_old_labels"), afterRemoval);
    view->makeCurrent();
    view->removeObject(&oldLabels);
    view->addObject(controller->markers);

    // Without a hit, Control does nothing either.
    changed.clear();
    click(QVector3D(2.5f, 0, 0), Qt::ControlModifier);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(controller->pointsCount(), 2);
}

TEST_F(PointSelectionTest, OfEquallyNearListedPointsTheEarlierIsRemoved)
{
    start(gridMesh());
    // Vertices 25 and 24 lie at the same place: every hit is equally far from both.
    controller->setSelectedPoints({12, 25, 24});
    click(QVector3D(1.7f, 1.6f, 0), Qt::ControlModifier);
    EXPECT_EQ(controller->selectedPoints(), (QList<int>{12, 24}));
}

TEST_F(PointSelectionTest, ListOperationsSignalAsDocumented)
{
    start(gridMesh());
    QSignalSpy changed(controller.get(), &PointSelectionController::selectionChanged);

    controller->removeLast();
    EXPECT_EQ(changed.count(), 0) << "removeLast on an empty list does nothing";
    controller->clearAll();
    EXPECT_EQ(changed.count(), 1) << "clearAll always signals";
    EXPECT_EQ(markerObjects(), 1) << "an empty list still has its marker object";

    // Owners' lists are taken as they are, repeats included.
    controller->setSelectedPoints({3, 7, 3});
    EXPECT_EQ(controller->selectedPoints(), (QList<int>{3, 7, 3}));
    controller->setSelectedPoints(controller->selectedPoints());
    EXPECT_EQ(changed.count(), 3) << "the same list again still rebuilds and signals";
    EXPECT_EQ(markerObjects(), 1);

    controller->removeLast();
    EXPECT_EQ(controller->selectedPoints(), (QList<int>{3, 7}));
    controller->clearAll();
    EXPECT_TRUE(controller->selectedPoints().isEmpty());
    EXPECT_EQ(changed.count(), 5);

    // Deleting the controller takes its markers out of the view and stops picking.
    controller->setSelectedPoints({3});
    controller.reset();
    EXPECT_EQ(markerObjects(), 0);
    EXPECT_EQ(view->objects.size(), 1) << "the mesh stays";
    click(QVector3D(0.2f, 0.2f, 0));  // nobody listens any more
}

TEST_F(PointSelectionTest, ClickPicksTheSurfaceNearestTheEyeWhicheverWayItFaces)
{
    // A sheet facing away from the eye (z = 0) in front of one facing it (z = -1),
    // the far one shifted by half a cell so that its vertices differ on screen.
    for (bool nearSheetFacesAway : {true, false}) {
        SCOPED_TRACE(nearSheetFacesAway);
        GeometryStack::GeomStack seed;
        QVector<QList<int>> polygons;
        addGrid(seed, 4, 0.0f, nearSheetFacesAway, polygons);
        addGrid(seed, 4, -1.0f, !nearSheetFacesAway, polygons);
        for (int i = 25; i < 50; ++i)
            seed.vertices[i] += QVector3D(0.5f, 0.5f, 0);
        start(makeMesh(seed.vertices, polygons));
        click(QVector3D(0.2f, 0.1f, 0));
        EXPECT_EQ(controller->selectedPoints(), QList<int>{12});
        controller.reset();
        record.reset();
    }
}
