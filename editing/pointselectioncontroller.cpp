#include "editing/pointselectioncontroller.h"

#include "mesh/MeshSelections.h"
#include "rendering/Viewport3D2.h"
#include "rendering/glpointswithlabels.h"
#include "spatial/BVH.h"
#include "spatial/KDTree.h"
#include "spatial/selectiontools.h"

#include <QDebug>

#include <limits>

namespace {
constexpr float kMarkerSize = 5.0f;
}

PointSelectionController::PointSelectionController(const QVector<QVector3D>* vertices,
                                                   const QVector<QList<int>>* triangles,
                                                   const BVH2::BvhNodeBase* bvhRoot, const KDTree::NodeBase* kdTreeRoot,
                                                   LabelFontAtlas* fontAtlas, Viewport3D::Viewport3D2* viewport,
                                                   const QColor& labelColor, QObject* parent)
    : QObject(parent),
      labelColor(labelColor),
      vertices(vertices),
      triangles(triangles),
      bvhRoot(bvhRoot),
      kdTreeRoot(kdTreeRoot),
      fontAtlas(fontAtlas),
      viewport(viewport)
{
    connect(viewport, &Viewport3D::Viewport3D2::mouseRelease, this, &PointSelectionController::onMouseRelease);
}

PointSelectionController::~PointSelectionController()
{
    viewport->makeCurrent();
    viewport->removeObject(markers);
    viewport->updateGL();
    delete markers;
}

void PointSelectionController::setSelectedPoints(const QList<int>& indices)
{
    pointIndices = indices;
    updateMarkers();
    emit selectionChanged();
}

void PointSelectionController::clearAll()
{
    pointIndices.clear();
    updateMarkers();
    emit selectionChanged();
}

void PointSelectionController::removeLast()
{
    if (pointIndices.isEmpty())
        return;
    pointIndices.removeLast();
    updateMarkers();
    emit selectionChanged();
}

void PointSelectionController::onMouseRelease(QPointF point, Qt::MouseButtons, Qt::KeyboardModifiers keyboardModifiers)
{
    // Alt belongs to the view's navigation; other combinations are not ours.
    if (keyboardModifiers == Qt::NoModifier)
        selectPoint(point);
    else if (keyboardModifiers == Qt::ControlModifier)
        deselectNearestPoint(point);
}

bool PointSelectionController::pickSurfacePoint(const QPointF& ndcPoint, QVector3D& hit)
{
    const QMatrix4x4 view = viewport->viewMatrix();
    const QMatrix4x4 projection = viewport->projectionMatrix();
    QVector3D origin, direction;
    SelectionTools::screenPointToRay(ndcPoint, projection, view, origin, direction);
    const QVector3D d = direction.normalized();

    int face = -1;
    double t = std::numeric_limits<double>::max();
    bvhRoot->findFirstRayIntersectedTriangle(origin, d, *triangles, *vertices, BVH2::RayFaceIntersection_AnyFace, face,
                                             t, nullptr, nullptr);
    if (face == -1)
        return false;
    hit = origin + float(t) * d;
    return true;
}

void PointSelectionController::selectPoint(QPointF ndcPoint)
{
    viewport->makeCurrent();
    QVector3D hit;
    if (!pickSurfacePoint(ndcPoint, hit))
        return;
    float squaredDistance = 0;
    const int v = kdTreeRoot->findNearestPointInd(hit, *vertices, &squaredDistance);
    if (pointIndices.lastIndexOf(v) >= 0)
        return;
    qDebug() << "Selected vertex:" << v;
    pointIndices.append(v);
    updateMarkers();
    emit selectionChanged();
}

void PointSelectionController::deselectNearestPoint(QPointF ndcPoint)
{
    viewport->makeCurrent();
    QVector3D hit;
    if (!pickSurfacePoint(ndcPoint, hit))
        return;
    const QVector<QVector3D> positions = listedPositions();
    int nearest = -1;
    float nearestSquared = std::numeric_limits<float>::max();
    for (int k = 0; k < positions.size(); ++k) {
        const float squared = (positions[k] - hit).lengthSquared();
        if (nearest == -1 || squared < nearestSquared) {
            nearest = k;
            nearestSquared = squared;
        }
    }
    if (nearest == -1)
        return;
    pointIndices.removeAt(nearest);
    updateMarkers();
    emit selectionChanged();
}

void PointSelectionController::updateMarkers()
{
    viewport->makeCurrent();
    if (markers) {
        viewport->removeObject(markers);
        delete markers;
        markers = nullptr;
    }
    markers = new Viewport3D::GLPointsWithLabels(listedPositions(), makeIndexLabels(pointIndices.size()), fontAtlas,
                                                 labelColor, kMarkerSize);
    viewport->addObject(markers);
}

QVector<QVector3D> PointSelectionController::listedPositions() const
{
    return GeometryStack::takeByIndices(*vertices, pointIndices);
}
