#include "Tarnwick/PanelArea.h"

#include <QLayout>
#include <QWidget>

namespace PanelArea {

void add(QWidget* area, QWidget* widget)
{
    if (area->layout())
        area->layout()->addWidget(widget);
    else
        widget->setParent(area);
}

void remove(QWidget* area, QWidget* widget)
{
    if (area->layout())
        area->layout()->removeWidget(widget);
}

}  // namespace PanelArea
