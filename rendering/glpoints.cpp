#include "rendering/glpoints.h"

namespace Viewport3D {

GLPoints::GLPoints(const QVector<QVector3D>& points, const QColor& colour, float pointSize)
    : points_(points), colour_(colour), pointSize_(pointSize)
{
    gl_.initializeOpenGLFunctions();
}

GLPoints::~GLPoints()
{
    if (vertexBuffer_ != 0)
        gl_.glDeleteBuffers(1, &vertexBuffer_);
    logPendingError();
}

void GLPoints::initialize()
{
    gl_.glGenBuffers(1, &vertexBuffer_);
    gl_.glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    gl_.glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(points_.size() * sizeof(QVector3D)), points_.constData(),
                     GL_STATIC_DRAW);
    gl_.glBindBuffer(GL_ARRAY_BUFFER, 0);
    logPendingError();
}

void GLPoints::draw()
{
    if (vertexBuffer_ == 0)
        return;  // not added to a view yet
    glEnableClientState(GL_VERTEX_ARRAY);
    gl_.glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glColor3ub(GLubyte(colour_.red()), GLubyte(colour_.green()), GLubyte(colour_.blue()));
    glPointSize(pointSize_);
    glDrawArrays(GL_POINTS, 0, points_.size());
    gl_.glBindBuffer(GL_ARRAY_BUFFER, 0);
    glDisableClientState(GL_VERTEX_ARRAY);
}

void GLPoints::draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize&)
{
    loadModelViewMatrix(view * modelMatrix);
    loadProjectionMatrix(projection);
    draw();
}

BoundingBox GLPoints::aaBoundingBox() const
{
    return BoundingBox::fromPoints(transformPoints(points_, modelMatrix));
}

}  // namespace Viewport3D
