#include "Tarnwick/Tools/ToolSubset.h"

#include "Tarnwick/PanelArea.h"
#include "Tarnwick/TemplateGeometry.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/widgetparamssubset.h"
#include "editing/polygonselectioncontroller.h"
#include "editing/polygonselectionwidget.h"
#include "mesh/BoundingBox.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "mesh/MeshMasks.h"
#include "rendering/GeomStackView.h"
#include "rendering/LassoSelectionController.h"

namespace Tools {

ToolSubset::ToolSubset(ControllerMain* controllerMain, const QString& name, QObject* parent)
    : Tool(controllerMain, name, parent), baseName(name)
{
    updateName();
    connect(controllerMain_, &ControllerMain::templateLoaded, this, &ToolSubset::onTemplateLoaded);
}

ToolSubset::~ToolSubset()
{
    delete wholeTemplate;
}

void ToolSubset::updateName()
{
    setName(baseName + QStringLiteral(" (") + phaseNames.at(phase) + QStringLiteral(")"));
}

void ToolSubset::initialize()
{
    if (phase == 1) {
        emit releaseRequest(Done);
        return;
    }
    ControllerMain* main = controllerMain_;
    panel_ = new WidgetParamsSubset();
    connect(panel_, &WidgetParamsSubset::done, this, &ToolSubset::onDone);
    connect(panel_, &WidgetParamsSubset::cancel, this, &ToolSubset::onCancel);
    showPanel(panel_);

    GeomStackView* view = main->geomStackViewTemplate;
    lassoController = new Viewport3D::LassoSelectionController(main->viewport3DTemplate);
    selectionController_ = new PolygonSelectionController(main->geomStackTemplate, view->bvh, view->viewGeometry,
                                                          main->viewport3DTemplate, lassoController);
    if (!savedSelection.isEmpty())
        selectionController_->setSelection(savedSelection);
    if (!savedVisibility.isEmpty())
        selectionController_->setVisibility(savedVisibility);
    selectionWidget_ = new PolygonSelectionWidget(selectionController_);
    PanelArea::add(main->widgetsAreaTemplate, selectionWidget_);
}

void ToolSubset::release(Tools::ToolReleaseAction releaseAction)
{
    if (phase == 1) {
        restoreWholeTemplate();
        phase = 0;
    } else {
        ControllerMain* main = controllerMain_;
        removePanel(panel_);
        savedSelection = selectionController_->selection();
        savedVisibility = selectionController_->visibility();
        PanelArea::remove(main->widgetsAreaTemplate, selectionWidget_);
        delete selectionWidget_;
        selectionWidget_ = nullptr;
        delete selectionController_;
        selectionController_ = nullptr;
        delete lassoController;
        lassoController = nullptr;
        if (releaseAction == Done && savedSelection.contains(true)) {
            cropTemplate();
            phase = 1;
        }
    }
    updateName();
}

bool ToolSubset::isAvailable() const
{
    return controllerMain_->isTemplateLoaded();
}

void ToolSubset::cropTemplate()
{
    ControllerMain* main = controllerMain_;
    wholeTemplate = main->geomStackTemplate;  // kept aside, whole, until the crop is written back
    const QList<int> polygons = GeometryStack::maskToIndices(savedSelection);
    QVector<int> textureVertexMap;
    auto* subMesh = new GeometryStack::GeomStack(*wholeTemplate, polygons, vertexMap, textureVertexMap);

    delete main->geomStackViewTemplate;
    main->geomStackViewTemplate = nullptr;
    delete main->halfEdgeGeomTemplate;
    main->geomStackTemplate = subMesh;
    main->halfEdgeGeomTemplate = new HE::HalfEdgeGeom(subMesh->vertices, subMesh->polygons);
    TemplateGeometry::rebuildView(main);
}

void ToolSubset::restoreWholeTemplate()
{
    ControllerMain* main = controllerMain_;
    const GeometryStack::GeomStack* part = main->geomStackTemplate;

    for (int i = 0; i < part->vertices.size(); ++i)
        wholeTemplate->vertices[vertexMap.at(i)] = part->vertices.at(i);
    for (int i = 0; i < part->normals.size(); ++i)
        wholeTemplate->normals[vertexMap.at(i)] = part->normals.at(i);
    wholeTemplate->boundingBox = Viewport3D::BoundingBox::fromPoints(wholeTemplate->vertices);

    delete main->geomStackViewTemplate;
    main->geomStackViewTemplate = nullptr;
    delete main->halfEdgeGeomTemplate;
    delete main->geomStackTemplate;
    main->geomStackTemplate = wholeTemplate;
    main->halfEdgeGeomTemplate = new HE::HalfEdgeGeom(wholeTemplate->vertices, wholeTemplate->polygons);
    wholeTemplate = nullptr;
    TemplateGeometry::rebuildView(main);
}

void ToolSubset::onTemplateLoaded()
{
    vertexMap.clear();
    savedSelection.clear();
    savedVisibility.clear();
    delete wholeTemplate;
    wholeTemplate = nullptr;
    phase = 0;
    updateName();
}

}  // namespace Tools
