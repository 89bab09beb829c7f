// Sample-scene dialog: shown at start, its stored check box, scene loading, control points, empty scene.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolNonRigidRegistration.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/demodialog.h"
#include "Tarnwick/demoscenes.h"
#include "Tarnwick/mainwindow.h"
#include "rendering/Viewport3D2.h"
#include "tests/support/LogCapture.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
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
    TestSupport::clearSettings();
    {
        std::unique_ptr<MainWindow> window;
        ASSERT_TRUE(TestSupport::startWindow(window));
        DemoDialog* dialog = window->demoDialog();
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        EXPECT_EQ(dialog->windowTitle(), "Demo scenes");
        EXPECT_TRUE(dialog->windowFlags() & Qt::Tool);
        EXPECT_TRUE(dialog->isLoadDemoContentOnStart());
        EXPECT_EQ(enabledStates(dialog), QList<bool>({true, true, true, true}));
        EXPECT_EQ(sceneButtons(dialog)[0]->toolTip(), "Load hand demo");
        const QImage shot = dialog->grab().toImage();
        shot.save("demo_dialog.png");
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

// One test, as the scenes' folder beside the test program is switched on the way.
TEST(DemoDialog, ScenesLoadStartTheRegistrationModeWithTheirControlPoints)
{
    TestSupport::clearSettings();
    std::unique_ptr<MainWindow> window;
    ASSERT_TRUE(TestSupport::startWindow(window));
    DemoDialog* dialog = window->demoDialog();
    ASSERT_NE(dialog, nullptr);
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
        ASSERT_NE(registration->getController(), nullptr);
        EXPECT_EQ(registration->getController()->srcControlPointsList(), scenes[s].templateControlPoints);
        EXPECT_EQ(registration->getController()->dstControlPointsList(), scenes[s].targetControlPoints);
        tools->releaseTool(1, Tools::Cancel);
        EXPECT_EQ(enabledStates(dialog), QList<bool>({true, true, true, true}));
    }

    QFile::remove(QCoreApplication::applicationDirPath() + "/DemoModels");
}

TEST(DemoDialog, StartWithEmptySceneRemovesBothModelsAndResetsTheCameras)
{
    TestSupport::clearSettings();
    std::unique_ptr<MainWindow> window;
    ASSERT_TRUE(TestSupport::startWindow(window));
    DemoDialog* dialog = window->demoDialog();
    ASSERT_NE(dialog, nullptr);
    ControllerMain* main = window->controllerMain();
    for (Viewport3D::Viewport3D2* view : {main->viewport3DTemplate, main->viewport3DTarget}) {
        view->makeCurrent();
        view->setCameraPosition(QQuaternion::fromAxisAndAngle(0, 1, 0, 40), QVector3D(1, 2, 3), 17.0);
    }
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
    EXPECT_TRUE(dialog->isVisible());
}
