#include "rendering/GeomStackView.h"

#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "spatial/BVH.h"
#include "spatial/KDTree.h"

#include <algorithm>

namespace {
constexpr int kTreeLeafSize = 10;
}

GeomStackView::GeomStackView(GeometryStack::GeomStack* geometry, Viewport3D::Viewport3D2* viewport,
                             Viewport3D::Viewport3DLayered* resultsViewport, const QColor& color, bool shaded,
                             bool wireVisible, const QColor& wireColor, bool transparentInResults)
    : geometry(geometry), viewport(viewport), resultsViewport(resultsViewport)
{
    bvh = BVH2::buildTree(geometry->vertices, geometry->triangles, kTreeLeafSize);
    kdTree = KDTree::buildTree(geometry->vertices, kTreeLeafSize);

    viewport->makeCurrent();
    viewGeometry = makeGLGeometrySplittedByPolygroups(geometry, color, shaded, wireVisible, wireColor, 1.0);
    viewport->addObject(viewGeometry);

    resultsViewport->makeCurrent();
    resultsGeometry =
        makeGLGeometrySplitted(geometry, color, shaded, wireVisible, wireColor, transparentInResults ? 0.5 : 1.0);
    resultsViewport->addObject(resultsGeometry, transparentInResults ? Viewport3D::Viewport3DLayered::FrontLayer
                                                                     : Viewport3D::Viewport3DLayered::BackLayer);
}

GeomStackView::~GeomStackView()
{
    delete bvh;
    delete kdTree;

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
