#pragma once
// Hole filling of a transferred texture: every texel that is not fully opaque
// gets a colour by a coarse-to-fine diffusion of the known colours on the GPU.
// The widget is never shown; it only owns a GL context, the diffusion program
// and a full-view quad. Everything runs on the GUI thread inside extrapolate().
#include <QGLWidget>
#include <QImage>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>
#include <QString>

namespace ColorExtrapolation {

class ColorExtrapolator : public QGLWidget {
    Q_OBJECT
public:
    // iterations: diffusion passes per tile and level (also the tile margin);
    // alpha: the diffusion step.
    ColorExtrapolator(int iterations, float alpha, QWidget* parent);
    ~ColorExtrapolator() override;

    // The filled image (RGBA8888, fully opaque, known texels unchanged), or on
    // failure a copy of the input with *error set (left alone on success).
    QImage extrapolate(QImage image, bool* error);

    QOpenGLShaderProgram* makeShaderProgram(const QString& vertexShaderFile, const QString& fragmentShaderFile);
    void checkErrors(const QString& place) const;

    // Edge of the tiles into which large images are cut (4096 unless set).
    void setTileSize(int size);

signals:
    void initialized();

protected:
    void initializeGL() override;
    // One whole extrapolation of inputImage into resultImage.
    void paintGL() override;
    void resizeGL(int width, int height) override;

private:
    void buildQuad();
    void drawLaplacePass(int width, int height);
    QImage diffuseTile(const QImage& known, const QImage& estimate);

    int vertexCount = 0;
    int tileSize = 4096;
    QOpenGLBuffer quadBuffer;
    QOpenGLFunctions gl_;
    QOpenGLShaderProgram* programLaplace = nullptr;
    bool extrapolationRequested = false;
    bool glInitialized = false;
    QImage resultImage;
    QImage inputImage;
    int iterations;
    float alpha;
};

// Copies the bound framebuffer into the image (already of the framebuffer's size).
void readFramebuffer(QImage& image);

}  // namespace ColorExtrapolation
