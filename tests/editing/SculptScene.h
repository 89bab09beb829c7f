#pragma once
// A flat grid template 1 above a flat target, with everything the brush mode
// builds around them: fans, boundary flags, the target's hierarchy, the four
// brushes and the template as drawn in the results view.
#include "editing/Sculpting/Brush.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "mesh/MeshSelections.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/GeomStackView.h"
#include "spatial/BVH.h"
#include "tests/support/TestMeshes.h"

#include <memory>

namespace SculptScene {

// side x side vertices over [-1, 1] x [-1, 1] at height z, two triangles per
// cell, counter-clockwise seen from +z.
inline GeometryStack::GeomStack grid(int side, float z)
{
    const QVector<QVector3D> vertices = TestMeshes::gridPoints(side, side, [side, z](int j, int i) {
        return QVector3D(-1 + 2.0f * j / (side - 1), -1 + 2.0f * i / (side - 1), z);
    });
    return GeometryStack::GeomStack(vertices, TestMeshes::gridFaces(side, side, TestMeshes::Cut::AlongAC), {}, {}, {});
}

struct Scene {
    explicit Scene(int side) : templateMesh(grid(side, 1.0f)), target(grid(2, 0.0f))
    {
        // The target reaches well beyond the template.
        for (QVector3D& p : target.vertices)
            p *= QVector3D(10, 10, 1);
        targetBvh.reset(BVH2::buildTree(target.vertices, target.triangles, 10));
        const HE::HalfEdgeGeom halfEdges(templateMesh.vertices, templateMesh.triangles);
        neighbours = halfEdges.buildVertexNeighboursFan();
        boundary = halfEdges.boundaryVerticesMask();
        const auto* t = &templateMesh.triangles;
        relax = std::make_unique<Sculpting::BrushRelax>(t, &neighbours, &target, &target.triangles, targetBvh.get());
        move = std::make_unique<Sculpting::BrushMove>(t, &target, &target.triangles, targetBvh.get());
        projection = std::make_unique<Sculpting::BrushProjection>(t, &target, &target.triangles, targetBvh.get());
        pushAway = std::make_unique<Sculpting::BrushPushAway>(t, &target, &target.triangles, targetBvh.get());
    }

    // As the brush mode draws the template while sculpting. Needs the view's context current.
    std::unique_ptr<Viewport3D::GLGeometrySplitted> makeDrawnGeometry()
    {
        return std::unique_ptr<Viewport3D::GLGeometrySplitted>(
            makeGLGeometrySplitted(&templateMesh, QColor(200, 120, 60), true, true, QColor(40, 40, 40), 0.5));
    }

    GeometryStack::GeomStack templateMesh;
    GeometryStack::GeomStack target;
    std::unique_ptr<BVH2::BvhNodeBase> targetBvh;
    QVector<QList<int>> neighbours;
    QVector<bool> boundary;
    std::unique_ptr<Sculpting::Brush> relax, move, projection, pushAway;
};

}  // namespace SculptScene
