#pragma once
// Off-screen render target of one layer: a framebuffer with an RGBA8 colour
// texture and a 24-bit depth texture.
#include <QOpenGLFunctions>

namespace Viewport3D {

class GLRenderLayer {
public:
    // The GL context must be current for every operation.
    void create(int width, int height);
    void resize(int width, int height);  // contents become undefined
    void bind();
    void release();  // back to the context's default framebuffer
    GLuint colorTexture() const { return colorTextureId_; }
    GLuint depthTexture() const { return depthTextureId_; }
    void destroy();
    bool isCreated() const { return framebufferId_ != GLuint(-1); }

    GLuint createColorTexture(int width, int height);
    GLuint createDepthTexture(int width, int height);

private:
    void specifyColorTexture(int width, int height);
    void specifyDepthTexture(int width, int height);

    GLuint framebufferId_ = GLuint(-1);
    GLuint colorTextureId_ = GLuint(-1);
    GLuint depthTextureId_ = GLuint(-1);
    QOpenGLFunctions gl_;
};

}  // namespace Viewport3D
