#include "rendering/GeomStackView.h"

#include "mesh/ParallelChunks.h"
#include "rendering/MeshCornerArrays.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "spatial/BVH.h"
#include "spatial/KDTree.h"

#include <QtConcurrent>

#include <algorithm>

namespace {
constexpr int kTreeLeafSize = 10;
}

GeomStackView::GeomStackView(GeometryStack::GeomStack* geometry, Viewport3D::Viewport3D2* viewport,
                             Viewport3D::Viewport3DLayered* resultsViewport, const QColor& color, bool shaded,
                             bool wireVisible, const QColor& wireColor, bool transparentInResults)
    : geometry(geometry), viewport(viewport), resultsViewport(resultsViewport)
{
    // The trees need no GL: they are built on the pool while this thread
    // uploads both geometries, and are complete before the constructor returns.
    // Both builders only read the mesh, as the uploads do.
    const GeometryStack::GeomStack* mesh = geometry;
    QFuture<BVH2::BvhNodeBase*> bvhBuild =
        QtConcurrent::run([mesh] { return BVH2::buildTree(mesh->vertices, mesh->triangles, kTreeLeafSize); });
    QFuture<KDTree::NodeBase*> kdTreeBuild =
        QtConcurrent::run([mesh] { return KDTree::buildTree(mesh->vertices, kTreeLeafSize); });

    // Both geometries draw the same per-corner arrays (shared, not copied).
    const MeshCornerArrays arrays = makeMeshCornerArrays(*geometry);

    viewport->makeCurrent();
    viewGeometry = makeGLGeometrySplittedByPolygroups(*geometry, arrays, color, shaded, wireVisible, wireColor, 1.0);
    viewport->addObject(viewGeometry);

    resultsViewport->makeCurrent();
    resultsGeometry = makeGLGeometrySplitted(*geometry, arrays, color, shaded, wireVisible, wireColor,
                                             transparentInResults ? 0.5 : 1.0);
    resultsViewport->addObject(resultsGeometry, transparentInResults ? Viewport3D::Viewport3DLayered::FrontLayer
                                                                     : Viewport3D::Viewport3DLayered::BackLayer);

    bvh = bvhBuild.result();
    kdTree = kdTreeBuild.result();
}

GeomStackView::~GeomStackView()
{
    // The trees hold only memory: they are freed on the pool.
    Parallel::deleteOnPool(bvh);
    Parallel::deleteOnPool(kdTree);

    viewport->makeCurrent();
    viewport->removeObject(viewGeometry);
    delete viewGeometry;

    resultsViewport->makeCurrent();
    resultsViewport->removeObject(resultsGeometry);
    delete resultsGeometry;
}

void GeomStackView::setShadingParams(bool textured, bool shaded, bool wireVisible)
{
    const int groups = std::max(geometry->polygroupNames.size(), 1);
    for (int i = 0; i < groups && i < viewGeometry->shadingGroupsCount(); ++i) {
        Viewport3D::ShadingGroup& group = viewGeometry->shadingGroup(i);
        group.textured = textured;
        group.shaded = shaded;
        group.wireVisible = wireVisible;
    }
}
