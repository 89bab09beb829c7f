#include "texture/ColorExtrapolation/ColorExtrapolator.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QMatrix4x4>
#include <QVector>

#include "rendering/GLObject.h"
#include "texture/ColorExtrapolation/ExtrapolationImages.h"
#include "texture/ColorExtrapolation/FrameBuffer.h"
#include "texture/ColorExtrapolation/ImageTexture.h"
#include "texture/TextureResources.h"

namespace ColorExtrapolation {

ColorExtrapolator::ColorExtrapolator(int iterations, float alpha, QWidget* parent)
    : QGLWidget(QGLFormat(), parent), quadBuffer(QOpenGLBuffer::VertexBuffer), iterations(iterations), alpha(alpha)
{
    initTextureResources();
}

ColorExtrapolator::~ColorExtrapolator()
{
    if (context() && context()->isValid()) {
        makeCurrent();
        quadBuffer.destroy();
    }
    delete programLaplace;
}

void ColorExtrapolator::setTileSize(int size)
{
    tileSize = size;
}

QImage ColorExtrapolator::extrapolate(QImage image, bool* error)
{
    const auto fail = [&](const char* message) {
        qDebug() << message;
        if (error)
            *error = true;
        return image.copy();
    };
    if (countNonOpaqueTexels(image) == qint64(image.width()) * image.height())
        return fail("ERROR: Transparent texture");
    if (!isValid())
        return fail("ERROR: No GL context!");
    image = toRgba8888(image);

    makeCurrent();
    extrapolationRequested = true;
    // The context is set up here and now rather than waiting for the window
    // system: the widget is never shown, and a wait in a local event loop would
    // let the user act on the program in the middle of this call.
    if (!glInitialized)
        glInit();
    if (!programLaplace) {
        extrapolationRequested = false;
        return fail("ERROR: No diffusion program");
    }

    inputImage = image;
    paintGL();
    inputImage = QImage();
    return resultImage.copy();
}

void ColorExtrapolator::initializeGL()
{
    if (!extrapolationRequested)
        qDebug() << "Warning: initializeGL() called before extrapolation()";
    checkErrors("initializeGL");
    qglClearColor(Qt::gray);
    gl_.initializeOpenGLFunctions();
    programLaplace = makeShaderProgram(":/simpleShader.vert", ":/laplasShader.frag");
    buildQuad();
    checkErrors("initializeGL2");
    qDebug() << "initialized";
    glInitialized = true;
    emit initialized();
}

void ColorExtrapolator::resizeGL(int, int) {}

QOpenGLShaderProgram* ColorExtrapolator::makeShaderProgram(const QString& vertexShaderFile,
                                                           const QString& fragmentShaderFile)
{
    return Viewport3D::GLObject::makeShaderProgram3(vertexShaderFile, fragmentShaderFile);
}

void ColorExtrapolator::checkErrors(const QString& place) const
{
    const GLenum code = glGetError();
    if (code != GL_NO_ERROR)
        qCritical("%s", qPrintable(QString("OpenGL Error: %1 (%2)").arg(code).arg(place)));
}

void ColorExtrapolator::buildQuad()
{
    const QVector<float> data = {// positions
                                 -1, 1, 1, 1, -1, -1, 1, -1, 1, 1, -1, -1,
                                 // texture coordinates: (position + 1) / 2
                                 0, 1, 1, 1, 0, 0, 1, 0, 1, 1, 0, 0};
    vertexCount = 6;
    quadBuffer.create();
    quadBuffer.bind();
    quadBuffer.setUsagePattern(QOpenGLBuffer::StaticDraw);
    quadBuffer.allocate(data.constData(), int(data.size() * sizeof(float)));
    quadBuffer.release();
}

void ColorExtrapolator::paintGL()
{
    // Only extrapolate() asks for a frame; nothing to draw otherwise.
    if (inputImage.isNull() || !programLaplace)
        return;
    QElapsedTimer timer;
    timer.start();
    qDebug() << "Starting color extrapolation";

    QList<QImage> pyramid = {inputImage};
    while (std::min(pyramid.last().width(), pyramid.last().height()) > 1)
        pyramid.append(halveImage(pyramid.last()));
    timer.restart();

    QImage estimate = pyramid.last();
    for (int level = pyramid.size() - 1; level >= 0; --level) {
        const QImage& known = pyramid.at(level);
        estimate = estimate.scaled(known.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const QList<QImage> estimateTiles = splitIntoTiles(estimate, tileSize, iterations);
        const QList<QImage> knownTiles = splitIntoTiles(known, tileSize, iterations);
        QList<QImage> resultTiles;
        for (int t = 0; t < knownTiles.size(); ++t) {
            FrameBuffer frameBuffer;
            frameBuffer.create(knownTiles[t].width(), knownTiles[t].height());
            frameBuffer.bind();
            resultTiles.append(diffuseTile(knownTiles[t], estimateTiles[t]));
            frameBuffer.release();
            frameBuffer.destroy();
        }
        estimate = mergeTiles(resultTiles, known.size(), tileSize, iterations);
    }

    extrapolationRequested = false;
    qDebug() << "Color extrapolation finished";
    qDebug().noquote() << "Elapsed " + QString::number(timer.elapsed());
    resultImage = estimate;
}

QImage ColorExtrapolator::diffuseTile(const QImage& known, const QImage& estimate)
{
    const int w = known.width(), h = known.height();
    ImageTexture image(estimate);
    ImageTexture original(known);
    for (int pass = 0; pass < iterations; ++pass) {
        gl_.glActiveTexture(GL_TEXTURE0);
        image.bind();
        gl_.glActiveTexture(GL_TEXTURE1);
        original.bind();
        drawLaplacePass(w, h);
        original.unbind();
        gl_.glActiveTexture(GL_TEXTURE0);
        image.unbind();
        // The next pass reads this pass's output.
        image.bind();
        glFinish();
        glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 0, 0, w, h, 0);
        image.unbind();
    }
    QImage result(w, h, QImage::Format_RGBA8888);
    readFramebuffer(result);
    image.destroy();
    original.destroy();
    return result;
}

void ColorExtrapolator::drawLaplacePass(int width, int height)
{
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, width, height);
    glClear(GL_COLOR_BUFFER_BIT);
    checkErrors("paintGL");

    quadBuffer.bind();
    programLaplace->bind();
    programLaplace->setUniformValue("image", 0);
    programLaplace->setUniformValue("originalImage", 1);
    programLaplace->setUniformValue("alpha", alpha);
    programLaplace->setUniformValue("pixelSize", QVector2D(1.0f / width, 1.0f / height));
    QMatrix4x4 projection;
    projection.ortho(-1, 1, -1, 1, -1, 1);
    programLaplace->setUniformValue("matrixModelViewProjection", projection);
    programLaplace->enableAttributeArray("vertex");
    programLaplace->enableAttributeArray("vertexT");
    programLaplace->setAttributeBuffer("vertex", GL_FLOAT, 0, 2);
    programLaplace->setAttributeBuffer("vertexT", GL_FLOAT, vertexCount * 8, 2);
    glDrawArrays(GL_TRIANGLES, 0, vertexCount);
    programLaplace->disableAttributeArray("vertex");
    programLaplace->disableAttributeArray("vertexT");
    programLaplace->release();
    quadBuffer.release();
    glFinish();
    checkErrors("paintError");
}

void readFramebuffer(QImage& image)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 0, 0, image.width(), image.height(), 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    glBindTexture(GL_TEXTURE_2D, 0);
    glDeleteTextures(1, &texture);
}

}  // namespace ColorExtrapolation
