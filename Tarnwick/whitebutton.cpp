#include "Tarnwick/whitebutton.h"

#include "Tarnwick/TarnwickResources.h"

WhiteButton::WhiteButton(QWidget* parent) : QPushButton(parent)
{
    initTarnwickResources();
    applyStyle();
}

QString WhiteButton::skinStyleSheet(const QString& selector)
{
    return QStringLiteral(
               "%1 { background-color: transparent; background-position: center;"
               " border-image: url(:/Images/Button.png); }\n"
               "%1:!enabled { border-image: url(:/Images/ButtonDisabled.png); }\n"
               "%1:hover { border-image: url(:/Images/ButtonMouseOver.png); }\n"
               "%1:pressed { border-image: url(:/Images/ButtonPressed.png); }\n"
               "%1:checked { border-image: url(:/Images/ButtonToggled.png); }\n")
        .arg(selector);
}

void WhiteButton::applyStyle()
{
    setMinimumSize(45, 45);
    setMaximumSize(45, 45);
    setStyleSheet(skinStyleSheet(QStringLiteral("WhiteButton")));
}
