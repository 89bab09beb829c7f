#pragma once
// A square in the plane z = 0 as the per-corner renderer takes it, and where
// its points land on screen for the views' default camera (eye at z = 3 looking
// down -z, 45 degree vertical field of view).
//
//   v3 (-1, 1) +-----------+ v2 (1, 1)
//              |         / |
//              |  t1   /   |      triangles t0 = (v0 v1 v2), t1 = (v0 v2 v3),
//              |     /     |      counter-clockwise seen from +z; the diagonal
//              |   /   t0  |      v0-v2 is not a polygon edge
//              | /         |
//   v0 (-1,-1) +-----------+ v1 (1, -1)
#include "rendering/GLGeometrySplitted.h"

#include <QPoint>
#include <QSize>
#include <cmath>
#include <memory>

namespace QuadScene {

inline QVector<QVector3D> positions()
{
    const QVector3D v0(-1, -1, 0), v1(1, -1, 0), v2(1, 1, 0), v3(-1, 1, 0);
    return {v0, v1, v2, v0, v2, v3};
}

inline QVector<QVector2D> textureCoordinates()
{
    return {{0, 0}, {1, 0}, {1, 1}, {0, 0}, {1, 1}, {0, 1}};
}

inline QVector<QVector3D> normals()
{
    return QVector<QVector3D>(6, QVector3D(0, 0, 1));
}

inline QVector<float> edgeFlags()
{
    return {1, 1, 0, 0, 1, 1};
}

inline Viewport3D::BoundingBox box()
{
    return Viewport3D::BoundingBox(QVector3D(-1, -1, 0), QVector3D(2, 2, 0));
}

inline QVector<bool> cornerMask(bool triangle0, bool triangle1)
{
    return {triangle0, triangle0, triangle0, triangle1, triangle1, triangle1};
}

inline Viewport3D::ShadingGroup flatGroup(const QColor& front, float opacity = 1.0f)
{
    Viewport3D::ShadingGroup group;
    group.colorFront = front;
    group.colorBack = QColor(255, 0, 255);
    group.colorWire = QColor(0, 0, 0);
    group.opacity = opacity;
    group.shaded = false;
    group.wireVisible = false;
    group.textured = false;
    return group;
}

// A quad of one group covering both triangles. Needs the view's context current.
inline std::unique_ptr<Viewport3D::GLGeometrySplitted> make(const Viewport3D::ShadingGroup& group,
                                                            bool withTextureCoordinates = true)
{
    return std::make_unique<Viewport3D::GLGeometrySplitted>(
        positions(), withTextureCoordinates ? textureCoordinates() : QVector<QVector2D>(), normals(), edgeFlags(),
        box(), QList<Viewport3D::ShadingGroup>{group}, QList<QVector<bool>>{cornerMask(true, true)});
}

// Pixel of the world point (x, y, 0) in a square view of the given side for
// the default camera.
inline QPoint pixelOf(float x, float y, int side)
{
    const double halfHeight = 3.0 * std::tan(22.5 * 3.141592653589793 / 180.0);
    const double half = side / 2.0;
    return QPoint(int(std::lround(half + half * x / halfHeight)), int(std::lround(half - half * y / halfHeight)));
}

}  // namespace QuadScene
