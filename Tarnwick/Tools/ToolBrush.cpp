#include "Tarnwick/Tools/ToolBrush.h"

#include "Tarnwick/TemplateGeometry.h"
#include "Tarnwick/controllermain.h"
#include "editing/BrushController.h"
#include "editing/Sculpting/Brush.h"
#include "editing/WidgetBrushController.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"

namespace Tools {

void ToolBrush::initialize()
{
    ControllerMain* main = controllerMain_;
    Viewport3D::Viewport3DLayered* results = main->viewport3DResults;
    results->makeCurrent();
    main->geomStackViewTemplate->resultsGeometry->setVisible(false);

    vertexNeighbours = main->halfEdgeGeomTemplate->buildVertexNeighboursFan();
    boundaryVertices = main->halfEdgeGeomTemplate->boundaryVerticesMask();

    GeometryStack::GeomStack* templ = main->geomStackTemplate;
    GeometryStack::GeomStack* target = main->geomStackTarget;
    const BVH2::BvhNodeBase* targetRoot = main->geomStackViewTarget->bvh;
    brushMove_ = new Sculpting::BrushMove(&templ->triangles, target, &target->triangles, targetRoot);
    brushRelax_ =
        new Sculpting::BrushRelax(&templ->triangles, &vertexNeighbours, target, &target->triangles, targetRoot);
    brushProjection_ = new Sculpting::BrushProjection(&templ->triangles, target, &target->triangles, targetRoot);
    brushPushAway_ = new Sculpting::BrushPushAway(&templ->triangles, target, &target->triangles, targetRoot);

    sculptGeometry = makeGLGeometrySplitted(templ, sculptColor_, true, true, sculptWireColor_, 0.5);
    results->addObject(sculptGeometry, Viewport3D::Viewport3DLayered::FrontLayer);

    controller = new BrushController(templ, &vertexNeighbours, &boundaryVertices, sculptGeometry, results);
    controller->addBrush(brushRelax_, QStringLiteral("Relax brush"));
    controller->addBrush(brushMove_, QStringLiteral("Move brush"));
    controller->addBrush(brushProjection_, QStringLiteral("Projection brush"));
    controller->addBrush(brushPushAway_, QStringLiteral("Push away brush"));
    controller->setCurrentBrush(0);

    panel_ = new WidgetBrushController(controller);
    connect(panel_, &WidgetBrushController::done, this, &ToolBrush::onDone);
    connect(panel_, &WidgetBrushController::cancel, this, &ToolBrush::onCancel);
    showPanel(panel_);

    results->updateGL();
}

void ToolBrush::release(Tools::ToolReleaseAction releaseAction)
{
    ControllerMain* main = controllerMain_;
    const QVector<QVector3D> sculpted = controller->vertices();

    removePanel(panel_, controller);
    delete controller;
    controller = nullptr;
    delete brushMove_;
    delete brushRelax_;
    delete brushProjection_;
    delete brushPushAway_;
    brushMove_ = nullptr;
    brushRelax_ = nullptr;
    brushProjection_ = nullptr;
    brushPushAway_ = nullptr;

    Viewport3D::Viewport3DLayered* results = main->viewport3DResults;
    results->makeCurrent();
    results->setAlwaysRedrawBackLayer(true);
    results->removeObject(sculptGeometry);
    delete sculptGeometry;
    sculptGeometry = nullptr;

    if (releaseAction == Done) {
        // The rebuilt record's results geometry starts visible.
        TemplateGeometry::apply(main, sculpted, {}, true);
    } else {
        main->geomStackViewTemplate->resultsGeometry->setVisible(true);
        results->updateGL();
    }
}

bool ToolBrush::isAvailable() const
{
    return controllerMain_->isTemplateLoaded() && controllerMain_->isTargetLoaded();
}

}  // namespace Tools
