#include "rendering/GeomStackView.h"

#include "numerics/ParallelChunks.h"
#include "rendering/MeshCornerArrays.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "spatial/BVH.h"
#include "spatial/KDTree.h"

#include <QtConcurrent>

#include <algorithm>
#include <cstring>

namespace {
constexpr int kTreeLeafSize = 10;
}

GeomStackViewPreparation prepareGeomStackView(std::shared_ptr<const GeometryStack::GeomStack> mesh)
{
    // The trees need no GL: they are built on the pool while the caller's
    // thread uploads. Every task only reads the mesh.
    GeomStackViewPreparation prepared;
    prepared.mesh = mesh;
    prepared.bvh =
        QtConcurrent::run([mesh] { return BVH2::buildTree(mesh->vertices, mesh->triangles, kTreeLeafSize); });
    prepared.kdTree = QtConcurrent::run([mesh] { return KDTree::buildTree(mesh->vertices, kTreeLeafSize); });
    prepared.arrays = QtConcurrent::run([mesh] { return makeMeshCornerArrays(*mesh); });
    return prepared;
}

bool preparationFits(const GeometryStack::GeomStack& prepared, const GeometryStack::GeomStack& mesh)
{
    const bool sameVertices =
        prepared.vertices.size() == mesh.vertices.size() &&
        (prepared.vertices.isEmpty() || std::memcmp(prepared.vertices.constData(), mesh.vertices.constData(),
                                                    sizeof(QVector3D) * size_t(mesh.vertices.size())) == 0);
    return sameVertices && prepared.triangles == mesh.triangles && prepared.textureTriangles == mesh.textureTriangles &&
           prepared.textureVertices == mesh.textureVertices && prepared.normals == mesh.normals &&
           prepared.triangleEdgeFlags == mesh.triangleEdgeFlags &&
           prepared.triangleIndToPolygonInd == mesh.triangleIndToPolygonInd;
}

GeomStackView::GeomStackView(GeometryStack::GeomStack* geometry, Viewport3D::Viewport3D2* viewport,
                             Viewport3D::Viewport3DLayered* resultsViewport, const QColor& color, bool shaded,
                             bool wireVisible, const QColor& wireColor, bool transparentInResults,
                             GeomStackViewPreparation* prepared)
    : geometry(geometry), viewport(viewport), resultsViewport(resultsViewport)
{
    // Without a fitting preparation, one is started over the mesh itself (not
    // owned); one that does not fit is waited for and let go.
    if (prepared && !preparationFits(*prepared->mesh, *geometry)) {
        Parallel::deleteOnPool(prepared->bvh.result());
        Parallel::deleteOnPool(prepared->kdTree.result());
        prepared->arrays.waitForFinished();
        prepared->mesh.reset();
        prepared = nullptr;
    }
    GeomStackViewPreparation own;
    if (!prepared) {
        own = prepareGeomStackView(
            std::shared_ptr<const GeometryStack::GeomStack>(geometry, [](const GeometryStack::GeomStack*) {}));
        prepared = &own;
    }

    // Both geometries draw the same per-corner arrays (shared, not copied).
    const MeshCornerArrays arrays = prepared->arrays.result();

    viewport->makeCurrent();
    viewGeometry = makeGLGeometrySplittedByPolygroups(*geometry, arrays, color, shaded, wireVisible, wireColor, 1.0);
    viewport->addObject(viewGeometry);

    resultsViewport->makeCurrent();
    resultsGeometry = makeGLGeometrySplitted(*geometry, arrays, color, shaded, wireVisible, wireColor,
                                             transparentInResults ? 0.5 : 1.0);
    resultsViewport->addObject(resultsGeometry, transparentInResults ? Viewport3D::Viewport3DLayered::FrontLayer
                                                                     : Viewport3D::Viewport3DLayered::BackLayer);

    bvh = prepared->bvh.result();
    kdTree = prepared->kdTree.result();
    prepared->mesh.reset();
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
