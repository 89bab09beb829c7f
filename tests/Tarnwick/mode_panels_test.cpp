// The five modes' panels: a click on Done or Cancel takes the panel out of the parameters area at once and deletes
// it only once that click has been delivered; a window closed before then takes the panel along.
#include "ShellFixture.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/mainwindow.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QImage>
#include <QLayout>
#include <QPointer>
#include <QTest>

namespace {

// Template and target boxes, and a texture on the target, so that every mode can be entered.
struct ModePanels : TestSupport::WindowTest {
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(WindowTest::SetUp());
        QImage texture(16, 16, QImage::Format_ARGB32);
        texture.fill(QColor(200, 120, 40));
        ASSERT_TRUE(texture.save(dir.filePath("target.png")));
        ASSERT_EQ(main->loadTemplate(TestSupport::writeBoxObj(dir.filePath("template.obj"), 2, 3, 4)), "");
        ASSERT_EQ(main->loadTarget(TestSupport::writeBoxObj(dir.filePath("target.obj"), 2, 3, 4.2)), "");
        ASSERT_TRUE(main->loadTextureTarget(dir.filePath("target.png")));
    }

    // Enters the mode and returns its panel, the one widget of the parameters area.
    QWidget* enter(int tool)
    {
        window->toolsController()->initializeTool(tool);
        QLayout* area = main->paramsPlaceholder->layout();
        return area->count() == 1 ? area->itemAt(0)->widget() : nullptr;
    }
};

struct PanelButton {
    int tool;
    const char* button;
};

// Every panel's way out; the texture-transfer panel has no Cancel of its own.
const PanelButton kWaysOut[] = {{0, "btnDone"},   {1, "btnDone"}, {2, "btnDone"},  {3, "btnDone"},
                                {3, "btnCancel"}, {4, "btnDone"}, {4, "btnCancel"}};

TEST_F(ModePanels, LeaveTheAreaInsideTheClickAndGoOnceItIsDelivered)
{
    for (const PanelButton& way : kWaysOut) {
        SCOPED_TRACE((window->toolsController()->toolName(way.tool) + " " + way.button).toStdString());
        QPointer<QWidget> panel = enter(way.tool);
        ASSERT_TRUE(panel);
        auto* button = panel->findChild<QAbstractButton*>(way.button);
        ASSERT_TRUE(button);
        QTest::mouseClick(button, Qt::LeftButton);

        EXPECT_EQ(window->toolsController()->currentToolIndex(), -1);
        ASSERT_FALSE(panel.isNull()) << "deleted inside its own click";
        EXPECT_EQ(main->paramsPlaceholder->layout()->count(), 0);
        EXPECT_FALSE(panel->isVisible());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(panel.isNull());
    }
}

TEST_F(ModePanels, AWindowClosedBeforeTheDeletionTakesThePanelAlong)
{
    QPointer<QWidget> panel = enter(3);
    ASSERT_TRUE(panel);
    QTest::mouseClick(panel->findChild<QAbstractButton*>("btnCancel"), Qt::LeftButton);
    ASSERT_FALSE(panel.isNull());
    window.reset();
    EXPECT_TRUE(panel.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace
