#pragma once
// OpenGL view of one model (template or target): draws its scene objects with
// the fixed-function matrix stacks, orbits, pans and zooms with Alt held, and
// reports mouse input in normalised device coordinates.
#include "rendering/GLObject.h"
#include "rendering/TrackBall.h"

#include <QColor>
#include <QGLWidget>
#include <QList>
#include <QMatrix4x4>
#include <QPointF>
#include <QQuaternion>

namespace Viewport3D {

class Viewport3D2 : public QGLWidget {
    Q_OBJECT
public:
    explicit Viewport3D2(QWidget* parent = nullptr);

    QSize sizeHint() const override;
    bool isInitialized() const { return glInitialized; }

    // The caller makes this view's context current first; objects are not owned.
    void addObject(GLObject* object);
    void removeObject(GLObject* object);

    void fitToView();  // leaves the camera unchanged when there are no objects
    BoundingBox sceneBoundingBox() const;
    void fitToBoundingBox(const BoundingBox& box);
    void setCameraPosition(const QQuaternion& rotation, const QVector3D& target, double distance);

    QMatrix4x4 viewMatrix() const;
    // GL_PROJECTION_MATRIX of the current context: make this view's context current first.
    QMatrix4x4 projectionMatrix() const;
    QPointF screenToNdc(const QPoint& p) const;

    // Camera (read by the pickers, set by fitting and navigation).
    double fieldOfView = 45;  // vertical, degrees
    double distance = 3;      // eye to the point looked at
    double nearPlane = 0.1;
    double farPlane = 10000;
    QVector3D target;  // the negated point looked at
    QMatrix4x4 rotation;
    QList<GLObject*> objects;  // drawing order, not owned
    TrackBall trackBall;
    QPointF lastPointNdc;  // last point of a pan or zoom drag
    float zoomSpeed = 1.0f;
    bool glInitialized = false;
    QColor backgroundColor = QColor(215, 218, 219, 255);
    bool rotating = false;
    bool panning = false;
    bool zooming = false;

signals:
    void initialized();
    void click(QPoint screenCoord, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void cameraPositionChanged(QMatrix4x4 viewMatrix);
    void mouseRelease(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void mouseMove(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void mouseDoubleClick(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    static QGLFormat setupFormat();
    void setupViewportAndProjection(int w, int h, double near, double far, double fieldOfViewDegrees);
    void loadViewMatrix();
    void drawAxisTriad();
    float horizontalAngle() const;  // radians
    void startRotation(const QPointF& pointNdc);
    void rotateCamera(const QPointF& pointNdc);
    void panCamera(const QPointF& pointNdc);
    void zoomCamera(const QPointF& pointNdc);
};

}  // namespace Viewport3D
