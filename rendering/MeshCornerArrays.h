#pragma once
// The per-corner arrays a mesh renderer is made from (three entries per
// triangle), computed once so that a loaded model's two drawn geometries
// share them, and the two builders on top of them.
#include "mesh/GeomStack.h"
#include "rendering/GLGeometrySplitted.h"

#include <QColor>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

struct MeshCornerArrays {
    QVector<QVector3D> positions;
    QVector<QVector2D> textureCoordinates;  // empty without texture polygons
    QVector<QVector3D> normals;
    QVector<float> edgeFlags;
};

// The four arrays of the mesh, built side by side on the thread pool; the
// mesh must not change meanwhile.
MeshCornerArrays makeMeshCornerArrays(const GeometryStack::GeomStack& mesh);

// makeGLGeometrySplitted and makeGLGeometrySplittedByPolygroups on arrays made
// from the same mesh.
Viewport3D::GLGeometrySplitted* makeGLGeometrySplitted(const GeometryStack::GeomStack& mesh,
                                                       const MeshCornerArrays& arrays, const QColor& color, bool shaded,
                                                       bool wireVisible, const QColor& wireColor, double opacity);
Viewport3D::GLGeometrySplitted* makeGLGeometrySplittedByPolygroups(const GeometryStack::GeomStack& mesh,
                                                                   const MeshCornerArrays& arrays, const QColor& color,
                                                                   bool shaded, bool wireVisible,
                                                                   const QColor& wireColor, double opacity);
