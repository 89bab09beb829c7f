#pragma once
// One GL texture made from an image. The record does not delete its GL
// texture when destroyed: the owner calls destroy() (context current) first.
#include <qopengl.h>
#include <QImage>

class GLTexture {
public:
    // Uploads the image as level 0, RGBA bytes, linear filtering, default
    // repeat modes, no mipmaps. Needs a current GL context.
    explicit GLTexture(const QImage& image);

    void bind();  // on the active texture unit
    void unbind();
    void destroy();  // deletes the GL texture

    GLuint id = 0;
};
