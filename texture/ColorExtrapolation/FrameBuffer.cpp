#include "texture/ColorExtrapolation/FrameBuffer.h"

#include <QOpenGLContext>

namespace ColorExtrapolation {

namespace {

GLuint defaultFramebuffer()
{
    return QOpenGLContext::currentContext()->defaultFramebufferObject();
}

}  // namespace

FrameBuffer::FrameBuffer()
{
    gl_.initializeOpenGLFunctions();
}

FrameBuffer::~FrameBuffer()
{
    destroy();
}

void FrameBuffer::create(int width, int height)
{
    gl_.glGenFramebuffers(1, &framebufferId_);
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, framebufferId_);
    gl_.glGenTextures(1, &textureId_);
    gl_.glBindTexture(GL_TEXTURE_2D, textureId_);
    gl_.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    gl_.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl_.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl_.glBindTexture(GL_TEXTURE_2D, 0);
    gl_.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textureId_, 0);
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer());
    created_ = true;
}

void FrameBuffer::bind()
{
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, framebufferId_);
}

void FrameBuffer::release()
{
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer());
}

void FrameBuffer::destroy()
{
    if (!created_)
        return;
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer());
    gl_.glDeleteFramebuffers(1, &framebufferId_);
    gl_.glDeleteTextures(1, &textureId_);
    created_ = false;
}

}  // namespace ColorExtrapolation
