#include "editing/polygonselectioncontroller.h"

#include "editing/polygonselectiontools.h"
#include "mesh/MeshSelections.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/Viewport3D2.h"
#include "spatial/BVH.h"
#include "spatial/selectiontools.h"

#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <limits>
#include <numeric>

namespace {

Viewport3D::ShadingGroup selectionGroup()
{
    return Viewport3D::ShadingGroup::marked(Qt::darkRed, Qt::red, false);
}

}  // namespace

PolygonSelectionController::PolygonSelectionController(const GeometryStack::GeomStack* geometry,
                                                       const BVH2::BvhNodeBase* bvhRoot,
                                                       Viewport3D::GLGeometrySplitted* splittedGeometry,
                                                       Viewport3D::Viewport3D2* viewport,
                                                       Viewport3D::LassoSelectionController* lassoController,
                                                       QObject* parent)
    : QObject(parent),
      viewport_(viewport),
      geometry_(geometry),
      splittedGeometry_(splittedGeometry),
      lassoController_(lassoController),
      bvhRoot_(bvhRoot),
      selectionMask_(geometry->polygons.size(), false),
      visibilityMask_(geometry->polygons.size(), true)
{
    viewport_->makeCurrent();
    splittedGeometry_->addShadingGroup(selectionGroup(),
                                       GeometryStack::polygonMaskToCornerMask(*geometry_, selectionMask_));
    connect(lassoController_, &Viewport3D::LassoSelectionController::pointSelect, this,
            &PolygonSelectionController::onPointSelection);
    connect(lassoController_, &Viewport3D::LassoSelectionController::lassoSelect, this,
            &PolygonSelectionController::onLassoSelection);
    viewport_->updateGL();
}

PolygonSelectionController::~PolygonSelectionController()
{
    splittedGeometry_->removeShadingGroup(splittedGeometry_->shadingGroupsCount() - 1);
}

void PolygonSelectionController::setSelection(const QVector<bool>& mask)
{
    selectionMask_ = mask;
    viewport_->makeCurrent();
    splittedGeometry_->setShadingGroupMask(splittedGeometry_->shadingGroupsCount() - 1,
                                           GeometryStack::polygonMaskToCornerMask(*geometry_, selectionMask_));
}

void PolygonSelectionController::setVisibility(const QVector<bool>& mask)
{
    visibilityMask_ = mask;
    viewport_->makeCurrent();
    if (geometry_->polygroupNames.isEmpty()) {
        splittedGeometry_->setShadingGroupMask(0, GeometryStack::polygonMaskToCornerMask(*geometry_, visibilityMask_));
        return;
    }
    // Group i draws polygroup i; the last group is the selection's.
    const int groups = splittedGeometry_->shadingGroupsCount() - 1;
    for (int i = 0; i < groups; ++i) {
        const QVector<bool> visiblePart =
            intersectMasks(visibilityMask_, GeometryStack::polygonMaskOfPolygroup(*geometry_, i));
        splittedGeometry_->setShadingGroupMask(i, GeometryStack::polygonMaskToCornerMask(*geometry_, visiblePart));
    }
}

void PolygonSelectionController::selectAll()
{
    setSelection(visibilityMask_);
    repaint();
}

void PolygonSelectionController::clearSelection()
{
    setSelection(QVector<bool>(selectionMask_.size(), false));
    repaint();
}

void PolygonSelectionController::invertSelection()
{
    setSelection(intersectMasks(invertMask(selectionMask_), visibilityMask_));
    repaint();
}

void PolygonSelectionController::selectByPolygroup(int polygroup)
{
    const QVector<bool> group = GeometryStack::polygonMaskOfPolygroup(*geometry_, polygroup);
    setSelection(uniteMasks(intersectMasks(group, visibilityMask_), selectionMask_));
    repaint();
}

void PolygonSelectionController::deselectByPolygroup(int polygroup)
{
    const QVector<bool> group = GeometryStack::polygonMaskOfPolygroup(*geometry_, polygroup);
    setSelection(intersectMasks(invertMask(group), selectionMask_));
    repaint();
}

void PolygonSelectionController::hideSelected()
{
    setVisibility(intersectMasks(invertMask(selectionMask_), visibilityMask_));
    setSelection(QVector<bool>(selectionMask_.size(), false));
    repaint();
}

void PolygonSelectionController::unhideAll()
{
    setVisibility(QVector<bool>(visibilityMask_.size(), true));
    repaint();
}

void PolygonSelectionController::onPointSelection(QPointF point, bool deselectionMode)
{
    viewport_->makeCurrent();
    const QMatrix4x4 viewMatrix = viewport_->viewMatrix();
    const QMatrix4x4 projection = viewport_->projectionMatrix();
    QVector3D origin, direction;
    SelectionTools::screenPointToRay(point, projection, viewMatrix, origin, direction);
    const QVector3D d = direction.normalized();

    const QVector<QVector3D>& vertices = geometry_->vertices;
    const QVector<QList<int>>& triangles = geometry_->triangles;
    QVector<bool> candidates(triangles.size(), false);
    bvhRoot_->selectIntersectedTriangles(origin, d, triangles, vertices, BVH2::RayFaceIntersection_AnyFace, candidates);
    double best = std::numeric_limits<double>::max();
    int bestPolygon = -1;
    // Skips to the few candidates with a scan the compiler can vectorise.
    const bool* const candidate = candidates.constData();
    const bool* const end = candidate + candidates.size();
    for (const bool* c = std::find(candidate, end, true); c != end; c = std::find(c + 1, end, true)) {
        const int i = int(c - candidate);
        const int p = geometry_->triangleIndToPolygonInd[i];
        if (!visibilityMask_[p])
            continue;
        const QList<int>& t = triangles[i];
        double hit = 0.0;
        if (!BVH2::rayIntersectsTriangle(origin, d, vertices[t[0]], vertices[t[1]], vertices[t[2]], hit))
            continue;
        // The ray query also reports crossings behind the eye: those are never picked.
        if (hit < 0.0)
            continue;
        if (hit < best) {
            best = hit;
            bestPolygon = p;
        }
    }
    if (bestPolygon == -1)
        return;
    QVector<bool> selection = selectionMask_;
    selection[bestPolygon] = !deselectionMode;
    setSelection(selection);
    repaint();
}

void PolygonSelectionController::onLassoSelection(QVector<QPointF> points, bool deselectionMode)
{
    viewport_->makeCurrent();
    const QMatrix4x4 viewMatrix = viewport_->viewMatrix();
    const QMatrix4x4 projection = viewport_->projectionMatrix();
    const QVector<BVH2::ConvexPolyhedron> volumes =
        PolygonSelectionTools::screenPolygonToSelectionPolyhedrons(points, projection, viewMatrix);
    if (volumes.isEmpty())
        return;

    const QVector<QList<int>>& triangles = geometry_->triangles;
    const QVector<QVector<bool>> touched = touchedTriangles(volumes);
    QVector<bool> selection = selectionMask_;
    bool* const selected = selection.data();
    const bool* const visible = visibilityMask_.constData();
    const int* const polygonOf = geometry_->triangleIndToPolygonInd.constData();
    for (const QVector<bool>& part : touched) {
        const bool* const inside = part.constData();
        for (int i = 0; i < triangles.size(); ++i)
            if (inside[i] && visible[polygonOf[i]])
                selected[polygonOf[i]] = !deselectionMode;
    }
    setSelection(selection);
    repaint();
}

QVector<QVector<bool>> PolygonSelectionController::touchedTriangles(
    const QVector<BVH2::ConvexPolyhedron>& volumes) const
{
    // The volumes are queried in groups on the pool's threads, each group into
    // a mask of its own; a triangle is touched when any mask has it, exactly as
    // when one mask took every volume in turn.
    const int groups = std::max(1, std::min(int(volumes.size()), QThread::idealThreadCount()));
    QVector<QVector<bool>> masks(groups, QVector<bool>(geometry_->triangles.size(), false));
    QVector<bool>* maskData = masks.data();
    QVector<int> groupIndices(groups);
    std::iota(groupIndices.begin(), groupIndices.end(), 0);
    QtConcurrent::blockingMap(groupIndices, [&](int group) {
        for (int v = group; v < volumes.size(); v += groups)
            bvhRoot_->selectIntersectedTriangles(geometry_->vertices, geometry_->triangles, volumes[v],
                                                 maskData[group]);
    });
    return masks;
}

void PolygonSelectionController::repaint()
{
    viewport_->updateGL();
}

QVector<bool> invertMask(const QVector<bool>& a)
{
    QVector<bool> result(a.size());
    for (int i = 0; i < a.size(); ++i)
        result[i] = !a[i];
    return result;
}

QVector<bool> intersectMasks(const QVector<bool>& a, const QVector<bool>& b)
{
    QVector<bool> result(a.size());
    for (int i = 0; i < a.size(); ++i)
        result[i] = a[i] && b[i];
    return result;
}

QVector<bool> uniteMasks(const QVector<bool>& a, const QVector<bool>& b)
{
    QVector<bool> result(a.size());
    for (int i = 0; i < a.size(); ++i)
        result[i] = a[i] || b[i];
    return result;
}
