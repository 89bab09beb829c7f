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
        -1, 1, 0,  1, -1, 0,  1, 1, 0,
        -1, 1, 0,  -1, -1, 0, 1, -1, 0,
    };
    static const GLfloat textureCoordinates[6 * 2] = {
        0, 1,  1, 0,  1, 1,
        0, 1,  0, 0,  1, 0,
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
    shaderProgram = makeShaderProgram(":/Shaders/RenderPlaneShader.vert", ":/Shaders/RenderPlaneShader.frag");
}

void GLRenderPlane::draw()
{
    if (!shaderProgram)
        return;
    QMatrix4x4 orthographic;
    orthographic.ortho(-1, 1, -1, 1, -1, 1);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    vertexBuffer.bind();
    shaderProgram->bind();
    shaderProgram->setUniformValue("matrixModelViewProjection", orthographic);
    shaderProgram->setAttributeBuffer("vertex", GL_FLOAT, 0, 3);
    shaderProgram->enableAttributeArray("vertex");
    shaderProgram->setAttributeBuffer("vertexT", GL_FLOAT, 12 * vertexCount, 2);
    shaderProgram->enableAttributeArray("vertexT");
    shaderProgram->setUniformValue("imageBack", GLint(0));
    shaderProgram->setUniformValue("imageFront", GLint(1));
    shaderProgram->setUniformValue("depthBack", GLint(2));
    shaderProgram->setUniformValue("depthFront", GLint(3));
    shaderProgram->setUniformValue("composeDepth", 0.0f);
    glDrawArrays(GL_TRIANGLES, 0, vertexCount);
    shaderProgram->disableAttributeArray("vertex");
    shaderProgram->disableAttributeArray("vertexT");
    shaderProgram->release();
    vertexBuffer.release();
    glDisable(GL_BLEND);
}

void GLRenderPlane::destroy()
{
    delete shaderProgram;
    shaderProgram = nullptr;
    vertexBuffer.destroy();
    vertexCount = 0;
}

QOpenGLShaderProgram* GLRenderPlane::makeShaderProgram(const QString& vertexShaderFile,
                                                       const QString& fragmentShaderFile)
{
    return GLObject::makeShaderProgram3(vertexShaderFile, fragmentShaderFile);
}

}  // namespace Viewport3D
