#include "editing/GLBrush.h"

#include "editing/EditingResources.h"

#include <QDebug>
#include <QOpenGLShaderProgram>
#include <QQuaternion>

#include <algorithm>
#include <cmath>

namespace Viewport3D {

GLBrush::GLBrush(float radius, const QColor& colour)
    : radius(radius), color(colour), vertexBuffer(QOpenGLBuffer::VertexBuffer)
{}

GLBrush::~GLBrush()
{
    vertexBuffer.destroy();
    delete program;
}

void GLBrush::initialize()
{
    initEditingResources();
    initializeVbo();
    delete program;
    program = makeShaderProgram3(":/Viewport3D2/Shaders/BrushShader.vert", ":/Viewport3D2/Shaders/BrushShader.frag");
}

void GLBrush::initializeVbo()
{
    QVector<QVector3D> points = circlePoints(segments, 1.0);
    points.append(points.first());
    vertexBuffer = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    vertexBuffer.create();
    vertexBuffer.setUsagePattern(QOpenGLBuffer::StaticDraw);
    if (!vertexBuffer.bind()) {
        qDebug() << "GLBrush: Failed to bind vertex buffer";
        return;
    }
    vertexBuffer.allocate(points.size() * 12);
    vertexBuffer.write(0, points.constData(), points.size() * 12);
    vertexBuffer.release();
}

QVector<QVector3D> GLBrush::circlePoints(int count, double radius)
{
    QVector<QVector3D> points;
    points.reserve(std::max(count, 0));
    for (int k = 0; k < count; ++k) {
        const double angle = k * (2 * M_PI / count);
        points.append(QVector3D(float(std::cos(angle) * radius), float(std::sin(angle) * radius), 0));
    }
    return points;
}

QQuaternion GLBrush::rotationBetween(const QVector3D& a, const QVector3D& b)
{
    // Rounding can take the cosine of nearly parallel unit vectors past 1.
    const double cosine = std::clamp(double(QVector3D::dotProduct(a.normalized(), b.normalized())), -1.0, 1.0);
    const float angle = float(std::acos(cosine) * 180 / M_PI);
    const QVector3D axis = QVector3D::crossProduct(a, b).normalized();
    return QQuaternion::fromAxisAndAngle(axis, angle);
}

QMatrix4x4 GLBrush::modelMatrix() const
{
    QMatrix4x4 m;
    m.translate(position);
    m.rotate(rotationBetween(QVector3D(0, 0, 1), normal));
    m.scale(radius);
    return m;
}

void GLBrush::draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize&)
{
    if (!program || !vertexBuffer.isCreated())
        return;
    glDisable(GL_DEPTH_TEST);
    vertexBuffer.bind();
    program->bind();
    program->setAttributeBuffer("vertex", GL_FLOAT, 0, 3, 0);
    program->enableAttributeArray("vertex");
    program->setUniformValue("color", color);
    QMatrix4x4 mvp = projection * view * modelMatrix();
    program->setUniformValue("matrixModelViewProjection", mvp);
    glDrawArrays(GL_LINE_STRIP, 0, segments + 1);
    mvp.scale(0.5f);
    program->setUniformValue("matrixModelViewProjection", mvp);
    glDrawArrays(GL_LINE_STRIP, 0, segments + 1);
    program->disableAttributeArray("vertex");
    program->release();
    vertexBuffer.release();
    glEnable(GL_DEPTH_TEST);
}

}  // namespace Viewport3D
