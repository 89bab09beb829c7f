#include "Tarnwick/TemplateGeometry.h"

#include "Tarnwick/controllermain.h"
#include "mesh/BoundingBox.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"

namespace TemplateGeometry {

void apply(ControllerMain* controllerMain, const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
           bool recomputeNormals)
{
    GeometryStack::GeomStack* mesh = controllerMain->geomStackTemplate;
    delete controllerMain->geomStackViewTemplate;
    controllerMain->geomStackViewTemplate = nullptr;
    mesh->vertices = vertices;
    if (recomputeNormals)
        mesh->computeNormals();
    else
        mesh->normals = normals;
    mesh->boundingBox = Viewport3D::BoundingBox::fromPoints(vertices);
    if (controllerMain->halfEdgeGeomTemplate)
        controllerMain->halfEdgeGeomTemplate->vertices = vertices;
    rebuildView(controllerMain);
}

void rebuildView(ControllerMain* controllerMain)
{
    controllerMain->buildTemplateView();
    const ShadingParams& shading = controllerMain->shadingParamsTemplate;
    controllerMain->geomStackViewTemplate->setShadingParams(shading.textured, shading.shaded, shading.wireVisible);
    if (controllerMain->textureTemplate) {
        controllerMain->viewport3DTemplate->makeCurrent();
        controllerMain->geomStackViewTemplate->viewGeometry->setTexture(*controllerMain->textureTemplate);
    }
    controllerMain->fitToViewViewport3DTemplate();
    controllerMain->fitToViewViewport3DResults();
}

}  // namespace TemplateGeometry
