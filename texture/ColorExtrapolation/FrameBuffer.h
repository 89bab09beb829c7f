#pragma once
// One framebuffer object with one RGBA8 colour texture, in the current context.
#include <QOpenGLFunctions>

namespace ColorExtrapolation {

class FrameBuffer {
public:
    FrameBuffer();
    ~FrameBuffer();
    FrameBuffer(const FrameBuffer&) = delete;
    FrameBuffer& operator=(const FrameBuffer&) = delete;

    void create(int width, int height);
    void bind();
    // Binds the context's default framebuffer.
    void release();
    void destroy();

private:
    GLuint framebufferId_ = GLuint(-1);
    GLuint textureId_ = GLuint(-1);
    QOpenGLFunctions gl_;
    bool created_ = false;
};

}  // namespace ColorExtrapolation
