#pragma once
// The alignment modes' glyph atlases and the numbered markers of a list of
// picked vertices in one view. Every marker is created and deleted with its
// own view's context current.
#include <QColor>
#include <QList>
#include <QVector3D>
#include <QVector>

class LabelFontAtlas;

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

}  // namespace ModeMarkers
