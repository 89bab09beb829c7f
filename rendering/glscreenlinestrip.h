#pragma once
// An open polyline given in normalised device coordinates and drawn over the
// scene of a model view, without depth test, where its points were picked
// (the lasso while it is drawn). Its buffer lives in the view's context.
#include "rendering/GLObject.h"

#include <QColor>
#include <QOpenGLBuffer>
#include <QPointF>
#include <QVector>

namespace Viewport3D {

class GLScreenLineStrip : public GLObject {
public:
    // The view's context must be current (also for every later call and the destructor).
    GLScreenLineStrip(const QVector<QPointF>& points, const QColor& colour);
    ~GLScreenLineStrip() override;
    GLScreenLineStrip(const GLScreenLineStrip&) = delete;
    GLScreenLineStrip& operator=(const GLScreenLineStrip&) = delete;

    void initialize() override;
    void draw() override;

    // New buffer for a new vertex list; when it cannot be bound nothing is
    // drawn until a later rebuild succeeds.
    void updatePoints(const QVector<QPointF>& points);
    // Rewrites one vertex in place (the rubber-band end); index below vertexCount.
    void setPoint(int index, const QPointF& point);

    int vertexCount = 0;
    QColor color;
    int lineStyle = 1;  // 1: stippled
    float lineWidth = 1.0f;
    QOpenGLBuffer vertexBuffer;  // (x, y, 0) per vertex, three floats

private:
    static void pushScreenMatrices();
    static void popScreenMatrices();
    void applyLineStyle();
};

}  // namespace Viewport3D
