#include "Tarnwick/shadingparamsbutton.h"

#include "Tarnwick/TarnwickResources.h"
#include "Tarnwick/whitebutton.h"

#include <QAction>

namespace {

QIcon loadIcon(const char* path)
{
    initTarnwickResources();
    return QIcon(QString::fromLatin1(path));
}

}  // namespace

ShadingParamsButton::ShadingParamsButton(bool textured, bool shaded, bool wireVisible, QWidget* parent)
    : QToolButton(parent),
      textured_(textured),
      shaded_(shaded),
      wireVisible_(wireVisible),
      texturedAndShaded_(new QAction(QStringLiteral("Textured + Shaded"), &menu_)),
      texturedOnly_(new QAction(QStringLiteral("Textured"), &menu_)),
      shadedOnly_(new QAction(QStringLiteral("Shaded"), &menu_)),
      showWire_(new QAction(QStringLiteral("Show wire"), &menu_)),
      texturedIcon_(loadIcon(":/Images/TexturedSmall.png")),
      texturedWiredIcon_(loadIcon(":/Images/TexturedWiredSmall.png")),
      shadedIcon_(loadIcon(":/Images/ShadedSmall.png")),
      shadedWiredIcon_(loadIcon(":/Images/ShadedWiredSmall.png")),
      texturedShadedIcon_(loadIcon(":/Images/TexturedShadedSmall.png")),
      texturedShadedWiredIcon_(loadIcon(":/Images/TexturedShadedWiredSmall.png"))
{
    showWire_->setCheckable(true);
    showWire_->setChecked(wireVisible);
    createMenu();
}

void ShadingParamsButton::createMenu()
{
    setToolTip(QStringLiteral("Shading params"));
    setMinimumSize(45, 45);
    setMaximumSize(45, 45);
    setStyleSheet(WhiteButton::skinStyleSheet(QStringLiteral("ShadingParamsButton")));
    setPopupMode(QToolButton::InstantPopup);
    connect(texturedAndShaded_, &QAction::triggered, this, &ShadingParamsButton::onTexturedAndShadedClick);
    connect(texturedOnly_, &QAction::triggered, this, &ShadingParamsButton::onTexturedClick);
    connect(shadedOnly_, &QAction::triggered, this, &ShadingParamsButton::onShadedClick);
    connect(showWire_, &QAction::triggered, this, &ShadingParamsButton::onWireVisibleChecked);
    updateActionIcons();
    updateButtonIcon();
    menu_.setTitle(QStringLiteral("Shading params"));
    menu_.addAction(texturedAndShaded_);
    menu_.addAction(texturedOnly_);
    menu_.addAction(shadedOnly_);
    menu_.addSeparator();
    menu_.addAction(showWire_);
    setMenu(&menu_);
}

void ShadingParamsButton::setShadingParams(bool textured, bool shaded, bool wireVisible)
{
    textured_ = textured;
    shaded_ = shaded;
    wireVisible_ = wireVisible;
    showWire_->setChecked(wireVisible);
    updateActionIcons();
    updateButtonIcon();
}

void ShadingParamsButton::onTexturedAndShadedClick()
{
    textured_ = true;
    shaded_ = true;
    updateButtonIcon();
    emitParams();
}

void ShadingParamsButton::onTexturedClick()
{
    textured_ = true;
    shaded_ = false;
    updateButtonIcon();
    emitParams();
}

void ShadingParamsButton::onShadedClick()
{
    textured_ = false;
    shaded_ = true;
    updateButtonIcon();
    emitParams();
}

void ShadingParamsButton::onWireVisibleChecked(bool isChecked)
{
    wireVisible_ = isChecked;
    updateButtonIcon();
    updateActionIcons();
    emitParams();
}

void ShadingParamsButton::emitParams()
{
    emit shadingParamsChanged(textured_, shaded_, wireVisible_);
}

void ShadingParamsButton::updateButtonIcon()
{
    if (textured_ && shaded_)
        setIcon(wireVisible_ ? texturedShadedWiredIcon_ : texturedShadedIcon_);
    else if (textured_)
        setIcon(wireVisible_ ? texturedWiredIcon_ : texturedIcon_);
    else if (shaded_)
        setIcon(wireVisible_ ? shadedWiredIcon_ : shadedIcon_);
}

void ShadingParamsButton::updateActionIcons()
{
    texturedAndShaded_->setIcon(wireVisible_ ? texturedShadedWiredIcon_ : texturedShadedIcon_);
    texturedOnly_->setIcon(wireVisible_ ? texturedWiredIcon_ : texturedIcon_);
    shadedOnly_->setIcon(wireVisible_ ? shadedWiredIcon_ : shadedIcon_);
}
