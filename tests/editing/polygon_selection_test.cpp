// Polygon selection on a shown model view: lassos drawn with the mouse reach every visible polygon
// inside them, occluded ones too, drawn in the selection colour; clicks take the nearest visible
// polygon in front of the eye; the panel's operations follow their mask formulas.
#include "SelectionScene.h"
#include "editing/polygonselectioncontroller.h"
#include "editing/polygonselectiontools.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/Viewport3D2.h"
#include "spatial/BVH.h"
#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TestMeshes.h"

#include <QRectF>

#include <cmath>

using GeometryStack::GeomStack;
using SelectionScene::kPolygons;
using SelectionScene::polygons;

namespace {

const int kViewSide = 200;
const QColor kSelected(128, 0, 0);  // Qt::darkRed

QString maskText(const QVector<bool>& mask)
{
    QString text;
    for (bool b : mask)
        text += b ? '1' : '.';
    return text;
}

class PolygonSelectionTest : public ::testing::Test, protected SelectionScene::PolygonSelectionRig {
protected:
    void SetUp() override
    {
        TestSupport::registerMouseSignalTypes();
        qRegisterMetaType<QVector<QPointF>>("QVector<QPointF>");
        view = std::make_unique<Viewport3D::Viewport3D2>();
        ASSERT_TRUE(
            TestSupport::showGLView(view.get(), QSize(kViewSide, kViewSide), [this] { return view->isInitialized(); }));
        build(SelectionScene::twoGrids(), 10);
    }

    void TearDown() override
    {
        if (view)
            release();
        view.reset();
    }

    // Where a world point lands in the view (pixels, y down).
    QPointF pixelOf(const QVector3D& world)
    {
        view->makeCurrent();
        const QVector3D ndc = view->projectionMatrix() * view->viewMatrix() * world;
        return QPointF((ndc.x() + 1.0) * kViewSide / 2, (1.0 - ndc.y()) * kViewSide / 2);
    }

    QRectF pixelRect(int polygon)
    {
        double left = 1e9, right = -1e9, top = 1e9, bottom = -1e9;
        for (int v : mesh->polygons[polygon]) {
            const QPointF p = pixelOf(mesh->vertices[v]);
            left = std::min(left, p.x());
            right = std::max(right, p.x());
            top = std::min(top, p.y());
            bottom = std::max(bottom, p.y());
        }
        return QRectF(QPointF(left, top), QPointF(right, bottom));
    }

    QPoint centreOf(int polygon) { return pixelRect(polygon).center().toPoint(); }

    void send(QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        TestSupport::sendMouse(view.get(), type, p, button, buttons, modifiers);
    }

    void click(QPoint p, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        send(QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton, modifiers);
        send(QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton, modifiers);
    }

    // Drags from the first corner to the second, clicks the others and closes near the first.
    void drawLasso(const QVector<QPoint>& corners, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        send(QEvent::MouseButtonPress, corners[0], Qt::LeftButton, Qt::LeftButton, modifiers);
        send(QEvent::MouseMove, corners[0], Qt::NoButton, Qt::LeftButton, modifiers);
        send(QEvent::MouseMove, corners[1], Qt::NoButton, Qt::LeftButton, modifiers);
        send(QEvent::MouseButtonRelease, corners[1], Qt::LeftButton, Qt::NoButton, modifiers);
        for (int i = 2; i < corners.size(); ++i) {
            send(QEvent::MouseMove, corners[i], Qt::NoButton, Qt::NoButton, modifiers);
            click(corners[i], modifiers);
        }
        const QPoint closing = corners[0] + QPoint(1, 1);
        send(QEvent::MouseMove, closing, Qt::NoButton, Qt::NoButton, modifiers);
        click(closing, modifiers);
    }

    // Polygons whose screen rectangle overlaps one of the rectangles; no rectangle may come within
    // two pixels of a polygon's edge, so that touching never decides.
    QVector<bool> overlapping(const QVector<QRectF>& rects)
    {
        QVector<bool> mask(kPolygons, false);
        for (int p = 0; p < kPolygons; ++p) {
            const QRectF r = pixelRect(p);
            for (const QRectF& lassoRect : rects) {
                const double xs[] = {lassoRect.left(), lassoRect.right()};
                const double ys[] = {lassoRect.top(), lassoRect.bottom()};
                for (double x : xs)
                    for (double e : {r.left(), r.right()})
                        EXPECT_GT(std::abs(x - e), 2.0) << "polygon " << p;
                for (double y : ys)
                    for (double e : {r.top(), r.bottom()})
                        EXPECT_GT(std::abs(y - e), 2.0) << "polygon " << p;
                if (r.intersects(lassoRect))
                    mask[p] = true;
            }
        }
        return mask;
    }

    // The colour at every polygon's centre, drawn from the side the camera shows.
    void expectDrawnColours(const QString& frameName, const QVector<int>& shownPolygons)
    {
        const QImage image = TestSupport::renderFrame(view.get());
        TestSupport::saveFrame(image, frameName);
        for (int p : shownPolygons) {
            const QColor expected =
                !controller->visibility()[p] ? view->backgroundColor
                : controller->selection()[p]
                    ? kSelected
                    : (view->rotation.isIdentity() ? SelectionScene::groupColour(mesh->polygonIndToPolygroupInd[p])
                                                   : QColor(Qt::darkGray));
            EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(centreOf(p)), expected, 3))
                << frameName.toStdString() << ", polygon " << p;
        }
    }

    QVector<int> range(int first, int last)
    {
        QVector<int> r;
        for (int i = first; i <= last; ++i)
            r.append(i);
        return r;
    }
};

}  // namespace

TEST_F(PolygonSelectionTest, StartsWithNothingSelectedAndASelectionGroup)
{
    EXPECT_EQ(controller->selection(), QVector<bool>(kPolygons, false));
    EXPECT_EQ(controller->visibility(), QVector<bool>(kPolygons, true));
    EXPECT_EQ(controller->geometry(), mesh.get());
    ASSERT_EQ(drawn->shadingGroupsCount(), 4);
    const Viewport3D::ShadingGroup& group = drawn->shadingGroup(3);
    EXPECT_EQ(group.colorFront, QColor(Qt::darkRed));
    EXPECT_EQ(group.colorBack, QColor(Qt::darkRed));
    EXPECT_EQ(group.colorWire, QColor(Qt::red));
    EXPECT_EQ(group.opacity, 1.0f);
    EXPECT_FALSE(group.shaded);
    EXPECT_TRUE(group.wireVisible);
    EXPECT_FALSE(group.textured);
    EXPECT_TRUE(SelectionScene::groupCornerMask(*drawn, 3).indexOf(true) < 0);

    controller.reset();
    EXPECT_EQ(drawn->shadingGroupsCount(), 3);
}

TEST_F(PolygonSelectionTest, LassoSelectsTheEnclosedPolygonsOccludedOnesToo)
{
    // An L of two rectangles, drawn with the mouse.
    const QVector<QPoint> corners{{40, 40}, {160, 40}, {160, 80}, {80, 80}, {80, 160}, {40, 160}};
    const QVector<bool> expected = overlapping({QRectF(40, 40, 120, 40), QRectF(40, 80, 40, 80)});
    drawLasso(corners);
    EXPECT_EQ(maskText(controller->selection()), maskText(expected));
    // Both grids take part, and some polygons of each stay out.
    EXPECT_GT(expected.mid(0, 16).count(true), 0);
    EXPECT_GT(expected.mid(16).count(true), 0);
    EXPECT_GT(expected.mid(0, 16).count(false), 0);
    EXPECT_GT(expected.mid(16).count(false), 0);
    EXPECT_EQ(SelectionScene::groupCornerMask(*drawn, 3), GeometryStack::polygonMaskToCornerMask(*mesh, expected));
    expectDrawnColours("lasso_front", range(0, 15));

    // Seen from behind, the back grid shows its own selected polygons in the selection colour.
    view->setCameraPosition(QQuaternion::fromAxisAndAngle(0, 1, 0, 180), QVector3D(), 3);
    expectDrawnColours("lasso_back", range(16, 31));

    // A thin Control lasso across the right end of the L deselects what it reaches.
    view->setCameraPosition(QQuaternion(), QVector3D(), 3);
    const QVector<bool> removed = overlapping({QRectF(120, 55, 40, 7)});
    drawLasso({{120, 55}, {160, 55}, {160, 62}, {120, 62}}, Qt::ControlModifier);
    QVector<bool> left = expected;
    for (int p = 0; p < kPolygons; ++p)
        left[p] = expected[p] && !removed[p];
    EXPECT_EQ(maskText(controller->selection()), maskText(left));
    EXPECT_EQ(maskText(removed), maskText(polygons({10, 11, 30, 31})));
}

TEST_F(PolygonSelectionTest, LassoSkipsHiddenPolygonsAndDegenerateLassos)
{
    // Hide the front grid: a lasso over everything now selects the back grid alone.
    controller->setSelection(polygons({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
    controller->hideSelected();
    drawLasso({{5, 5}, {195, 5}, {195, 195}, {5, 195}});
    QVector<bool> back(kPolygons, false);
    for (int p = 16; p < kPolygons; ++p)
        back[p] = true;
    EXPECT_EQ(maskText(controller->selection()), maskText(back));
    expectDrawnColours("lasso_hidden_front", range(16, 31));
    const QImage image = TestSupport::renderFrame(view.get());
    EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(centreOf(0)), view->backgroundColor, 3));

    // One or two points select nothing and say why.
    TestSupport::LogCapture log;
    controller->clearSelection();
    controller->onLassoSelection({QPointF(0, 0)}, false);
    controller->onLassoSelection({QPointF(0, 0), QPointF(0.5, 0.5)}, false);
    EXPECT_EQ(log.texts(), (QStringList{"Failed to triangulate polygon", "Failed to triangulate polygon"}));
    EXPECT_EQ(controller->selection(), QVector<bool>(kPolygons, false));

    // A lasso around no polygon keeps the selection.
    controller->setSelection(polygons({20}));
    controller->onLassoSelection({QPointF(0.97, 0.97), QPointF(0.99, 0.97), QPointF(0.99, 0.99)}, false);
    EXPECT_EQ(controller->selection(), polygons({20}));
}

TEST_F(PolygonSelectionTest, ClicksTakeTheNearestVisiblePolygon)
{
    const int front = 5, behind = 16 + 5;  // the same place in both grids
    const QPoint p = centreOf(front);
    click(p);
    EXPECT_EQ(controller->selection(), polygons({front}));
    expectDrawnColours("click_front", range(0, 15));
    click(p, Qt::ControlModifier);
    EXPECT_EQ(controller->selection(), polygons({}));

    // A hidden polygon lets the click through to the one behind it.
    QVector<bool> frontHidden(kPolygons, true);
    frontHidden[front] = false;
    controller->setVisibility(frontHidden);
    click(p);
    EXPECT_EQ(controller->selection(), polygons({behind}));

    // Where only hidden polygons lie, nothing changes.
    QVector<bool> bothHidden = frontHidden;
    bothHidden[behind] = false;
    controller->setVisibility(bothHidden);
    controller->setSelection(polygons({}));
    click(p);
    EXPECT_EQ(controller->selection(), polygons({}));

    // Shift, Alt or the background select nothing.
    controller->unhideAll();
    click(p, Qt::ShiftModifier);
    click(p, Qt::AltModifier);
    click({1, 1});
    EXPECT_EQ(controller->selection(), polygons({}));
}

TEST_F(PolygonSelectionTest, ClickNeverPicksBehindTheEye)
{
    // One leaf holds both grids, so the ray query reports the front grid behind an eye placed
    // between the grids; the back grid in front of the eye must win.
    build(SelectionScene::twoGrids(), 1000);
    view->setCameraPosition(QQuaternion(), QVector3D(0, 0, 0), 0.0);
    view->makeCurrent();
    controller->onPointSelection(QPointF(0.1, 0.1), false);
    EXPECT_EQ(maskText(controller->selection()), maskText(polygons({16 + 2 * 4 + 2})));
}

TEST_F(PolygonSelectionTest, ClickTieGoesToTheLowerTriangle)
{
    // Polygon 1 lies exactly on polygon 0.
    auto twin = std::make_unique<GeomStack>(QVector<QVector3D>{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}},
                                            QVector<QList<int>>{{0, 1, 2, 3}, {0, 1, 2, 3}}, QVector<QVector2D>(),
                                            QVector<QList<int>>(), QVector<QVector3D>());
    build(std::move(twin), 10);
    click({130, 80});
    EXPECT_EQ(controller->selection(), polygons({0}, 2));
}

TEST_F(PolygonSelectionTest, PanelOperationsFollowTheirMaskFormulas)
{
    // Polygroups: frontLeft = 0, 1, 4, 5, 8, 9, 12, 13; frontRight = the other front polygons; back = 16-31.
    const QVector<bool> S0 = polygons({0, 2, 3, 16, 17});
    const QVector<bool> V0 = [] {
        QVector<bool> v(kPolygons, true);
        for (int p : {1, 3, 17, 30})
            v[p] = false;
        return v;
    }();
    struct Case {
        const char* name;
        std::function<void()> operation;
        QVector<bool> selection;
        QVector<bool> visibility;
    };
    QVector<bool> visibleWithoutS0 = V0;
    for (int p : {0, 2, 16})
        visibleWithoutS0[p] = false;
    QVector<bool> inverted(kPolygons, false);
    for (int p = 0; p < kPolygons; ++p)
        inverted[p] = !S0[p] && V0[p];
    QVector<bool> plusFrontLeft = S0;
    for (int p : {0, 4, 5, 8, 9, 12, 13})  // 1 is hidden
        plusFrontLeft[p] = true;
    const Case cases[] = {
        {"select all", [&] { controller->selectAll(); }, V0, V0},
        {"clear", [&] { controller->clearSelection(); }, polygons({}), V0},
        {"invert", [&] { controller->invertSelection(); }, inverted, V0},
        {"select by polygroup", [&] { controller->selectByPolygroup(0); }, plusFrontLeft, V0},
        // 3 is hidden and selected: deselecting its polygroup removes it all the same.
        {"deselect by polygroup", [&] { controller->deselectByPolygroup(1); }, polygons({0, 16, 17}), V0},
        {"select by unknown polygroup", [&] { controller->selectByPolygroup(7); }, S0, V0},
        {"hide selected", [&] { controller->hideSelected(); }, polygons({}), visibleWithoutS0},
        {"unhide all", [&] { controller->unhideAll(); }, S0, QVector<bool>(kPolygons, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        controller->setVisibility(V0);
        controller->setSelection(S0);
        c.operation();
        EXPECT_EQ(maskText(controller->selection()), maskText(c.selection));
        EXPECT_EQ(maskText(controller->visibility()), maskText(c.visibility));
        // Groups 0-2 draw the visible part of their polygroup, group 3 the selection.
        for (int g = 0; g < 3; ++g) {
            QVector<bool> drawnPolygons = GeometryStack::polygonMaskOfPolygroup(*mesh, g);
            for (int p = 0; p < kPolygons; ++p)
                drawnPolygons[p] = drawnPolygons[p] && c.visibility[p];
            EXPECT_EQ(SelectionScene::groupCornerMask(*drawn, g),
                      GeometryStack::polygonMaskToCornerMask(*mesh, drawnPolygons))
                << "group " << g;
        }
        EXPECT_EQ(SelectionScene::groupCornerMask(*drawn, 3),
                  GeometryStack::polygonMaskToCornerMask(*mesh, c.selection));
    }

    // Hidden polygons are neither drawn nor selectable by "All".
    controller->setVisibility(V0);
    controller->setSelection(S0);
    controller->hideSelected();
    controller->selectAll();
    expectDrawnColours("after_hide_select_all", range(0, 15));
}

TEST_F(PolygonSelectionTest, VisibilityRemasksOnlyThePolygroupGroups)
{
    // With polygroups, a group an owner added before the controller is emptied by a visibility change.
    release();
    view->makeCurrent();
    drawn = SelectionScene::drawnGeometry(*mesh);
    view->addObject(drawn.get());
    Viewport3D::ShadingGroup ownerGroup;
    drawn->addShadingGroup(ownerGroup, GeometryStack::polygonMaskToCornerMask(*mesh, polygons({7})));
    lasso = std::make_unique<Viewport3D::LassoSelectionController>(view.get());
    controller =
        std::make_unique<PolygonSelectionController>(mesh.get(), bvh.get(), drawn.get(), view.get(), lasso.get());
    controller->unhideAll();
    EXPECT_EQ(SelectionScene::groupCornerMask(*drawn, 3).indexOf(true), -1);

    // Without polygroups only group 0 follows the visibility; the owner's group keeps its mask.
    auto plain = SelectionScene::twoGrids(false);
    release();
    mesh = std::move(plain);
    bvh.reset(BVH2::buildTree(mesh->vertices, mesh->triangles, 10));
    view->makeCurrent();
    drawn = SelectionScene::drawnGeometry(*mesh);
    view->addObject(drawn.get());
    drawn->addShadingGroup(ownerGroup, GeometryStack::polygonMaskToCornerMask(*mesh, polygons({7})));
    lasso = std::make_unique<Viewport3D::LassoSelectionController>(view.get());
    controller =
        std::make_unique<PolygonSelectionController>(mesh.get(), bvh.get(), drawn.get(), view.get(), lasso.get());
    ASSERT_EQ(drawn->shadingGroupsCount(), 3);
    controller->setSelection(polygons({7, 8}));
    controller->hideSelected();
    QVector<bool> visible(kPolygons, true);
    visible[7] = visible[8] = false;
    EXPECT_EQ(SelectionScene::groupCornerMask(*drawn, 0), GeometryStack::polygonMaskToCornerMask(*mesh, visible));
    EXPECT_EQ(SelectionScene::groupCornerMask(*drawn, 1), GeometryStack::polygonMaskToCornerMask(*mesh, polygons({7})));

    // Deleting the controller removes only its own group and leaves the hidden polygons hidden.
    controller.reset();
    EXPECT_EQ(drawn->shadingGroupsCount(), 2);
    EXPECT_EQ(SelectionScene::groupCornerMask(*drawn, 0), GeometryStack::polygonMaskToCornerMask(*mesh, visible));
}

TEST_F(PolygonSelectionTest, ThreadedLassoEqualsOneVolumeAfterTheOther)
{
    // A wavy grid of 60 x 60 quads, seen at an angle, and a star-shaped lasso of many triangles.
    const int n = 60;
    const QVector<QVector3D> vertices = TestMeshes::gridPoints(n + 1, n + 1, [](int i, int j) {
        const float u = float(i) / n, v = float(j) / n;
        return QVector3D(2 * u - 1, 2 * v - 1, 0.2f * std::sin(9 * u) * std::cos(7 * v));
    });
    const QVector<QList<int>> quads = TestMeshes::gridFaces(n + 1, n + 1, TestMeshes::Cut::Quad);
    build(
        std::make_unique<GeomStack>(vertices, quads, QVector<QVector2D>(), QVector<QList<int>>(), QVector<QVector3D>()),
        10);
    view->setCameraPosition(QQuaternion::fromAxisAndAngle(1, 0.3f, 0, -50), QVector3D(), 3);

    QVector<QPointF> star;
    for (int k = 0; k < 30; ++k) {
        const double angle = 2 * 3.141592653589793 * k / 30;
        const double radius = (k % 2) ? 0.35 : 0.8;
        star.append(QPointF(0.1 + radius * std::cos(angle), radius * std::sin(angle)));
    }
    controller->onLassoSelection(star, false);

    view->makeCurrent();
    const QVector<BVH2::ConvexPolyhedron> volumes =
        PolygonSelectionTools::screenPolygonToSelectionPolyhedrons(star, view->projectionMatrix(), view->viewMatrix());
    ASSERT_EQ(volumes.size(), 28);
    QVector<bool> touched(mesh->triangles.size(), false);
    for (const BVH2::ConvexPolyhedron& volume : volumes)
        bvh->selectIntersectedTriangles(mesh->vertices, mesh->triangles, volume, touched);
    QVector<bool> expected(mesh->polygons.size(), false);
    for (int t = 0; t < touched.size(); ++t)
        if (touched[t])
            expected[mesh->triangleIndToPolygonInd[t]] = true;
    EXPECT_EQ(maskText(controller->selection()), maskText(expected));
    EXPECT_GT(expected.count(true), 300);
    EXPECT_GT(expected.count(false), 300);
}
