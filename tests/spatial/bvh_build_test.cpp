// Face hierarchy: boxes, plane classification, splits, the build's structure
// (shown by the debug dump), whole-subtree selection and the base class.
#include "spatial/BVH.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <memory>

using namespace BVH2;
using Viewport3D::BoundingBox;

namespace {

// The dump's lines as written: each a QString value, which the debug stream
// prints quoted with its tabs escaped; returned unquoted and unescaped.
QStringList dump(const BvhNodeBase& root)
{
    TestSupport::LogCapture log;
    root.debugTraverse(0);
    QStringList lines;
    for (QString line : log.texts()) {
        EXPECT_TRUE(line.startsWith('"') && line.endsWith('"')) << line.toStdString();
        lines.append(line.mid(1, line.size() - 2).replace("\\t", "\t"));
    }
    return lines;
}

// Appends the triangle's corners as new vertices and the face over them.
void addTriangle(QVector<QVector3D>& vertices, QVector<QList<int>>& faces, const QVector3D& a, const QVector3D& b,
                 const QVector3D& c)
{
    const int first = vertices.size();
    vertices << a << b << c;
    faces.append({first, first + 1, first + 2});
}

}  // namespace

TEST(BvhTables, BoxAxesAreTheUnitAxesInOrder)
{
    ASSERT_EQ(boxAxes.size(), 3);
    EXPECT_EQ(boxAxes[0], QVector3D(1, 0, 0));
    EXPECT_EQ(boxAxes[1], QVector3D(0, 1, 0));
    EXPECT_EQ(boxAxes[2], QVector3D(0, 0, 1));
    for (const QVector3D& axis : boxAxes)
        EXPECT_EQ(axis.length(), 1.0f);
    // A user's modified copy leaves the table alone.
    QVector<QVector3D> copy = boxAxes;
    copy[0] = QVector3D(5, 5, 5);
    EXPECT_EQ(boxAxes[0], QVector3D(1, 0, 0));
}

TEST(BvhBuild, BoundingBoxesOfFaceLists)
{
    const QVector<QVector3D> vertices = {{-1, -1, 0}, {0, -1, 0}, {-1, 0, 0}, {-1, -1, -1}, {1, 1, 1}};
    const QVector<QList<int>> faces = {{0, 1, 2}, {0, 2, 3}, {4, 4, 4}};
    EXPECT_EQ(computeBoundingBox({0}, vertices, faces), BoundingBox(QVector3D(-1, -1, 0), QVector3D(1, 1, 0)));
    EXPECT_EQ(computeBoundingBox({0, 1}, vertices, faces), BoundingBox(QVector3D(-1, -1, -1), QVector3D(1, 1, 1)));
    EXPECT_EQ(computeBoundingBox({2}, vertices, faces), BoundingBox(QVector3D(1, 1, 1), QVector3D(0, 0, 0)));
}

TEST(BvhBuild, FaceToPlanePositions)
{
    const QVector<QVector3D> vertices = {{-1, 0, 0}, {1, 0, 0}, {-1, 1, 0}};
    const QList<int> face = {0, 1, 2};
    struct Case {
        SplitAxis axis;
        double value;
        FaceToPlanePosition expected;
    };
    const Case cases[] = {
        {SplitAxis_X, 0.0, FaceToPlanePosition_Intersects}, {SplitAxis_X, -1.0, FaceToPlanePosition_Intersects},
        {SplitAxis_X, -2.0, FaceToPlanePosition_Right},     {SplitAxis_Y, -1.0, FaceToPlanePosition_Right},
        {SplitAxis_Y, 2.0, FaceToPlanePosition_Left},       {SplitAxis_Z, -1.0, FaceToPlanePosition_Right},
    };
    for (const Case& c : cases)
        EXPECT_EQ(getFaceToAxisAlignedPlanePosition(c.axis, c.value, face, vertices), c.expected)
            << c.axis << " " << c.value;
    for (SplitAxis axis : {SplitAxis_X, SplitAxis_Y, SplitAxis_Z})
        EXPECT_EQ(getFaceToAxisAlignedPlanePosition(axis, 0.5, QList<int>(), vertices), FaceToPlanePosition_Right);
}

TEST(BvhBuild, SplitsByPlane)
{
    const QVector<QVector3D> vertices = {{0, 0, 0}, {2, 0, 0}, {0, 1, 0}, {1, 0, 0}, {2, 1, 0}, {1, 1, 0}};
    const QVector<QList<int>> faces = {{0, 1, 2}, {3, 4, 5}};
    QList<int> left = {9}, right = {9}, intersecting = {9};
    splitFacesByAxisAlignedPlane(SplitAxis_X, 1.0, {0, 1}, vertices, faces, left, right);
    EXPECT_EQ(left, (QList<int>{0, 1}));
    EXPECT_EQ(right, (QList<int>{0, 1}));
    splitFacesByAxisAlignedPlane(SplitAxis_X, 0.5, {0, 1}, vertices, faces, left, right);
    EXPECT_EQ(left, QList<int>{0});
    EXPECT_EQ(right, (QList<int>{0, 1}));
    splitFacesByAxisAlignedPlane(SplitAxis_X, 0.5, {0, 1}, vertices, faces, left, right, intersecting);
    EXPECT_EQ(left, QList<int>{});
    EXPECT_EQ(right, QList<int>{1});
    EXPECT_EQ(intersecting, QList<int>{0});
}

TEST(BvhBuild, FourTrianglesDump)
{
    QVector<QVector3D> vertices;
    QVector<QList<int>> faces;
    addTriangle(vertices, faces, {0, 1, 0}, {1, 1, 0}, {0, 2, 0});
    addTriangle(vertices, faces, {0, -1, 0}, {1, 0, 0}, {0, 0, 0});
    addTriangle(vertices, faces, {3, 0, 0}, {4, 1, 0}, {3, 1, 0});
    addTriangle(vertices, faces, {3, 0, 0}, {4, 0, 0}, {4, 1, 0});
    std::unique_ptr<BvhNodeBase> root(buildTree(vertices, faces, 1));
    EXPECT_EQ(dump(*root), (QStringList{"Node", "Left child:", "\tNode", "\tLeft child:", "\t\tNodeLeaf: 1",
                                        "\tRight child:", "\t\tNodeLeaf: 0", "Right child:", "\tNodeLeaf: 2,3"}));
    const BvhNode* node = dynamic_cast<const BvhNode*>(root.get());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->boundingBox, BoundingBox(QVector3D(0, -1, 0), QVector3D(4, 3, 0)));
    const BvhNode* left = dynamic_cast<const BvhNode*>(node->childLeft);
    ASSERT_NE(left, nullptr);
    EXPECT_EQ(left->boundingBox.size, QVector3D(1, 3, 0));
    const BvhNodeLeaf* right = dynamic_cast<const BvhNodeLeaf*>(node->childRight);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->boundingBox.size, QVector3D(1, 1, 0));
}

TEST(BvhBuild, CubeQuadsShareTheTouchingFace)
{
    const QVector<QVector3D> vertices = {{0, 0, 1}, {0, 0, 0}, {0, 1, 0}, {0, 1, 1},
                                         {1, 0, 0}, {1, 1, 0}, {1, 0, 1}, {1, 1, 1}};
    const QVector<QList<int>> faces = {{0, 1, 2, 3}, {1, 4, 5, 2}, {4, 6, 7, 5}};
    std::unique_ptr<BvhNodeBase> root(buildTree(vertices, faces, 1));
    EXPECT_EQ(dump(*root), (QStringList{"Node", "Left child:", "\tNodeLeaf: 0,1", "Right child:", "\tNodeLeaf: 2,1"}));
}

TEST(BvhBuild, LeavesWithoutPlaneTests)
{
    QVector<QVector3D> vertices;
    QVector<QList<int>> faces;
    addTriangle(vertices, faces, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    addTriangle(vertices, faces, {5, 0, 0}, {6, 0, 0}, {5, 1, 0});
    addTriangle(vertices, faces, {9, 0, 0}, {10, 0, 0}, {9, 1, 0});
    // A list no longer than the leaf size is one leaf in list order.
    std::unique_ptr<BvhNodeBase> whole(buildTree({2, 0, 1}, vertices, faces, 3));
    EXPECT_EQ(dump(*whole), QStringList{"NodeLeaf: 2,0,1"});
    // Every face crossing the split plane x = 5: one leaf with all of them.
    QVector<QVector3D> crossing;
    QVector<QList<int>> crossingFaces;
    for (int i = 0; i < 4; ++i)
        addTriangle(crossing, crossingFaces, {0, float(i), 0}, {10, float(i), 0}, {5, float(i) + 0.5f, 0});
    std::unique_ptr<BvhNodeBase> stuck(buildTree(crossing, crossingFaces, 1));
    EXPECT_EQ(dump(*stuck), QStringList{"NodeLeaf: 0,1,2,3"});
    // Every face ends in some leaf, for any leaf size.
    for (int leafSize : {-3, 0, 1, 2}) {
        std::unique_ptr<BvhNodeBase> root(buildTree(vertices, faces, leafSize));
        QVector<bool> mask(faces.size(), false);
        root->selectFaces(mask);
        EXPECT_EQ(mask, QVector<bool>(faces.size(), true)) << leafSize;
    }
}

TEST(BvhBuild, EmptyTree)
{
    std::unique_ptr<BvhNodeBase> root(buildTree(QVector<QVector3D>(), QVector<QList<int>>(), 10));
    ASSERT_NE(dynamic_cast<BvhNodeEmpty*>(root.get()), nullptr);
    EXPECT_EQ(dump(*root), QStringList{"NodeEmpty"});
    const QVector<QVector3D> vertices;
    const QVector<QList<int>> faces;
    EXPECT_EQ(root->findFirstRayIntersectedTriangleInd(QVector3D(), QVector3D(0, 0, 1), faces, vertices,
                                                       RayFaceIntersection_AnyFace, nullptr, nullptr),
              -1);
    int index = 3;
    double distance = 4.0;
    double u = 5.0, v = 6.0;
    root->findFirstRayIntersectedTriangle(QVector3D(), QVector3D(0, 0, 1), faces, vertices, RayFaceIntersection_AnyFace,
                                          index, distance, &u, &v);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(distance, 4.0);
    EXPECT_EQ(u, 5.0);
    QMap<int, double> inside = {{1, 2.0}};
    root->findVerticesInsideSphere(QVector3D(), 100.0, faces, vertices, inside);
    EXPECT_EQ(inside.size(), 1);
    QVector<bool> mask(2, false);
    root->selectFaces(mask);
    root->markRayIntersectionCandidateFaces(QVector3D(), QVector3D(0, 0, 1), mask);
    root->selectIntersectedTriangles(QVector3D(), QVector3D(0, 0, 1), faces, vertices, RayFaceIntersection_AnyFace,
                                     mask);
    root->selectIntersectedTriangles(vertices, faces, ConvexPolyhedron(BoundingBox(QVector3D(), QVector3D(1, 1, 1))),
                                     mask);
    EXPECT_EQ(mask, QVector<bool>(2, false));
}

TEST(BvhBuild, SelectFacesOnlyAdds)
{
    QVector<QVector3D> vertices;
    QVector<QList<int>> faces;
    for (int i = 0; i < 6; ++i)
        addTriangle(vertices, faces, {float(3 * i), 0, 0}, {float(3 * i + 1), 0, 0}, {float(3 * i), 1, 0});
    std::unique_ptr<BvhNodeBase> root(buildTree(vertices, faces, 1));
    const BvhNode* node = dynamic_cast<const BvhNode*>(root.get());
    ASSERT_NE(node, nullptr);
    QVector<bool> mask(faces.size() + 1, false);
    mask[6] = true;  // outside the tree: kept
    node->childLeft->selectFaces(mask);
    EXPECT_EQ(mask, (QVector<bool>{true, true, true, false, false, false, true}));
    node->childRight->selectFaces(mask);
    EXPECT_EQ(mask, QVector<bool>(7, true));
}

TEST(BvhBuild, BaseClassOnlyReports)
{
    TestSupport::LogCapture log;
    BvhNodeBase base;
    const QVector<QVector3D> vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const QVector<QList<int>> faces = {{0, 1, 2}};
    QVector<bool> mask(1, false);
    QMap<int, double> inside;
    int index = -1;
    double distance = 1.0;
    base.debugTraverse(0);
    base.markRayIntersectionCandidateFaces(QVector3D(), QVector3D(0, 0, 1), mask);
    EXPECT_EQ(base.findFirstRayIntersectedTriangleInd(QVector3D(), QVector3D(0, 0, 1), faces, vertices,
                                                      RayFaceIntersection_AnyFace, nullptr, nullptr),
              -1);
    base.findFirstRayIntersectedTriangle(QVector3D(), QVector3D(0, 0, 1), faces, vertices, RayFaceIntersection_AnyFace,
                                         index, distance, nullptr, nullptr);
    base.findVerticesInsideSphere(QVector3D(), 5.0, faces, vertices, inside);
    base.selectFaces(mask);
    base.selectIntersectedTriangles(QVector3D(), QVector3D(0, 0, 1), faces, vertices, RayFaceIntersection_AnyFace,
                                    mask);
    base.selectIntersectedTriangles(vertices, faces, vertices, {}, {}, mask);
    base.selectIntersectedTriangles(vertices, faces, ConvexPolyhedron(), mask);
    EXPECT_EQ(log.texts(), (QStringList{"Calling virtual method BvhNodeBase::debugTraverse",
                                        "Calling virtual method BvhNodeBase::checkRayIntersectionCandidateFaces",
                                        "Calling virtual method BvhNodeBase::findFirstRayTriangleIntersection",
                                        "Calling virtual method BvhNodeBase::findFirstRayTriangleIntersection",
                                        "Calling virtual method BvhNodeBase::findVerticesInsideSphere",
                                        "Calling virtual method BvhNodeBase::selectFaces",
                                        "Calling virtual method BvhNodeBase::selectIntersectedTriangles",
                                        "Calling virtual method BvhNodeBase::selectIntersectedTriangles",
                                        "Calling virtual method BvhNodeBase::selectIntersectedTriangles"}));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(distance, 1.0);
    EXPECT_TRUE(inside.isEmpty());
    EXPECT_EQ(mask, QVector<bool>(1, false));
}
