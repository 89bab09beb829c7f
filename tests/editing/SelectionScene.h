#pragma once
// A mesh for selection tests and its drawn geometry in a shown model view.
//
// Two grids of 4 x 4 unit-square quads facing +z, each spanning -1 to 1 in x and y: the front
// one at z = 0.5 (polygons 0-15, row by row from the bottom left) and the back one at z = -0.5
// (polygons 16-31), which the front one hides from the view's default camera (eye at z = 3).
// Polygroups: 0 "frontLeft" (front, x < 0), 1 "frontRight" (front, x > 0), 2 "back".
#include "editing/polygonselectioncontroller.h"
#include "mesh/GeomStack.h"
#include "mesh/MeshSelections.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/Viewport3D2.h"
#include "spatial/BVH.h"
#include "tests/support/TestMeshes.h"

#include <QColor>
#include <memory>

namespace SelectionScene {

const int kSide = 4;
const int kPolygons = 2 * kSide * kSide;

inline std::unique_ptr<GeometryStack::GeomStack> twoGrids(bool withPolygroups = true)
{
    QVector<QVector3D> vertices;
    QVector<QList<int>> polygons;
    for (float z : {0.5f, -0.5f}) {
        const int base = vertices.size();
        vertices += TestMeshes::gridPoints(
            kSide + 1, kSide + 1, [z](int i, int j) { return QVector3D(-1.0f + 0.5f * i, -1.0f + 0.5f * j, z); });
        polygons += TestMeshes::gridFaces(kSide + 1, kSide + 1, TestMeshes::Cut::Quad, base);
    }
    auto mesh = std::make_unique<GeometryStack::GeomStack>(vertices, polygons, QVector<QVector2D>(),
                                                           QVector<QList<int>>(), QVector<QVector3D>());
    if (withPolygroups) {
        mesh->polygroupNames = {"frontLeft", "frontRight", "back"};
        for (int p = 0; p < kPolygons; ++p)
            mesh->polygonIndToPolygroupInd.append(p >= kSide * kSide ? 2 : (p % kSide < kSide / 2 ? 0 : 1));
    }
    return mesh;
}

// Flat colours per polygroup, so that read-back pixels tell the groups apart.
inline QColor groupColour(int group)
{
    const QColor colours[] = {QColor(0, 160, 0), QColor(0, 0, 200), QColor(200, 200, 0)};
    return colours[group % 3];
}

// One shading group per polygroup (one for all polygons without polygroups), as the loaded-model
// view builds it. The view's context must be current.
inline std::unique_ptr<Viewport3D::GLGeometrySplitted> drawnGeometry(const GeometryStack::GeomStack& mesh)
{
    QList<Viewport3D::ShadingGroup> groups;
    QList<QVector<bool>> masks;
    const int n = std::max(1, int(mesh.polygroupNames.size()));
    for (int g = 0; g < n; ++g) {
        Viewport3D::ShadingGroup group;
        group.colorFront = groupColour(g);
        group.colorBack = Qt::darkGray;
        group.shaded = false;
        groups.append(group);
        const QVector<bool> polygons = mesh.polygroupNames.isEmpty() ? QVector<bool>(mesh.polygons.size(), true)
                                                                     : GeometryStack::polygonMaskOfPolygroup(mesh, g);
        masks.append(GeometryStack::polygonMaskToCornerMask(mesh, polygons));
    }
    return std::make_unique<Viewport3D::GLGeometrySplitted>(
        GeometryStack::cornerPositions(mesh), GeometryStack::cornerTextureCoordinates(mesh),
        GeometryStack::cornerNormals(mesh), GeometryStack::edgeFlagsPerCorner(mesh), mesh.boundingBox, groups, masks);
}

// The corner mask a shading group draws, rebuilt from its runs.
inline QVector<bool> groupCornerMask(const Viewport3D::GLGeometrySplitted& geometry, int group)
{
    QVector<bool> mask(geometry.cornerCount, false);
    const QVector<int>& starts = geometry.runStarts.at(group);
    const QVector<int>& counts = geometry.runCounts.at(group);
    for (int r = 0; r < starts.size(); ++r)
        for (int k = 0; k < counts[r]; ++k)
            mask[starts[r] + k] = true;
    return mask;
}

// A polygon mask from a list of polygon indices.
inline QVector<bool> polygons(std::initializer_list<int> indices, int n = kPolygons)
{
    QVector<bool> mask(n, false);
    for (int p : indices)
        mask[p] = true;
    return mask;
}

// A mesh drawn in a shown model view with its hierarchy, a lasso and a polygon
// selection controller over them. The test shows `view` before it builds.
struct PolygonSelectionRig {
    void build(std::unique_ptr<GeometryStack::GeomStack> newMesh, int leafSize)
    {
        release();
        mesh = std::move(newMesh);
        bvh.reset(BVH2::buildTree(mesh->vertices, mesh->triangles, leafSize));
        view->makeCurrent();
        drawn = drawnGeometry(*mesh);
        view->addObject(drawn.get());
        lasso = std::make_unique<Viewport3D::LassoSelectionController>(view.get());
        controller =
            std::make_unique<PolygonSelectionController>(mesh.get(), bvh.get(), drawn.get(), view.get(), lasso.get());
    }

    // Drops the controller, the lasso and the drawn geometry (in the view's context).
    void release()
    {
        controller.reset();
        lasso.reset();
        if (drawn) {
            view->makeCurrent();
            view->removeObject(drawn.get());
            drawn.reset();
        }
    }

    std::unique_ptr<Viewport3D::Viewport3D2> view;
    std::unique_ptr<GeometryStack::GeomStack> mesh;
    std::unique_ptr<BVH2::BvhNodeBase> bvh;
    std::unique_ptr<Viewport3D::GLGeometrySplitted> drawn;
    std::unique_ptr<Viewport3D::LassoSelectionController> lasso;
    std::unique_ptr<PolygonSelectionController> controller;
};

}  // namespace SelectionScene
