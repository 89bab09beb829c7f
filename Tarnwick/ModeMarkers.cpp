#include "Tarnwick/ModeMarkers.h"

#include <QLayout>
#include <QWidget>

#include "Tarnwick/controllermain.h"
#include "mesh/BoundingBox.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "mesh/IndexContainers.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "rendering/glpointswithlabels.h"
#include "rendering/labelfontatlas.h"

#include <QFont>

namespace ModeMarkers {

LabelFontAtlas* makeLabelAtlas(const QColor& textColor)
{
    return new LabelFontAtlas(QFont("Arial", 12, QFont::Bold), 4, textColor, Qt::black, 2, printableAsciiChars());
}

namespace {

Viewport3D::GLPointsWithLabels* makeMarkers(const QVector<QVector3D>& vertices, const QList<int>& indices,
                                            LabelFontAtlas* atlas, const QColor& color)
{
    return new Viewport3D::GLPointsWithLabels(GeometryStack::takeByIndices(vertices, indices),
                                              makeIndexLabels(indices.size()), atlas, color, 4.0f);
}

}  // namespace

Viewport3D::GLPointsWithLabels* buildMarkers(Viewport3D::Viewport3D2* view, const QVector<QVector3D>& vertices,
                                             const QList<int>& indices, LabelFontAtlas* atlas, const QColor& color)
{
    view->makeCurrent();
    auto* markers = makeMarkers(vertices, indices, atlas, color);
    view->addObject(markers);
    return markers;
}

Viewport3D::GLPointsWithLabels* buildMarkers(Viewport3D::Viewport3DLayered* view, const QVector<QVector3D>& vertices,
                                             const QList<int>& indices, LabelFontAtlas* atlas, const QColor& color)
{
    view->makeCurrent();
    auto* markers = makeMarkers(vertices, indices, atlas, color);
    view->addObject(markers, 1);
    return markers;
}

void removeMarkers(Viewport3D::Viewport3D2* view, Viewport3D::GLPointsWithLabels*& markers)
{
    if (!markers)
        return;
    view->makeCurrent();
    view->removeObject(markers);
    view->update();
    delete markers;
    markers = nullptr;
}

void applyTemplateGeometry(ControllerMain* controllerMain, const QVector<QVector3D>& vertices,
                           const QVector<QVector3D>& normals, bool recomputeNormals)
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
    rebuildTemplateView(controllerMain);
}

void rebuildTemplateView(ControllerMain* controllerMain)
{
    controllerMain->geomStackViewTemplate = new GeomStackView(
        controllerMain->geomStackTemplate, controllerMain->viewport3DTemplate, controllerMain->viewport3DResults,
        QColor(97, 150, 220), true, true, QColor(36, 53, 67), true);
    const ShadingParams& shading = controllerMain->shadingParamsTemplate;
    controllerMain->geomStackViewTemplate->setShadingParams(shading.textured, shading.shaded, shading.wireVisible);
    if (controllerMain->textureTemplate) {
        controllerMain->viewport3DTemplate->makeCurrent();
        controllerMain->geomStackViewTemplate->viewGeometry->setTexture(*controllerMain->textureTemplate);
    }
    controllerMain->fitToViewViewport3DTemplate();
    controllerMain->fitToViewViewport3DResults();
}

void addToLayout(QWidget* container, QWidget* widget)
{
    if (container->layout())
        container->layout()->addWidget(widget);
    else
        widget->setParent(container);
}

void removeFromLayout(QWidget* container, QWidget* widget)
{
    if (container->layout())
        container->layout()->removeWidget(widget);
}

}  // namespace ModeMarkers
