#pragma once
// Triangle mesh held with one vertex per triangle corner in a single vertex
// buffer, drawn in shading groups that each cover a subset of the corners,
// with an optional texture and a wireframe of the source polygons' edges.
//
// Buffer layout (N corners, T = 1 with texture coordinates, else 0), blocks of
// floats one after the other: positions at 0 (12N bytes), texture coordinates
// at 12N (8NT), normals at 12N + 8NT (12N), edge flags at 24N + 8NT (4N).
#include "rendering/GLObject.h"
#include "rendering/GLTexture.h"
#include "rendering/ShadingGroup.h"

#include <QList>
#include <QOpenGLBuffer>
#include <QVector2D>

namespace Viewport3D {

class GLGeometrySplitted : public GLObject {
public:
    // The GL context of the view that will show the object must be current.
    // Per-corner arrays of equal length (texture coordinates may be empty);
    // one corner mask per group, in the same order.
    GLGeometrySplitted(const QVector<QVector3D>& positions, const QVector<QVector2D>& textureCoordinates,
                       const QVector<QVector3D>& normals, const QVector<float>& edgeFlags,
                       const BoundingBox& boundingBox, const QList<ShadingGroup>& shadingGroups,
                       const QList<QVector<bool>>& cornerMasks);
    // Needs the object's GL context current.
    ~GLGeometrySplitted() override;
    GLGeometrySplitted(const GLGeometrySplitted&) = delete;
    GLGeometrySplitted& operator=(const GLGeometrySplitted&) = delete;

    void initialize() override;  // everything was created by the constructor
    void draw() override;
    void draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize& viewportSize) override;
    BoundingBox aaBoundingBox() const override;  // the construction box, never updated

    // Rewrite positions or normals in place (corner order of construction).
    void updatePositions(const QVector<QVector3D>& cornerPositions);
    void updateNormals(const QVector<QVector3D>& cornerNormals);
    // Rewrite positions and normals of some runs of corners only: run k covers
    // counts[k] corners from starts[k]; the values are packed run after run.
    void updateCornerRuns(const QVector<int>& starts, const QVector<int>& counts,
                          const QVector<QVector3D>& cornerPositions, const QVector<QVector3D>& cornerNormals);

    void addShadingGroup(const ShadingGroup& group, const QVector<bool>& cornerMask);
    ShadingGroup& shadingGroup(int index);  // changes take effect at the next draw
    void setShadingGroupMask(int index, const QVector<bool>& cornerMask);
    void removeShadingGroup(int index);  // out-of-range indices change nothing
    int shadingGroupsCount() const;

    // Releases a texture already held, then uploads the image.
    void setTexture(const QImage& image);
    void removeTexture();

    // Maximal runs of consecutive true entries: first index and length of each.
    static void maskToRuns(const QVector<bool>& mask, QVector<int>& starts, QVector<int>& counts);

    QOpenGLBuffer vertexBuffer;
    QList<ShadingGroup> shadingGroups;
    int cornerCount = 0;
    BoundingBox boundingBox;
    QOpenGLShaderProgram* surfaceProgram = nullptr;
    QOpenGLShaderProgram* edgeProgram = nullptr;
    bool textureEnabled = false;
    bool hasTextureCoordinates = false;
    GLTexture* texture = nullptr;
    QList<QVector<int>> runStarts;  // per group
    QList<QVector<int>> runCounts;  // per group

private:
    int textureOffset() const { return 12 * cornerCount; }
    int normalOffset() const { return (hasTextureCoordinates ? 20 : 12) * cornerCount; }
    int edgeFlagOffset() const { return (hasTextureCoordinates ? 32 : 24) * cornerCount; }
    void drawRuns(int groupIndex);

    bool hasData_ = false;  // the buffer was bound and filled at construction
};

}  // namespace Viewport3D
