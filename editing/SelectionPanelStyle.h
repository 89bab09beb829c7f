#pragma once
// The look shared by the selection strips: a dark frame and light flat buttons.
#include <QString>

namespace SelectionPanelStyle {

// For the strip's frame, which is named "frame".
inline QString frameStyleSheet()
{
    return QStringLiteral("QFrame#frame{\nbackground-color: rgb(63,62,58);\n}");
}

inline QString buttonStyleSheet()
{
    return QStringLiteral(
        "QPushButton{\n"
        "background-color: rgb(184,184,184);\n"
        "color: black;\n"
        "padding: 3 5px;\n"
        "border-style: solid;\n"
        "border-width: 1px;\n"
        "border-color: rgb(237,237,237);\n"
        "border-radius: 2px;\n"
        "}\n"
        "QPushButton:!enabled{\n"
        "color: rgb(128,128,128);\n"
        "border-color: rgb(128,128,128);\n"
        "background-color: rgb(63,62,58);\n"
        "}\n"
        "QPushButton:hover{\n"
        "background-color: rgb(237,237,237);\n"
        "}\n"
        "QPushButton:pressed{\n"
        "border-color: rgb(128,128,128);\n"
        "background-color: rgb(128,128,128);\n"
        "}");
}

}  // namespace SelectionPanelStyle
