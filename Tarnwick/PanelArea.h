#pragma once
// The areas that take the modes' panels and selection strips: the parameters
// area and the widget areas of the two model views.
class QWidget;

namespace PanelArea {

// The widget joins the area through the area's layout when it has one, else as a plain child.
void add(QWidget* area, QWidget* widget);
// Takes the widget out of the area's layout; deleting it is the caller's.
void remove(QWidget* area, QWidget* widget);

}  // namespace PanelArea
