// Strip controller: the strips' enable rules as a table over loaded models and modes, and the buttons reaching the
// models' controller.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/shadingparamsbutton.h"
#include "Tarnwick/toolbarmain2.h"
#include "Tarnwick/viewportresultstoolswidget.h"
#include "Tarnwick/viewporttoolscontroller.h"
#include "Tarnwick/viewporttoolswidget.h"
#include "Tarnwick/whitebutton.h"
#include "TestTools.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "support/TempFiles.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QMenu>
#include <QTest>

namespace {

using TestSupport::TestTool;

// Enabled states as letters: template strip (load, texture, save model, save texture, shading, fit),
// target strip (load, texture, shading, fit), results strip (fit, show target).
QString states(MainWindow& w)
{
    auto letter = [](QWidget* b) { return b->isEnabled() ? QChar('1') : QChar('0'); };
    ViewportToolsWidget* t = w.templateTools();
    ViewportToolsWidget* g = w.targetTools();
    QString s;
    for (QWidget* b : {static_cast<QWidget*>(t->loadFileButton()), static_cast<QWidget*>(t->loadTextureButton()),
                       static_cast<QWidget*>(t->saveModelButton()), static_cast<QWidget*>(t->saveTextureButton()),
                       static_cast<QWidget*>(t->shadingButton()), static_cast<QWidget*>(t->fitToViewButton())})
        s += letter(b);
    s += ' ';
    for (QWidget* b : {static_cast<QWidget*>(g->loadFileButton()), static_cast<QWidget*>(g->loadTextureButton()),
                       static_cast<QWidget*>(g->shadingButton()), static_cast<QWidget*>(g->fitToViewButton())})
        s += letter(b);
    s += ' ';
    s += letter(w.resultsTools()->fitToViewButton());
    s += letter(w.resultsTools()->showTargetCheckBox());
    return s;
}

struct StripController : ::testing::Test {
    std::unique_ptr<MainWindow> window;
    ControllerMain* controller = nullptr;
    TestSupport::TempDir dir;
    QString templatePath, targetPath, texturePath;
    QStringList journal;
    QList<TestTool*> tools;
    int windowToolCount = 0;  // the window's own modes come before the test's

    void SetUp() override
    {
        TestSupport::clearSettings();
        ASSERT_TRUE(TestSupport::startWindow(window));
        controller = window->controllerMain();
        templatePath = TestSupport::writeBoxObj(dir.filePath("template.obj"), 2.0, 3.0, 4.0);
        targetPath = TestSupport::writeBoxObj(dir.filePath("target.obj"), 10.0, 40.0, 20.0);
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::yellow);
        texturePath = dir.filePath("texture.png");
        image.save(texturePath);
        // Modes that follow the framework's rules, asked of the real models.
        TestSupport::LoadedState state{[this] { return controller->isTemplateLoaded(); },
                                       [this] { return controller->isTargetLoaded(); },
                                       [this] { return controller->isTargetTextureLoaded(); }};
        tools = TestSupport::makeFiveTools(controller, state, &journal);
        windowToolCount = window->toolsController()->toolCount();
        for (TestTool* tool : tools)
            window->toolsController()->addTool(tool);
    }
    void TearDown() override
    {
        window.reset();
        qDeleteAll(tools);
    }
};

TEST_F(StripController, EnableRulesOverModelsAndModes)
{
    struct Row {
        const char* situation;
        std::function<void()> step;
        const char* expected;
    };
    Tools::ToolsController* modes = window->toolsController();
    const Row rows[] = {
        {"nothing loaded", [] {}, "100000 1000 00"},
        {"template without texture", [&] { controller->loadTemplate(templatePath); }, "111011 1000 10"},
        {"template texture", [&] { controller->loadTextureTemplate(texturePath); }, "111111 1000 10"},
        {"target", [&] { controller->loadTarget(targetPath); }, "111111 1111 11"},
        {"a mode active", [&] { modes->initializeTool(windowToolCount + 1); }, "000011 0011 11"},
        {"the mode editing", [&] { tools[1]->beginEditing(); }, "000011 0011 11"},
        {"the mode done",
         [&] {
             tools[1]->endEditing();
             tools[1]->panelDone();
         },
         "111111 1111 11"},
        {"template removed", [&] { controller->removeTemplate(); }, "100000 1111 11"},
        {"target removed", [&] { controller->removeTarget(); }, "100000 1000 00"},
        {"target only", [&] { controller->loadTarget(targetPath); }, "100000 1111 11"},
        {"subset mode ends itself",
         [&] {
             controller->loadTemplate(templatePath);
             tools[4]->endsInInitialize = true;
             modes->initializeTool(windowToolCount + 4);
         },
         "111011 1111 11"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.situation);
        row.step();
        EXPECT_EQ(states(*window), row.expected);
    }
}

TEST_F(StripController, ToolBarFollowsTheRealModels)
{
    ToolbarMain2* bar = window->toolbar();
    // The window's tool bar was built before these tools joined: a bar over the same controller shows them.
    ToolbarMain2 own(window->toolsController());
    QObject::connect(controller, &ControllerMain::templateLoaded, &own, &ToolbarMain2::updateButtonStates);
    QObject::connect(controller, &ControllerMain::targetLoaded, &own, &ToolbarMain2::updateButtonStates);
    QObject::connect(controller, &ControllerMain::targetTextureLoaded, &own, &ToolbarMain2::updateButtonStates);
    QObject::connect(controller, &ControllerMain::templateRemoved, &own, &ToolbarMain2::updateButtonStates);
    EXPECT_EQ(bar->buttons.size(), windowToolCount);
    auto enabled = [&] {
        QString s;
        for (QAbstractButton* b : own.buttons.mid(windowToolCount))
            s += b->isEnabled() ? '1' : '0';
        return s;
    };
    EXPECT_EQ(enabled(), "00000");
    controller->loadTemplate(templatePath);
    EXPECT_EQ(enabled(), "00001");
    controller->loadTarget(targetPath);
    EXPECT_EQ(enabled(), "11011");
    controller->loadTextureTarget(texturePath);
    EXPECT_EQ(enabled(), "11111");
    controller->removeTemplate();
    EXPECT_EQ(enabled(), "00000");
}

TEST_F(StripController, StripButtonsReachTheModels)
{
    controller->loadTemplate(templatePath);
    controller->loadTarget(targetPath);
    // Shading from the template strip's menu reaches the template's view.
    ShadingParamsButton* shading = window->templateTools()->shadingButton();
    for (QAction* action : shading->shadingMenu()->actions())
        if (action->text() == "Show wire")
            action->trigger();
    EXPECT_FALSE(controller->shadingParamsTemplate.wireVisible);
    EXPECT_FALSE(controller->geomStackViewTemplate->viewGeometry->shadingGroup(0).wireVisible);
    for (QAction* action : window->targetTools()->shadingButton()->shadingMenu()->actions())
        if (action->text() == "Shaded")
            action->trigger();
    EXPECT_FALSE(controller->shadingParamsTarget.textured);
    EXPECT_FALSE(controller->geomStackViewTarget->viewGeometry->shadingGroup(0).textured);

    // Fit to view brings a moved camera back.
    Viewport3D::Viewport3D2* view = window->viewport3DTemplate();
    const QMatrix4x4 fitted = view->viewMatrix();
    view->setCameraPosition(QQuaternion(), QVector3D(100, 100, 100), 5.0);
    EXPECT_NE(view->viewMatrix(), fitted);
    QTest::mouseClick(window->templateTools()->fitToViewButton(), Qt::LeftButton);
    EXPECT_EQ(view->viewMatrix(), fitted);
}

}  // namespace
