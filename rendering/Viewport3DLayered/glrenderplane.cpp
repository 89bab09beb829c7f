#include "rendering/Viewport3DLayered/glrenderplane.h"

#include "rendering/GLObject.h"
#include "rendering/RenderingResources.h"

#include <QMatrix4x4>
#include <QOpenGLShaderProgram>

namespace Viewport3D {

GLRenderPlane::GLRenderPlane() : vertexBuffer(QOpenGLBuffer::VertexBuffer)
{
    initRenderingResources();
}

// The owner releases GL resources through destroy() with its context current.
GLRenderPlane::~GLRenderPlane() = default;

void GLRenderPlane::initialize()
{
    initializeBuffer();
    initializeShaders();
}

void GLRenderPlane::initializeBuffer()
{
    // Two counter-clockwise triangles covering clip space; positions first, then
    // texture coordinates.
    static const GLfloat positions[6 * 3] = {
        -1, 1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0, -1, -1, 0, 1, -1, 0,
    };
    static const GLfloat textureCoordinates[6 * 2] = {
        0, 1, 1, 0, 1, 1, 0, 1, 0, 0, 1, 0,
    };
    vertexCount = 6;
    vertexBuffer.create();
    vertexBuffer.setUsagePattern(QOpenGLBuffer::StaticDraw);
    vertexBuffer.bind();
    vertexBuffer.allocate(sizeof(positions) + sizeof(textureCoordinates));
    vertexBuffer.write(0, positions, sizeof(positions));
    vertexBuffer.write(sizeof(positions), textureCoordinates, sizeof(textureCoordinates));
    vertexBuffer.release();
}

void GLRenderPlane::initializeShaders()
{
    shaderProgram_ = makeShaderProgram(":/Shaders/RenderPlaneShader.vert", ":/Shaders/RenderPlaneShader.frag");
}

void GLRenderPlane::draw()
{
    if (!shaderProgram_)
        return;
    QMatrix4x4 orthographic;
    orthographic.ortho(-1, 1, -1, 1, -1, 1);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    vertexBuffer.bind();
    shaderProgram_->bind();
    shaderProgram_->setUniformValue("matrixModelViewProjection", orthographic);
    shaderProgram_->setAttributeBuffer("vertex", GL_FLOAT, 0, 3);
    shaderProgram_->enableAttributeArray("vertex");
    shaderProgram_->setAttributeBuffer("vertexT", GL_FLOAT, 12 * vertexCount, 2);
    shaderProgram_->enableAttributeArray("vertexT");
    shaderProgram_->setUniformValue("imageBack", GLint(0));
    shaderProgram_->setUniformValue("imageFront", GLint(1));
    shaderProgram_->setUniformValue("depthBack", GLint(2));
    shaderProgram_->setUniformValue("depthFront", GLint(3));
    shaderProgram_->setUniformValue("composeDepth", 0.0f);
    glDrawArrays(GL_TRIANGLES, 0, vertexCount);
    shaderProgram_->disableAttributeArray("vertex");
    shaderProgram_->disableAttributeArray("vertexT");
    shaderProgram_->release();
    vertexBuffer.release();
    glDisable(GL_BLEND);
}

void GLRenderPlane::destroy()
{
    delete shaderProgram_;
    shaderProgram_ = nullptr;
    vertexBuffer.destroy();
    vertexCount = 0;
}

QOpenGLShaderProgram* GLRenderPlane::makeShaderProgram(const QString& vertexShaderFile,
                                                       const QString& fragmentShaderFile)
{
    return GLObject::makeShaderProgram3(vertexShaderFile, fragmentShaderFile);
}

}  // namespace Viewport3D
