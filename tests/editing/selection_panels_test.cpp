// The selection panels: their Designer forms (names, texts, looks), the buttons driving real
// controllers on a shown view, and the polygroup controls disabled for a mesh without polygroups.
#include "SelectionScene.h"
#include "editing/SelectionPanelStyle.h"
#include "editing/polygonselectioncontroller.h"
#include "editing/polygonselectionwidget.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/Viewport3D2.h"
#include "spatial/BVH.h"
#include "support/GLViewTestHelpers.h"
#include "support/QtPrinters.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using SelectionScene::kPolygons;
using SelectionScene::polygons;

namespace {

class PolygonPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = std::make_unique<Viewport3D::Viewport3D2>();
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(200, 200), [this] { return view->isInitialized(); }));
    }

    void build(bool withPolygroups)
    {
        mesh = SelectionScene::twoGrids(withPolygroups);
        bvh.reset(BVH2::buildTree(mesh->vertices, mesh->triangles, 10));
        view->makeCurrent();
        drawn = SelectionScene::drawnGeometry(*mesh);
        view->addObject(drawn.get());
        lasso = std::make_unique<Viewport3D::LassoSelectionController>(view.get());
        controller =
            std::make_unique<PolygonSelectionController>(mesh.get(), bvh.get(), drawn.get(), view.get(), lasso.get());
        panel = std::make_unique<PolygonSelectionWidget>(controller.get(), nullptr);
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get(), 5000));
    }

    void TearDown() override
    {
        panel.reset();
        controller.reset();
        lasso.reset();
        if (drawn) {
            view->makeCurrent();
            view->removeObject(drawn.get());
            drawn.reset();
        }
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

    std::unique_ptr<Viewport3D::Viewport3D2> view;
    std::unique_ptr<GeometryStack::GeomStack> mesh;
    std::unique_ptr<BVH2::BvhNodeBase> bvh;
    std::unique_ptr<Viewport3D::GLGeometrySplitted> drawn;
    std::unique_ptr<Viewport3D::LassoSelectionController> lasso;
    std::unique_ptr<PolygonSelectionController> controller;
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
