#pragma once
// Point markers of one colour and size, each with a text label beside it that
// keeps its size in pixels, faces the screen and is drawn over everything else
// in the view. The labels' glyphs come from a shared LabelFontAtlas.
#include "rendering/GLObject.h"
#include "rendering/labelfontatlas.h"

#include <QColor>
#include <QImage>
#include <QOpenGLBuffer>
#include <QOpenGLFunctions>
#include <QPoint>
#include <QString>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

class QOpenGLShaderProgram;

// The labels "0", "1", ..., "n - 1"; empty for n <= 0.
QVector<QString> makeIndexLabels(int n);

namespace Viewport3D {

// The atlas image as a texture (straight alpha, clamped, linear, no mipmaps).
class AtlasTexture {
public:
    explicit AtlasTexture(const QImage& image);  // context current

    void bind();     // binds to the active unit and enables GL_TEXTURE_2D
    void release();  // disables GL_TEXTURE_2D; the binding stays
    void destroy();  // deletes the texture

    GLuint textureId = 0;
    int width = 0;
    int height = 0;
};

// Label geometry as it goes into the label buffer: per character six corners
// (quadTexCoords order) of its quad in pixels relative to the point, and the
// same corners of its atlas rectangle.
struct LabelVertices {
    QVector<QVector3D> positions;
    QVector<QVector2D> texCoords;
    QVector<int> firstVertices;  // per label
    QVector<int> vertexCounts;   // per label, six per character
    int total = 0;
};

// One label per entry of labels, each moved by offset pixels.
LabelVertices buildLabelVertices(const QVector<QString>& labels, const LabelFontAtlas& atlas, const QPoint& offset);

class GLPointsWithLabels : public GLObject {
public:
    // The view's context must be current; labels[i] belongs to points[i]. A
    // point without a label is drawn without one.
    GLPointsWithLabels(const QVector<QVector3D>& points, const QVector<QString>& labels, LabelFontAtlas* atlas,
                       const QColor& colour, float pointSize);
    ~GLPointsWithLabels() override;  // context current

    // New positions; the labels follow. Context current.
    void updatePoints(const QVector<QVector3D>& points);

    void initialize() override;
    void draw() override;
    void draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize& viewportSize) override;
    BoundingBox aaBoundingBox() const override;

    void drawPoints();
    void drawLabels();
    void initializeVboPoints(const QVector<QVector3D>& points);
    void initializeVboLabels(const QVector<QVector3D>& points, const QVector<QString>& labels);

private:
    QPoint labelOffset_;
    LabelFontAtlas* atlas_;
    AtlasTexture* atlasTexture_ = nullptr;
    QOpenGLShaderProgram* labelProgram_ = nullptr;
    QColor colour_;
    float pointSize_;
    QOpenGLBuffer labelBuffer_;
    QOpenGLBuffer pointBuffer_;
    QVector<int> labelFirstVertices_;
    QVector<int> labelVertexCounts_;
    int labelVertexTotal_ = 0;
    int pointCount_ = 0;
    QVector<QVector3D> points_;
    QOpenGLFunctions gl_;
    BoundingBox boundingBox_;
};

}  // namespace Viewport3D
