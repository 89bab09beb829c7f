#include "rendering/Viewport3D2.h"

#include "rendering/CameraNavigation.h"
#include "rendering/RenderingResources.h"
#include "rendering/ViewportSupport.h"

#include <QDebug>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace Viewport3D {

namespace {

const float kPi = 3.14159265358979f;

}  // namespace

Viewport3D2::Viewport3D2(QWidget* parent) : QGLWidget(parent)
{
    initRenderingResources();
    trackBall.reset();
    setFormat(setupFormat());
}

QGLFormat Viewport3D2::setupFormat()
{
    QGLFormat format = QGLFormat::defaultFormat();
    format.setSampleBuffers(true);
    format.setSamples(4);
    format.setVersion(3, 3);
    format.setProfile(QGLFormat::CompatibilityProfile);
    return format;
}

QSize Viewport3D2::sizeHint() const
{
    return QSize(22, 22);
}

void Viewport3D2::addObject(GLObject* object)
{
    object->initialize();
    objects.append(object);
    updateGL();
}

void Viewport3D2::removeObject(GLObject* object)
{
    objects.removeOne(object);
}

void Viewport3D2::fitToView()
{
    // The union of no boxes is no box: keep the camera as it is.
    if (objects.isEmpty())
        return;
    fitToBoundingBox(sceneBoundingBox());
}

BoundingBox Viewport3D2::sceneBoundingBox() const
{
    return unitedBoundingBox(objects);
}

void Viewport3D2::fitToBoundingBox(const BoundingBox& box)
{
    const float radius = box.size.length() * 0.5f;
    const float vertical = float(fieldOfView) * kPi / 180.0f;
    const float angle = std::min(horizontalAngle(), vertical);
    distance = radius / std::tan(angle * 0.5f);
    target = -(box.origin + box.size * 0.5f);
    zoomSpeed = radius;
    nearPlane = distance / 1000.0;
    farPlane = 3.0 * distance;
    makeCurrent();
    setupViewportAndProjection(width(), height(), nearPlane, farPlane, fieldOfView);
    updateGL();
}

void Viewport3D2::setCameraPosition(const QQuaternion& newRotation, const QVector3D& newTarget, double newDistance)
{
    trackBall.rotation = newRotation;
    rotation = rotationMatrix(newRotation);
    target = newTarget;
    distance = newDistance;
}

QMatrix4x4 Viewport3D2::viewMatrix() const
{
    return orbitViewMatrix(distance, rotation, target);
}

QMatrix4x4 Viewport3D2::projectionMatrix() const
{
    GLfloat values[16];
    glGetFloatv(GL_PROJECTION_MATRIX, values);
    return QMatrix4x4(values).transposed();  // GL gives column-major, Qt reads row-major
}

QPointF Viewport3D2::screenToNdc(const QPoint& p) const
{
    return pixelToNdc(p, width(), height());
}

void Viewport3D2::initializeGL()
{
    qDebug() << "OpenGL:" << glString(GL_VERSION);
    qDebug() << "GLSL:" << glString(GL_SHADING_LANGUAGE_VERSION);
    qglClearColor(backgroundColor);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glInitialized = true;
    emit initialized();
}

void Viewport3D2::resizeGL(int w, int h)
{
    setupViewportAndProjection(w, h, nearPlane, farPlane, fieldOfView);
}

void Viewport3D2::setupViewportAndProjection(int w, int h, double near, double far, double fieldOfViewDegrees)
{
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const float aspect = aspectRatio(w, h);
    const double top = near * std::tan(fieldOfViewDegrees * 3.141592653589793 / 360.0);
    glFrustum(-aspect * top, aspect * top, -top, top, near, far);
}

void Viewport3D2::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loadViewMatrix();
    drawAxisTriad();
    for (GLObject* object : objects) {
        if (!object->visible)
            continue;
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glMultMatrixf(object->modelMatrix.constData());
        object->draw();
        glMatrixMode(GL_MODELVIEW);
        glPopMatrix();
    }
}

void Viewport3D2::loadViewMatrix()
{
    GLObject::loadModelViewMatrix(viewMatrix());
}

void Viewport3D2::drawAxisTriad()
{
    glLineWidth(1.0f);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    glBegin(GL_TRIANGLES);
    glColor3f(1, 0, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 0.1f, 0);
    glVertex3f(0, 0, 0.1f);
    glColor3f(0, 1, 0);
    glVertex3f(0, 0, 0);
    glVertex3f(0, 0, 0.1f);
    glVertex3f(0.1f, 0, 0);
    glColor3f(0, 0, 1);
    glVertex3f(0, 0, 0);
    glVertex3f(0.1f, 0, 0);
    glVertex3f(0, 0.1f, 0);
    glEnd();
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_CULL_FACE);
}

float Viewport3D2::horizontalAngle() const
{
    return aspectRatio(width(), height()) * float(fieldOfView) * kPi / 180.0f;
}

void Viewport3D2::mousePressEvent(QMouseEvent* event)
{
    QGLWidget::mousePressEvent(event);
    const QPoint pixel = event->pos();
    emit click(pixel, event->buttons(), event->modifiers());
    const QPointF ndc = screenToNdc(pixel);
    const CameraDrag drag = cameraDragOnPress(event->buttons(), event->modifiers());
    if (drag == CameraDrag::Rotate)
        startRotation(ndc);
    else
        startCameraDrag(drag, ndc, {rotating, panning, zooming, lastPointNdc, trackBall});
    event->accept();
}

void Viewport3D2::mouseMoveEvent(QMouseEvent* event)
{
    QGLWidget::mouseMoveEvent(event);
    const QPointF ndc = screenToNdc(event->pos());
    switch (cameraDragOnMove(event->buttons(), rotating, panning, zooming)) {
        case CameraDrag::Rotate:
            rotateCamera(ndc);
            break;
        case CameraDrag::Pan:
            panCamera(ndc);
            break;
        case CameraDrag::Zoom:
            zoomCamera(ndc);
            break;
        case CameraDrag::None:
            break;
    }
    emit mouseMove(ndc, event->buttons(), event->modifiers());
    event->accept();
    updateGL();
}

void Viewport3D2::mouseReleaseEvent(QMouseEvent* event)
{
    QGLWidget::mouseReleaseEvent(event);
    rotating = false;
    panning = false;
    zooming = false;
    emit mouseRelease(screenToNdc(event->pos()), event->button(), event->modifiers());
}

void Viewport3D2::wheelEvent(QWheelEvent* event)
{
    QGLWidget::wheelEvent(event);
    distance += wheelDelta(event) * zoomSpeed / 1000.0;
    emit cameraPositionChanged(viewMatrix());
    event->accept();
    updateGL();
}

void Viewport3D2::mouseDoubleClickEvent(QMouseEvent* event)
{
    QGLWidget::mouseDoubleClickEvent(event);  // runs this view's press handling
    emit mouseDoubleClick(screenToNdc(event->pos()), event->buttons(), event->modifiers());
    event->accept();
}

void Viewport3D2::startRotation(const QPointF& pointNdc)
{
    startCameraDrag(CameraDrag::Rotate, pointNdc, {rotating, panning, zooming, lastPointNdc, trackBall});
}

void Viewport3D2::rotateCamera(const QPointF& pointNdc)
{
    trackBall.move(pointNdc);
    rotation = rotationMatrix(trackBall.rotation);
    emit cameraPositionChanged(viewMatrix());
}

void Viewport3D2::panCamera(const QPointF& pointNdc)
{
    target += panOffset(lastPointNdc, pointNdc, horizontalAngle(), distance, trackBall.rotation);
    emit cameraPositionChanged(viewMatrix());
    lastPointNdc = pointNdc;
}

void Viewport3D2::zoomCamera(const QPointF& pointNdc)
{
    distance += (pointNdc.y() - lastPointNdc.y()) * zoomSpeed;
    emit cameraPositionChanged(viewMatrix());
    updateGL();
    lastPointNdc = pointNdc;
}

}  // namespace Viewport3D
