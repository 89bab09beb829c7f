// Sample-scene dialog: shown at start over the main window, its stored check box and its colours, scene loading,
// control points (also out of range), empty scene, and the buttons after a mode that ends inside its own start.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolNonRigidRegistration.h"
#include "Tarnwick/Tools/ToolSubset.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/demodialog.h"
#include "Tarnwick/demoscenes.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/toolbarmain2.h"
#include "Tarnwick/widgetparamssubset.h"
#include "editing/polygonselectioncontroller.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "tests/support/GLViewTestHelpers.h"
#include "tests/support/LogCapture.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/XStacking.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

QList<QAbstractButton*> sceneButtons(DemoDialog* dialog)
{
    return {dialog->findChild<QToolButton*>("btnLoadDemoHand"), dialog->findChild<QToolButton*>("btnLoadDemoTorso"),
            dialog->findChild<QToolButton*>("btnLoadDemoHead"),
            dialog->findChild<QPushButton*>("btnStartWithEmptyScene")};
}

QList<bool> enabledStates(DemoDialog* dialog)
{
    QList<bool> states;
    for (QAbstractButton* button : sceneButtons(dialog))
        states << button->isEnabled();
    return states;
}

// The dialog reads the scenes beside the executable: point that folder at `folder`.
void linkScenesTo(const QString& folder)
{
    const QString link = QCoreApplication::applicationDirPath() + "/DemoModels";
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(folder, link));
}

}  // namespace

TEST(DemoDialog, ShownAtStartAndAnUncheckedBoxIsStoredAsFalse)
{
    {
        std::unique_ptr<MainWindow> window;
        DemoDialog* dialog = nullptr;
        ASSERT_TRUE(TestSupport::startWindowWithDemoDialog(window, dialog));
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->windowTitle(), "Demo scenes");
        EXPECT_TRUE(dialog->windowFlags() & Qt::Tool);
        EXPECT_TRUE(dialog->isLoadDemoContentOnStart());
        EXPECT_EQ(enabledStates(dialog), QList<bool>({true, true, true, true}));
        EXPECT_EQ(sceneButtons(dialog)[0]->toolTip(), "Load hand demo");
        const QImage shot = dialog->grab().toImage();
        TestSupport::saveFrame(shot, "demo_dialog");
        // The hand's picture fills its button: blue in its middle.
        const QAbstractButton* hand = sceneButtons(dialog)[0];
        const QColor middle = shot.pixelColor(hand->geometry().center());
        EXPECT_GT(middle.blue(), middle.red() + 60) << qPrintable(middle.name());
        // The check box's text is light on the dark background: no dark strokes beside its indicator.
        auto* box = dialog->findChild<QCheckBox*>("checkLoadDemoContentOnStart");
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        const QRect label = box->style()
                                ->subElementRect(QStyle::SE_CheckBoxContents, &option, box)
                                .translated(box->mapTo(dialog, QPoint(0, 0)));
        int light = 0, dark = 0;
        for (int y = label.top(); y <= label.bottom(); ++y)
            for (int x = label.left(); x <= label.right(); ++x) {
                const int lightness = shot.pixelColor(x, y).lightness();
                light += lightness > 170;
                dark += lightness < 40;
            }
        EXPECT_GT(light, 40);
        EXPECT_EQ(dark, 0);
        // Only the text: the check mark stays dark on its light box.
        const QRect indicator = box->style()
                                    ->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box)
                                    .translated(box->mapTo(dialog, QPoint(0, 0)));
        int markDark = 0;
        for (int y = indicator.top(); y <= indicator.bottom(); ++y)
            for (int x = indicator.left(); x <= indicator.right(); ++x)
                markDark += shot.pixelColor(x, y).lightness() < 60;
        EXPECT_GT(markDark, 5);
        QTest::mouseClick(dialog->findChild<QCheckBox*>("checkLoadDemoContentOnStart"), Qt::LeftButton);
        EXPECT_FALSE(dialog->isLoadDemoContentOnStart());
        window->close();
    }
    EXPECT_EQ(QSettings(TestSupport::settingsFile(), QSettings::IniFormat).value("loadDemoOnStart").toString(),
              "false");
    std::unique_ptr<MainWindow> window;
    ASSERT_TRUE(TestSupport::startWindow(window));
    EXPECT_EQ(window->demoDialog(), nullptr);
    window->close();
    EXPECT_EQ(QSettings(TestSupport::settingsFile(), QSettings::IniFormat).value("loadDemoOnStart").toString(),
              "false");
}

// A start dialog where nobody looks is no start dialog: it comes up centred over the main window, below its menu
// bar and mode tool bar, above it in the X server's stacking order, and active.
TEST(DemoDialog, AppearsCentredOverTheMainWindowAboveItAndActive)
{
    std::unique_ptr<MainWindow> window;
    DemoDialog* dialog = nullptr;
    ASSERT_TRUE(TestSupport::startWindowWithDemoDialog(window, dialog));
    // The dialog itself holds the focus (a tool window also counts as active while its main window is).
    EXPECT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == dialog->windowHandle(); }, 5000));
    EXPECT_TRUE(dialog->windowFlags() & Qt::Tool);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), window.get());
    QGuiApplication::sync();

    const QRect main = window->frameGeometry();
    const QRect own = dialog->frameGeometry();
    EXPECT_EQ(main.united(own), main) << "the dialog lies within the main window";
    EXPECT_LE((own.center() - main.center()).manhattanLength(), 2);
    // The menu bar and the mode tool bar stay in sight.
    const int windowTop = window->mapToGlobal(QPoint(0, 0)).y();
    EXPECT_GE(own.top(), windowTop + 60);
    auto* toolbar = window->findChild<QToolBar*>();
    ASSERT_NE(toolbar, nullptr);
    EXPECT_LE(toolbar->mapToGlobal(QPoint(0, toolbar->height())).y(), own.top());
    EXPECT_LE(window->menuBar()->mapToGlobal(QPoint(0, window->menuBar()->height())).y(), own.top());

    const int dialogLevel = TestSupport::stackingPosition(dialog->winId());
    const int windowLevel = TestSupport::stackingPosition(window->winId());
    ASSERT_GE(windowLevel, 0);
    EXPECT_GT(dialogLevel, windowLevel);
    TestSupport::saveFrame(QGuiApplication::primaryScreen()->grabWindow(0).toImage(), "demo_dialog_at_start");
    window->close();
}

// One test, as the scenes' folder beside the test program is switched on the way.
TEST(DemoDialog, ScenesLoadStartTheRegistrationModeWithTheirControlPoints)
{
    std::unique_ptr<MainWindow> window;
    DemoDialog* dialog = nullptr;
    ASSERT_TRUE(TestSupport::startWindowWithDemoDialog(window, dialog));
    ControllerMain* main = window->controllerMain();
    Tools::ToolsController* tools = window->toolsController();
    auto* registration = qobject_cast<Tools::ToolNonRigidRegistration*>(tools->tool(1));
    ASSERT_NE(registration, nullptr);

    // A scene whose scan is missing: the template loads, the failure is logged, no mode starts.
    QTemporaryDir partial;
    ASSERT_TRUE(
        QFile::copy(QString(PLYFORM_DEMO_MODELS_DIR) + "/HandTemplate.obj", partial.filePath("HandTemplate.obj")));
    linkScenesTo(partial.path());
    {
        TestSupport::LogCapture log;
        QTest::mouseClick(sceneButtons(dialog)[0], Qt::LeftButton);
        EXPECT_TRUE(log.contains("Failed to load target:"));
    }
    EXPECT_TRUE(main->isTemplateLoaded());
    EXPECT_FALSE(main->isTargetLoaded());
    EXPECT_EQ(tools->currentToolIndex(), -1);
    EXPECT_EQ(enabledStates(dialog), QList<bool>({true, true, true, true}));

    // A scene whose meshes are too small for its control points: the mode starts, the registration controller
    // refuses both lists.
    QTemporaryDir boxes;
    ASSERT_FALSE(TestSupport::writeBoxObj(boxes.filePath("HandTemplate.obj"), 1, 2, 3).isEmpty());
    ASSERT_FALSE(TestSupport::writeBoxObj(boxes.filePath("HandScan.obj"), 1, 2, 3).isEmpty());
    linkScenesTo(boxes.path());
    {
        TestSupport::LogCapture log;
        QTest::mouseClick(sceneButtons(dialog)[0], Qt::LeftButton);
        EXPECT_TRUE(log.contains("Template control points refused: some indices refer to nonexistent vertices"));
        EXPECT_TRUE(log.contains("Target control points refused: some indices refer to nonexistent vertices"));
    }
    EXPECT_EQ(tools->currentToolIndex(), 1);
    ASSERT_NE(registration->controller(), nullptr);
    EXPECT_TRUE(registration->controller()->srcControlPointsList().isEmpty());
    EXPECT_TRUE(registration->controller()->dstControlPointsList().isEmpty());
    tools->releaseTool(1, Tools::Cancel);

    linkScenesTo(PLYFORM_DEMO_MODELS_DIR);
    const QVector<DemoScenes::Scene> scenes = DemoScenes::scenes();
    for (int s = 0; s < 3; ++s) {
        SCOPED_TRACE(qPrintable(scenes[s].name));
        QTest::mouseClick(sceneButtons(dialog)[s], Qt::LeftButton);
        EXPECT_TRUE(main->isTemplateLoaded());
        EXPECT_TRUE(main->isTargetLoaded());
        EXPECT_EQ(tools->currentToolIndex(), 1);
        EXPECT_EQ(enabledStates(dialog), QList<bool>({false, false, false, false}));
        EXPECT_TRUE(dialog->findChild<QCheckBox*>("checkLoadDemoContentOnStart")->isEnabled());
        ASSERT_NE(registration->controller(), nullptr);
        EXPECT_EQ(registration->controller()->srcControlPointsList(), scenes[s].templateControlPoints);
        EXPECT_EQ(registration->controller()->dstControlPointsList(), scenes[s].targetControlPoints);
        tools->releaseTool(1, Tools::Cancel);
        EXPECT_EQ(enabledStates(dialog), QList<bool>({true, true, true, true}));
    }

    QFile::remove(QCoreApplication::applicationDirPath() + "/DemoModels");
}

TEST(DemoDialog, StartWithEmptySceneRemovesBothModelsAndResetsTheCameras)
{
    std::unique_ptr<MainWindow> window;
    DemoDialog* dialog = nullptr;
    ASSERT_TRUE(TestSupport::startWindowWithDemoDialog(window, dialog));
    ControllerMain* main = window->controllerMain();
    for (Viewport3D::Viewport3D2* view : {main->viewport3DTemplate, main->viewport3DTarget}) {
        view->makeCurrent();
        view->setCameraPosition(QQuaternion::fromAxisAndAngle(0, 1, 0, 40), QVector3D(1, 2, 3), 17.0);
    }
    // Nothing to fit in the results view: its camera stays where it is.
    main->viewport3DResults->camera().distance = 7;
    main->viewport3DResults->camera().target = QVector3D(4, 5, 6);
    QSignalSpy templateRemoved(main, &ControllerMain::templateRemoved);
    QSignalSpy targetRemoved(main, &ControllerMain::targetRemoved);
    QTest::mouseClick(sceneButtons(dialog)[3], Qt::LeftButton);
    EXPECT_EQ(templateRemoved.count(), 1);
    EXPECT_EQ(targetRemoved.count(), 1);
    for (Viewport3D::Viewport3D2* view : {main->viewport3DTemplate, main->viewport3DTarget}) {
        EXPECT_DOUBLE_EQ(view->distance, 3.0);
        EXPECT_EQ(view->target, QVector3D(0, 0, 0));
        EXPECT_TRUE(view->rotation.isIdentity());
    }
    EXPECT_EQ(main->viewport3DResults->camera().distance, 7);
    EXPECT_EQ(main->viewport3DResults->camera().target, QVector3D(4, 5, 6));
    EXPECT_TRUE(dialog->isVisible());
}

// The subset mode entered in its Apply phase ends inside its own start (released before it is reported started):
// the dialog's buttons follow whether a mode is active, not the order of the two signals.
TEST(DemoDialog, ButtonsFollowWhetherAModeIsActiveAfterASubsetApplyAtStart)
{
    std::unique_ptr<MainWindow> window;
    DemoDialog* dialog = nullptr;
    ASSERT_TRUE(TestSupport::startWindowWithDemoDialog(window, dialog));
    ControllerMain* main = window->controllerMain();
    Tools::ToolsController* tools = window->toolsController();
    QTemporaryDir dir;
    ASSERT_EQ(main->loadTemplate(TestSupport::writeBoxObj(dir.filePath("box.obj"), 1, 2, 3)), "");
    int subsetIndex = -1;
    for (int i = 0; i < tools->toolCount(); ++i)
        if (qobject_cast<Tools::ToolSubset*>(tools->tool(i)))
            subsetIndex = i;
    ASSERT_GE(subsetIndex, 0);
    auto* subset = qobject_cast<Tools::ToolSubset*>(tools->tool(subsetIndex));
    QAbstractButton* subsetButton = window->toolbar()->buttons.at(subsetIndex);

    // Select: two polygons kept, Done crops; the buttons are off only while the mode runs.
    QTest::mouseClick(subsetButton, Qt::LeftButton);
    ASSERT_EQ(tools->currentToolIndex(), subsetIndex);
    EXPECT_EQ(enabledStates(dialog), QList<bool>({false, false, false, false}));
    ASSERT_NE(subset->getSelectionController(), nullptr);
    subset->getSelectionController()->setSelection({true, true, false, false, false, false});
    QTest::mouseClick(subset->getPanel()->findChild<QAbstractButton*>("btnDone"), Qt::LeftButton);
    ASSERT_EQ(subset->phase, 1);
    EXPECT_EQ(enabledStates(dialog), QList<bool>({true, true, true, true}));

    // Apply: released before it is reported initialised, and no mode is active afterwards.
    QStringList order;
    QObject context;
    QObject::connect(tools, &Tools::ToolsController::toolInitialized, &context, [&](int) { order << "initialized"; });
    QObject::connect(tools, &Tools::ToolsController::toolReleased, &context, [&](int) { order << "released"; });
    QTest::mouseClick(subsetButton, Qt::LeftButton);
    EXPECT_EQ(order, QStringList({"released", "initialized"}));
    EXPECT_EQ(tools->currentToolIndex(), -1);
    EXPECT_EQ(subset->phase, 0);
    EXPECT_EQ(enabledStates(dialog), QList<bool>({true, true, true, true}));
    EXPECT_TRUE(dialog->findChild<QCheckBox*>("checkLoadDemoContentOnStart")->isEnabled());

    // And the next mode still turns them off and back on.
    QTest::mouseClick(subsetButton, Qt::LeftButton);
    ASSERT_EQ(tools->currentToolIndex(), subsetIndex);
    EXPECT_EQ(enabledStates(dialog), QList<bool>({false, false, false, false}));
    tools->releaseTool(subsetIndex, Tools::Cancel);
    EXPECT_EQ(enabledStates(dialog), QList<bool>({true, true, true, true}));
}
