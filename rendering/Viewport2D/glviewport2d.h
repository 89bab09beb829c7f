#pragma once
// The 2D view: one image (the texture being transferred) fitted whole and
// centred into the widget over a checkerboard, so that its transparent texels
// show as checks. No camera and no input.
#include "rendering/GLTexture.h"

#include <QColor>
#include <QGLWidget>
#include <QImage>
#include <QMatrix4x4>
#include <QOpenGLBuffer>
#include <QSize>
#include <QSizeF>
#include <QString>

class QOpenGLShaderProgram;

namespace Viewport2D {

class GLViewport2D : public QGLWidget {
    Q_OBJECT
public:
    explicit GLViewport2D(QWidget* parent = nullptr);
    ~GLViewport2D() override;

    bool isInitialized() const { return glInitialized; }

    // Both need this view's context current; the caller repaints after.
    void setImage(const QImage& image);
    void clearImage();

    // Vertex and fragment shader from resource files, then link; logs the
    // step that fails and returns null. The caller owns the result.
    static QOpenGLShaderProgram* makeShaderProgram(const QString& vertexPath, const QString& fragmentPath);

    QMatrix4x4 modelMatrix;  // the image scale, set at every paint
    QMatrix4x4 projection;   // orthographic, set at every resize
    QOpenGLBuffer quadBuffer;
    int quadVertexCount = 0;
    QSize imageSize = QSize(512, 512);  // of the image shown, 512 x 512 without one
    GLTexture* imageTexture = nullptr;
    GLTexture* checkerTexture = nullptr;
    QOpenGLShaderProgram* imageProgram = nullptr;
    QOpenGLShaderProgram* backgroundProgram = nullptr;
    bool glInitialized = false;
    QColor backgroundColor = QColor(63, 62, 58, 255);

signals:
    void initialized();

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;

private:
    static QGLFormat setupFormat();
    void makeQuad(int w, int h);
    void destroyQuad();
    void releaseImageTexture();
    // The visible extent in scene units; the shorter side spans 2.
    QSizeF planeSize() const;
    float imageScale() const;
    void setImageScale();  // modelMatrix := the image scale
    // The checkerboard over the image's rectangle, then the image blended over it.
    void drawBackground();
    void drawImage();
    // The quad with the program and texture, and with the image's extent in
    // screen pixels for the background's checks.
    void drawQuad(QOpenGLShaderProgram* program, GLTexture* texture, bool withPlaneSize);
};

}  // namespace Viewport2D
