#include "rendering/GLTexture.h"

#include <QGLWidget>

GLTexture::GLTexture(const QImage& image)
{
    // RGBA byte order with rows bottom-up, so texture coordinate t = 0 is the
    // image's last row.
    const QImage glImage = QGLWidget::convertToGLFormat(image);
    glGenTextures(1, &id);
    glBindTexture(GL_TEXTURE_2D, id);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, glImage.width(), glImage.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 glImage.constBits());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GLTexture::bind()
{
    glBindTexture(GL_TEXTURE_2D, id);
}

void GLTexture::unbind()
{
    glBindTexture(GL_TEXTURE_2D, 0);
}

void GLTexture::destroy()
{
    glDeleteTextures(1, &id);
    id = 0;
}
