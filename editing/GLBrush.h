#pragma once
// The brush cursor of the results view: a circle of the brush radius around
// the brush point, in the plane perpendicular to the surface normal, and a
// second circle of half that radius, drawn over everything in the front layer.
#include "rendering/GLObject.h"

#include <QColor>
#include <QOpenGLBuffer>

namespace Viewport3D {

class GLBrush : public GLObject {
public:
    // Makes no GL call.
    GLBrush(float radius, const QColor& colour);
    // Needs the view's context current.
    ~GLBrush() override;
    GLBrush(const GLBrush&) = delete;
    GLBrush& operator=(const GLBrush&) = delete;

    // The caller repaints the view after these.
    void setPosition(const QVector3D& position) { this->position = position; }
    void setNormal(const QVector3D& normal) { this->normal = normal; }
    void setRadius(float radius) { this->radius = radius; }
    void setColor(const QColor& colour) { color = colour; }

    // Uploads the unit circle and builds the program (null when that fails,
    // and the cursor is then not drawn).
    void initialize() override;
    void draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize& viewportSize) override;
    using GLObject::draw;

    // Hides the unused inherited field of the same name.
    // Translation to the position, rotation from +z onto the normal, scaling by the radius.
    QMatrix4x4 modelMatrix() const;
    // count points on the circle of this radius in the z = 0 plane, from (radius, 0, 0).
    static QVector<QVector3D> circlePoints(int count, double radius);
    // The rotation taking direction a onto direction b (none when they are parallel).
    static QQuaternion rotationBetween(const QVector3D& a, const QVector3D& b);

    float radius;
    int segments = 100;
    QVector3D position;
    QVector3D normal = QVector3D(0, 0, 1);
    QColor color;
    QOpenGLBuffer vertexBuffer;
    QOpenGLShaderProgram* program = nullptr;  // owned

private:
    void initializeVbo();
};

}  // namespace Viewport3D
