#include "rendering/glpointswithlabels.h"

#include "rendering/RenderingResources.h"

#include <QGLWidget>
#include <QOpenGLShaderProgram>

#include <algorithm>

QVector<QString> makeIndexLabels(int n)
{
    QVector<QString> labels;
    for (int i = 0; i < n; ++i)
        labels.append(QString::number(i));
    return labels;
}

namespace Viewport3D {

AtlasTexture::AtlasTexture(const QImage& image) : width(image.width()), height(image.height())
{
    // Straight RGBA bytes with the image's top row at v = 1.
    const QImage glImage = QGLWidget::convertToGLFormat(image);
    glGenTextures(1, &textureId);
    glBindTexture(GL_TEXTURE_2D, textureId);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, glImage.width(), glImage.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 glImage.constBits());
    glBindTexture(GL_TEXTURE_2D, 0);
}

void AtlasTexture::bind()
{
    glBindTexture(GL_TEXTURE_2D, textureId);
    glEnable(GL_TEXTURE_2D);
}

void AtlasTexture::release()
{
    glDisable(GL_TEXTURE_2D);
}

void AtlasTexture::destroy()
{
    glDeleteTextures(1, &textureId);
    textureId = 0;
}

LabelVertices buildLabelVertices(const QVector<QString>& labels, const LabelFontAtlas& atlas, const QPoint& offset)
{
    LabelVertices vertices;
    for (const QString& label : labels) {
        const QVector<QRectF> quads = LabelFontAtlas::translateRects(atlas.glyphRects(label), offset);
        for (const QRectF& q : quads) {
            for (const QVector2D& corner : quadTexCoords)
                vertices.positions.append(
                    QVector3D(float(q.x() + corner.x() * q.width()), float(q.y() + corner.y() * q.height()), 0));
        }
        for (const QRectF& r : atlas.textureRects(label)) {
            for (const QVector2D& corner : quadTexCoords)
                vertices.texCoords.append(
                    QVector2D(float(r.x() + corner.x() * r.width()), float(r.y() + corner.y() * r.height())));
        }
        vertices.firstVertices.append(vertices.total);
        vertices.vertexCounts.append(6 * label.size());
        vertices.total += 6 * label.size();
    }
    return vertices;
}

GLPointsWithLabels::GLPointsWithLabels(const QVector<QVector3D>& points, const QVector<QString>& labels,
                                       LabelFontAtlas* atlas, const QColor& colour, float pointSize)
    : labelOffset_(5, 0),
      atlas_(atlas),
      colour_(colour),
      pointSize_(pointSize),
      pointCount_(points.size()),
      points_(points),
      boundingBox_(BoundingBox::fromPoints(points))
{
    initRenderingResources();
    gl_.initializeOpenGLFunctions();
    atlasTexture_ = new AtlasTexture(atlas_->image());
    initializeVboPoints(points_);
    initializeVboLabels(points_, labels);
    labelProgram_ = makeShaderProgramWithGeometry(":/Viewport3D2/Shaders/TextWithLabels.vert",
                                                  ":/Viewport3D2/Shaders/TextWithLabels.frag", QString());
}

GLPointsWithLabels::~GLPointsWithLabels()
{
    atlasTexture_->destroy();
    delete atlasTexture_;
    labelBuffer_.destroy();
    pointBuffer_.destroy();
    delete labelProgram_;
    logPendingError();
}

void GLPointsWithLabels::initializeVboPoints(const QVector<QVector3D>& points)
{
    pointBuffer_ = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    pointBuffer_.setUsagePattern(QOpenGLBuffer::StaticDraw);
    pointBuffer_.create();
    pointBuffer_.bind();
    pointBuffer_.allocate(points.constData(), int(points.size() * sizeof(QVector3D)));
    pointBuffer_.release();
    logPendingError();
}

void GLPointsWithLabels::initializeVboLabels(const QVector<QVector3D>& points, const QVector<QString>& labels)
{
    // Only points that have a label get one; spare labels are not built.
    const LabelVertices vertices = buildLabelVertices(labels.mid(0, points.size()), *atlas_, labelOffset_);
    labelFirstVertices_ = vertices.firstVertices;
    labelVertexCounts_ = vertices.vertexCounts;
    labelVertexTotal_ = vertices.total;

    const int positionBytes = int(vertices.total * sizeof(QVector3D));
    const int texCoordBytes = int(vertices.total * sizeof(QVector2D));
    labelBuffer_ = QOpenGLBuffer(QOpenGLBuffer::VertexBuffer);
    labelBuffer_.setUsagePattern(QOpenGLBuffer::StaticDraw);
    labelBuffer_.create();
    labelBuffer_.bind();
    labelBuffer_.allocate(positionBytes + texCoordBytes);
    labelBuffer_.write(0, vertices.positions.constData(), positionBytes);
    labelBuffer_.write(positionBytes, vertices.texCoords.constData(), texCoordBytes);
    labelBuffer_.release();
    logPendingError();
}

void GLPointsWithLabels::updatePoints(const QVector<QVector3D>& points)
{
    points_ = points;
    pointBuffer_.bind();
    const int bytes = int(points_.size() * sizeof(QVector3D));
    if (points_.size() == pointCount_) {
        pointBuffer_.write(0, points_.constData(), bytes);
    } else {
        // Another number of points: the buffer is sized anew so that drawing
        // never reads past its end.
        pointBuffer_.allocate(points_.constData(), bytes);
        pointCount_ = points_.size();
    }
    pointBuffer_.release();
}

void GLPointsWithLabels::initialize()
{
    // Everything is created by the constructor.
}

void GLPointsWithLabels::draw()
{
    drawPoints();
    drawLabels();
}

void GLPointsWithLabels::draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize&)
{
    loadModelViewMatrix(view * modelMatrix);
    loadProjectionMatrix(projection);
    draw();
}

BoundingBox GLPointsWithLabels::aaBoundingBox() const
{
    return boundingBox_;
}

void GLPointsWithLabels::drawPoints()
{
    glEnableClientState(GL_VERTEX_ARRAY);
    pointBuffer_.bind();
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glPointSize(pointSize_);
    glColor3ub(GLubyte(colour_.red()), GLubyte(colour_.green()), GLubyte(colour_.blue()));
    glDrawArrays(GL_POINTS, 0, pointCount_);
    pointBuffer_.release();
    glDisableClientState(GL_VERTEX_ARRAY);
}

void GLPointsWithLabels::drawLabels()
{
    if (!labelProgram_)
        return;  // the program did not link: the points are shown without labels

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    const QVector2D screenSize{float(viewport[2]), float(viewport[3])};

    labelBuffer_.bind();
    glVertexPointer(3, GL_FLOAT, 0, nullptr);
    glTexCoordPointer(2, GL_FLOAT, 0, reinterpret_cast<const void*>(sizeof(QVector3D) * size_t(labelVertexTotal_)));
    labelProgram_->bind();
    atlasTexture_->bind();
    labelProgram_->setUniformValue("texture", 0);

    // Points beyond the built labels (or labels beyond the points) are skipped.
    const int labelled = std::min(points_.size(), labelFirstVertices_.size());
    for (int i = 0; i < labelled; ++i) {
        labelProgram_->setUniformValue("origin", points_[i]);
        labelProgram_->setUniformValue("screenSize", screenSize);
        glDrawArrays(GL_TRIANGLES, labelFirstVertices_[i], labelVertexCounts_[i]);
    }

    atlasTexture_->release();
    labelProgram_->release();
    labelBuffer_.release();
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
}

}  // namespace Viewport3D
