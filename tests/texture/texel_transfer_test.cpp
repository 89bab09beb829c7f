// Texel transfer: the texture-triangle hierarchy, the weights and the two-way ray, the bilinear sample and its
// edges, the median distance, and whole planar transfers checked against the colour at each texel's point.
#include <gtest/gtest.h>
#include <QImage>
#include <cmath>
#include <limits>

#include "TransferScenes.h"
#include "spatial/KDTree.h"
#include "support/QtPrinters.h"
#include "texture/BVHTree2D.h"
#include "texture/MedianNearestNeighbourDist.h"
#include "texture/TexelColors.h"
#include "texture/TextureTransfer.h"

using namespace TextureTransfer;
using TransferScenes::Scene;

namespace {

::testing::AssertionResult channelsNear(QRgb actual, QRgb expected, int tolerance)
{
    const int d = std::max({std::abs(qRed(actual) - qRed(expected)), std::abs(qGreen(actual) - qGreen(expected)),
                            std::abs(qBlue(actual) - qBlue(expected)), std::abs(qAlpha(actual) - qAlpha(expected))});
    if (d <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << QString::number(actual, 16).toStdString() << " vs "
                                         << QString::number(expected, 16).toStdString();
}

}  // namespace

TEST(TextureTriangleTree, PointInTriangleCountsCornersAndEdgesButNotFlatTriangles)
{
    const QVector2D a(0, 0), b(1, 0), c(0, 1);
    EXPECT_TRUE(BVHTree2D::pointInTriangle(a, a, b, c));
    EXPECT_TRUE(BVHTree2D::pointInTriangle(QVector2D(0.5f, 0.5f), a, b, c));
    EXPECT_TRUE(BVHTree2D::pointInTriangle(QVector2D(0.5f, -0.00005f), a, b, c));  // within the snap
    EXPECT_FALSE(BVHTree2D::pointInTriangle(QVector2D(0.5f, -0.001f), a, b, c));
    EXPECT_FALSE(BVHTree2D::pointInTriangle(QVector2D(0.6f, 0.6f), a, b, c));
    EXPECT_FALSE(BVHTree2D::pointInTriangle(QVector2D(0.5f, 0), a, b, QVector2D(2, 0)));
    EXPECT_FALSE(BVHTree2D::pointInTriangle(QVector2D(0.5f, 0.5f), a, b, QVector2D(2, 0)));
    EXPECT_FALSE(BVHTree2D::pointInTriangle(a, a, a, a));
}

TEST(TextureTriangleTree, OverlapsResolveToTheLaterFaceOfALeafAndToTheLeftChild)
{
    // 0 lies left of u = 0.5, 1 right of it, 2 straddles it and goes to both sides.
    const QVector<QVector2D> uvs = {{0, 0}, {0.3f, 0}, {0, 1},    {0.7f, 0}, {1, 0},
                                    {1, 1}, {0.2f, 0}, {0.8f, 0}, {0.5f, 1}};
    const QVector<QList<int>> triangles = {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}};
    std::unique_ptr<BVHTree2D::BvhNodeBase2D> tree(BVHTree2D::buildTree(uvs, triangles, 1));
    auto* root = dynamic_cast<BVHTree2D::BvhNode2D*>(tree.get());
    ASSERT_NE(root, nullptr);
    auto* left = dynamic_cast<BVHTree2D::BvhNodeLeaf2D*>(root->childLeft);
    auto* right = dynamic_cast<BVHTree2D::BvhNodeLeaf2D*>(root->childRight);
    ASSERT_NE(left, nullptr);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(left->faceIndices, QList<int>({0, 2}));
    EXPECT_EQ(right->faceIndices, QList<int>({1, 2}));
    EXPECT_EQ(tree->findTriangle(QVector2D(0.25f, 0.05f), triangles, uvs), 2);  // 0 and 2: later in the leaf
    EXPECT_EQ(tree->findTriangle(QVector2D(0.75f, 0.05f), triangles, uvs), 2);  // 1 right, 2 left: left wins
    EXPECT_EQ(tree->findTriangle(QVector2D(0.05f, 0.5f), triangles, uvs), 0);
    EXPECT_EQ(tree->findTriangle(QVector2D(0.95f, 0.5f), triangles, uvs), 1);
    EXPECT_EQ(tree->findTriangle(QVector2D(2, 2), triangles, uvs), -1);

    std::unique_ptr<BVHTree2D::BvhNodeBase2D> empty(BVHTree2D::buildTree(uvs, {}, 1));
    EXPECT_NE(dynamic_cast<BVHTree2D::BvhNodeEmpty2D*>(empty.get()), nullptr);
    EXPECT_EQ(empty->findTriangle(QVector2D(0.1f, 0.1f), {}, uvs), -1);
}

TEST(TextureTriangleTree, FindsAContainingTriangleWhereverABruteForceSearchDoes)
{
    const GeometryStack::GeomStack mesh = TransferScenes::sphere(17, 23, 1, 1);
    std::unique_ptr<BVHTree2D::BvhNodeBase2D> tree(
        BVHTree2D::buildTree(mesh.textureVertices, mesh.textureTriangles, 1));
    for (int i = 0; i <= 60; ++i)
        for (int j = 0; j <= 60; ++j) {
            const QVector2D p(i / 60.0f * 1.1f - 0.05f, j / 60.0f * 1.1f - 0.05f);
            bool anyContains = false;
            for (const QList<int>& t : mesh.textureTriangles)
                anyContains =
                    anyContains || BVHTree2D::pointInTriangle(p, mesh.textureVertices[t[0]], mesh.textureVertices[t[1]],
                                                              mesh.textureVertices[t[2]]);
            const int found = tree->findTriangle(p, mesh.textureTriangles, mesh.textureVertices);
            ASSERT_EQ(found != -1, anyContains) << p.x() << " " << p.y();
            if (found != -1) {
                const QList<int>& t = mesh.textureTriangles[found];
                EXPECT_TRUE(BVHTree2D::pointInTriangle(p, mesh.textureVertices[t[0]], mesh.textureVertices[t[1]],
                                                       mesh.textureVertices[t[2]]));
            }
        }
}

TEST(TexelGeometry, WeightsPositionsAndDirections)
{
    const QVector2D a(0.2f, 0.2f), b(0.8f, 0.2f), c(0.4f, 0.6f);
    EXPECT_EQ(barycentricCoords(a, a, b, c).x(), 1.0f);
    const QVector3D w = barycentricCoords(QVector2D(0.5f, 0.3f), a, b, c);
    EXPECT_NEAR(w.x() + w.y() + w.z(), 1.0, 1e-6);
    EXPECT_NEAR(signedDistanceToLine(QVector2D(0, 1), QVector2D(0, 0), QVector2D(2, 0)), 1.0, 1e-12);

    const QVector3D p0(1, 2, 3), p1(-4, 5, 0.5f), p2(7, -8, 9);
    EXPECT_EQ(spatialCoords(QVector3D(0, 0, 1), p0, p1, p2), p2);
    EXPECT_EQ(spatialCoords(QVector3D(0, 0.5f, 0.5f), p0, p1, p2), p2 + (p1 - p2) / 2);
    const QVector3D up(0, 0, 1);
    EXPECT_EQ(rayDirection(QVector3D(0.32563f, 0.28423f, 0.39014f), up, up, up), up);
    EXPECT_EQ(rayDirection(QVector3D(0.5f, 0.5f, 0), up, -up, up), QVector3D(0, 0, 0));
}

TEST(TexelGeometry, TwoWayRayTakesTheNearerHitAndTheBackwardOneOnATie)
{
    // One triangle in each of the planes z = 1, z = -1 and z = -2.
    const QVector<QVector3D> vertices = {{-1, -1, 1}, {1, -1, 1},   {0, 1, 1},   {-1, -1, -1}, {1, -1, -1},
                                         {0, 1, -1},  {-1, -1, -2}, {1, -1, -2}, {0, 1, -2}};
    struct Case {
        QVector<QList<int>> triangles;
        double maxDistance;
        int expected;
    };
    const QVector<Case> cases = {
        {{{0, 1, 2}, {3, 4, 5}}, 10, 1},  // tie: backward
        {{{0, 1, 2}, {6, 7, 8}}, 10, 0},  // forward nearer
        {{{6, 7, 8}}, 10, 0},             // backward only
        {{{6, 7, 8}}, 2.0, -1},           // at exactly the limit: no hit
        {{{0, 1, 2}}, 1.5, 0},
        {{{0, 1, 2}}, std::numeric_limits<double>::max(), 0},
    };
    for (const Case& c : cases) {
        std::unique_ptr<BVH2::BvhNodeBase> tree(BVH2::buildTree(vertices, c.triangles, 1));
        double u = -1, v = -1;
        const int hit = findTriangleIntersectedByRay(tree.get(), QVector3D(0, 0, 0), QVector3D(0, 0, 1), c.triangles,
                                                     vertices, BVH2::RayFaceIntersection_AnyFace, c.maxDistance, u, v);
        EXPECT_EQ(hit, c.expected);
        if (hit != -1) {
            EXPECT_NEAR(u, 0.25, 1e-6);  // (0, 0) in these triangles
            EXPECT_NEAR(v, 0.5, 1e-6);
        }
    }
}

// Both directions searched in full, the nearer hit taken, a tie going backward.
int plainTwoWayRay(const BVH2::BvhNodeBase* root, const QVector3D& origin, const QVector3D& direction,
                   const QVector<QList<int>>& triangles, const QVector<QVector3D>& vertices, double maxDistance,
                   double& u, double& v)
{
    int forward = -1, backward = -1;
    double fd = maxDistance, bd = maxDistance, fu = 0, fv = 0, bu = 0, bv = 0;
    root->findFirstRayIntersectedTriangle(origin, direction, triangles, vertices, BVH2::RayFaceIntersection_AnyFace,
                                          forward, fd, &fu, &fv);
    root->findFirstRayIntersectedTriangle(origin, -direction, triangles, vertices, BVH2::RayFaceIntersection_AnyFace,
                                          backward, bd, &bu, &bv);
    if (forward != -1 && (backward == -1 || bd > fd)) {
        u = fu;
        v = fv;
        return forward;
    }
    if (backward != -1) {
        u = bu;
        v = bv;
    }
    return backward;
}

TEST(TexelGeometry, TwoWayRayEqualsSearchingBothDirectionsInFull)
{
    // A closed sphere around origins inside and outside it, and two parallel
    // planes with origins exactly between them (ties).
    GeometryStack::GeomStack ball = TransferScenes::sphere(23, 31, 1.0f, 1.0f);
    const GeometryStack::GeomStack lower = TransferScenes::planarGrid(4, -0.5f);
    const GeometryStack::GeomStack upper = TransferScenes::planarGrid(4, 0.5f);
    QVector<QVector3D> planes = lower.vertices + upper.vertices;
    QVector<QList<int>> planeTriangles = lower.triangles;
    for (QList<int> t : upper.triangles) {
        for (int& index : t)
            index += lower.vertices.size();
        planeTriangles.append(t);
    }
    struct Mesh {
        const QVector<QVector3D>& vertices;
        const QVector<QList<int>>& triangles;
        float originScale;
    };
    const QVector<Mesh> meshes = {{ball.vertices, ball.triangles, 1.6f}, {planes, planeTriangles, 0.0f}};
    quint32 state = 99;
    const auto random = [&state] {
        state = state * 1664525u + 1013904223u;
        return float(state >> 8) / float(1 << 24) * 2 - 1;
    };
    int hits = 0;
    for (const Mesh& mesh : meshes) {
        std::unique_ptr<BVH2::BvhNodeBase> tree(BVH2::buildTree(mesh.vertices, mesh.triangles, 10));
        for (int i = 0; i < 3000; ++i) {
            QVector3D origin(random() * mesh.originScale, random() * mesh.originScale, random() * mesh.originScale);
            if (mesh.originScale == 0)
                origin = QVector3D(0.5f + 0.4f * random(), 0.5f + 0.4f * random(), 0);
            const QVector3D direction = QVector3D(random(), random(), random() + 0.2f).normalized();
            for (double limit : {0.3, 1.0, std::numeric_limits<double>::max()}) {
                double u = -1, v = -1, pu = -1, pv = -1;
                const int face =
                    findTriangleIntersectedByRay(tree.get(), origin, direction, mesh.triangles, mesh.vertices,
                                                 BVH2::RayFaceIntersection_AnyFace, limit, u, v);
                const int plain =
                    plainTwoWayRay(tree.get(), origin, direction, mesh.triangles, mesh.vertices, limit, pu, pv);
                ASSERT_EQ(face, plain) << i;
                ASSERT_EQ(u, pu);
                ASSERT_EQ(v, pv);
                hits += face != -1;
            }
        }
    }
    EXPECT_GT(hits, 3000);
}

TEST(TexelColors, BilinearSampleMixesOnlyWhatExistsAtTheLastRowAndColumn)
{
    QImage image(2, 2, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0, 0, 0, 255));
    image.setPixel(1, 0, qRgba(200, 0, 0, 255));
    image.setPixel(0, 1, qRgba(0, 100, 0, 255));
    image.setPixel(1, 1, qRgba(200, 100, 40, 255));
    EXPECT_EQ(sampleImageBilinear(image, QVector2D(0.5f, 0.5f)), qRgba(100, 50, 10, 255));
    EXPECT_EQ(sampleImageBilinear(image, QVector2D(1.5f, 0.5f)), qRgba(200, 50, 20, 255));   // last column
    EXPECT_EQ(sampleImageBilinear(image, QVector2D(0.5f, 1.5f)), qRgba(100, 100, 20, 255));  // last row
    EXPECT_EQ(sampleImageBilinear(image, QVector2D(1.7f, 1.2f)), qRgba(200, 100, 40, 255));  // last corner
    // Outside the image (and NaN): the nearest texel, never a read beyond it.
    EXPECT_EQ(sampleImageBilinear(image, QVector2D(-3, 0)), qRgba(0, 0, 0, 255));
    EXPECT_EQ(sampleImageBilinear(image, QVector2D(5, 1e9f)), qRgba(200, 100, 40, 255));
    EXPECT_EQ(sampleImageBilinear(image, QVector2D(std::nanf(""), 0)), qRgba(0, 0, 0, 255));
    EXPECT_EQ(sampleImageBilinear(QImage(), QVector2D(0, 0)), 0u);
    // Other formats read the same colours.
    EXPECT_EQ(sampleImageBilinear(image.convertToFormat(QImage::Format_RGB888), QVector2D(0.5f, 0.5f)),
              qRgba(100, 50, 10, 255));
    EXPECT_EQ(mixColorsLinear(qRgba(0, 0, 0, 0), qRgba(255, 255, 255, 255), 0.5), qRgba(128, 128, 128, 128));
}

// Past 2^24 texels a float no longer holds every index: float(width - 1) rounds up to the width itself. The
// last column (or row) still reads as itself, and nothing beyond the image.
TEST(TexelColors, SampleAtTheEndOfAnImageLongerThanAFloatCountsReadsItsLastTexel)
{
    const int length = 17078240;
    ASSERT_GT(length, 1 << 24);
    ASSERT_EQ(float(length - 1), float(length));
    const QRgb inside = qRgba(200, 0, 0, 255), last = qRgba(10, 20, 230, 255);
    for (const QSize size : {QSize(length, 1), QSize(1, length)}) {
        const bool wide = size.width() == length;
        QImage image(size, QImage::Format_ARGB32);
        ASSERT_FALSE(image.isNull());
        image.fill(inside);
        image.setPixel(size.width() - 1, size.height() - 1, last);
        const auto at = [wide](float along) { return wide ? QVector2D(along, 0) : QVector2D(0, along); };
        for (const float along : {float(length - 1), float(length), 1e9f})
            EXPECT_EQ(sampleImageBilinear(image, at(along)), last) << wide << " " << along;
        // Four texels short of the end: a float still holds it exactly, and the sample is that texel.
        EXPECT_EQ(sampleImageBilinear(image, at(float(length - 4))), inside) << wide;
    }
}

TEST(MedianDistance, UpperMiddleOfTheNearestOtherPointDistances)
{
    struct Case {
        QVector<float> xs;
        double expected;
    };
    const QVector<Case> cases = {
        {{0, 1, 3, 6, 10}, 2},  // 1 1 2 3 4
        {{0, 1, 3, 7}, 2},      // 1 1 2 4: the upper middle
        {{0, 0, 5, 5, 9}, 0},   // twins make the median 0
        {{}, 0},
    };
    for (const Case& c : cases) {
        QVector<QVector3D> points;
        for (float x : c.xs)
            points.append(QVector3D(x, 0, 0));
        std::unique_ptr<KDTree::NodeBase> tree(KDTree::buildTree(points, 10));
        EXPECT_DOUBLE_EQ(medianNearestNeighbourDist(points, tree.get()), c.expected);
    }
}

// The gradient texture's colour at the target texture coordinate (U, V),
// repeated, as the bilinear sample gives it.
QRgb gradientAt(float U, float V, int textureWidth, int textureHeight)
{
    float px = std::fmod(U * textureWidth, float(textureWidth));
    float py = std::fmod(textureHeight - V * textureHeight, float(textureHeight));
    px = px < 0 ? px + textureWidth : px;
    py = py < 0 ? py + textureHeight : py;
    return qRgba(qRound(4 * std::min(px, textureWidth - 1.0f)), qRound(8 * std::min(py, textureHeight - 1.0f)), 100,
                 255);
}

TEST(PlanarTransfer, EveryTexelGetsTheColourAtItsPoint)
{
    const int W = 48, H = 40, Wt = 64, Ht = 32;
    struct Case {
        const char* name;
        float targetHeight;
        QVector2D uvOffset;
    };
    // Above and below the template (forward and backward rays), and target
    // coordinates shifted by whole repetitions (wrapping either way, also twice).
    // The target's coordinates span 0.05 .. 0.95 so that no texel sits on a seam.
    const QVector<Case> cases = {{"above", 0.5f, {0, 0}}, {"below", -0.5f, {0, 0}}, {"right", 0.5f, {1, 0}},
                                 {"left", 0.5f, {-1, 0}}, {"up", 0.5f, {0, 1}},     {"down", -0.5f, {0, -1}},
                                 {"far", 0.5f, {-2, -2}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QVector2D offset = c.uvOffset + QVector2D(0.05f, 0.05f);
        Scene scene(TransferScenes::planarGrid(6, 0), TransferScenes::planarGrid(5, c.targetHeight, offset, 0.9f),
                    TransferScenes::gradientTexture(Wt, Ht));
        const QImage result = scene.transferSerially(W, H, std::numeric_limits<double>::max());
        for (int x = 0; x < W; ++x)
            for (int y = 0; y < H; ++y) {
                const float U = 0.05f + 0.9f * x / W, V = 0.05f + 0.9f * y / H;
                ASSERT_TRUE(channelsNear(result.pixel(x, H - 1 - y), gradientAt(U, V, Wt, Ht), 1)) << x << " " << y;
            }
    }
}

TEST(PlanarTransfer, TexelZeroLandsBottomLeftAndSamplesRepeatThenStayInside)
{
    // Texel (0, 0) of a 1 x 1 output casts its ray from the origin straight
    // onto the first corner of a single target triangle, so the target
    // coordinate is exactly that corner's.
    const int Wt = 64, Ht = 32;
    struct Case {
        QVector2D cornerUv;
        QVector2D expectedPosition;  // in texels of the target texture
    };
    const QVector<Case> cases = {
        {{1.0f, 0.5f}, {0, 16}},           // U = 1 repeats to column 0
        {{0.5f, 0.0f}, {32, 0}},           // V = 0 repeats to row 0
        {{-0.25f, 0.5f}, {48, 16}},        // U = -0.25 samples at 0.75 Wt
        {{2.5f, 0.5f}, {32, 16}},          // far right repeats too
        {{-1.25f, 0.5f}, {48, 16}},        // below -1: repeated fully
        {{-1e-9f, 0.5f}, {63, 16}},        // rounds onto the image's edge: the last column
        {{0.5f, 1.0f + 1e-7f}, {32, 31}},  // likewise the last row
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cornerUv.x());
        const QVector<QVector3D> vertices = {{0, 0, 0.5f}, {2, 0, 0.5f}, {0, 2, 0.5f}};
        const QVector<QVector2D> uvs = {c.cornerUv, {0.9f, 0.1f}, {0.1f, 0.9f}};
        Scene scene(TransferScenes::planarGrid(1, 0),
                    GeometryStack::GeomStack(vertices, {{0, 1, 2}}, uvs, {{0, 1, 2}}, {}),
                    TransferScenes::gradientTexture(Wt, Ht));
        const QImage result = scene.transferSerially(1, 1, 10);
        const QRgb expected = sampleImageBilinear(scene.texture, c.expectedPosition);
        EXPECT_EQ(result.pixel(0, 0), expected);

        // In a taller output the same texel is the bottom row's; the rows above sample elsewhere.
        const QImage tall = scene.transferSerially(1, 4, 10);
        EXPECT_EQ(tall.pixel(0, 3), expected);
    }
}

TEST(PlanarTransfer, DistanceLimitExclusionAndMissingCoordinatesLeaveTexelsTransparent)
{
    Scene scene(TransferScenes::planarGrid(4, 0), TransferScenes::planarGrid(3, 0.5f),
                TransferScenes::gradientTexture(16, 16));
    const QImage near = scene.transferSerially(16, 16, 0.6);
    const QImage far = scene.transferSerially(16, 16, 0.4);
    EXPECT_EQ(qAlpha(near.pixel(5, 5)), 255);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 16; ++y)
            ASSERT_EQ(far.pixel(x, y), 0u);

    // Excluded triangles: their texels are 0, the others are transferred.
    scene.excluded = QVector<bool>(scene.source.triangles.size(), false);
    scene.excluded[0] = true;  // the lower-left triangle of the lower-left quad
    const QImage excluded = scene.transferSerially(16, 16, 10);
    EXPECT_EQ(excluded.pixel(1, 15), 0u);  // texel (1, 0)
    EXPECT_EQ(excluded.pixel(10, 5), near.pixel(10, 5));

    // Twin vertices make the median 0: with the limit on no ray can hit.
    std::unique_ptr<KDTree::NodeBase> tree(KDTree::buildTree(scene.source.vertices + scene.source.vertices, 10));
    const double median = medianNearestNeighbourDist(scene.source.vertices + scene.source.vertices, tree.get());
    EXPECT_EQ(median, 0.0);
    scene.excluded.clear();
    const QImage limited = scene.transferSerially(16, 16, 3 * median);
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 16; ++y)
            ASSERT_EQ(limited.pixel(x, y), 0u);

    // A target without texture coordinates gives no usable hit.
    Scene bare(TransferScenes::planarGrid(4, 0), TransferScenes::planarGrid(3, 0.5f),
               TransferScenes::gradientTexture(16, 16));
    bare.target.textureTriangles.clear();
    const QImage none = bare.transferSerially(8, 8, 10);
    for (int x = 0; x < 8; ++x)
        for (int y = 0; y < 8; ++y)
            ASSERT_EQ(none.pixel(x, y), 0u);
}
