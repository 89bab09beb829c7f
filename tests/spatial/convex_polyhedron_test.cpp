// Separating-axis tests between convex volumes and the selection of the
// triangles in or touching a frustum or polyhedron through the hierarchy.
#include "spatial/BVH.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

using namespace BVH2;
using Viewport3D::BoundingBox;

namespace {

const QVector<QVector3D> noAxes;

BoundingBox box(float x, float y, float z, float sx, float sy, float sz)
{
    return BoundingBox(QVector3D(x, y, z), QVector3D(sx, sy, sz));
}

}  // namespace

TEST(ConvexPolyhedron, Constructors)
{
    const ConvexPolyhedron fromBox(box(0, 0, 0, 1, 2, 3));
    EXPECT_EQ(fromBox.vertices, box(0, 0, 0, 1, 2, 3).getVertices());
    EXPECT_EQ(fromBox.edgeVectors, boxAxes);
    EXPECT_EQ(fromBox.polygonNormals, boxAxes);
    const ConvexPolyhedron triangle(QVector3D(0, 0, 0), QVector3D(2, 0, 0), QVector3D(0, 1, 0));
    EXPECT_EQ(triangle.vertices, (QVector<QVector3D>{{0, 0, 0}, {2, 0, 0}, {0, 1, 0}}));
    EXPECT_EQ(triangle.edgeVectors, (QVector<QVector3D>{{2, 0, 0}, {-2, 1, 0}, {0, -1, 0}}));
    EXPECT_EQ(triangle.polygonNormals, QVector<QVector3D>{QVector3D(0, 0, 2)});
    const ConvexPolyhedron fromList(QVector<QVector3D>{{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {9, 9, 9}});
    EXPECT_EQ(fromList.vertices, triangle.vertices);
    EXPECT_EQ(fromList.polygonNormals, triangle.polygonNormals);
    const ConvexPolyhedron empty;
    EXPECT_TRUE(empty.vertices.isEmpty() && empty.edgeVectors.isEmpty() && empty.polygonNormals.isEmpty());
}

TEST(ConvexPolyhedron, ProjectionRanges)
{
    float min = 0, max = 0;
    getProjectionRange(QVector3D(1, 0, 0), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, min, max);
    EXPECT_EQ(min, 0.0f);
    EXPECT_EQ(max, 1.0f);
    getProjectionRange(QVector3D(-1, 1, 0).normalized(), {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, min, max);
    EXPECT_NEAR(min, -std::sqrt(2.0) / 2, 1e-6);
    EXPECT_NEAR(max, std::sqrt(2.0) / 2, 1e-6);
    getProjectionRange(QVector3D(-1, 0, 0), {{-1, 0, 0}, {0, 0, 0}, {-1, 1, 0}}, min, max);
    EXPECT_EQ(min, 0.0f);
    EXPECT_EQ(max, 1.0f);
    getProjectionRange(QVector3D(1, 0, 0), {}, min, max);
    EXPECT_EQ(min, 3.40282347e38f);
    EXPECT_EQ(max, -3.40282347e38f);
}

TEST(ConvexPolyhedron, OneAxisComparisons)
{
    const QVector<QVector3D> a = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    struct Case {
        QVector<QVector3D> b;
        PolyhedronIntersection expected;
    };
    const Case cases[] = {
        {{{-2, 0, 0}, {-1, 0, 0}, {-2, 1, 0}}, PolyhedronIntersection_NoIntersection},
        {a, PolyhedronIntersection_AEqualsB},
        {{{1, 0, 0}, {2, 0, 0}, {1, 1, 0}}, PolyhedronIntersection_PartialOverlap},  // touching at x = 1
        {{{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}}, PolyhedronIntersection_BInsideA},
        {{{0.1f, 0.1f, 0}, {0.5f, 0.1f, 0}, {0.1f, 0.5f, 0}}, PolyhedronIntersection_BInsideA},
        {{{-1, 0, 0}, {3, 0, 0}}, PolyhedronIntersection_AInsideB},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(checkAxisProjectionIntersection(QVector3D(1, 0, 0), a, c.b), c.expected);
        EXPECT_EQ(checkConvexPolyhedronsIntersection(a, {QVector3D(1, 0, 0)}, noAxes, c.b, noAxes, noAxes), c.expected);
    }
}

TEST(ConvexPolyhedron, SeparatingAxesInOrder)
{
    const QVector<QVector3D> axes =
        buildSeparatingAxes({{1, 0, 0}}, {{1, 0, 0}, {0, 1, 0}}, {{0, 0, 2}}, {{0, 0, 1}, {1, 0, 0}});
    EXPECT_EQ(axes, (QVector<QVector3D>{{1, 0, 0}, {0, 0, 2}, {0, -1, 0}, {0, 0, 0}, {1, 0, 0}, {0, 0, -1}}));
    // Two boxes: three normals each plus nine crosses of unit axes, three of them zero.
    EXPECT_EQ(buildSeparatingAxes(boxAxes, boxAxes, boxAxes, boxAxes).size(), 15);
}

TEST(ConvexPolyhedron, BoxAgainstBox)
{
    const BoundingBox a = box(0, 0, 0, 1, 1, 1);
    struct Case {
        BoundingBox b;
        PolyhedronIntersection expected;
    };
    const Case cases[] = {
        {box(2, 0, 0, 1, 1, 1), PolyhedronIntersection_NoIntersection},
        {a, PolyhedronIntersection_AEqualsB},
        {box(0.1f, 0.1f, 0.1f, 0.8f, 0.8f, 0.8f), PolyhedronIntersection_BInsideA},
        {box(1, 1, 1, 1, 1, 1), PolyhedronIntersection_PartialOverlap},  // one shared corner
        {box(-1, -1, -1, 3, 3, 3), PolyhedronIntersection_AInsideB},
    };
    for (const Case& c : cases) {
        // Corner lists with the unit axes as normals and no edges ...
        EXPECT_EQ(
            checkConvexPolyhedronsIntersection(a.getVertices(), boxAxes, noAxes, c.b.getVertices(), boxAxes, noAxes),
            c.expected);
        // ... the polyhedron form (the zero cross products change nothing) ...
        EXPECT_EQ(checkConvexPolyhedronsIntersection(ConvexPolyhedron(a), ConvexPolyhedron(c.b)), c.expected);
        // ... and the frustum form.
        EXPECT_EQ(frustumIntersectsAaBoundingBox(a.getVertices(), boxAxes, boxAxes, c.b), c.expected);
    }
}

TEST(ConvexPolyhedron, BoxAgainstTriangle)
{
    const BoundingBox a = box(-1, -1, -1, 2, 2, 2);
    struct Case {
        QVector3D p0, p1, p2;
        PolyhedronIntersection expected;
    };
    const Case cases[] = {
        {{-2, 0, 0}, {-2, 1, -1}, {2, 0, 0}, PolyhedronIntersection_PartialOverlap},
        {{-0.5f, -0.5f, 0}, {0.5f, 0, 0.5f}, {-0.5f, 0.5f, 0}, PolyhedronIntersection_BInsideA},
        {{2, 0, 0}, {3, 0, 0}, {2, 1, 0}, PolyhedronIntersection_NoIntersection},
    };
    for (const Case& c : cases) {
        const ConvexPolyhedron triangle(c.p0, c.p1, c.p2);
        EXPECT_EQ(checkConvexPolyhedronsIntersection(ConvexPolyhedron(a), triangle), c.expected);
        EXPECT_EQ(checkConvexPolyhedronsIntersection(a.getVertices(), boxAxes, boxAxes, triangle.vertices,
                                                     triangle.polygonNormals, triangle.edgeVectors),
                  c.expected);
        EXPECT_EQ(frustumIntersectsTriangle(a.getVertices(), boxAxes, boxAxes, c.p0, c.p1, c.p2), c.expected);
    }
}

TEST(ConvexPolyhedron, DegenerateVolumes)
{
    const QVector<QVector3D> points = {{0, 0, 0}, {1, 0, 0}};
    EXPECT_EQ(
        checkConvexPolyhedronsIntersection(ConvexPolyhedron(points, {}, {}), ConvexPolyhedron({{5, 5, 5}}, {}, {})),
        PolyhedronIntersection_AEqualsB);
    EXPECT_EQ(checkConvexPolyhedronsIntersection(ConvexPolyhedron({}, {}, boxAxes), ConvexPolyhedron(points, {}, {})),
              PolyhedronIntersection_NoIntersection);
}

TEST(ConvexPolyhedron, TriangleBoxOverlap)
{
    struct Case {
        BoundingBox b;
        QVector<QVector3D> triangle;
        bool expected;
    };
    const BoundingBox centred = box(-1, -1, -1, 2, 2, 2);
    const BoundingBox far = box(9, 9, 9, 2, 2, 2);
    const Case cases[] = {
        {centred, {{2, 0, 0}, {3, 0, 0}, {2, 1, 0}}, false},
        {centred, {{0, 0, 0}, {0.5f, 0, 0}, {0, 0.5f, 0}}, true},
        {centred, {{2, 0, 0}, {2, 0, 1}, {2, 1, 0}}, false},
        {centred, {{2, 0, 0}, {2, 1, 0}, {1, 0, 0}}, true},  // one corner on the face x = 1
        {centred, {{-2, -4, 0}, {3, 0, 0}, {-2, 4, 0}}, true},
        {far, {{9.5f, 10, 10}, {10.5f, 10, 10}, {10, 10.5f, 10}}, true},
        {far, {{12, 10, 10}, {13, 10, 10}, {12, 11, 10}}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(triangleIntersectsAaBoundingBox(c.triangle, c.b), c.expected) << c.triangle[0].x();
}

TEST(ConvexPolyhedron, SelectionThroughTheHierarchy)
{
    const QVector<QVector3D> vertices = {{-1, 0, 0}, {0, 0, 0}, {-1, 1, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}};
    const QVector<QList<int>> faces = {{0, 1, 2}, {3, 4, 6}, {4, 5, 6}};
    std::unique_ptr<BvhNodeBase> root(buildTree(vertices, faces, 1));
    struct Case {
        BoundingBox volume;
        QVector<bool> marks;
    };
    const Case cases[] = {
        {box(1.9f, 0.9f, 0, 0.2f, 0.2f, 0.2f), {false, false, true}},
        {box(-2, -1, -1, 5, 3, 2), {true, true, true}},
        {box(0.5f, -0.5f, -1, 2, 2, 2), {false, true, true}},
        {box(3, 0, -1, 1, 1, 2), {false, false, false}},
    };
    for (const Case& c : cases) {
        QVector<bool> frustumMask(3, false), polyhedronMask(3, false);
        root->selectIntersectedTriangles(vertices, faces, c.volume.getVertices(), boxAxes, boxAxes, frustumMask);
        root->selectIntersectedTriangles(vertices, faces, ConvexPolyhedron(c.volume), polyhedronMask);
        EXPECT_EQ(frustumMask, c.marks);
        EXPECT_EQ(polyhedronMask, c.marks);
    }
}

// Random meshes and volumes (boxes and skewed prisms): the hierarchy marks
// exactly the triangles that no candidate axis separates from the volume.
TEST(ConvexPolyhedron, SelectionAgreesWithBruteForce)
{
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    QVector<QVector3D> vertices;
    QVector<QList<int>> faces;
    for (int i = 0; i < 600; ++i) {
        const QVector3D base(unit(rng) * 20, unit(rng) * 20, unit(rng) * 20);
        const int first = vertices.size();
        vertices << base << base + QVector3D(unit(rng), unit(rng), 0) * 2
                 << base + QVector3D(0, unit(rng), unit(rng)) * 2;
        faces.append({first, first + 1, first + 2});
    }
    std::unique_ptr<BvhNodeBase> root(buildTree(vertices, faces, 10));
    for (int i = 0; i < 60; ++i) {
        ConvexPolyhedron volume;
        if (i % 2 == 0) {
            volume = ConvexPolyhedron(box(unit(rng) * 16, unit(rng) * 16, unit(rng) * 16, unit(rng) * 8 + 0.5f,
                                          unit(rng) * 8 + 0.5f, unit(rng) * 8 + 0.5f));
        } else {
            // A lasso-like prism: a triangle swept along a slanted direction.
            const QVector3D a(unit(rng) * 20, unit(rng) * 20, -1), b = a + QVector3D(6, 1, 0) * unit(rng),
                                                                   c = a + QVector3D(1, 6, 0) * unit(rng),
                                                                   sweep(unit(rng) * 4, unit(rng) * 4, 22);
            volume.vertices = {a, b, c, a + sweep, b + sweep, c + sweep};
            volume.edgeVectors = {b - a, c - b, a - c, sweep};
            volume.polygonNormals = {QVector3D::crossProduct(b - a, c - a), QVector3D::crossProduct(b - a, sweep),
                                     QVector3D::crossProduct(c - b, sweep), QVector3D::crossProduct(a - c, sweep)};
        }
        QVector<bool> mask(faces.size(), false), expected(faces.size(), false);
        root->selectIntersectedTriangles(vertices, faces, volume, mask);
        for (int f = 0; f < faces.size(); ++f) {
            const ConvexPolyhedron triangle(vertices[faces[f][0]], vertices[faces[f][1]], vertices[faces[f][2]]);
            expected[f] = checkConvexPolyhedronsIntersection(volume, triangle) != PolyhedronIntersection_NoIntersection;
        }
        ASSERT_EQ(mask, expected) << "volume " << i;
        QVector<bool> frustumMask(faces.size(), false);
        root->selectIntersectedTriangles(vertices, faces, volume.vertices, volume.polygonNormals, volume.edgeVectors,
                                         frustumMask);
        ASSERT_EQ(frustumMask, expected) << "volume " << i;
    }
}
