#pragma once
// Runs the brush mode on the results view: strokes of the current brush over
// the controller's own copy of the template's positions and normals, the
// template's triangle octree kept in step with them, the brush cursor, a
// Ctrl-drag for the radius and an undo history of strokes. The template record
// is never written; the brush tool takes vertices() when the mode ends.
#include "editing/Sculpting/StrokeHistory.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QStringList>
#include <QVector3D>
#include <QVector>

class QKeyEvent;

namespace GeometryStack {
class GeomStack;
}
namespace Octree {
class Tree;
}
namespace Sculpting {
class Brush;
}
namespace Viewport3D {
class GLBrush;
class GLGeometrySplitted;
class Viewport3DLayered;
}  // namespace Viewport3D

class BrushController : public QObject {
    Q_OBJECT
public:
    // Nothing given is owned; the neighbour lists, boundary flags and drawn
    // geometry outlive the controller.
    BrushController(const GeometryStack::GeomStack* templateMesh, const QVector<QList<int>>* vertexNeighbours,
                    const QVector<bool>* boundaryVertices, Viewport3D::GLGeometrySplitted* geometry,
                    Viewport3D::Viewport3DLayered* viewport, QObject* parent = nullptr);
    ~BrushController() override;
    BrushController(const BrushController&) = delete;
    BrushController& operator=(const BrushController&) = delete;

    // Not owned.
    void addBrush(Sculpting::Brush* brush, const QString& name);
    void setCurrentBrush(int index) { currentBrush_ = index; }
    int currentBrushIndex() const { return currentBrush_; }
    QStringList brushNames() const { return names_; }

    // Moves the cursor's radius, repaints and emits brushRadiusChanged, also
    // when the value is unchanged.
    void setBrushRadius(double radius);
    double brushRadius() const { return radius_; }
    void setBrushIntensity(double value) { intensity_ = value; }
    double brushIntensity() const { return intensity_; }
    void setMaxProjectionDist(double value) { maxProjectionDistance_ = value; }
    double maxProjectionDist() const { return maxProjectionDistance_; }
    void setProtectBoundaries(bool on) { protectBoundariesOn_ = on; }
    bool protectBoundaries() const { return protectBoundariesOn_; }
    void setRecomputeNormals(bool on) { recomputeNormalsOn_ = on; }
    bool recomputeNormals() const { return recomputeNormalsOn_; }
    double initialBrushRadius() const { return initialRadius_; }
    double initialMaxProjectionDist() const { return initialMaxProjectionDistance_; }
    double medianNearestNeighbourDist() const { return medianDistance_; }

    // Copies of the sculpted arrays.
    QVector<QVector3D> vertices() const { return sculptedVertices_; }
    QVector<QVector3D> normals() const { return sculptedNormals_; }
    bool strokeActive() const { return strokeIsActive_; }
    bool radiusDragMode() const { return radiusDragging_; }
    const Sculpting::StrokeHistory& history() const { return *strokeHistory_; }
    const Octree::Tree& octree() const { return *tree_; }

    // The template point under the mouse (front faces of the sculpted surface,
    // normal from the template's own normals), else the point on the plane
    // through the template's centre facing the camera. When there is no point
    // at all (the view cannot be inverted, or the ray misses that plane) every
    // coordinate of the result is NaN, onTemplate false and the normal zero.
    QVector3D getBrushPoint(const QPointF& pointNdc, bool& onTemplate, QVector3D& normal) const;

    // The steps the view's signals drive.
    void startStroke();
    void endStroke();
    void moveBrush(const QPointF& pointNdc);
    void dragBrushRadius(const QPointF& pointNdc);
    // One stroke step of the current brush from one brush point to the next.
    void applyBrush(const QVector3D& from, const QVector3D& to);
    void undo();
    void redo();

signals:
    void brushRadiusChanged(double brushRadius);

private slots:
    void onMousePress(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void onMouseRelease(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void onMouseWheel();
    void onMouseMove(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void onKeyPress(const QKeyEvent* event);

private:
    void updateBrushCursor(const QVector3D& point, const QVector3D& normal, bool onTemplate);
    // Puts the history's arrays in place; only the vertices that differ move
    // their triangles in the octree and in the drawn geometry.
    void restoreFromHistory();
    // Re-files the triangles in the octree after their corners moved.
    void reinsertTriangles(const QList<int>& triangles);
    // Writes all corners (the first time, so that the drawn geometry surely
    // holds the controller's arrays) or only those of the given triangles,
    // then repaints.
    void updateGeometry(const QList<int>& changedTriangles);
    void updateGeometry();
    void writeAllCorners();

    QList<Sculpting::Brush*> brushes_;
    QStringList names_;
    int currentBrush_ = -1;
    Octree::Tree* tree_ = nullptr;
    const GeometryStack::GeomStack* templateMesh_;
    Viewport3D::Viewport3DLayered* viewport_;
    bool strokeIsActive_ = false;
    QVector3D lastBrushPoint_;
    QPointF lastPointNdc_;
    Viewport3D::GLBrush* cursor_ = nullptr;
    double radius_ = 0;
    double intensity_ = 1.0;
    double maxProjectionDistance_ = 0;
    QVector<QVector3D> sculptedVertices_;
    QVector<QVector3D> sculptedNormals_;
    Viewport3D::GLGeometrySplitted* drawnGeometry_;
    const QVector<QList<int>>* vertexNeighbours_;
    const QVector<bool>* boundaryVertices_;
    Sculpting::StrokeHistory* strokeHistory_ = nullptr;
    Sculpting::Stroke* currentStroke_ = nullptr;
    double medianDistance_ = 0;
    double initialRadius_ = 0;
    double initialMaxProjectionDistance_ = 0;
    bool radiusDragging_ = false;
    bool protectBoundariesOn_ = true;
    bool recomputeNormalsOn_ = false;

    QVector<QVector3D> baseNormals_;     // the template's normals (computed when it has none)
    QVector<int> vertexTriangleStarts_;  // the triangles of vertex v: vertexTriangles[starts[v] .. starts[v + 1])
    QVector<int> vertexTriangles_;
    bool drawnGeometryInStep_ = false;  // every corner of the drawn geometry holds the arrays above
};
