#pragma once
// What the alignment modes share: their glyph atlases, the numbered markers of
// a list of picked vertices in one view, and writing a new geometry into the
// loaded template. Every marker is created and deleted with its own view's
// context current.
#include <QColor>
#include <QList>
#include <QVector3D>
#include <QVector>

class ControllerMain;
class LabelFontAtlas;
class QWidget;

namespace Viewport3D {
class GLPointsWithLabels;
class Viewport3D2;
class Viewport3DLayered;
}  // namespace Viewport3D

namespace ModeMarkers {

// "Arial", 12 points, bold, padding 4, a black outline of width 2, characters 32 to 127.
LabelFontAtlas* makeLabelAtlas(const QColor& textColor);

// Markers labelled "0", "1", ... at the listed vertices, added to the view (which repaints).
Viewport3D::GLPointsWithLabels* buildMarkers(Viewport3D::Viewport3D2* view, const QVector<QVector3D>& vertices,
                                             const QList<int>& indices, LabelFontAtlas* atlas, const QColor& color);
// The same in the results view's front layer; the caller repaints.
Viewport3D::GLPointsWithLabels* buildMarkers(Viewport3D::Viewport3DLayered* view, const QVector<QVector3D>& vertices,
                                             const QList<int>& indices, LabelFontAtlas* atlas, const QColor& color);
// Nothing for null; else removed from the view, the view repainted, the marker deleted and nulled.
void removeMarkers(Viewport3D::Viewport3D2* view, Viewport3D::GLPointsWithLabels*& markers);

// Makes the vertices (and the normals, or normals recomputed from the vertices
// when recomputeNormals) the template's geometry: mesh, bounding box, half-edge
// form, a new drawn record with the shading flags and texture, and both views fitted.
void applyTemplateGeometry(ControllerMain* controllerMain, const QVector<QVector3D>& vertices,
                           const QVector<QVector3D>& normals, bool recomputeNormals);

// Builds a new drawn record over the template mesh (the old one must already be
// deleted), applies the shading flags and texture, and fits both views.
void rebuildTemplateView(ControllerMain* controllerMain);

// A mode's strip joins a widget area through the area's layout when it has one.
void addToLayout(QWidget* container, QWidget* widget);
void removeFromLayout(QWidget* container, QWidget* widget);

}  // namespace ModeMarkers
