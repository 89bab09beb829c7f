// Main window: start-up under a real display (views, one build, log order, layout), closing (settings before the last
// line, a computing mode interrupted first and left when the window goes).
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/appsettings.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/shadingparamsbutton.h"
#include "Tarnwick/toolbarmain2.h"
#include "Tarnwick/viewportresultstoolswidget.h"
#include "Tarnwick/viewporttoolswidget.h"
#include "Tarnwick/whitebutton.h"
#include "TestTools.h"
#include "rendering/Viewport2D/glviewport2d.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTimer>

namespace {

using TestSupport::LogCapture;

QPoint topLeftInWindow(QWidget* widget, QWidget* window)
{
    return widget->mapTo(window, QPoint(0, 0));
}

TEST(MainWindow, StartsBuildsOnceAfterAllFourViewsAndLaysOutTheViews)
{
    TestSupport::clearSettings();
    LogCapture log;
    std::unique_ptr<MainWindow> window;
    ASSERT_TRUE(TestSupport::startWindow(window));
    // Later reports (a view moved into a splitter) must not build again.
    QTest::qWait(200);

    EXPECT_TRUE(window->viewport3DTemplate()->isInitialized());
    EXPECT_TRUE(window->viewport3DTarget()->isInitialized());
    EXPECT_TRUE(window->viewport3DResults()->isInitialized());
    EXPECT_TRUE(window->viewport2D()->isInitialized());
    EXPECT_FALSE(window->viewport2D()->isVisible());
    EXPECT_TRUE(window->viewport3DResults()->isVisible());
    EXPECT_TRUE(window->viewport3DResults()->hasMouseTracking());

    const QStringList lines = log.texts(QtDebugMsg);
    EXPECT_EQ(lines.count("onAllViewport3DInitialized"), 1);
    const int loaded = lines.indexOf("log: Plyform 2.3 loaded");
    const int built = lines.indexOf("onAllViewport3DInitialized");
    ASSERT_GE(loaded, 0);
    EXPECT_GT(built, loaded);

    EXPECT_EQ(window->windowTitle(), "Qelt::Plyform Iteration 2.1");
    EXPECT_FALSE(window->windowIcon().isNull());
    EXPECT_EQ(window->iconSize(), QSize(24, 24));
    EXPECT_TRUE(window->styleSheet().isEmpty());
    ASSERT_NE(window->toolbar(), nullptr);
    EXPECT_EQ(window->toolBarArea(window->toolbar()), Qt::TopToolBarArea);
    EXPECT_EQ(window->toolsController()->toolCount(), window->toolbar()->buttons.size());

    // Target top left, template top right, parameters bottom left, results bottom right; equal halves.
    QWidget* w = window.get();
    const QPoint target = topLeftInWindow(window->viewport3DTarget(), w);
    const QPoint templ = topLeftInWindow(window->viewport3DTemplate(), w);
    const QPoint results = topLeftInWindow(window->viewport3DResults(), w);
    auto* params = window->findChild<QWidget*>("frameParamsPlaceholder");
    ASSERT_NE(params, nullptr);
    const QPoint paramsAt = topLeftInWindow(params, w);
    EXPECT_LT(target.x(), templ.x());
    EXPECT_LT(paramsAt.x(), results.x());
    EXPECT_LT(target.y(), paramsAt.y());
    EXPECT_LE(std::abs(window->viewport3DTarget()->width() - window->viewport3DTemplate()->width()), 2);
    auto* targetArea = window->findChild<QWidget*>("widgetViewport3DTargetPlaceholder");
    EXPECT_LE(std::abs(targetArea->height() - params->height()), 2);
    // Strip above the view in each model column.
    EXPECT_LT(topLeftInWindow(window->targetTools(), w).y(), target.y());
    EXPECT_LT(topLeftInWindow(window->templateTools(), w).y(), templ.y());
    EXPECT_LT(topLeftInWindow(window->resultsTools(), w).y(), results.y());

    EXPECT_EQ(window->templateTools()->loadFileButton()->toolTip(), "Load template model");
    EXPECT_EQ(window->targetTools()->loadFileButton()->toolTip(), "Load target model");
    EXPECT_FALSE(window->targetTools()->saveModelButton()->isVisible());
    EXPECT_FALSE(window->targetTools()->saveTextureButton()->isVisible());
    EXPECT_TRUE(window->templateTools()->saveModelButton()->isVisible());

    ControllerMain* controller = window->controllerMain();
    EXPECT_TRUE(controller->shadingParamsTemplate.wireVisible);
    EXPECT_FALSE(controller->shadingParamsTarget.wireVisible);
    EXPECT_TRUE(controller->shadingParamsTarget.textured && controller->shadingParamsTarget.shaded);
    EXPECT_FALSE(window->targetTools()->shadingButton()->wireVisible());
    EXPECT_TRUE(window->templateTools()->shadingButton()->wireVisible());
}

TEST(MainWindow, BeforeTheViewsReportNothingIsConnected)
{
    MainWindow window;  // never shown: no view initialises
    EXPECT_EQ(window.controllerMain(), nullptr);
    EXPECT_EQ(window.toolbar(), nullptr);
    EXPECT_EQ(window.toolsController(), nullptr);
    bool modalSeen = false;
    QTimer::singleShot(100, [&] {
        modalSeen = QApplication::activeModalWidget() != nullptr;
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    window.templateTools()->loadFileButton()->click();
    window.targetTools()->loadFileButton()->click();
    QTest::qWait(200);
    EXPECT_FALSE(modalSeen);
}

TEST(MainWindow, ClosingWritesTheSettingsBeforeItsLastLine)
{
    TestSupport::clearSettings();
    std::unique_ptr<MainWindow> window;
    ASSERT_TRUE(TestSupport::startWindow(window));
    window->appSettings()->lastSavePath = "/saved/here";

    // Whether the settings file holds the new value at the moment the closing line is logged.
    static bool writtenAtClosingLine = false;
    static QtMessageHandler previous = nullptr;
    writtenAtClosingLine = false;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (text == "log: Closing Plyform") {
            QFile file(TestSupport::settingsFile());
            writtenAtClosingLine =
                file.open(QIODevice::ReadOnly) && file.readAll().contains("lastSavePath=/saved/here");
        }
        previous(type, context, text);
    });
    EXPECT_TRUE(window->close());
    qInstallMessageHandler(previous);
    EXPECT_TRUE(writtenAtClosingLine);
    EXPECT_FALSE(window->isVisible());
}

TEST(MainWindow, SettingsRoundTripAcrossStartsIncludingAStoredFalseWriteLogs)
{
    TestSupport::clearSettings();
    {
        QSettings store(TestSupport::settingsFile(), QSettings::IniFormat);
        store.setValue("writeLogs", false);
        store.setValue("loadDemoOnStart", false);
        store.setValue("lastTargetOpenPath", "/scans");
    }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        std::unique_ptr<MainWindow> window;
        ASSERT_TRUE(TestSupport::startWindow(window));
        AppSettings* settings = window->appSettings();
        EXPECT_FALSE(settings->writeLogs);
        EXPECT_FALSE(settings->loadDemoOnStart);
        EXPECT_EQ(settings->lastTargetOpenPath, "/scans");
        EXPECT_EQ(settings->lastTemplateOpenPath, run == 0 ? "" : "/templates");
        settings->lastTemplateOpenPath = "/templates";
        window->close();
    }
    QSettings store(TestSupport::settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(store.value("writeLogs").toString(), "false");
    EXPECT_EQ(store.value("loadDemoOnStart").toString(), "false");
}

// A mode whose computation ends only when interrupted.
class ComputingTool : public TestSupport::TestTool {
public:
    using TestTool::TestTool;
    void interruptAndWait() override
    {
        QFile file(TestSupport::settingsFile());
        settingsExistedAtInterrupt = file.exists();
        qDebug() << "test: interrupted";
        endComputing();
    }
    bool settingsExistedAtInterrupt = true;
};

TEST(MainWindow, ClosingDuringAComputationInterruptsTheModeFirst)
{
    TestSupport::clearSettings();
    std::unique_ptr<MainWindow> window;
    ASSERT_TRUE(TestSupport::startWindow(window));
    QStringList journal;
    ComputingTool tool(
        window->controllerMain(), "Computing", [] { return true; }, &journal);
    window->toolsController()->addTool(&tool);
    window->toolsController()->initializeTool(window->toolsController()->toolCount() - 1);
    tool.beginComputing();

    LogCapture log;
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(tool.isComputing());
    EXPECT_FALSE(tool.settingsExistedAtInterrupt);
    const QStringList lines = log.texts(QtDebugMsg);
    EXPECT_LT(lines.indexOf("test: interrupted"), lines.indexOf("log: Closing Plyform"));
    EXPECT_TRUE(QFile::exists(TestSupport::settingsFile()));
    // Closing keeps the mode; the window leaves it, without its result, when it goes.
    EXPECT_EQ(journal.last(), "Computing initialize");
    window.reset();
    EXPECT_EQ(journal.last(), "Computing release Cancel");
}

}  // namespace
