#include "editing/BrushController.h"

#include "editing/BrushGeometry.h"
#include "editing/GLBrush.h"
#include "editing/Octree/Octree.h"
#include "editing/Sculpting/Brush.h"
#include "mesh/GeomStack.h"
#include "mesh/MeshSelections.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "spatial/selectiontools.h"

#include <QDebug>
#include <QKeyEvent>

#include <algorithm>
#include <cmath>
#include <limits>

BrushController::BrushController(const GeometryStack::GeomStack* templateMesh,
                                 const QVector<QList<int>>* vertexNeighbours, const QVector<bool>* boundaryVertices,
                                 Viewport3D::GLGeometrySplitted* geometry, Viewport3D::Viewport3DLayered* viewport,
                                 QObject* parent)
    : QObject(parent),
      templateMesh_(templateMesh),
      viewport_(viewport),
      drawnGeometry_(geometry),
      vertexNeighbours_(vertexNeighbours),
      boundaryVertices_(boundaryVertices)
{
    viewport_->setAlwaysRedrawBackLayer(false);

    sculptedVertices_ = templateMesh_->vertices;
    // Without normals of its own the template gets computed ones, so that
    // every vertex has a normal to snap along.
    baseNormals_ = templateMesh_->normals.size() == templateMesh_->vertices.size()
                       ? templateMesh_->normals
                       : GeometryStack::vertexNormals(templateMesh_->polygons, templateMesh_->vertices);
    sculptedNormals_ = baseNormals_;

    medianDistance_ = medianNearestFanNeighbourDist(*vertexNeighbours_, sculptedVertices_);
    qDebug() << "medianNearestNeighbourDist" << medianDistance_;
    initialRadius_ = radius_ = 5 * medianDistance_;
    initialMaxProjectionDistance_ = maxProjectionDistance_ = 3 * medianDistance_;
    intensity_ = 1.0;

    strokeHistory_ = new Sculpting::StrokeHistory(&templateMesh_->vertices, &baseNormals_);

    const Viewport3D::BoundingBox& box = templateMesh_->boundingBox;
    const int axis = std::max(box.longestAxis(), 0);
    tree_ = new Octree::Tree(box.center(), 1.2 * double(box.size[axis]), templateMesh_->vertices,
                             templateMesh_->triangles, 3);

    // Which triangles use each vertex, for undo and redo to re-file exactly
    // the triangles whose corners they move.
    const int vertexCount = sculptedVertices_.size();
    vertexTriangleStarts_.fill(0, vertexCount + 1);
    for (const QList<int>& triangle : templateMesh_->triangles)
        for (int v : triangle)
            if (v >= 0 && v < vertexCount)
                ++vertexTriangleStarts_[v + 1];
    for (int v = 0; v < vertexCount; ++v)
        vertexTriangleStarts_[v + 1] += vertexTriangleStarts_[v];
    vertexTriangles_.resize(vertexTriangleStarts_[vertexCount]);
    QVector<int> filled = vertexTriangleStarts_;
    for (int t = 0; t < templateMesh_->triangles.size(); ++t)
        for (int v : templateMesh_->triangles.at(t))
            if (v >= 0 && v < vertexCount)
                vertexTriangles_[filled[v]++] = t;

    viewport_->makeCurrent();
    cursor_ = new Viewport3D::GLBrush(float(radius_), Qt::white);
    viewport_->addObject(cursor_, Viewport3D::Viewport3DLayered::FrontLayer);

    connect(viewport_, &Viewport3D::Viewport3DLayered::mousePress, this, &BrushController::onMousePress);
    connect(viewport_, &Viewport3D::Viewport3DLayered::mouseRelease, this, &BrushController::onMouseRelease);
    connect(viewport_, &Viewport3D::Viewport3DLayered::mouseWheel, this, &BrushController::onMouseWheel);
    connect(viewport_, &Viewport3D::Viewport3DLayered::mouseMove, this, &BrushController::onMouseMove);
    connect(viewport_, &Viewport3D::Viewport3DLayered::keyPress, this, &BrushController::onKeyPress);
}

BrushController::~BrushController()
{
    delete tree_;
    delete strokeHistory_;
    viewport_->makeCurrent();
    viewport_->removeObject(cursor_);
    delete cursor_;
    delete currentStroke_;  // a stroke still being recorded is not kept
}

void BrushController::addBrush(Sculpting::Brush* brush, const QString& name)
{
    brushes_.append(brush);
    names_.append(name);
}

void BrushController::setBrushRadius(double radius)
{
    radius_ = radius;
    viewport_->makeCurrent();
    cursor_->setRadius(float(radius_));
    viewport_->updateGL();
    emit brushRadiusChanged(radius_);
}

// ---- brush point

namespace {

QVector3D noBrushPoint()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return QVector3D(nan, nan, nan);
}

bool isBrushPoint(const QVector3D& point)
{
    return !std::isnan(point.x());
}

}  // namespace

QVector3D BrushController::getBrushPoint(const QPointF& pointNdc, bool& onTemplate, QVector3D& normal) const
{
    onTemplate = false;
    normal = QVector3D();
    const QMatrix4x4 view = viewport_->camera().viewMatrix();
    const QMatrix4x4 projection = viewport_->camera().projectionMatrix(viewport_->width(), viewport_->height());
    QVector3D origin, direction;
    SelectionTools::screenPointToRay(pointNdc, projection, view, origin, direction);
    if (direction.isNull())
        return noBrushPoint();  // a matrix could not be inverted (logged)
    direction.normalize();

    double distance = 0, u = 0, v = 0;
    const int face = tree_->findFirstRayIntersectedTriangleInd(origin, direction, templateMesh_->triangles,
                                                               sculptedVertices_, 0, distance, &u, &v);
    if (face >= 0) {
        onTemplate = true;
        const QList<int>& corners = templateMesh_->triangles.at(face);
        normal = interpolateBarycentric(u, v, baseNormals_.at(corners.at(0)), baseNormals_.at(corners.at(1)),
                                        baseNormals_.at(corners.at(2)));
        return origin + float(distance) * direction;
    }

    bool invertible = false;
    const QMatrix4x4 inverted = view.inverted(&invertible);
    if (!invertible)
        return noBrushPoint();
    const QVector3D toward = transformNormal(QVector3D(0, 0, 1), inverted).normalized();
    QVector3D point;
    if (!intersectRayWithPlane(origin, direction, templateMesh_->boundingBox.center(), -toward, point))
        return noBrushPoint();
    normal = toward;
    return point;
}

void BrushController::updateBrushCursor(const QVector3D& point, const QVector3D& normal, bool onTemplate)
{
    cursor_->setPosition(point);
    cursor_->setNormal(normal);
    cursor_->setColor(onTemplate ? Qt::white : Qt::red);
}

// ---- strokes

void BrushController::startStroke()
{
    strokeIsActive_ = true;
    delete currentStroke_;
    currentStroke_ = new Sculpting::Stroke;
}

void BrushController::endStroke()
{
    strokeIsActive_ = false;
    if (currentStroke_)
        strokeHistory_->addStroke(*currentStroke_);
    delete currentStroke_;
    currentStroke_ = nullptr;
}

void BrushController::moveBrush(const QPointF& pointNdc)
{
    QVector3D normal;
    bool onTemplate = false;
    const QVector3D point = getBrushPoint(pointNdc, onTemplate, normal);
    if (!isBrushPoint(point)) {
        // Nowhere to put the brush: like leaving the template, and the cursor
        // stays where it was.
        if (strokeIsActive_)
            endStroke();
        return;
    }
    updateBrushCursor(point, normal, onTemplate);
    viewport_->updateGL();
    if (!strokeIsActive_)
        return;
    if (!onTemplate) {
        endStroke();
        return;
    }
    applyBrush(lastBrushPoint_, point);
    lastBrushPoint_ = point;
}

void BrushController::dragBrushRadius(const QPointF& pointNdc)
{
    const float dx = float(pointNdc.x()) - float(lastPointNdc_.x());
    const float dy = float(pointNdc.y()) - float(lastPointNdc_.y());
    const double length = std::sqrt(double(dx) * dx + double(dy) * dy);
    const double amount = length * initialRadius_ * 2;
    // z of (dx, dy, 0) x (1, 1, 0): right or down grows, left or up shrinks.
    const double sign = dx - dy >= 0 ? 1 : -1;
    double newRadius = radius_ + sign * amount;
    if (newRadius <= 0.01)
        newRadius = 0.01;
    setBrushRadius(newRadius);
    lastPointNdc_ = pointNdc;
}

void BrushController::applyBrush(const QVector3D& from, const QVector3D& to)
{
    if (currentBrush_ < 0 || currentBrush_ >= brushes_.size() || !brushes_.at(currentBrush_))
        return;
    const int vertexCount = sculptedVertices_.size();
    const QVector<bool> protection =
        protectBoundariesOn_ && boundaryVertices_ ? *boundaryVertices_ : QVector<bool>(vertexCount, false);
    QList<int> touched;
    const QMap<int, QVector3D> result = brushes_.at(currentBrush_)
                                            ->apply(from, to, sculptedVertices_, sculptedNormals_, tree_, protection,
                                                    radius_, intensity_, maxProjectionDistance_, touched);
    const QList<int> moved = result.keys();
    for (auto it = result.cbegin(); it != result.cend(); ++it)
        sculptedVertices_[it.key()] = it.value();

    QMap<int, QVector3D> normals;
    if (recomputeNormalsOn_) {
        normals = computeFanNormals(moved, *vertexNeighbours_, sculptedVertices_);
        for (auto it = normals.cbegin(); it != normals.cend(); ++it)
            sculptedNormals_[it.key()] = it.value();
    }
    if (currentStroke_)
        currentStroke_->merge(result, normals);

    reinsertTriangles(touched);
    // Every triangle of a moved vertex is among the touched ones (the octree
    // lists each triangle with a vertex in the sphere), so only their corners change.
    updateGeometry(touched);
}

void BrushController::reinsertTriangles(const QList<int>& triangles)
{
    for (int t : triangles) {
        tree_->removeTriangle(t);
        tree_->insertTriangle(t, sculptedVertices_, templateMesh_->triangles);
    }
}

// ---- history

void BrushController::undo()
{
    if (strokeHistory_->undo())
        restoreFromHistory();
}

void BrushController::redo()
{
    if (strokeHistory_->redo())
        restoreFromHistory();
}

void BrushController::restoreFromHistory()
{
    const QVector<QVector3D> positions = strokeHistory_->positions();
    const QVector<QVector3D> normals = strokeHistory_->normals();
    QVector<bool> triangleChanged(templateMesh_->triangles.size(), false);
    QList<int> changedTriangles;
    for (int v = 0; v < positions.size() && v < sculptedVertices_.size(); ++v) {
        if (positions.at(v) == sculptedVertices_.at(v) && normals.value(v) == sculptedNormals_.value(v))
            continue;
        for (int k = vertexTriangleStarts_.at(v); k < vertexTriangleStarts_.at(v + 1); ++k) {
            const int t = vertexTriangles_.at(k);
            if (!triangleChanged.at(t)) {
                triangleChanged[t] = true;
                changedTriangles.append(t);
            }
        }
    }
    sculptedVertices_ = positions;
    sculptedNormals_ = normals;
    // Keeps the octree's invariant for the restored positions, so the brush
    // and the ray still find every triangle the history moved.
    reinsertTriangles(changedTriangles);
    std::sort(changedTriangles.begin(), changedTriangles.end());
    updateGeometry(changedTriangles);
}

// ---- drawn geometry

void BrushController::updateGeometry()
{
    writeAllCorners();
    viewport_->updateGL();
}

void BrushController::updateGeometry(const QList<int>& changedTriangles)
{
    if (!drawnGeometryInStep_) {
        updateGeometry();
        return;
    }
    QList<int> sorted = changedTriangles;
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    // Runs of consecutive triangles become runs of corners.
    QVector<int> starts, counts;
    QVector<QVector3D> positions, normals;
    positions.reserve(3 * sorted.size());
    normals.reserve(3 * sorted.size());
    for (int t : sorted) {
        if (!starts.isEmpty() && starts.last() + counts.last() == 3 * t)
            counts.last() += 3;
        else {
            starts.append(3 * t);
            counts.append(3);
        }
        for (int v : templateMesh_->triangles.at(t)) {
            positions.append(sculptedVertices_.at(v));
            normals.append(sculptedNormals_.at(v));
        }
    }
    viewport_->makeCurrent();
    drawnGeometry_->updateCornerRuns(starts, counts, positions, normals);
    viewport_->updateGL();
}

void BrushController::writeAllCorners()
{
    const QVector<QVector3D> positions = GeometryStack::takeByIndexLists(templateMesh_->triangles, sculptedVertices_);
    const QVector<QVector3D> normals = GeometryStack::takeByIndexLists(templateMesh_->triangles, sculptedNormals_);
    viewport_->makeCurrent();
    drawnGeometry_->updatePositions(positions);
    drawnGeometry_->updateNormals(normals);
    drawnGeometryInStep_ = true;
}

// ---- view signals

void BrushController::onMousePress(QPointF pointNdc, Qt::MouseButtons, Qt::KeyboardModifiers keyboardModifiers)
{
    QVector3D normal;
    bool onTemplate = false;
    const QVector3D point = getBrushPoint(pointNdc, onTemplate, normal);
    const bool found = isBrushPoint(point);
    if (keyboardModifiers == Qt::NoModifier) {
        // A second button pressed during a stroke: keep what was sculpted so far.
        if (strokeIsActive_)
            endStroke();
        if (!found)
            return;  // nowhere to start from
        startStroke();
        lastBrushPoint_ = point;
    } else if (keyboardModifiers == Qt::ControlModifier) {
        radiusDragging_ = true;
        lastPointNdc_ = pointNdc;
        if (found)
            lastBrushPoint_ = point;
    } else {
        if (found)
            lastBrushPoint_ = point;
        viewport_->setAlwaysRedrawBackLayer(true);
    }
}

void BrushController::onMouseRelease(QPointF, Qt::MouseButtons, Qt::KeyboardModifiers)
{
    if (strokeIsActive_)
        endStroke();
    radiusDragging_ = false;
    viewport_->setAlwaysRedrawBackLayer(false);
}

void BrushController::onMouseWheel()
{
    if (strokeIsActive_)
        endStroke();
    radiusDragging_ = false;
    viewport_->setAlwaysRedrawBackLayer(true);
}

void BrushController::onMouseMove(QPointF pointNdc, Qt::MouseButtons, Qt::KeyboardModifiers)
{
    if (radiusDragging_)
        dragBrushRadius(pointNdc);
    else
        moveBrush(pointNdc);
}

void BrushController::onKeyPress(const QKeyEvent* event)
{
    if (event->matches(QKeySequence::Undo))
        undo();
    if (event->matches(QKeySequence::Redo))
        redo();
}
