#pragma once
// Plain point markers of one colour and size, drawn from a vertex buffer
// through the fixed-function vertex array.
#include "rendering/GLObject.h"

#include <QColor>
#include <QOpenGLFunctions>
#include <QVector3D>
#include <QVector>

namespace Viewport3D {

class GLPoints : public GLObject {
public:
    // The view's context must be current.
    GLPoints(const QVector<QVector3D>& points, const QColor& colour, float pointSize);
    ~GLPoints() override;  // context current

    void initialize() override;
    void draw() override;
    void draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize& viewportSize) override;
    BoundingBox aaBoundingBox() const override;

private:
    QVector<QVector3D> points_;
    QOpenGLFunctions gl_;
    GLuint vertexBuffer_ = 0;
    QColor colour_;
    float pointSize_;
};

}  // namespace Viewport3D
