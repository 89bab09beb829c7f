// View tool strips: the shading menu's flags and icons, the strips' buttons, order and relayed clicks, the skins.
#include "Tarnwick/shadingparamsbutton.h"
#include "Tarnwick/viewportresultstoolswidget.h"
#include "Tarnwick/viewporttoolswidget.h"
#include "Tarnwick/whitebutton.h"
#include "support/GLViewTestHelpers.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

namespace {

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage resourceImage(const char* path)
{
    return iconImage(QIcon(QString::fromLatin1(path)));
}

QAction* actionNamed(ShadingParamsButton& button, const char* text)
{
    for (QAction* action : button.shadingMenu()->actions())
        if (action->text() == QLatin1String(text))
            return action;
    return nullptr;
}

QList<QVariant> flags(bool textured, bool shaded, bool wire)
{
    return {textured, shaded, wire};
}

TEST(ShadingParamsButton, MenuEntriesAndSetUp)
{
    ShadingParamsButton button(true, true, true);
    QStringList texts;
    for (QAction* action : button.shadingMenu()->actions())
        texts << (action->isSeparator() ? QString("|") : action->text());
    EXPECT_EQ(texts, QStringList({"Textured + Shaded", "Textured", "Shaded", "|", "Show wire"}));
    EXPECT_EQ(button.toolTip(), "Shading params");
    EXPECT_EQ(button.menu(), button.shadingMenu());
    EXPECT_EQ(button.shadingMenu()->title(), "Shading params");
    EXPECT_EQ(button.popupMode(), QToolButton::InstantPopup);
    EXPECT_EQ(button.minimumSize(), QSize(45, 45));
    EXPECT_EQ(button.maximumSize(), QSize(45, 45));
    EXPECT_TRUE(actionNamed(button, "Show wire")->isChecked());
    EXPECT_EQ(iconImage(button.icon()), resourceImage(":/Images/TexturedShadedWiredSmall.png"));
}

TEST(ShadingParamsButton, ShadedWithWireThenWireOff)
{
    ShadingParamsButton button(true, true, true);
    QSignalSpy spy(&button, &ShadingParamsButton::shadingParamsChanged);
    actionNamed(button, "Shaded")->trigger();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.takeFirst(), flags(false, true, true));
    EXPECT_EQ(iconImage(button.icon()), resourceImage(":/Images/ShadedWiredSmall.png"));

    actionNamed(button, "Show wire")->trigger();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.takeFirst(), flags(false, true, false));
    EXPECT_EQ(iconImage(button.icon()), resourceImage(":/Images/ShadedSmall.png"));
    EXPECT_EQ(iconImage(actionNamed(button, "Textured + Shaded")->icon()),
              resourceImage(":/Images/TexturedShadedSmall.png"));
    EXPECT_EQ(iconImage(actionNamed(button, "Textured")->icon()), resourceImage(":/Images/TexturedSmall.png"));
    EXPECT_EQ(iconImage(actionNamed(button, "Shaded")->icon()), resourceImage(":/Images/ShadedSmall.png"));
}

TEST(ShadingParamsButton, EachActionSetsItsFlagsAndIcon)
{
    struct Case {
        const char* action;
        bool wire;
        QList<QVariant> emitted;
        const char* icon;
    };
    const Case cases[] = {
        {"Textured", false, flags(true, false, false), ":/Images/TexturedSmall.png"},
        {"Textured", true, flags(true, false, true), ":/Images/TexturedWiredSmall.png"},
        {"Textured + Shaded", false, flags(true, true, false), ":/Images/TexturedShadedSmall.png"},
        {"Shaded", false, flags(false, true, false), ":/Images/ShadedSmall.png"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        ShadingParamsButton button(false, true, c.wire);
        QSignalSpy spy(&button, &ShadingParamsButton::shadingParamsChanged);
        actionNamed(button, c.action)->trigger();
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.first(), c.emitted);
        EXPECT_EQ(iconImage(button.icon()), resourceImage(c.icon));
    }
}

TEST(ShadingParamsButton, SetShadingParamsShowsWithoutEmitting)
{
    ShadingParamsButton button(true, true, true);
    QSignalSpy spy(&button, &ShadingParamsButton::shadingParamsChanged);
    button.setShadingParams(true, true, false);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_FALSE(actionNamed(button, "Show wire")->isChecked());
    EXPECT_EQ(iconImage(button.icon()), resourceImage(":/Images/TexturedShadedSmall.png"));
    EXPECT_EQ(iconImage(actionNamed(button, "Shaded")->icon()), resourceImage(":/Images/ShadedSmall.png"));
    EXPECT_TRUE(button.textured() && button.shaded() && !button.wireVisible());

    // Neither textured nor shaded: the icon stays as it was.
    button.setShadingParams(false, false, true);
    EXPECT_EQ(iconImage(button.icon()), resourceImage(":/Images/TexturedShadedSmall.png"));
}

TEST(ViewportToolsWidget, ButtonsInOrderWithToolTipsIconsAndRelayedClicks)
{
    ViewportToolsWidget strip;
    EXPECT_EQ(strip.objectName(), "ViewportToolsWidget");
    EXPECT_EQ(strip.windowTitle(), "Form");
    EXPECT_EQ(strip.sizeHint(), QSize(10, 10));
    QWidget* background = strip.findChild<QWidget*>("widget");
    ASSERT_NE(background, nullptr);
    EXPECT_EQ(background->styleSheet(), "QWidget#widget { background-color: rgb(63, 62, 58); }");

    struct Entry {
        QAbstractButton* button;
        const char* toolTip;
        const char* icon;
        const char* signal;
    };
    const Entry entries[] = {
        {strip.loadFileButton(), "Load model", ":/Images/folder.png", SIGNAL(loadFileClicked())},
        {strip.loadTextureButton(), "Load texture", ":/Images/photography.png", SIGNAL(loadTextureClicked())},
        {strip.saveModelButton(), "Save model to file", ":/Images/save-model.png", SIGNAL(saveFileClicked())},
        {strip.saveTextureButton(), "Save texture to file", ":/Images/save-texture.png", SIGNAL(saveTextureClicked())},
        {strip.shadingButton(), "Shading params", nullptr, nullptr},
        {strip.fitToViewButton(), "Fit to view", ":/Images/limited-edition.png", SIGNAL(fitToViewClicked())},
    };
    auto* row = qobject_cast<QHBoxLayout*>(background->layout());
    ASSERT_NE(row, nullptr);
    ASSERT_EQ(row->count(), 7);
    EXPECT_NE(row->itemAt(6)->spacerItem(), nullptr);
    strip.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));
    for (int i = 0; i < 6; ++i) {
        const Entry& e = entries[i];
        SCOPED_TRACE(e.toolTip);
        EXPECT_EQ(row->itemAt(i)->widget(), e.button);
        EXPECT_EQ(e.button->toolTip(), e.toolTip);
        if (!e.signal)
            continue;
        EXPECT_FALSE(e.button->icon().isNull());
        EXPECT_EQ(iconImage(e.button->icon()), resourceImage(e.icon));
        QSignalSpy spy(&strip, e.signal);
        QTest::mouseClick(e.button, Qt::LeftButton);
        EXPECT_EQ(spy.count(), 1);
    }

    QSignalSpy shading(&strip, &ViewportToolsWidget::shadingParamsChanged);
    actionNamed(*strip.shadingButton(), "Textured")->trigger();
    ASSERT_EQ(shading.count(), 1);
    EXPECT_EQ(shading.first(), flags(true, false, true));

    strip.setLoadFileToolTip("Load target model");
    EXPECT_EQ(strip.loadFileButton()->toolTip(), "Load target model");
    strip.setSaveModelVisible(false);
    strip.setSaveTextureVisible(false);
    EXPECT_FALSE(strip.saveModelButton()->isVisible());
    EXPECT_FALSE(strip.saveTextureButton()->isVisible());
    strip.setShadingParams(true, true, false);
    EXPECT_FALSE(strip.shadingButton()->wireVisible());

    // Each enable slot reaches its own button only.
    using Slot = void (ViewportToolsWidget::*)(bool);
    const std::pair<Slot, QAbstractButton*> enables[] = {
        {&ViewportToolsWidget::setEnabledLoadFile, strip.loadFileButton()},
        {&ViewportToolsWidget::setEnabledLoadTexture, strip.loadTextureButton()},
        {&ViewportToolsWidget::setEnabledSaveModel, strip.saveModelButton()},
        {&ViewportToolsWidget::setEnabledSaveTexture, strip.saveTextureButton()},
        {&ViewportToolsWidget::setEnabledShadingParams, strip.shadingButton()},
        {&ViewportToolsWidget::setEnabledFitToView, strip.fitToViewButton()},
    };
    for (const auto& [slot, button] : enables) {
        (strip.*slot)(false);
        for (const auto& other : enables)
            EXPECT_EQ(other.second->isEnabled(), other.second != button);
        (strip.*slot)(true);
    }
    // A disabled button emits nothing when clicked.
    strip.setEnabledLoadFile(false);
    QSignalSpy load(&strip, &ViewportToolsWidget::loadFileClicked);
    QTest::mouseClick(strip.loadFileButton(), Qt::LeftButton);
    EXPECT_EQ(load.count(), 0);
}

TEST(ViewportResultsToolsWidget, FitAndShowTargetRelayOnlyClicks)
{
    ViewportResultsToolsWidget strip;
    EXPECT_EQ(strip.objectName(), "ViewportResultsToolsWidget");
    EXPECT_EQ(strip.sizeHint(), QSize(10, 10));
    QCheckBox* box = strip.showTargetCheckBox();
    EXPECT_EQ(box->text(), "Show target");
    EXPECT_TRUE(box->isChecked());
    EXPECT_EQ(box->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(strip.fitToViewButton()->toolTip(), "Fit to view");
    strip.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&strip));

    QSignalSpy fit(&strip, &ViewportResultsToolsWidget::fitToViewClicked);
    QSignalSpy show(&strip, &ViewportResultsToolsWidget::showTargetModelChecked);
    QTest::mouseClick(strip.fitToViewButton(), Qt::LeftButton);
    EXPECT_EQ(fit.count(), 1);
    box->setChecked(false);
    box->setChecked(true);
    EXPECT_EQ(show.count(), 0);
    box->click();
    ASSERT_EQ(show.count(), 1);
    EXPECT_EQ(show.first(), QList<QVariant>{false});

    strip.setEnabledShowTargetModel(false);
    strip.setEnabledFitToView(false);
    EXPECT_FALSE(box->isEnabled());
    EXPECT_FALSE(strip.fitToViewButton()->isEnabled());
}

TEST(WhiteButton, SkinFollowsTheButtonState)
{
    // The five skins are distinct images, and each state of a shown button draws its own.
    const char* skins[] = {":/Images/Button.png", ":/Images/ButtonDisabled.png", ":/Images/ButtonMouseOver.png",
                           ":/Images/ButtonPressed.png", ":/Images/ButtonToggled.png"};
    QList<QImage> images;
    for (const char* skin : skins) {
        QImage image(QString::fromLatin1(skin));
        ASSERT_FALSE(image.isNull()) << skin;
        EXPECT_EQ(image.size(), QSize(45, 45));
        EXPECT_FALSE(images.contains(image)) << skin;
        images << image;
    }
    EXPECT_FALSE(QIcon(":/Images/PlyformIco.ico").isNull());

    WhiteButton button;
    EXPECT_EQ(button.minimumSize(), QSize(45, 45));
    EXPECT_EQ(button.maximumSize(), QSize(45, 45));
    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    const QImage normal = button.grab().toImage();
    button.setEnabled(false);
    const QImage disabled = button.grab().toImage();
    button.setEnabled(true);
    button.setCheckable(true);
    button.setChecked(true);
    const QImage checked = button.grab().toImage();
    TestSupport::saveFrame(normal, "white_button_normal");
    TestSupport::saveFrame(disabled, "white_button_disabled");
    TestSupport::saveFrame(checked, "white_button_checked");
    // Centre pixels: normal near white, disabled grey, checked blue.
    const QColor n = normal.pixelColor(22, 22), d = disabled.pixelColor(22, 22), c = checked.pixelColor(22, 22);
    EXPECT_GT(n.lightness(), 200);
    EXPECT_LT(d.lightness(), 140);
    EXPECT_GT(c.blue(), c.red() + 30);
}

}  // namespace
