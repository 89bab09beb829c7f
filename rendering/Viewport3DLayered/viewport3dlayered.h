#pragma once
// Results view: scene objects in a back layer (opaque models) and a front
// layer (models laid over them), each rendered off-screen and composed over the
// background. The back layer can be cached between frames, so that while the
// template changes only the front layer is redrawn.
#include "rendering/GLObject.h"
#include "rendering/TrackBall.h"
#include "rendering/Viewport3DLayered/glrenderlayer.h"
#include "rendering/Viewport3DLayered/glrenderplane.h"
#include "rendering/Viewport3DLayered/orbitcamera.h"

#include <QColor>
#include <QGLWidget>
#include <QList>
#include <QOpenGLFunctions>
#include <QPointF>

namespace Viewport3D {

class Viewport3DLayered : public QGLWidget {
    Q_OBJECT
public:
    enum Layer { BackLayer = 0, FrontLayer = 1 };

    explicit Viewport3DLayered(QWidget* parent = nullptr);
    // Releases the render layers and the composition program with this
    // view's context current.
    ~Viewport3DLayered() override;

    // The caller makes this view's context current first; objects are not
    // owned. Neither repaints nor invalidates the cached back layer.
    void addObject(GLObject* object, int layer);
    void removeObject(GLObject* object);

    void fitToView();  // leaves the camera unchanged when there are no objects
    BoundingBox sceneBoundingBox() const;
    OrbitCamera& camera() { return orbitCamera_; }

    void setAlwaysRedrawBackLayer(bool on) { alwaysRedrawBack_ = on; }
    bool alwaysRedrawBackLayer() const { return alwaysRedrawBack_; }
    bool isInitialized() const { return initializedGL_; }

    QPointF screenToNdc(const QPoint& p) const;
    // Logs one pending GL error as "OpenGL Error: <code> (<place>)".
    static void checkErrors(const QString& place);
    // Ends the program with a fatal message when the current context lacks OpenGL 3.3.
    static void checkOpenGLVersion();

    float dollySpeed = 1.0f;
    bool backLayerValid = false;

signals:
    void initialized();
    void click(QPoint screenCoord, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void cameraPositionChanged(QMatrix4x4 viewMatrix);
    void mousePress(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void mouseWheel();
    void mouseRelease(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void mouseMove(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void mouseDoubleClick(QPointF pointNdc, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);
    void keyPress(const QKeyEvent* event);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    void renderBackLayer();
    void renderFrontLayer();
    void renderLayer(GLRenderLayer& target, int layer);
    float aspect() const;

    QList<GLObject*> objects;  // in the order of addition
    QList<int> layers_;        // parallel to objects
    QOpenGLFunctions gl_;
    GLRenderPlane renderPlane_;
    GLRenderLayer backLayer_;
    GLRenderLayer frontLayer_;
    OrbitCamera orbitCamera_;
    TrackBall trackBall;
    QPointF lastPointNdc;
    bool initializedGL_ = false;
    bool alwaysRedrawBack_ = true;
    bool orbiting_ = false;
    bool panning = false;
    bool dollying_ = false;
    QColor backgroundColor = QColor(215, 218, 219);
};

}  // namespace Viewport3D
