#pragma once
// Full-screen quad that composes the back and front render layers (texture
// units 0 to 3: back colour, front colour, back depth, front depth) over the
// window's background.
#include <QOpenGLBuffer>
#include <QString>

class QOpenGLShaderProgram;

namespace Viewport3D {

class GLRenderPlane {
public:
    GLRenderPlane();
    ~GLRenderPlane();
    GLRenderPlane(const GLRenderPlane&) = delete;
    GLRenderPlane& operator=(const GLRenderPlane&) = delete;

    // The GL context must be current for these.
    void initialize();  // initializeBuffer, then initializeShaders
    void initializeBuffer();
    void initializeShaders();
    // Without a program (it failed to build, which was logged) nothing is drawn.
    void draw();
    // Releases the buffer and the program.
    void destroy();

    // Vertex then fragment shader, then link; logs the first failure, null then.
    static QOpenGLShaderProgram* makeShaderProgram(const QString& vertexShaderFile, const QString& fragmentShaderFile);

    QOpenGLShaderProgram* program() const { return shaderProgram_; }

private:
    QOpenGLBuffer vertexBuffer;
    QOpenGLShaderProgram* shaderProgram_ = nullptr;
    int vertexCount = 0;
};

}  // namespace Viewport3D
