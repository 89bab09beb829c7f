// Axis-aligned boxes: spans of points, union, longest axis, corners and components.
#include <cfloat>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "mesh/BoundingBox.h"
#include "support/QtPrinters.h"

using Viewport3D::BoundingBox;

namespace {

struct FromPointsCase {
    const char* name;
    QVector<QVector3D> points;
    QVector3D origin;
    QVector3D size;
};

}  // namespace

TEST(BoundingBox, FromPointsSpansThePoints)
{
    const FromPointsCase cases[] = {
        {"no points", {}, {0, 0, 0}, {0, 0, 0}},
        {"one point", {{1, 2, 3}}, {1, 2, 3}, {0, 0, 0}},
        {"flat triangle", {{-1, -1, 0}, {0, -1, 0}, {-1, 0, 0}}, {-1, -1, 0}, {1, 1, 0}},
        {"with a lower corner", {{-1, -1, 0}, {0, -1, 0}, {-1, 0, 0}, {-1, -1, -1}}, {-1, -1, -1}, {1, 1, 1}},
        {"minimum last", {{5, 5, 5}, {4, 6, 5}, {-2, 0, 9}}, {-2, 0, 5}, {7, 6, 4}},
    };
    for (const FromPointsCase& c : cases) {
        const BoundingBox box = BoundingBox::fromPoints(c.points);
        EXPECT_EQ(box.origin, c.origin) << c.name;
        EXPECT_EQ(box.size, c.size) << c.name;
    }
}

TEST(BoundingBox, NaNCoordinateNeverReplacesABound)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const BoundingBox box = BoundingBox::fromPoints({{0, 0, 0}, {nan, 2, 0}, {1, nan, 3}});
    EXPECT_EQ(box.origin, QVector3D(0, 0, 0));
    EXPECT_EQ(box.size, QVector3D(1, 2, 3));

    // A NaN in the first point starts both bounds and stays.
    const BoundingBox first = BoundingBox::fromPoints({{nan, 0, 0}, {1, 1, 1}});
    EXPECT_TRUE(std::isnan(first.origin.x()));
    EXPECT_EQ(first.origin.y(), 0.0f);
    EXPECT_EQ(first.size.y(), 1.0f);
}

TEST(BoundingBox, UniteCoversEveryBox)
{
    const BoundingBox united =
        BoundingBox::unite({BoundingBox({0, 0, 0}, {1, 1, 1}), BoundingBox({2, -1, 0}, {1, 1, 1})});
    EXPECT_EQ(united.origin, QVector3D(0, -1, 0));
    EXPECT_EQ(united.size, QVector3D(3, 2, 1));

    const BoundingBox none = BoundingBox::unite({});
    EXPECT_EQ(none.origin, QVector3D(FLT_MAX, FLT_MAX, FLT_MAX));
    const float minusInfinity = -std::numeric_limits<float>::infinity();
    EXPECT_EQ(none.size, QVector3D(minusInfinity, minusInfinity, minusInfinity));
}

TEST(BoundingBox, LongestAxisPrefersTheLowerAxisOnTies)
{
    const struct {
        QVector3D size;
        int axis;
    } cases[] = {
        {{2, 2, 1}, 0},
        {{1, 3, 3}, 1},
        {{1, 2, 3}, 2},
        {{-2, -2, -2}, -1},
        {{0, 0, 0}, 0},
        {{-1, -1, -1}, -1},
        {{std::nanf(""), 1, std::nanf("")}, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BoundingBox({0, 0, 0}, c.size).longestAxis(), c.axis) << c.size.x() << " " << c.size.y();
}

TEST(BoundingBox, CornersFollowTheFaceTable)
{
    const BoundingBox box({0, 0, 0}, {1, 2, 3});
    const QVector<QVector3D> expected{{0, 0, 0}, {1, 0, 0}, {1, 0, 3}, {0, 0, 3},
                                      {0, 2, 0}, {0, 2, 3}, {1, 2, 3}, {1, 2, 0}};
    const QVector<QVector3D> corners = box.getVertices();
    EXPECT_EQ(corners, expected);
    EXPECT_EQ(box.getFaces(), boxFaceIndices);

    // Every face quad runs counter-clockwise seen from outside: its normal
    // points away from the centre, and all four corners lie on the face.
    ASSERT_EQ(boxFaceIndices.size(), 6);
    for (const QList<int>& face : boxFaceIndices) {
        const QVector3D first = corners[face[0]];
        const QVector3D normal = QVector3D::crossProduct(corners[face[1]] - first, corners[face[3]] - first);
        EXPECT_GT(QVector3D::dotProduct(normal, first - box.center()), 0.0f) << face[0] << face[1];
        for (int k : face)
            EXPECT_FLOAT_EQ(QVector3D::dotProduct(normal, corners[k] - first), 0.0f);
    }
}

TEST(BoundingBox, CentreScaleAndEquality)
{
    BoundingBox box({1, -2, 4}, {2, 4, 6});
    EXPECT_EQ(box.center(), QVector3D(2, 0, 7));
    EXPECT_EQ(box, BoundingBox({1, -2, 4}, {2, 4, 6}));
    EXPECT_NE(box, BoundingBox({1, -2, 4}, {2, 4, 7}));
    const BoundingBox withNaN({std::nanf(""), 0, 0}, {1, 1, 1});
    EXPECT_FALSE(withNaN == withNaN);

    box.scale(0.5);
    EXPECT_EQ(box.origin, QVector3D(0.5f, -1, 2));
    EXPECT_EQ(box.size, QVector3D(1, 2, 3));
    box.scale(-2);
    EXPECT_EQ(box.size, QVector3D(-2, -4, -6));
    EXPECT_EQ(BoundingBox(), BoundingBox({0, 0, 0}, {0, 0, 0}));
}

TEST(BoundingBox, ComponentsByAxisNumber)
{
    QVector3D vector(1, 2, 3);
    for (int axis = 0; axis < 3; ++axis)
        EXPECT_EQ(vectorComponent(vector, axis), float(axis + 1));
    EXPECT_TRUE(std::isnan(vectorComponent(vector, 3)));
    EXPECT_TRUE(std::isnan(vectorComponent(vector, -1)));

    setVectorComponent(vector, 1, 7);
    EXPECT_EQ(vector, QVector3D(1, 7, 3));
    setVectorComponent(vector, -1, 9);
    setVectorComponent(vector, 3, 9);
    EXPECT_EQ(vector, QVector3D(1, 7, 3));
}
