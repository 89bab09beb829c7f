#pragma once
// Template and target pairs for the texture transfer tests: meshes made here
// with known texture layouts, textures painted as known functions of the
// texel, the search structures, and serial and threaded runs over them.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QThreadPool>
#include <QVector2D>
#include <QVector3D>
#include <QVector>
#include <cmath>
#include <memory>

#include "mesh/GeomStack.h"
#include "spatial/BVH.h"
#include "tests/support/TestMeshes.h"
#include "texture/BVHTree2D.h"
#include "texture/TextureTransfer.h"
#include "texture/TextureTransferThreaded.h"

namespace TransferScenes {

// n x n quads over [0, 1]^2 at height z; texture coordinates = uvOffset + uvScale (x, y).
inline GeometryStack::GeomStack planarGrid(int n, float z, const QVector2D& uvOffset = QVector2D(0, 0),
                                           float uvScale = 1)
{
    const QVector<QVector3D> vertices =
        TestMeshes::gridPoints(n + 1, n + 1, [n, z](int i, int j) { return QVector3D(float(i) / n, float(j) / n, z); });
    QVector<QVector2D> uvs;
    for (const QVector3D& v : vertices)
        uvs.append(uvOffset + uvScale * QVector2D(v.x(), v.y()));
    // Counter-clockwise: normal +z.
    const QVector<QList<int>> quads = TestMeshes::gridFaces(n + 1, n + 1, TestMeshes::Cut::Quad);
    return GeometryStack::GeomStack(vertices, quads, uvs, quads, {});
}

// The quads of a (rings + 1) x (segments + 1) latitude-longitude vertex grid,
// ring by ring.
inline QVector<QList<int>> latLongQuads(int rings, int segments)
{
    QVector<QList<int>> quads;
    for (int r = 0; r < rings; ++r)
        for (int s = 0; s < segments; ++s) {
            const int a = r * (segments + 1) + s;
            quads.append({a, a + segments + 1, a + segments + 2, a + 1});
        }
    return quads;
}

// A latitude-longitude sphere with a bumpy radius; texture coordinates span
// uvMargin .. 1 - uvMargin.
inline GeometryStack::GeomStack bumpySphere(int rings, int segments, float radius, float bump, float uvMargin)
{
    QVector<QVector3D> vertices;
    QVector<QVector2D> uvs;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            const double theta = 0.05 + 3.04 * r / rings, phi = 2 * M_PI * s / segments;
            const double rho = radius * (1 + bump * std::sin(7 * theta) * std::cos(5 * phi));
            vertices.append(QVector3D(float(rho * std::sin(theta) * std::cos(phi)),
                                      float(rho * std::sin(theta) * std::sin(phi)), float(rho * std::cos(theta))));
            uvs.append(QVector2D(uvMargin + (1 - 2 * uvMargin) * float(s) / segments,
                                 uvMargin + (1 - 2 * uvMargin) * (1 - float(r) / rings)));
        }
    const QVector<QList<int>> quads = latLongQuads(rings, segments);
    return GeometryStack::GeomStack(vertices, quads, uvs, quads, {});
}

// A latitude-longitude sphere (poles cut off) with its own texture layout.
inline GeometryStack::GeomStack sphere(int rings, int segments, float radius, float uvScale)
{
    QVector<QVector3D> vertices;
    QVector<QVector2D> uvs;
    for (int r = 0; r <= rings; ++r)
        for (int s = 0; s <= segments; ++s) {
            const double theta = 0.2 + 2.7 * r / rings, phi = 2 * M_PI * s / segments;
            vertices.append(radius * QVector3D(float(std::sin(theta) * std::cos(phi)),
                                               float(std::sin(theta) * std::sin(phi)), float(std::cos(theta))));
            uvs.append(uvScale * QVector2D(float(s) / segments, 1.0f - float(r) / rings));
        }
    const QVector<QList<int>> quads = latLongQuads(rings, segments);
    return GeometryStack::GeomStack(vertices, quads, uvs, quads, {});
}

// Red grows by 4 per column, green by 8 per row: a bilinear sample at (px, py)
// is (4 px, 8 py) inside the image.
inline QImage gradientTexture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgba(4 * x, 8 * y, 100, 255));
    return image;
}

inline QImage noiseTexture(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    quint32 state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, qRgba(state >> 24, (state >> 16) & 255, (state >> 8) & 255, 255));
        }
    return image;
}

// A pair with both hierarchies, the way the controller keeps them for a mode.
struct Scene {
    Scene(GeometryStack::GeomStack templateMesh, GeometryStack::GeomStack targetMesh, QImage texture)
        : source(std::move(templateMesh)), target(std::move(targetMesh)), texture(std::move(texture))
    {
        uvTree.reset(BVHTree2D::buildTree(source.textureVertices, source.textureTriangles, 1));
        targetTree.reset(BVH2::buildTree(target.vertices, target.triangles, 10));
    }

    TextureTransfer::ThreadContext context(QImage& result, double maxDistance)
    {
        TextureTransfer::ThreadContext c;
        c.dstBvh = targetTree.get();
        c.srcUvBvh = uvTree.get();
        c.dstVertices = &target.vertices;
        c.dstTriangles = &target.triangles;
        c.dstTextureTriangles = &target.textureTriangles;
        c.dstTextureVertices = &target.textureVertices;
        c.srcVertices = &source.vertices;
        c.srcTriangles = &source.triangles;
        c.srcTextureTriangles = &source.textureTriangles;
        c.srcTextureVertices = &source.textureVertices;
        c.srcNormals = &source.normals;
        c.dstTexture = &texture;
        c.resultImage = &result;
        c.width = result.width();
        c.height = result.height();
        c.maxDistance = maxDistance;
        c.excludedTriangles = excluded.isEmpty() ? nullptr : &excluded;
        c.resultPixels = result.bits();
        c.resultBytesPerLine = result.bytesPerLine();
        return c;
    }

    // Every item on this thread, in the runner's order.
    QImage transferSerially(int width, int height, double maxDistance)
    {
        QImage result(width, height, QImage::Format_ARGB32);
        result.fill(Qt::transparent);
        TextureTransfer::ThreadContext c = context(result, maxDistance);
        for (int x = 0; x < width; ++x)
            for (int y = 0; y < height; ++y) {
                TextureTransfer::ThreadMappingContext item{&c, x, y};
                TextureTransfer::transferTexel(item);
            }
        return result;
    }

    std::unique_ptr<TextureTransfer::TextureTransferThreaded> runner()
    {
        return std::make_unique<TextureTransfer::TextureTransferThreaded>(
            &target.vertices, &target.triangles, &target.textureTriangles, &target.textureVertices, &source.vertices,
            &source.triangles, &source.textureTriangles, &source.textureVertices, &source.normals, &texture, &excluded,
            uvTree.get(), targetTree.get());
    }

    GeometryStack::GeomStack source;
    GeometryStack::GeomStack target;
    QImage texture;
    QVector<bool> excluded;  // empty: nothing excluded
    std::unique_ptr<BVHTree2D::BvhNodeBase2D> uvTree;
    std::unique_ptr<BVH2::BvhNodeBase> targetTree;
};

// Runs the threaded transfer into `result` and waits (events processed) for its end.
inline bool runThreaded(TextureTransfer::TextureTransferThreaded& runner, QImage& result, bool limitDistance,
                        double maxDistance, int timeoutMs = 240000)
{
    bool finished = false;
    const QMetaObject::Connection connection = QObject::connect(
        &runner, &TextureTransfer::TextureTransferThreaded::transferFinished, [&finished] { finished = true; });
    runner.setResultImage(&result);
    runner.startTextureTransfer(0, limitDistance, maxDistance);
    QElapsedTimer timer;
    timer.start();
    while (!finished && timer.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QObject::disconnect(connection);
    if (!finished)  // the items must not outlive the result they write into
        QThreadPool::globalInstance()->waitForDone();
    return finished;
}

}  // namespace TransferScenes
