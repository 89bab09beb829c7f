// Brush panel over a live brush controller: its initial state, the form's
// fixed properties, right-aligned values in the spin boxes, values forwarded
// to the controller, and values coming back from the controller shown without
// being sent again.
#include "SculptScene.h"
#include "editing/BrushController.h"
#include "editing/WidgetBrushController.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/GLViewTestHelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using Viewport3D::Viewport3DLayered;

class BrushPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = std::make_unique<Viewport3DLayered>();
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(120, 120), [this] { return view->isInitialized(); }));
        view->makeCurrent();
        drawn = scene.makeDrawnGeometry();
        controller = std::make_unique<BrushController>(&scene.templateMesh, &scene.neighbours, &scene.boundary,
                                                       drawn.get(), view.get());
        controller->addBrush(scene.relax.get(), "Relax brush");
        controller->addBrush(scene.move.get(), "Move brush");
        controller->addBrush(scene.projection.get(), "Projection brush");
        controller->addBrush(scene.pushAway.get(), "Push away brush");
        controller->setCurrentBrush(0);
    }
    void TearDown() override
    {
        panel.reset();
        controller.reset();
        view->makeCurrent();
        drawn.reset();
        view.reset();
    }
    void makePanel()
    {
        radiusSpy = std::make_unique<QSignalSpy>(controller.get(), &BrushController::brushRadiusChanged);
        panel = std::make_unique<WidgetBrushController>(controller.get(), nullptr);
        panel->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    }
    template <class T>
    T* child(const char* name)
    {
        T* widget = panel->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    // On the check mark: the boxes stretch far beyond their (short or empty) text.
    static void clickIndicator(QWidget* button)
    {
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
    }
    QList<QRadioButton*> radios() { return child<QGroupBox>("groupBoxBrushType")->findChildren<QRadioButton*>(); }

    SculptScene::Scene scene{11};  // spacing 0.2: radius 1, distance 0.6
    std::unique_ptr<Viewport3DLayered> view;
    std::unique_ptr<Viewport3D::GLGeometrySplitted> drawn;
    std::unique_ptr<BrushController> controller;
    std::unique_ptr<QSignalSpy> radiusSpy;
    std::unique_ptr<WidgetBrushController> panel;
};

TEST_F(BrushPanelTest, OpensWithTheControllersValuesAndSendsNothing)
{
    makePanel();
    EXPECT_EQ(panel->objectName(), "WidgetBrushController");
    EXPECT_EQ(panel->windowTitle(), "Form");
    auto* radius = child<QDoubleSpinBox>("spinBrushRadius");
    auto* intensity = child<QDoubleSpinBox>("spinBrushIntensity");
    auto* distance = child<QDoubleSpinBox>("spinMaxProjectionDist");
    EXPECT_NEAR(radius->value(), 1.0, 0.005);
    EXPECT_NEAR(radius->singleStep(), 0.2, 1e-6) << "one median distance";
    EXPECT_EQ(radius->minimum(), 0.01);
    EXPECT_EQ(radius->maximum(), 10000);
    EXPECT_EQ(radius->decimals(), 2);
    EXPECT_EQ(intensity->value(), 1.0);
    EXPECT_EQ(intensity->singleStep(), 0.1);
    EXPECT_EQ(intensity->maximum(), 1.0);
    EXPECT_NEAR(distance->value(), 0.6, 0.005);
    EXPECT_NEAR(distance->singleStep(), 0.12, 1e-6);
    EXPECT_TRUE(child<QCheckBox>("chkProtectBoundaries")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("chkRecomputeNormals")->isChecked());
    EXPECT_EQ(child<QPushButton>("btnCancel")->text(), "Cancel");
    EXPECT_EQ(child<QPushButton>("btnDone")->text(), "Done");
    EXPECT_EQ(child<QGroupBox>("groupBoxBrushType")->title(), "Brush type");
    EXPECT_EQ(child<QGroupBox>("groupBoxBrushParams")->title(), "Brush parameters");

    const QList<QRadioButton*> buttons = radios();
    ASSERT_EQ(buttons.size(), 4);
    QStringList texts;
    for (QRadioButton* b : buttons)
        texts << b->text();
    EXPECT_EQ(texts, controller->brushNames());
    EXPECT_TRUE(buttons[0]->isChecked());
    // Nothing went back: the radius signal is silent and the rounded box values were not taken.
    EXPECT_EQ(radiusSpy->count(), 0);
    EXPECT_EQ(controller->brushRadius(), controller->initialBrushRadius());
    EXPECT_EQ(controller->maxProjectionDist(), controller->initialMaxProjectionDist());
    EXPECT_EQ(controller->currentBrushIndex(), 0);

    clickIndicator(buttons[1]);
    EXPECT_TRUE(buttons[1]->isChecked());
    EXPECT_FALSE(buttons[0]->isChecked());
    EXPECT_EQ(controller->currentBrushIndex(), 1);
    clickIndicator(buttons[3]);
    EXPECT_EQ(controller->currentBrushIndex(), 3);
}

TEST_F(BrushPanelTest, SpinBoxesShowTheirValuesRightAlignedBesideTheirLabels)
{
    makePanel();
    child<QPushButton>("btnDone")->setFocus();  // no caret or selection in the boxes
    QApplication::processEvents();
    for (const char* name : {"spinBrushRadius", "spinBrushIntensity", "spinMaxProjectionDist"}) {
        SCOPED_TRACE(name);
        auto* box = child<QDoubleSpinBox>(name);
        EXPECT_EQ(box->alignment(), Qt::AlignRight | Qt::AlignVCenter);

        // The value's ink lies nearer the field's right end than its left.
        const QImage image = box->grab().toImage();
        TestSupport::saveFrame(image, QString("brush_panel_%1").arg(name));
        const auto* field = box->findChild<QLineEdit*>();
        ASSERT_NE(field, nullptr);
        const QColor base = field->palette().color(QPalette::Base);
        const qreal ratio = image.devicePixelRatio();
        QRect ink;
        const QRect area = field->geometry();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (!TestSupport::colorNear(image.pixelColor(QPoint(x, y) * ratio), base, 100))
                    ink |= QRect(x, y, 1, 1);
        ASSERT_FALSE(ink.isEmpty());
        EXPECT_GT(ink.left() - area.left(), 2 * (area.right() - ink.right())) << box->text().toStdString();
    }
    // The labels keep their own alignment.
    for (const char* name : {"lblBrushRadius", "lblIntensity", "lblMaxProjectionDist"})
        EXPECT_EQ(child<QLabel>(name)->alignment(), Qt::AlignRight | Qt::AlignVCenter) << name;
    for (const char* name : {"lblProtectBoundaries", "lblRecomputeNormals"})
        EXPECT_EQ(child<QLabel>(name)->alignment(), Qt::AlignLeft | Qt::AlignVCenter) << name;
}

TEST_F(BrushPanelTest, ValuesGoToTheControllerAndComeBackWithoutEcho)
{
    makePanel();
    auto* radius = child<QDoubleSpinBox>("spinBrushRadius");
    radius->setValue(3.5);
    EXPECT_EQ(controller->brushRadius(), 3.5);
    EXPECT_EQ(radius->value(), 3.5);
    EXPECT_EQ(radiusSpy->count(), 1) << "the controller's echo is not sent back";

    // A radius drag in the view shows in the box without a second call.
    controller->setBrushRadius(2.25);
    EXPECT_EQ(radius->value(), 2.25);
    EXPECT_EQ(radiusSpy->count(), 2);
    // Beyond the box's range: shown clamped, the controller keeps its value.
    controller->setBrushRadius(20000);
    EXPECT_EQ(radius->value(), 10000);
    EXPECT_EQ(controller->brushRadius(), 20000);
    EXPECT_EQ(radiusSpy->count(), 3);

    child<QDoubleSpinBox>("spinBrushIntensity")->setValue(0.4);
    EXPECT_EQ(controller->brushIntensity(), 0.4);
    child<QDoubleSpinBox>("spinMaxProjectionDist")->setValue(2.5);
    EXPECT_EQ(controller->maxProjectionDist(), 2.5);
    clickIndicator(child<QCheckBox>("chkProtectBoundaries"));
    EXPECT_FALSE(controller->protectBoundaries());
    clickIndicator(child<QCheckBox>("chkRecomputeNormals"));
    EXPECT_TRUE(controller->recomputeNormals());

    QSignalSpy done(panel.get(), &WidgetBrushController::done);
    QSignalSpy cancel(panel.get(), &WidgetBrushController::cancel);
    QTest::mouseClick(child<QPushButton>("btnDone"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>("btnCancel"), Qt::LeftButton);
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(cancel.count(), 1);
}

TEST_F(BrushPanelTest, OutOfRangeControllerValuesAreShownClampedAndKept)
{
    controller->setMaxProjectionDist(50000);
    controller->setCurrentBrush(2);
    makePanel();
    EXPECT_EQ(child<QDoubleSpinBox>("spinMaxProjectionDist")->value(), 10000);
    EXPECT_EQ(controller->maxProjectionDist(), 50000);
    EXPECT_TRUE(radios()[2]->isChecked());
    EXPECT_EQ(controller->currentBrushIndex(), 2);
}
