#pragma once
// One 2D texture made from an RGBA8888 image, read texel by texel (nearest
// filters), in the current context.
#include <qopengl.h>
#include <QImage>

namespace ColorExtrapolation {

class ImageTexture {
public:
    explicit ImageTexture(const QImage& image);
    ~ImageTexture();
    ImageTexture(const ImageTexture&) = delete;
    ImageTexture& operator=(const ImageTexture&) = delete;

    void bind();
    // Binds texture 0.
    void unbind();
    void destroy();

private:
    GLuint textureId_ = 0;
};

}  // namespace ColorExtrapolation
