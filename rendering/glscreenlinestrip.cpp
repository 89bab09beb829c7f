#include "rendering/glscreenlinestrip.h"

#include <qopengl.h>
#include <QDebug>

namespace Viewport3D {

namespace {

const int kVertexBytes = 3 * int(sizeof(float));

void writeVertex(float* out, const QPointF& point)
{
    out[0] = float(point.x());
    out[1] = float(point.y());
    out[2] = 0.0f;
}

}  // namespace

GLScreenLineStrip::GLScreenLineStrip(const QVector<QPointF>& points, const QColor& colour)
    : color(colour), vertexBuffer(QOpenGLBuffer::VertexBuffer)
{
    lineWidth = 1.0f;
    lineStyle = 1;
    updatePoints(points);
}

GLScreenLineStrip::~GLScreenLineStrip()
{
    vertexBuffer.destroy();
}

void GLScreenLineStrip::initialize() {}

void GLScreenLineStrip::updatePoints(const QVector<QPointF>& points)
{
    if (vertexBuffer.isCreated())
        vertexBuffer.destroy();
    vertexBuffer = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    vertexBuffer.setUsagePattern(QOpenGLBuffer::StaticDraw);
    vertexBuffer.create();
    if (!vertexBuffer.bind()) {
        qDebug() << "GLScreenLineStrip: failed to bind vertex buffer";
        // The old buffer is gone: drawing the old count would read from nothing.
        vertexCount = 0;
        return;
    }
    vertexCount = points.size();
    QVector<float> vertices(3 * vertexCount);
    for (int i = 0; i < vertexCount; ++i)
        writeVertex(vertices.data() + 3 * i, points[i]);
    vertexBuffer.allocate(vertices.constData(), kVertexBytes * vertexCount);
    vertexBuffer.release();
}

void GLScreenLineStrip::setPoint(int index, const QPointF& point)
{
    if (index < 0 || index >= vertexCount)
        return;
    if (!vertexBuffer.bind())
        return;
    float vertex[3];
    writeVertex(vertex, point);
    vertexBuffer.write(kVertexBytes * index, vertex, kVertexBytes);
    vertexBuffer.release();
}

void GLScreenLineStrip::draw()
{
    glDisable(GL_DEPTH_TEST);
    pushScreenMatrices();
    glEnableClientState(GL_VERTEX_ARRAY);
    vertexBuffer.bind();
    applyLineStyle();
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glColor3ub(GLubyte(color.red()), GLubyte(color.green()), GLubyte(color.blue()));
    glLineWidth(lineWidth);
    glDrawArrays(GL_LINE_STRIP, 0, vertexCount);
    glDisable(GL_LINE_STIPPLE);
    vertexBuffer.release();
    glDisableClientState(GL_VERTEX_ARRAY);
    popScreenMatrices();
    glEnable(GL_DEPTH_TEST);
}

void GLScreenLineStrip::pushScreenMatrices()
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    // Near 1 and far -1 keep NDC points where they were picked.
    glOrtho(-1, 1, -1, 1, 1, -1);
}

void GLScreenLineStrip::popScreenMatrices()
{
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void GLScreenLineStrip::applyLineStyle()
{
    if (lineStyle == 1) {
        glEnable(GL_LINE_STIPPLE);
        glLineStipple(5, 0xAAAA);
    }
}

}  // namespace Viewport3D
