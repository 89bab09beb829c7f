#include "rendering/Viewport3DLayered/viewport3dlayered.h"

#include "rendering/CameraNavigation.h"
#include "rendering/RenderingResources.h"
#include "rendering/ViewportSupport.h"

#include <QDebug>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cmath>

namespace Viewport3D {

Viewport3DLayered::Viewport3DLayered(QWidget* parent) : QGLWidget(parent)
{
    initRenderingResources();
    orbitCamera_.reset();
    trackBall.reset();
    setFocusPolicy(Qt::ClickFocus);
}

Viewport3DLayered::~Viewport3DLayered()
{
    if (!initializedGL_)
        return;
    makeCurrent();
    frontLayer_.destroy();
    backLayer_.destroy();
    renderPlane_.destroy();
    doneCurrent();
}

void Viewport3DLayered::addObject(GLObject* object, int layer)
{
    object->initialize();
    objects.append(object);
    layers_.append(layer);
}

void Viewport3DLayered::removeObject(GLObject* object)
{
    const int index = objects.indexOf(object);
    if (index < 0)
        return;
    objects.removeAt(index);
    layers_.removeAt(index);
}

void Viewport3DLayered::fitToView()
{
    // The union of no boxes is no box: keep the camera as it is.
    if (objects.isEmpty())
        return;
    const BoundingBox box = sceneBoundingBox();
    const float length = box.size.length();
    const QVector3D centre = box.center();
    orbitCamera_.fitBoundingSphere(centre.x(), centre.y(), centre.z(), length / 2.0f, aspect());
    dollySpeed = length / 2.0f;
    updateGL();
}

BoundingBox Viewport3DLayered::sceneBoundingBox() const
{
    return unitedBoundingBox(objects);
}

QPointF Viewport3DLayered::screenToNdc(const QPoint& p) const
{
    return pixelToNdc(p, width(), height());
}

float Viewport3DLayered::aspect() const
{
    return aspectRatio(width(), height());
}

void Viewport3DLayered::checkErrors(const QString& place)
{
    const GLenum code = glGetError();
    if (code != GL_NO_ERROR)
        qCritical("%s", qPrintable(QString("OpenGL Error: %1 (%2)").arg(code).arg(place)));
}

void Viewport3DLayered::checkOpenGLVersion()
{
    qDebug() << "Checking OpenGL version";
    if (QGLFormat::openGLVersionFlags() & QGLFormat::OpenGL_Version_3_3)
        return;
    const QString message = QString(
                                "Sorry the software only supports OpenGL version 3.3 and higher.\n"
                                "The current OpenGL version is %1, GLSL version: %2\n"
                                "Please update your graphics driver!")
                                .arg(glString(GL_VERSION), glString(GL_SHADING_LANGUAGE_VERSION));
    qFatal("%s", qPrintable(message));
}

void Viewport3DLayered::initializeGL()
{
    checkOpenGLVersion();
    qglClearColor(backgroundColor);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    gl_.initializeOpenGLFunctions();
    renderPlane_.initialize();
    backLayer_.create(512, 512);
    frontLayer_.create(512, 512);
    initializedGL_ = true;
    emit initialized();
}

void Viewport3DLayered::resizeGL(int w, int h)
{
    glViewport(0, 0, w, h);
    backLayer_.resize(w, h);
    frontLayer_.resize(w, h);
    backLayerValid = false;
}

void Viewport3DLayered::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    if (alwaysRedrawBack_ || !backLayerValid)
        renderBackLayer();
    renderFrontLayer();
    qglClearColor(backgroundColor);

    gl_.glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, backLayer_.colorTexture());
    gl_.glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, frontLayer_.colorTexture());
    gl_.glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, backLayer_.depthTexture());
    gl_.glActiveTexture(GL_TEXTURE3);
    glBindTexture(GL_TEXTURE_2D, frontLayer_.depthTexture());
    gl_.glActiveTexture(GL_TEXTURE0);

    renderPlane_.draw();
    checkErrors("After paintGL");
}

void Viewport3DLayered::renderBackLayer()
{
    renderLayer(backLayer_, BackLayer);
    backLayerValid = true;
}

void Viewport3DLayered::renderFrontLayer()
{
    renderLayer(frontLayer_, FrontLayer);
}

void Viewport3DLayered::renderLayer(GLRenderLayer& target, int layer)
{
    target.bind();
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    const QMatrix4x4 view = orbitCamera_.viewMatrix();
    const QMatrix4x4 projection = orbitCamera_.projectionMatrix(width(), height());
    const QSize size(width(), height());
    for (int i = 0; i < objects.size(); ++i) {
        if (layers_[i] == layer && objects[i]->visible)
            objects[i]->draw(view, projection, size);
    }
    target.release();
}

void Viewport3DLayered::mousePressEvent(QMouseEvent* event)
{
    const QPoint pixel = event->pos();
    emit click(pixel, event->buttons(), event->modifiers());
    const QPointF ndc = screenToNdc(pixel);
    startCameraDrag(cameraDragOnPress(event->buttons(), event->modifiers()), ndc,
                    {orbiting_, panning, dollying_, lastPointNdc, trackBall});
    emit mousePress(ndc, event->buttons(), event->modifiers());
    event->accept();
}

void Viewport3DLayered::mouseReleaseEvent(QMouseEvent* event)
{
    orbiting_ = false;
    panning = false;
    dollying_ = false;
    emit mouseRelease(screenToNdc(event->pos()), event->button(), event->modifiers());
}

void Viewport3DLayered::mouseDoubleClickEvent(QMouseEvent* event)
{
    emit mouseDoubleClick(screenToNdc(event->pos()), event->buttons(), event->modifiers());
    event->accept();
}

void Viewport3DLayered::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF ndc = screenToNdc(event->pos());
    const CameraDrag drag = cameraDragOnMove(event->buttons(), orbiting_, panning, dollying_);
    switch (drag) {
        case CameraDrag::Rotate:
            trackBall.move(ndc);
            orbitCamera_.rotation = rotationMatrix(trackBall.rotation);
            break;
        case CameraDrag::Pan:
            orbitCamera_.target += panOffset(lastPointNdc, ndc, orbitCamera_.horizontalFieldOfView(aspect()),
                                             orbitCamera_.distance, trackBall.rotation);
            lastPointNdc = ndc;
            break;
        case CameraDrag::Zoom:
            orbitCamera_.distance += (ndc.y() - lastPointNdc.y()) * dollySpeed;
            lastPointNdc = ndc;
            break;
        case CameraDrag::None:
            break;
    }
    if (drag != CameraDrag::None) {
        emit cameraPositionChanged(orbitCamera_.viewMatrix());
        updateGL();
    }
    emit mouseMove(ndc, event->buttons(), event->modifiers());
    event->accept();
}

void Viewport3DLayered::wheelEvent(QWheelEvent* event)
{
    orbitCamera_.distance += wheelDelta(event) * dollySpeed / 1000.0;
    emit cameraPositionChanged(orbitCamera_.viewMatrix());
    emit mouseWheel();
    updateGL();
    event->accept();
}

void Viewport3DLayered::keyPressEvent(QKeyEvent* event)
{
    emit keyPress(event);
    event->accept();
}

}  // namespace Viewport3D
