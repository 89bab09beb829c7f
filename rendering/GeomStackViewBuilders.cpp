#include "mesh/MeshSelections.h"
#include "rendering/GeomStackView.h"
#include "rendering/MeshCornerArrays.h"

#include <QList>
#include <QtConcurrent>

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

GLGeometrySplitted* makeRenderer(const GeometryStack::GeomStack& mesh, const MeshCornerArrays& arrays,
                                 const QList<ShadingGroup>& groups, const QList<QVector<bool>>& cornerMasks)
{
    return new GLGeometrySplitted(arrays.positions, arrays.textureCoordinates, arrays.normals, arrays.edgeFlags,
                                  mesh.boundingBox, groups, cornerMasks);
}

}  // namespace

MeshCornerArrays makeMeshCornerArrays(const GeometryStack::GeomStack& mesh)
{
    const GeometryStack::GeomStack* source = &mesh;
    QFuture<QVector<QVector3D>> normals = QtConcurrent::run([source] { return GeometryStack::cornerNormals(*source); });
    QFuture<QVector<QVector2D>> textureCoordinates =
        QtConcurrent::run([source] { return GeometryStack::cornerTextureCoordinates(*source); });
    QFuture<QVector<float>> edgeFlags =
        QtConcurrent::run([source] { return GeometryStack::edgeFlagsPerCorner(*source); });
    MeshCornerArrays arrays;
    arrays.positions = GeometryStack::cornerPositions(mesh);
    arrays.normals = normals.result();
    arrays.textureCoordinates = textureCoordinates.result();
    arrays.edgeFlags = edgeFlags.result();
    return arrays;
}

GLGeometrySplitted* makeGLGeometrySplitted(const GeometryStack::GeomStack& mesh, const MeshCornerArrays& arrays,
                                           const QColor& color, bool shaded, bool wireVisible, const QColor& wireColor,
                                           double opacity)
{
    const QVector<bool> allPolygons(mesh.polygons.size(), true);
    return makeRenderer(mesh, arrays, {meshGroup(color, shaded, wireVisible, wireColor, opacity)},
                        {GeometryStack::polygonMaskToCornerMask(mesh, allPolygons)});
}

GLGeometrySplitted* makeGLGeometrySplittedByPolygroups(const GeometryStack::GeomStack& mesh,
                                                       const MeshCornerArrays& arrays, const QColor& color, bool shaded,
                                                       bool wireVisible, const QColor& wireColor, double opacity)
{
    const int n = mesh.polygroupNames.size();
    if (n == 0)
        return makeGLGeometrySplitted(mesh, arrays, color, shaded, wireVisible, Qt::black, 1.0);

    qreal hue = 0, saturation = 0, lightness = 0;
    color.getHslF(&hue, &saturation, &lightness);
    const QVector<QColor> colors = GeometryStack::randomColors(n, float(saturation), float(lightness), float(hue));
    QList<ShadingGroup> groups;
    QList<QVector<bool>> masks;
    for (int i = 0; i < n; ++i) {
        groups.append(meshGroup(colors[i], shaded, wireVisible, wireColor, opacity));
        masks.append(GeometryStack::polygonMaskToCornerMask(mesh, GeometryStack::polygonMaskOfPolygroup(mesh, i)));
    }
    return makeRenderer(mesh, arrays, groups, masks);
}

GLGeometrySplitted* makeGLGeometrySplitted(GeometryStack::GeomStack* geometry, const QColor& color, bool shaded,
                                           bool wireVisible, const QColor& wireColor, double opacity)
{
    return makeGLGeometrySplitted(*geometry, makeMeshCornerArrays(*geometry), color, shaded, wireVisible, wireColor,
                                  opacity);
}

GLGeometrySplitted* makeGLGeometrySplittedByPolygroups(GeometryStack::GeomStack* geometry, const QColor& color,
                                                       bool shaded, bool wireVisible, const QColor& wireColor,
                                                       double opacity)
{
    return makeGLGeometrySplittedByPolygroups(*geometry, makeMeshCornerArrays(*geometry), color, shaded, wireVisible,
                                              wireColor, opacity);
}
