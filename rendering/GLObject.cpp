#include "rendering/GLObject.h"

#include <qopengl.h>
#include <QDebug>
#include <QOpenGLShaderProgram>

namespace Viewport3D {

GLObject::GLObject() = default;

GLObject::~GLObject() = default;

void GLObject::logPendingError()
{
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        qDebug() << "OpenGL error:" << error;
}

void GLObject::initialize()
{
    qDebug() << "Callin virtual method: initialize()";
}

void GLObject::draw()
{
    qDebug() << "Calling virtual method: draw()";
}

void GLObject::draw(const QMatrix4x4&, const QMatrix4x4&, const QSize&)
{
    qDebug() << "Calling virtual method: draw()";
}

BoundingBox GLObject::aaBoundingBox() const
{
    qDebug() << "Calling virtual method: boundingBox()";
    return BoundingBox(QVector3D(0, 0, 0), QVector3D(0, 0, 0));
}

void GLObject::loadProjectionMatrix(const QMatrix4x4& m)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMultMatrixf(m.constData());  // QMatrix4x4 stores column-major, as GL expects
}

void GLObject::loadModelViewMatrix(const QMatrix4x4& m)
{
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glMultMatrixf(m.constData());
}

QOpenGLShaderProgram* GLObject::makeShaderProgram3(const QString& vertexPath, const QString& fragmentPath)
{
    auto* program = new QOpenGLShaderProgram();
    const char* failure = nullptr;
    if (!program->addShaderFromSourceFile(QOpenGLShader::Vertex, vertexPath))
        failure = "Failed to compile vertex shader";
    else if (!program->addShaderFromSourceFile(QOpenGLShader::Fragment, fragmentPath))
        failure = "Failed to compile fragment shader";
    else if (!program->link())
        failure = "Failed to link shader program";
    if (failure) {
        qDebug() << failure;
        delete program;
        return nullptr;
    }
    return program;
}

QOpenGLShaderProgram* GLObject::makeShaderProgramWithGeometry(const QString& vertexPath, const QString& fragmentPath,
                                                              const QString& geometryPath)
{
    auto* program = new QOpenGLShaderProgram();
    // A stage that fails to compile is simply missing; linking then fails.
    program->addShaderFromSourceFile(QOpenGLShader::Vertex, vertexPath);
    if (!geometryPath.isEmpty())
        program->addShaderFromSourceFile(QOpenGLShader::Geometry, geometryPath);
    program->addShaderFromSourceFile(QOpenGLShader::Fragment, fragmentPath);
    if (!program->link()) {
        delete program;
        return nullptr;
    }
    return program;
}

QVector<QVector3D> GLObject::transformPoints(const QVector<QVector3D>& points, const QMatrix4x4& m)
{
    if (m.isIdentity())
        return points;
    QVector<QVector3D> result;
    result.reserve(points.size());
    for (const QVector3D& p : points) {
        const QVector4D h = m * QVector4D(p, 1.0f);
        if (h.w() == 1.0f)
            result.append(h.toVector3D());
        else
            result.append(h.toVector3D() / h.w());
    }
    return result;
}

}  // namespace Viewport3D
