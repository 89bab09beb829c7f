#include "rendering/Viewport3DLayered/glrenderlayer.h"

#include <QOpenGLContext>

namespace Viewport3D {

namespace {

GLuint defaultFramebuffer()
{
    return QOpenGLContext::currentContext()->defaultFramebufferObject();
}

}  // namespace

void GLRenderLayer::create(int width, int height)
{
    gl_.initializeOpenGLFunctions();
    gl_.glGenFramebuffers(1, &framebufferId_);
    colorTextureId_ = createColorTexture(width, height);
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, framebufferId_);
    gl_.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTextureId_, 0);
    depthTextureId_ = createDepthTexture(width, height);
    gl_.glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depthTextureId_, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer());
}

void GLRenderLayer::resize(int width, int height)
{
    glBindTexture(GL_TEXTURE_2D, colorTextureId_);
    specifyColorTexture(width, height);
    glBindTexture(GL_TEXTURE_2D, depthTextureId_);
    specifyDepthTexture(width, height);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GLRenderLayer::bind()
{
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, framebufferId_ == 0 ? defaultFramebuffer() : framebufferId_);
}

void GLRenderLayer::release()
{
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer());
}

void GLRenderLayer::destroy()
{
    if (!isCreated())
        return;
    gl_.glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebuffer());
    gl_.glDeleteFramebuffers(1, &framebufferId_);
    glDeleteTextures(1, &colorTextureId_);
    glDeleteTextures(1, &depthTextureId_);
    framebufferId_ = colorTextureId_ = depthTextureId_ = GLuint(-1);
}

GLuint GLRenderLayer::createColorTexture(int width, int height)
{
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    specifyColorTexture(width, height);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    return id;
}

GLuint GLRenderLayer::createDepthTexture(int width, int height)
{
    GLuint id = 0;
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    specifyDepthTexture(width, height);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return id;
}

void GLRenderLayer::specifyColorTexture(int width, int height)
{
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
}

void GLRenderLayer::specifyDepthTexture(int width, int height)
{
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
}

}  // namespace Viewport3D
