#include "Tarnwick/MeshPointPicker.h"

#include "Tarnwick/PanelArea.h"
#include "editing/pointselectioncontroller.h"
#include "editing/pointselectionwidget.h"
#include "mesh/GeomStack.h"
#include "rendering/GeomStackView.h"

MeshPointPicker::MeshPointPicker(GeomStackView* mesh, QWidget* area, LabelFontAtlas* labelAtlas,
                                 const QColor& labelColor, const QList<int>& points)
    : area_(area),
      controller_(new PointSelectionController(&mesh->geometry->vertices, &mesh->geometry->triangles, mesh->bvh,
                                               mesh->kdTree, labelAtlas, mesh->viewport, labelColor))
{
    controller_->setSelectedPoints(points);
    strip_ = new PointSelectionWidget(controller_);
    PanelArea::add(area_, strip_);
}

MeshPointPicker::~MeshPointPicker()
{
    PanelArea::remove(area_, strip_);
    delete strip_;
    delete controller_;
}

const QList<int>& MeshPointPicker::points() const
{
    return controller_->selectedPoints();
}
