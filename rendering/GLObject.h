#pragma once
// Base of every object drawn in a 3D view. The views keep plain pointers to
// scene objects and never own them; the object's GL resources live in the
// context of the one view that shows it.
#include "mesh/BoundingBox.h"

#include <QMatrix4x4>
#include <QSize>
#include <QString>
#include <QVector3D>
#include <QVector>

class QOpenGLShaderProgram;

namespace Viewport3D {

class GLObject {
public:
    GLObject();
    virtual ~GLObject();

    // Creates GL resources; called once by a view's add operation with that
    // view's context current.
    virtual void initialize();
    // Draws with the matrices already loaded into the fixed-function stacks.
    virtual void draw();
    // Draws with explicit matrices (the layered results view).
    virtual void draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize& viewportSize);
    virtual BoundingBox aaBoundingBox() const;

    bool isVisible() const { return visible; }
    void setVisible(bool isVisible) { visible = isVisible; }

    // Replace the current GL_PROJECTION or GL_MODELVIEW matrix by m.
    static void loadProjectionMatrix(const QMatrix4x4& m);
    static void loadModelViewMatrix(const QMatrix4x4& m);

    // Vertex then fragment shader from resource files, then link. Logs the
    // first step that fails and returns null; the caller owns the result.
    static QOpenGLShaderProgram* makeShaderProgram3(const QString& vertexPath, const QString& fragmentPath);
    // Vertex, optional geometry (empty path: none) and fragment stage; silent,
    // null when linking fails.
    static QOpenGLShaderProgram* makeShaderProgramWithGeometry(const QString& vertexPath, const QString& fragmentPath,
                                                               const QString& geometryPath);
    // Each point mapped by m with w = 1 and divided by the resulting w.
    static QVector<QVector3D> transformPoints(const QVector<QVector3D>& points, const QMatrix4x4& m);

protected:
    // Logs a GL error pending in the current context as "OpenGL error: <code>".
    static void logPendingError();

public:
    QMatrix4x4 modelMatrix;  // placement of the object's geometry
    bool visible = true;     // the views skip invisible objects
};

}  // namespace Viewport3D
