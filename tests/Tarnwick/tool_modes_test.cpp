// Tool modes and tool bar: entering and leaving by index, relays, flags, the enable rules as a table, self-ending
// modes.
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/toolbarmain2.h"
#include "TestTools.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QSignalSpy>
#include <QTest>

namespace {

using TestSupport::TestTool;

struct ToolBar : ::testing::Test {
    bool templ = false, target = false, targetTexture = false;
    QStringList journal;
    QList<TestTool*> tools;
    Tools::ToolsController controller;
    std::unique_ptr<ToolbarMain2> toolbar;

    void SetUp() override
    {
        TestSupport::LoadedState state{[this] { return templ; }, [this] { return target; },
                                       [this] { return targetTexture; }};
        tools = TestSupport::makeFiveTools(nullptr, state, &journal);
        for (TestTool* tool : tools)
            controller.addTool(tool);
        toolbar = std::make_unique<ToolbarMain2>(&controller);
        toolbar->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(toolbar.get()));
    }
    void TearDown() override
    {
        toolbar.reset();
        qDeleteAll(tools);
    }
    // What a change of the loaded models makes the main window do.
    void load(bool t, bool g, bool x)
    {
        templ = t;
        target = g;
        targetTexture = x;
        toolbar->updateButtonStates();
    }
    QString states() const
    {
        // One letter per button: E enabled, C checked and enabled, c checked and disabled, - disabled.
        QString s;
        for (QAbstractButton* b : toolbar->buttons)
            s += b->isChecked() ? (b->isEnabled() ? 'C' : 'c') : (b->isEnabled() ? 'E' : '-');
        return s;
    }
    void click(int index) { QTest::mouseClick(toolbar->buttons[index], Qt::LeftButton); }
};

TEST_F(ToolBar, ButtonsCarryTheToolNamesInOrder)
{
    ASSERT_EQ(toolbar->buttons.size(), 5);
    QStringList texts;
    for (QAbstractButton* b : toolbar->buttons) {
        texts << b->text();
        EXPECT_TRUE(b->isCheckable());
        EXPECT_TRUE(b->icon().isNull());
        EXPECT_GE(b->minimumHeight(), 21);
        EXPECT_EQ(b->parentWidget(), toolbar.get());
    }
    EXPECT_EQ(texts, QStringList({"Quick alignment", "Registration", "Texture trasfer", "Brush", "Subset (Select)"}));
    EXPECT_EQ(controller.toolCount(), 5);
    EXPECT_EQ(controller.currentToolIndex(), -1);
}

TEST_F(ToolBar, EnableRulesByLoadedModelsAndModes)
{
    struct Row {
        const char* situation;
        bool templ, target, texture;
        int activeTool;    // -1 none
        const char* flag;  // "", "editing", "computing"
        const char* expected;
    };
    const Row rows[] = {
        {"nothing loaded", false, false, false, -1, "", "-----"},
        {"template only", true, false, false, -1, "", "----E"},
        {"target only", false, true, true, -1, "", "-----"},
        {"no target texture", true, true, false, -1, "", "EE-EE"},
        {"everything loaded", true, true, true, -1, "", "EEEEE"},
        {"texture transfer active", true, true, true, 2, "", "--C--"},
        {"texture transfer selecting", true, true, true, 2, "editing", "--c--"},
        {"texture transfer computing", true, true, true, 2, "computing", "--c--"},
        {"registration active", true, true, true, 1, "", "-C---"},
        {"registration computing", true, true, false, 1, "computing", "-c---"},
        {"subset active, template only", true, false, false, 4, "", "----C"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.situation);
        load(r.templ, r.target, r.texture);
        if (r.activeTool >= 0) {
            click(r.activeTool);
            ASSERT_EQ(controller.currentToolIndex(), r.activeTool);
            if (QString(r.flag) == "editing")
                tools[r.activeTool]->beginEditing();
            if (QString(r.flag) == "computing")
                tools[r.activeTool]->beginComputing();
        }
        EXPECT_EQ(states(), r.expected);
        // Leave the situation: the flag ends, the mode is cancelled from its button.
        if (r.activeTool >= 0) {
            tools[r.activeTool]->endEditing();
            tools[r.activeTool]->endComputing();
            click(r.activeTool);
            EXPECT_EQ(controller.currentToolIndex(), -1);
        }
    }
}

TEST_F(ToolBar, CheckingEntersUncheckingCancelsPanelEndsWithDone)
{
    load(true, true, true);
    QSignalSpy initialized(&controller, &Tools::ToolsController::toolInitialized);
    QSignalSpy released(&controller, &Tools::ToolsController::toolReleased);
    int indexSeenByTool = -2;
    QObject::connect(&controller, &Tools::ToolsController::toolInitialized,
                     [&] { indexSeenByTool = controller.currentToolIndex(); });

    click(3);
    EXPECT_EQ(initialized.count(), 1);
    EXPECT_EQ(initialized.first(), QList<QVariant>{3});
    EXPECT_EQ(indexSeenByTool, 3);
    EXPECT_EQ(states(), "---C-");
    click(3);
    EXPECT_EQ(released.count(), 1);
    EXPECT_EQ(controller.currentToolIndex(), -1);
    EXPECT_EQ(states(), "EEEEE");

    click(0);
    tools[0]->panelDone();
    EXPECT_EQ(released.count(), 2);
    EXPECT_EQ(released.last(), QList<QVariant>{0});
    EXPECT_EQ(states(), "EEEEE");
    click(1);
    tools[1]->panelCancel();
    EXPECT_EQ(journal,
              QStringList({"Brush initialize", "Brush release Cancel", "Quick alignment initialize",
                           "Quick alignment release Done", "Registration initialize", "Registration release Cancel"}));
}

TEST_F(ToolBar, UpdatesNeverEnterOrLeaveAMode)
{
    load(true, true, true);
    click(2);
    journal.clear();
    QSignalSpy initialized(&controller, &Tools::ToolsController::toolInitialized);
    QSignalSpy released(&controller, &Tools::ToolsController::toolReleased);
    // Availability lost while the mode runs: the button is disabled but stays checked.
    load(true, false, false);
    EXPECT_EQ(states(), "--c--");
    load(false, false, false);
    load(true, true, true);
    tools[2]->beginEditing();
    tools[2]->endEditing();
    EXPECT_EQ(initialized.count(), 0);
    EXPECT_EQ(released.count(), 0);
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_EQ(controller.currentToolIndex(), 2);
}

TEST_F(ToolBar, FlagsChangeBeforeTheirSignalsAndAreRelayedWithTheIndex)
{
    load(true, true, true);
    click(1);
    QList<std::pair<QString, bool>> seen;
    QObject::connect(&controller, &Tools::ToolsController::editionStarted, [&](int i) {
        seen.append({"edit start " + QString::number(i), controller.isToolEditing(i)});
    });
    QObject::connect(&controller, &Tools::ToolsController::editionFinished, [&](int i) {
        seen.append({"edit end " + QString::number(i), controller.isToolEditing(i)});
    });
    QObject::connect(&controller, &Tools::ToolsController::computationStarted, [&](int i) {
        seen.append({"compute start " + QString::number(i), controller.isToolComputing(i)});
    });
    QObject::connect(&controller, &Tools::ToolsController::computationFinished, [&](int i) {
        seen.append({"compute end " + QString::number(i), controller.isToolComputing(i)});
    });
    TestSupport::LogCapture log;
    tools[1]->beginEditing();
    tools[1]->endEditing();
    tools[1]->beginComputing();
    tools[1]->endComputing();
    const QList<std::pair<QString, bool>> expected = {
        {"edit start 1", true}, {"edit end 1", false}, {"compute start 1", true}, {"compute end 1", false}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(log.texts(QtDebugMsg), QStringList{"ToolsController::onComputationStarted()"});
}

TEST_F(ToolBar, NewNameShowsOnTheButton)
{
    load(true, false, false);
    QSignalSpy renamed(&controller, &Tools::ToolsController::toolNameChanged);
    QSignalSpy own(tools[4], &Tools::Tool::nameChaged);
    tools[4]->setName("Subset (Apply)");
    EXPECT_EQ(own.first(), QList<QVariant>{"Subset (Apply)"});
    EXPECT_EQ(renamed.first(), QList<QVariant>{4});
    EXPECT_EQ(toolbar->buttons[4]->text(), "Subset (Apply)");
    EXPECT_EQ(controller.toolName(4), "Subset (Apply)");
}

TEST_F(ToolBar, ModeThatEndsInsideInitializeIsReleasedFirst)
{
    load(true, false, false);
    tools[4]->endsInInitialize = true;
    QStringList order;
    QObject::connect(&controller, &Tools::ToolsController::toolInitialized,
                     [&](int i) { order << "initialized " + QString::number(i); });
    QObject::connect(&controller, &Tools::ToolsController::toolReleased,
                     [&](int i) { order << "released " + QString::number(i); });
    click(4);
    EXPECT_EQ(order, QStringList({"released 4", "initialized 4"}));
    EXPECT_EQ(journal, QStringList({"Subset (Select) initialize", "Subset (Select) release Done"}));
    EXPECT_EQ(controller.currentToolIndex(), -1);
    EXPECT_EQ(states(), "----E");
}

}  // namespace
