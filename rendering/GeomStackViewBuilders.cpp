#include "rendering/GeomStackView.h"

#include "mesh/MeshSelections.h"

#include <QList>

using Viewport3D::GLGeometrySplitted;
using Viewport3D::ShadingGroup;

namespace {

ShadingGroup meshGroup(const QColor& front, bool shaded, bool wireVisible, const QColor& wireColor, double opacity)
{
    ShadingGroup group;
    group.colorFront = front;
    group.colorBack = Qt::darkGray;
    group.colorWire = wireColor;
    group.setOpacity(opacity);
    group.shaded = shaded;
    group.wireVisible = wireVisible;
    group.textured = true;
    return group;
}

GLGeometrySplitted* makeRenderer(const GeometryStack::GeomStack& mesh, const QList<ShadingGroup>& groups,
                                 const QList<QVector<bool> >& cornerMasks)
{
    return new GLGeometrySplitted(GeometryStack::cornerPositions(mesh), GeometryStack::cornerTextureCoordinates(mesh),
                                  GeometryStack::cornerNormals(mesh), GeometryStack::edgeFlagsPerCorner(mesh),
                                  mesh.boundingBox, groups, cornerMasks);
}

}  // namespace

GLGeometrySplitted* makeGLGeometrySplitted(GeometryStack::GeomStack* geometry, const QColor& color, bool shaded,
                                           bool wireVisible, const QColor& wireColor, double opacity)
{
    const QVector<bool> allPolygons(geometry->polygons.size(), true);
    return makeRenderer(*geometry, {meshGroup(color, shaded, wireVisible, wireColor, opacity)},
                        {GeometryStack::polygonMaskToCornerMask(*geometry, allPolygons)});
}

GLGeometrySplitted* makeGLGeometrySplittedByPolygroups(GeometryStack::GeomStack* geometry, const QColor& color,
                                                       bool shaded, bool wireVisible, const QColor& wireColor,
                                                       double opacity)
{
    const int n = geometry->polygroupNames.size();
    if (n == 0)
        return makeGLGeometrySplitted(geometry, color, shaded, wireVisible, Qt::black, 1.0);

    qreal hue = 0, saturation = 0, lightness = 0;
    color.getHslF(&hue, &saturation, &lightness);
    const QVector<QColor> colors = GeometryStack::randomColors(n, float(saturation), float(lightness), float(hue));
    QList<ShadingGroup> groups;
    QList<QVector<bool> > masks;
    for (int i = 0; i < n; ++i) {
        groups.append(meshGroup(colors[i], shaded, wireVisible, wireColor, opacity));
        masks.append(
            GeometryStack::polygonMaskToCornerMask(*geometry, GeometryStack::polygonMaskOfPolygroup(*geometry, i)));
    }
    return makeRenderer(*geometry, groups, masks);
}
