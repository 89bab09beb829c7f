#include "rendering/Viewport2D/glviewport2d.h"

#include "rendering/GLObject.h"
#include "rendering/RenderingResources.h"

#include <QOpenGLShaderProgram>
#include <QVector2D>
#include <QVector3D>

namespace Viewport2D {

GLViewport2D::GLViewport2D(QWidget* parent) : QGLWidget(setupFormat(), parent)
{
    Viewport3D::initRenderingResources();
}

GLViewport2D::~GLViewport2D()
{
    if (!glInitialized)
        return;
    makeCurrent();
    releaseImageTexture();
    if (checkerTexture) {
        checkerTexture->destroy();
        delete checkerTexture;
    }
    delete imageProgram;
    delete backgroundProgram;
    destroyQuad();
}

QGLFormat GLViewport2D::setupFormat()
{
    QGLFormat format = QGLFormat::defaultFormat();
    format.setSampleBuffers(true);
    format.setDepthBufferSize(24);
    format.setSamples(4);
    return format;
}

QOpenGLShaderProgram* GLViewport2D::makeShaderProgram(const QString& vertexPath, const QString& fragmentPath)
{
    return Viewport3D::GLObject::makeShaderProgram3(vertexPath, fragmentPath);
}

void GLViewport2D::setImage(const QImage& image)
{
    // A texture still held would be lost: release it first.
    releaseImageTexture();
    imageTexture = new GLTexture(image);
    imageSize = image.size();
    destroyQuad();
    makeQuad(imageSize.width(), imageSize.height());
}

void GLViewport2D::clearImage()
{
    releaseImageTexture();
    imageSize = QSize(512, 512);
    destroyQuad();
    makeQuad(imageSize.width(), imageSize.height());
}

void GLViewport2D::releaseImageTexture()
{
    if (!imageTexture)
        return;
    imageTexture->destroy();
    delete imageTexture;
    imageTexture = nullptr;
}

void GLViewport2D::makeQuad(int w, int h)
{
    const float x = w / 2.0f, y = h / 2.0f;
    const QVector3D positions[6] = {{-x, y, 0}, {x, y, 0}, {-x, -y, 0}, {x, y, 0}, {x, -y, 0}, {-x, -y, 0}};
    const QVector2D texCoords[6] = {{0, 1}, {1, 1}, {0, 0}, {1, 1}, {1, 0}, {0, 0}};
    quadBuffer = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    quadBuffer.create();
    quadBuffer.setUsagePattern(QOpenGLBuffer::StaticDraw);
    quadBuffer.bind();
    quadBuffer.allocate(int(sizeof(positions) + sizeof(texCoords)));
    quadBuffer.write(0, positions, int(sizeof(positions)));
    quadBuffer.write(int(sizeof(positions)), texCoords, int(sizeof(texCoords)));
    quadVertexCount = 6;
    quadBuffer.release();
}

void GLViewport2D::destroyQuad()
{
    if (quadBuffer.isCreated())
        quadBuffer.destroy();
}

void GLViewport2D::initializeGL()
{
    qglClearColor(backgroundColor);
    destroyQuad();  // an image set before the first initialisation built one already
    makeQuad(imageSize.width(), imageSize.height());
    checkerTexture = new GLTexture(QImage(":/Viewport2D/Images/Checker.png"));
    imageProgram = makeShaderProgram(":/Viewport2D/Shaders/ImageShader.vert", ":/Viewport2D/Shaders/ImageShader.frag");
    backgroundProgram =
        makeShaderProgram(":/Viewport2D/Shaders/BackgroundShader.vert", ":/Viewport2D/Shaders/BackgroundShader.frag");
    glInitialized = true;
    emit initialized();
}

void GLViewport2D::resizeGL(int w, int h)
{
    glViewport(0, 0, w, h);
    const float a = float(w) / float(h == 0 ? 1 : h);
    projection.setToIdentity();
    if (h < w)
        projection.ortho(-a, a, -1, 1, -1, 1);
    else
        projection.ortho(-1, 1, -1 / a, 1 / a, -1, 1);
}

QSizeF GLViewport2D::planeSize() const
{
    const int w = width(), h = height();
    const double a = double(w) / double(h == 0 ? 1 : h);
    return h < w ? QSizeF(2 * a, 2) : QSizeF(2, 2 / a);
}

float GLViewport2D::imageScale() const
{
    const QSizeF plane = planeSize();
    const double imageAspect = double(imageSize.width()) / imageSize.height();
    const double widgetAspect = double(width()) / height();
    if (imageAspect > widgetAspect)
        return float(plane.width() / imageSize.width());
    return float(plane.height() / imageSize.height());
}

void GLViewport2D::paintGL()
{
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    drawBackground();
    drawImage();
}

void GLViewport2D::drawBackground()
{
    setImageScale();
    // A program that failed to build draws nothing; the rest still shows.
    if (backgroundProgram)
        drawQuad(backgroundProgram, checkerTexture, true);
}

void GLViewport2D::drawImage()
{
    if (!imageProgram || !imageTexture)
        return;
    setImageScale();
    drawQuad(imageProgram, imageTexture, false);
}

void GLViewport2D::setImageScale()
{
    modelMatrix.setToIdentity();
    modelMatrix.scale(imageScale());
}

void GLViewport2D::drawQuad(QOpenGLShaderProgram* program, GLTexture* texture, bool withPlaneSize)
{
    quadBuffer.bind();
    program->bind();
    program->enableAttributeArray("vertex");
    program->enableAttributeArray("vertexT");
    program->setAttributeBuffer("vertex", GL_FLOAT, 0, 3);
    program->setAttributeBuffer("vertexT", GL_FLOAT, int(sizeof(QVector3D)) * quadVertexCount, 2);
    program->setUniformValue("matrixModelViewProjection", projection * modelMatrix);
    program->setUniformValue("image", 0);
    if (withPlaneSize) {
        // The image's extent in screen pixels, so that the checks keep their
        // pixel size whatever the scale.
        const QSizeF plane = planeSize();
        const float s = imageScale();
        program->setUniformValue("imagePlaneSize",
                                 QVector2D(float(imageSize.width() * s / plane.width() * width()),
                                           float(imageSize.height() * s / plane.height() * height())));
    }
    texture->bind();
    glDrawArrays(GL_TRIANGLES, 0, quadVertexCount);
    glBindTexture(GL_TEXTURE_2D, 0);
    program->disableAttributeArray("vertex");
    program->disableAttributeArray("vertexT");
    program->release();
    quadBuffer.release();
}

}  // namespace Viewport2D
