#include "Tarnwick/ModeMarkers.h"

#include "mesh/IndexContainers.h"
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

}  // namespace ModeMarkers
