// The selection panels: their Designer forms (names, texts, looks), the buttons driving real
// point and polygon controllers on a shown view, the point count kept up to date, and the
// polygroup controls disabled for a mesh without polygroups.
#include "SelectionScene.h"
#include "editing/SelectionPanelStyle.h"
#include "editing/pointselectioncontroller.h"
#include "editing/pointselectionwidget.h"
#include "editing/polygonselectioncontroller.h"
#include "editing/polygonselectionwidget.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/Viewport3D2.h"
#include "rendering/labelfontatlas.h"
#include "spatial/BVH.h"
#include "spatial/KDTree.h"
#include "support/GLViewTestHelpers.h"
#include "support/QtPrinters.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using SelectionScene::kPolygons;
using SelectionScene::polygons;

namespace {

class PolygonPanelTest : public ::testing::Test, protected SelectionScene::PolygonSelectionRig {
protected:
    void SetUp() override
    {
        view = std::make_unique<Viewport3D::Viewport3D2>();
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(200, 200), [this] { return view->isInitialized(); }));
    }

    void build(bool withPolygroups)
    {
        PolygonSelectionRig::build(SelectionScene::twoGrids(withPolygroups), 10);
        panel = std::make_unique<PolygonSelectionWidget>(controller.get(), nullptr);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get(), 5000));
    }

    void TearDown() override
    {
        panel.reset();
        release();
        view.reset();
    }

    template <class T>
    T* child(const char* name)
    {
        T* widget = panel->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    void press(const char* button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }

    std::unique_ptr<PolygonSelectionWidget> panel;
};

const char* const kButtons[] = {"btnSelectAll",         "btnClearSelection",      "btnInvertSelection",
                                "btnSelectByPolygroup", "btnDeselectByPolygroup", "btnHideSelected",
                                "btnUnhideAll"};

}  // namespace

TEST_F(PolygonPanelTest, FormHasItsNamesTextsAndLook)
{
    build(true);
    EXPECT_EQ(panel->objectName(), "PolygonSelectionWidget");
    EXPECT_EQ(panel->windowTitle(), "Form");
    EXPECT_TRUE(panel->autoFillBackground());
    EXPECT_EQ(panel->sizePolicy().horizontalPolicy(), QSizePolicy::Preferred);
    EXPECT_EQ(panel->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
    EXPECT_EQ(child<QFrame>("frame")->styleSheet(), "QFrame#frame{\nbackground-color: rgb(63,62,58);\n}");
    const QString texts[] = {"All", "Clear", "Invert", "+", "-", "Hide selected", "Unhide all"};
    for (int i = 0; i < 7; ++i) {
        QPushButton* button = child<QPushButton>(kButtons[i]);
        EXPECT_EQ(button->text(), texts[i]);
        EXPECT_EQ(button->styleSheet(), SelectionPanelStyle::buttonStyleSheet());
        EXPECT_TRUE(button->isEnabled());
    }
    EXPECT_EQ(child<QPushButton>("btnSelectByPolygroup")->maximumWidth(), 23);
    EXPECT_EQ(child<QPushButton>("btnDeselectByPolygroup")->maximumWidth(), 23);
    EXPECT_EQ(child<QPushButton>("btnUnhideAll")->maximumWidth(), 60);

    QComboBox* box = child<QComboBox>("comboBoxPolygroups");
    EXPECT_EQ(box->styleSheet(), "color:black;");
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0), "frontLeft");
    EXPECT_EQ(box->itemText(1), "frontRight");
    EXPECT_EQ(box->itemText(2), "back");
    EXPECT_EQ(box->currentIndex(), 0);
    EXPECT_TRUE(box->isEnabled());

    // The button look: light buttons on the dark frame.
    const QImage image = panel->grab().toImage();
    TestSupport::saveFrame(image, "polygon_panel");
    QPushButton* all = child<QPushButton>("btnSelectAll");
    const QPoint inside = all->mapTo(panel.get(), QPoint(3, all->height() / 2));
    EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(inside), QColor(184, 184, 184), 2));
    const QPoint spacer = child<QPushButton>("btnUnhideAll")->geometry().topRight() + QPoint(20, 5);
    EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(child<QFrame>("frame")->mapTo(panel.get(), spacer)),
                                       QColor(63, 62, 58), 2));
}

TEST_F(PolygonPanelTest, ButtonsDriveTheController)
{
    build(true);
    QVector<bool> V0(kPolygons, true);
    V0[1] = V0[30] = false;
    const QVector<bool> S0 = polygons({0, 2, 16});

    struct Case {
        const char* button;
        int polygroup;  // current item of the box
        QVector<bool> selection;
        QVector<bool> visibility;
    };
    QVector<bool> inverted(kPolygons);
    for (int p = 0; p < kPolygons; ++p)
        inverted[p] = !S0[p] && V0[p];
    QVector<bool> plusBack = S0;
    for (int p = 16; p < kPolygons; ++p)
        plusBack[p] = V0[p];
    QVector<bool> hidden = V0;
    hidden[0] = hidden[2] = hidden[16] = false;
    const Case cases[] = {
        {"btnSelectAll", 0, V0, V0},
        {"btnClearSelection", 0, polygons({}), V0},
        {"btnInvertSelection", 0, inverted, V0},
        {"btnSelectByPolygroup", 2, plusBack, V0},
        {"btnDeselectByPolygroup", 1, polygons({0, 16}), V0},
        {"btnDeselectByPolygroup", 2, polygons({0, 2}), V0},
        {"btnHideSelected", 0, polygons({}), hidden},
        {"btnUnhideAll", 0, S0, QVector<bool>(kPolygons, true)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        controller->setVisibility(V0);
        controller->setSelection(S0);
        child<QComboBox>("comboBoxPolygroups")->setCurrentIndex(c.polygroup);
        press(c.button);
        EXPECT_EQ(controller->selection(), c.selection);
        EXPECT_EQ(controller->visibility(), c.visibility);
    }

    // "All" repaints the view in the selection colour.
    controller->unhideAll();
    press("btnSelectAll");
    const QImage frame = TestSupport::renderFrame(view.get());
    TestSupport::saveFrame(frame, "polygon_panel_all");
    EXPECT_TRUE(TestSupport::colorNear(frame.pixelColor(75, 75), QColor(128, 0, 0), 3));
}

TEST_F(PolygonPanelTest, WithoutPolygroupsThePolygroupControlsAreDisabled)
{
    build(false);
    QComboBox* box = child<QComboBox>("comboBoxPolygroups");
    EXPECT_EQ(box->count(), 0);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(child<QPushButton>("btnSelectByPolygroup")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("btnDeselectByPolygroup")->isEnabled());

    // Disabled buttons ignore clicks; the slots themselves ignore the empty box.
    controller->setSelection(polygons({3}));
    press("btnSelectByPolygroup");
    press("btnDeselectByPolygroup");
    QMetaObject::invokeMethod(panel.get(), "on_btnSelectByPolygroup_clicked");
    QMetaObject::invokeMethod(panel.get(), "on_btnDeselectByPolygroup_clicked");
    EXPECT_EQ(controller->selection(), polygons({3}));

    // Everything else works.
    press("btnHideSelected");
    QVector<bool> visible(kPolygons, true);
    visible[3] = false;
    EXPECT_EQ(controller->visibility(), visible);
    press("btnSelectAll");
    EXPECT_EQ(controller->selection(), visible);
    press("btnInvertSelection");
    EXPECT_EQ(controller->selection(), polygons({}));
    press("btnUnhideAll");
    EXPECT_EQ(controller->visibility(), QVector<bool>(kPolygons, true));
    press("btnSelectAll");
    press("btnClearSelection");
    EXPECT_EQ(controller->selection(), polygons({}));
}

namespace {

class PointPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::registerMouseSignalTypes();
        view = std::make_unique<Viewport3D::Viewport3D2>();
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(200, 200), [this] { return view->isInitialized(); }));
        mesh = SelectionScene::twoGrids();
        bvh.reset(BVH2::buildTree(mesh->vertices, mesh->triangles, 10));
        kdTree.reset(KDTree::buildTree(mesh->vertices, 10));
        atlas = std::make_unique<LabelFontAtlas>(QFont("Arial", 12, QFont::Bold), 4, Qt::yellow, Qt::black, 2,
                                                 printableAsciiChars());
        view->makeCurrent();
        drawn = SelectionScene::drawnGeometry(*mesh);
        view->addObject(drawn.get());
        controller = std::make_unique<PointSelectionController>(&mesh->vertices, &mesh->triangles, bvh.get(),
                                                                kdTree.get(), atlas.get(), view.get(), Qt::yellow);
    }

    void showPanel()
    {
        panel = std::make_unique<PointSelectionWidget>(controller.get(), nullptr);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get(), 5000));
    }

    void TearDown() override
    {
        panel.reset();
        controller.reset();
        if (drawn) {
            view->makeCurrent();
            view->removeObject(drawn.get());
            drawn.reset();
        }
        view.reset();
    }

    QString count() const { return panel->findChild<QLineEdit*>("txtNSelectedPoints")->text(); }
    void press(const char* button) { QTest::mouseClick(panel->findChild<QPushButton*>(button), Qt::LeftButton); }

    std::unique_ptr<Viewport3D::Viewport3D2> view;
    std::unique_ptr<GeometryStack::GeomStack> mesh;
    std::unique_ptr<BVH2::BvhNodeBase> bvh;
    std::unique_ptr<KDTree::NodeBase> kdTree;
    std::unique_ptr<LabelFontAtlas> atlas;
    std::unique_ptr<Viewport3D::GLGeometrySplitted> drawn;
    std::unique_ptr<PointSelectionController> controller;
    std::unique_ptr<PointSelectionWidget> panel;
};

}  // namespace

TEST_F(PointPanelTest, FormHasItsNamesTextsAndLook)
{
    controller->setSelectedPoints({});
    showPanel();
    EXPECT_EQ(panel->objectName(), "PointSelectionWidget");
    EXPECT_EQ(panel->windowTitle(), "Form");
    EXPECT_EQ(panel->findChild<QFrame*>("frame")->styleSheet(), "QFrame#frame{\nbackground-color: rgb(63,62,58);\n}");
    QPushButton* clearAll = panel->findChild<QPushButton*>("btnClearAllPoints");
    QPushButton* removeLast = panel->findChild<QPushButton*>("btnRemoveLastPoint");
    ASSERT_NE(clearAll, nullptr);
    ASSERT_NE(removeLast, nullptr);
    EXPECT_EQ(clearAll->text(), "Clear All");
    EXPECT_EQ(removeLast->text(), "Remove last");
    EXPECT_EQ(clearAll->styleSheet(), SelectionPanelStyle::buttonStyleSheet());
    EXPECT_EQ(removeLast->styleSheet(), SelectionPanelStyle::buttonStyleSheet());
    QLabel* label = panel->findChild<QLabel*>("lblNSelectedPoints");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Points selected:");
    EXPECT_EQ(label->styleSheet(), "color: rgb(128,128,128);");
    QLineEdit* number = panel->findChild<QLineEdit*>("txtNSelectedPoints");
    ASSERT_NE(number, nullptr);
    EXPECT_TRUE(number->isReadOnly());
    EXPECT_EQ(number->maximumWidth(), 30);
    EXPECT_EQ(number->styleSheet(), "border-radius: 2px;");
    EXPECT_EQ(count(), "0");
    TestSupport::saveFrame(panel->grab().toImage(), "point_panel");
}

TEST_F(PointPanelTest, CountFollowsTheControllerAndButtonsDriveIt)
{
    controller->setSelectedPoints({3, 9, 27});
    showPanel();
    EXPECT_EQ(count(), "3");

    // A click on the mesh appends a point; the panel hears of it through selectionChanged().
    view->makeCurrent();
    const QVector3D ndc = (view->projectionMatrix() * view->viewMatrix()).map(mesh->vertices[12]);
    const QPoint pixel(qRound((ndc.x() + 1) * 100), qRound((1 - ndc.y()) * 100));
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, pixel, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, pixel, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    EXPECT_EQ(controller->selectedPoints(), (QList<int>{3, 9, 27, 12}));
    EXPECT_EQ(count(), "4");

    press("btnRemoveLastPoint");
    EXPECT_EQ(controller->selectedPoints(), (QList<int>{3, 9, 27}));
    EXPECT_EQ(count(), "3");
    press("btnClearAllPoints");
    EXPECT_TRUE(controller->selectedPoints().isEmpty());
    EXPECT_EQ(count(), "0");

    // On an empty list "Remove last" changes nothing and the controller says nothing.
    QSignalSpy changes(controller.get(), &PointSelectionController::selectionChanged);
    press("btnRemoveLastPoint");
    EXPECT_EQ(changes.size(), 0);
    EXPECT_EQ(count(), "0");
    EXPECT_TRUE(panel->findChild<QPushButton*>("btnRemoveLastPoint")->isEnabled());
}
