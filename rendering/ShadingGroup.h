#pragma once
// Drawing parameters of one group of a mesh's triangles (a value record,
// copied into the mesh renderer).
#include <QColor>

namespace Viewport3D {

struct ShadingGroup {
    QColor colorFront = QColor(200, 200, 200);  // front-facing fragments
    QColor colorBack = QColor(90, 90, 160);     // back-facing fragments
    QColor colorWire = QColor(40, 40, 40);      // polygon-edge lines
    float opacity = 1.0f;                       // fragment alpha factor (unshaded) or alpha (shaded)
    bool shaded = true;                         // lit or flat
    bool wireVisible = false;                   // draw the polygon edges of this group
    bool textured = false;                      // colour from the texture when one is held

    void setOpacity(double value) { opacity = float(value); }

    // One colour on both faces with its wire drawn, opaque and untextured: how the
    // modes mark selected, free or excluded polygons.
    static ShadingGroup marked(const QColor& fill, const QColor& wire, bool shaded)
    {
        ShadingGroup group;
        group.colorFront = fill;
        group.colorBack = fill;
        group.colorWire = wire;
        group.opacity = 1.0f;
        group.shaded = shaded;
        group.wireVisible = true;
        group.textured = false;
        return group;
    }
};

}  // namespace Viewport3D
