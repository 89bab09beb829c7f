#pragma once
// One loaded mesh as the tools see it: drawn in its own model view (one colour
// per polygroup) and again in the results view (one colour), with a triangle
// hierarchy and a point tree over it for picking, brushing and transfer.
#include "mesh/GeomStack.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/MeshCornerArrays.h"

#include <QColor>
#include <QFuture>

#include <memory>

namespace BVH2 {
class BvhNodeBase;
}
namespace KDTree {
class NodeBase;
}
namespace Viewport3D {
class Viewport3D2;
class Viewport3DLayered;
}  // namespace Viewport3D

// The mesh as one shading group covering every corner. The GL context of the
// view that will show it must be current; the caller owns the result.
Viewport3D::GLGeometrySplitted* makeGLGeometrySplitted(GeometryStack::GeomStack* geometry, const QColor& color,
                                                       bool shaded, bool wireVisible, const QColor& wireColor,
                                                       double opacity);
// Group i draws polygroup i in its own colour (the first keeps color's hue,
// the others get reproducible random hues); a mesh without polygroups gets the
// single group with a black wire at opacity 1. Polygons of polygroup -1 belong
// to no group and are not drawn.
Viewport3D::GLGeometrySplitted* makeGLGeometrySplittedByPolygroups(GeometryStack::GeomStack* geometry,
                                                                   const QColor& color, bool shaded, bool wireVisible,
                                                                   const QColor& wireColor, double opacity);

// The part of building a record that needs no GL context: both trees and the
// per-corner arrays, running on the pool over `mesh`, which is kept until the
// results are taken. A record built from it is the record built over any mesh
// with the same arrays.
struct GeomStackViewPreparation {
    std::shared_ptr<const GeometryStack::GeomStack> mesh;
    QFuture<BVH2::BvhNodeBase*> bvh;
    QFuture<KDTree::NodeBase*> kdTree;
    QFuture<MeshCornerArrays> arrays;
};
GeomStackViewPreparation prepareGeomStackView(std::shared_ptr<const GeometryStack::GeomStack> mesh);
// Whether a preparation made over `prepared` serves a record over `mesh`:
// the same vertices bit for bit, and the same triangles, texture layout,
// normals and triangle edge flags.
bool preparationFits(const GeometryStack::GeomStack& prepared, const GeometryStack::GeomStack& mesh);

// Plain record read directly by the tools. The mesh is not owned and must keep
// its vertices and triangles while the record lives: both trees hold indices
// only.
class GeomStackView {
public:
    // Builds the trees, then the own view's geometry (added to viewport), then
    // the results geometry: half transparent in the front layer when
    // transparentInResults, else opaque in the back layer. With a
    // preparation whose mesh fits `geometry`, takes the trees and arrays from
    // it (one that does not fit is discarded).
    GeomStackView(GeometryStack::GeomStack* geometry, Viewport3D::Viewport3D2* viewport,
                  Viewport3D::Viewport3DLayered* resultsViewport, const QColor& color, bool shaded, bool wireVisible,
                  const QColor& wireColor, bool transparentInResults, GeomStackViewPreparation* prepared = nullptr);
    // Removes both geometries from their views (each with its own context
    // current) and deletes them; the mesh stays.
    ~GeomStackView();
    GeomStackView(const GeomStackView&) = delete;
    GeomStackView& operator=(const GeomStackView&) = delete;

    // Sets the flags on the polygroup groups of viewGeometry only (groups added
    // later by tools and the results geometry keep theirs); does not repaint.
    void setShadingParams(bool textured, bool shaded, bool wireVisible);

    GeometryStack::GeomStack* geometry = nullptr;
    Viewport3D::GLGeometrySplitted* viewGeometry = nullptr;
    Viewport3D::GLGeometrySplitted* resultsGeometry = nullptr;
    Viewport3D::Viewport3D2* viewport = nullptr;
    Viewport3D::Viewport3DLayered* resultsViewport = nullptr;
    BVH2::BvhNodeBase* bvh = nullptr;
    KDTree::NodeBase* kdTree = nullptr;
};
