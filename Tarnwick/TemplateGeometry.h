#pragma once
// Replacing the loaded template's geometry, as the modes that change it do on
// Done: the mesh, its bounding box and half-edge form, then a new drawn record
// with the shading flags and texture, and both views fitted. No model signal
// is emitted; the mode's release tells the tool bar and the strips.
#include <QVector3D>
#include <QVector>

class ControllerMain;

namespace TemplateGeometry {

// Makes the vertices (and the normals, or normals recomputed from the vertices
// when recomputeNormals) the template's geometry and rebuilds its view.
void apply(ControllerMain* controllerMain, const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
           bool recomputeNormals);

// Builds a new drawn record over the template mesh (the old one must already be
// deleted), applies the shading flags and texture, and fits both views.
void rebuildView(ControllerMain* controllerMain);

}  // namespace TemplateGeometry
