#include "texture/ColorExtrapolation/ImageTexture.h"

#include "texture/ColorExtrapolation/ExtrapolationImages.h"

namespace ColorExtrapolation {

ImageTexture::ImageTexture(const QImage& image)
{
    const QImage rgba = toRgba8888(image);
    glGenTextures(1, &textureId_);
    glBindTexture(GL_TEXTURE_2D, textureId_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);  // RGBA8888 rows are whole 32-bit words
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, rgba.width(), rgba.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba.constBits());
    glBindTexture(GL_TEXTURE_2D, 0);
}

ImageTexture::~ImageTexture()
{
    destroy();
}

void ImageTexture::bind()
{
    glBindTexture(GL_TEXTURE_2D, textureId_);
}

void ImageTexture::unbind()
{
    glBindTexture(GL_TEXTURE_2D, 0);
}

void ImageTexture::destroy()
{
    if (textureId_ == 0)
        return;
    glDeleteTextures(1, &textureId_);
    textureId_ = 0;
}

}  // namespace ColorExtrapolation
