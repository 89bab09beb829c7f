// Small vectors and matrices of doubles and differentiation values: arithmetic, norms, debug text.
#include "numerics/Vector.h"

#include "numerics/DerVal.h"

#include <gtest/gtest.h>

#include <QDebug>
#include <QString>
#include <QVector3D>
#include <QVector>

#include <cmath>
#include <ostream>
#include <utility>

void PrintTo(const DerVal& d, std::ostream* os)
{
    *os << d.value << " with (";
    for (int k = 0; k < d.derivatives.size(); ++k)
        *os << (k ? ", " : "") << d.derivatives[k];
    *os << ')';
}

template <typename T>
void PrintTo(const Vec<T>& v, std::ostream* os)
{
    *os << "Vec(";
    for (int i = 0; i < v.count(); ++i) {
        *os << (i ? ", " : "");
        PrintTo(v[i], os);
    }
    *os << ')';
}
inline void PrintTo(double x, std::ostream* os)
{
    *os << x;
}
inline void PrintTo(int x, std::ostream* os)
{
    *os << x;
}
inline void PrintTo(bool x, std::ostream* os)
{
    *os << (x ? "true" : "false");
}

namespace {

template <typename T>
Vec<T> vec(std::initializer_list<T> elements)
{
    return Vec<T>(QVector<T>(elements));
}

DerVal dv(double value, QVector<double> derivatives)
{
    return DerVal(value, derivatives);
}

template <typename T>
QString debugText(const T& x)
{
    QString text;
    QDebug(&text) << x;
    return text;
}

TEST(VecConstruction, SizesElementsAndSharedStorage)
{
    Vec<double> three(3);
    EXPECT_EQ(three, vec<double>({0, 0, 0}));
    three[0] = 0;
    three[1] = 1;
    three[2] = 2;
    EXPECT_EQ(three.count(), 3);
    EXPECT_EQ(three, vec<double>({0, 1, 2}));

    Vec<int> appended;
    appended << 5;
    EXPECT_EQ(appended.count(), 1);
    EXPECT_EQ(appended[0], 5);
    EXPECT_EQ(Vec<int>() << 1 << 2 << 3, vec<int>({1, 2, 3}));

    const Vec<int> fromContainer(QVector<int>{1, 2});
    EXPECT_EQ(fromContainer.count(), 2);
    EXPECT_EQ(fromContainer[0], 1);
    EXPECT_EQ(fromContainer[1], 2);

    const Vec<float> filled(2, 5);
    EXPECT_EQ(filled, vec<float>({5, 5}));
    EXPECT_EQ(Vec<double>().count(), 0);

    // Writing to a copy detaches it.
    Vec<double> copy = three;
    copy[0] = 9;
    EXPECT_EQ(three[0], 0.0);

    // Points enter widened exactly from single precision; DerVal elements are constants.
    const QVector3D p(0.1f, -2.7f, 1e-3f);
    EXPECT_EQ(Vec<double>(p), vec<double>({double(0.1f), double(-2.7f), double(1e-3f)}));
    EXPECT_EQ(Vec<DerVal>(p), vec<DerVal>({DerVal(double(0.1f)), DerVal(double(-2.7f)), DerVal(double(1e-3f))}));
    EXPECT_EQ(Vec<DerVal>(2), vec<DerVal>({DerVal(), DerVal()}));
}

TEST(VecArithmetic, ElementWiseOperationsSumsAndNorms)
{
    EXPECT_EQ(vec<int>({1, 2, 3}) + vec<int>({4, 5, 6}), vec<int>({5, 7, 9}));
    EXPECT_EQ(vec<int>({1, 2, 3}) - vec<int>({4, 5, 6}), vec<int>({-3, -3, -3}));
    EXPECT_EQ(vec<int>({1, 2, 3}) * 2, vec<int>({2, 4, 6}));
    EXPECT_EQ(vec<double>({2, 3, 4}) / 2.0, vec<double>({1, 1.5, 2}));
    // The right operand's extra elements are ignored.
    EXPECT_EQ(vec<double>({1, 2}) + vec<double>({10, 20, 30}), vec<double>({11, 22}));

    EXPECT_EQ(vec<int>({1, 2, 3, 4}).sum(), 10);
    EXPECT_EQ(Vec<int>().sum(), 0);
    EXPECT_EQ(vec<double>({3, 4}).norm(), 5.0);
    EXPECT_EQ(Vec<double>().norm(), 0.0);
    EXPECT_EQ(Vec<DerVal>().norm(), DerVal());
    EXPECT_EQ(Vec<DerVal>().sum(), DerVal());

    EXPECT_EQ(vec<double>({1, 0, 2, -1}).convertTo<bool>(), vec<bool>({true, false, true, true}));
    EXPECT_EQ(vec<int>({2, 0, -1}).convertTo<bool>(), vec<bool>({true, false, true}));
    EXPECT_EQ(vec<double>({1.5, -2}).convertTo<DerVal>(), vec<DerVal>({DerVal(1.5), DerVal(-2)}));
}

TEST(VecArithmetic, NormalizedAndDotProducts)
{
    EXPECT_EQ(vec<double>({2, 0, 0}).normalized(), vec<double>({1, 0, 0}));
    EXPECT_NEAR(vec<double>({0.5, 0.5, 0.5}).normalized().norm(), 1.0, 1e-6);
    const Vec<double> zero = vec<double>({0, 0, 0}).normalized();
    EXPECT_EQ(zero.count(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(std::isnan(zero[i]));
    EXPECT_EQ(Vec<double>().normalized().count(), 0);

    struct DotCase {
        Vec<double> a, b;
        double want;
    };
    const DotCase cases[] = {
        {vec<double>({1, 0, 0}), vec<double>({0, 1, 0}), 0.0},
        {vec<double>({1, 0, 0}), vec<double>({0.5, 0.5, 0}), 0.5},
        {Vec<double>(3, 0.0), Vec<double>(3, 0.0), 0.0},
        {vec<double>({1, 2}), vec<double>({3, 4, 100}), 11.0},  // b's extra element is ignored
    };
    for (const DotCase& c : cases) {
        EXPECT_EQ(Vec<double>::dotProduct(c.a, c.b), c.want);
        EXPECT_EQ(c.a.dot(c.b), c.want);
    }
}

TEST(VecArithmetic, AccumulationRunsFromElementZeroInIndexOrder)
{
    // 1e16 + 1 rounds back to 1e16, so only the left-to-right order gives 0 here.
    const double big = 1e16;
    const double leftToRight = (big + 1.0) - big;
    ASSERT_NE(leftToRight, (big - big) + 1.0);
    const Vec<double> cancelling = vec<double>({big, 1, -big});
    const Vec<double> ones = vec<double>({1, 1, 1});
    EXPECT_EQ(cancelling.sum(), leftToRight);
    EXPECT_EQ(cancelling.dot(ones), leftToRight);
    const QVector<QVector<double>> matrix = {{big, 1, -big}, {-big, 1, big}};
    EXPECT_EQ(matrix * ones, vec<double>({leftToRight, (-big + 1.0) + big}));

    // The sum of squares of the norm: each 1 added after the big square is lost.
    const Vec<double> lopsided = vec<double>({1, 1e8, 1});
    EXPECT_EQ(lopsided.norm(), std::sqrt((1.0 + 1e16) + 1.0));
    ASSERT_NE(std::sqrt((1.0 + 1e16) + 1.0), std::sqrt((1.0 + 1.0) + 1e16));
    EXPECT_EQ(Vec<DerVal>(lopsided.convertTo<DerVal>()).norm(), DerVal(std::sqrt((1.0 + 1e16) + 1.0)));

    // The same orders with DerVal values.
    const Vec<DerVal> cancellingDer = vec<DerVal>({dv(big, {1, 0}), dv(1, {0, 1}), DerVal(-big)});
    EXPECT_EQ(cancellingDer.sum(), dv(leftToRight, {1, 1}));
    EXPECT_EQ(cancellingDer.dot(ones.convertTo<DerVal>()), dv(leftToRight, {1, 1}));
}

TEST(VecArithmetic, MatrixColumnCountComesFromRowZero)
{
    const QVector<QVector<double>> matrix = {{1, 2}, {3, 4, 5}, {6, 7, 8}};
    EXPECT_EQ(matrix * vec<double>({1, 10, 100}), vec<double>({21, 43, 76}));
    EXPECT_EQ(QVector<QVector<double>>() * vec<double>({1, 2}), Vec<double>());
    // v's extra elements are ignored.
    const QVector<QVector<int>> identity = {{1, 0}, {0, 1}};
    EXPECT_EQ(identity * vec<int>({7, 8, 9}), vec<int>({7, 8}));
}

TEST(VecDebugText, ListsElementsAndLeavesTheStreamWithoutSpaces)
{
    EXPECT_EQ(debugText(vec<double>({1, 2, 3})), QStringLiteral("Vector(1, 2, 3)"));
    EXPECT_EQ(debugText(vec<double>({0.5, -1e-20})), QStringLiteral("Vector(0.5, -1e-20)"));
    EXPECT_EQ(debugText(Vec<double>()), QStringLiteral("Vector()"));
    QString text;
    QDebug(&text) << vec<int>({4}) << 5 << "six";
    EXPECT_EQ(text, QStringLiteral("Vector(4)5six"));
}

TEST(VecOfDerVal, LengthRuleAndNorms)
{
    // Constants from a point minus 12-slot variables: every element and the norm carry 12 slots.
    Vec<DerVal> variables;
    for (int i = 0; i < 3; ++i)
        variables << DerVal(0.5 * i, 12).diff(3 + i);
    const Vec<DerVal> difference = Vec<DerVal>(QVector3D(1, 2, 3)) - variables;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(difference[i].derivatives.size(), 12);
    EXPECT_EQ(difference.norm().derivatives.size(), 12);

    // A constant first element: the in-place sum takes over the first variable square's length.
    EXPECT_EQ(vec<DerVal>({DerVal(3), dv(4, {1, 0})}).norm(), dv(5, {0.8, 0}));
    EXPECT_EQ(vec<DerVal>({dv(3, {1, 0}), dv(4, {0, 1})}).norm(), dv(5, {0.6, 0.8}));
    // A zero vector of variables: zero slopes, not the huge slope of a moving square root.
    EXPECT_EQ(vec<DerVal>({dv(0, {1, 0}), dv(0, {0, 1})}).norm(), dv(0, {0, 0}));
    // The matrix product follows the same rule.
    const QVector<QVector<DerVal>> constantMatrix = {{DerVal(2), DerVal(0)}, {DerVal(1), DerVal(1)}};
    EXPECT_EQ(constantMatrix * vec<DerVal>({dv(1, {1, 0}), dv(2, {0, 1})}),
              vec<DerVal>({dv(2, {2, 0}), dv(3, {1, 1})}));
}

// Products accumulate in place, with exactly the values of r = r + a × b written out.
TEST(VecOfDerVal, MatrixAndDotProductsMatchTheWrittenOutSums)
{
    const QVector<QVector<DerVal>> m = {
        {dv(0.3, {1, 0, -0.25}), DerVal(-1.7), dv(2.2, {0, 0.5, 0})},
        {DerVal(0.1), DerVal(0.2), DerVal(0.3)},
        {dv(1e-3, {3, 1, 4}), dv(-5.5, {1, 5, 9}), DerVal(1.0 / 3.0)},
    };
    const Vec<DerVal> v = vec<DerVal>({dv(1.25, {0.1, 0.2, 0.3}), DerVal(0.7), dv(-2, {0, 0, 1})});
    const Vec<DerVal> product = m * v;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(product[i], (m[i][0] * v[0] + m[i][1] * v[1]) + m[i][2] * v[2]) << i;
        const Vec<DerVal> row(m[i]);
        EXPECT_EQ(row.dot(v), product[i]) << i;
    }
}

// The forms that compute into an expiring vector give exactly what the copying forms give,
// and never disturb a vector that shares the storage or an operand that aliases an element.
TEST(VecOfDerVal, ExpiringFormsMatchCopyingFormsAndRespectSharing)
{
    const Vec<DerVal> a = vec<DerVal>({dv(0.1, {1, -0.0, 3}), dv(-2.5, {0.3, 0.7, -1}), DerVal(7.25)});
    const Vec<DerVal> b = vec<DerVal>({dv(1.7, {2, 2, -0.5}), DerVal(-0.0), dv(1e-3, {0, 1e300, 4})});
    const DerVal s = dv(0.37, {0.25, -4, 1e-7});

    const Vec<DerVal> copying = (((a + b) - a) * s) / s;
    const Vec<DerVal> sumAB = a + b;
    const Vec<DerVal> minusA = sumAB - a;
    const Vec<DerVal> timesS = minusA * s;
    EXPECT_EQ(copying, timesS / s);
    Vec<DerVal> chain = a;
    chain = (((std::move(chain) + b) - a) * s) / s;
    EXPECT_EQ(chain, copying);
    EXPECT_EQ(a, vec<DerVal>({dv(0.1, {1, -0.0, 3}), dv(-2.5, {0.3, 0.7, -1}), DerVal(7.25)}));

    // b is the vector itself, or the scalar one of its elements.
    Vec<DerVal> self = a;
    Vec<DerVal>& alias = self;
    EXPECT_EQ(std::move(self) + alias, a + a);
    Vec<DerVal> scaled = a;
    Vec<DerVal>& scaledAlias = scaled;
    EXPECT_EQ(std::move(scaled) * scaledAlias[0], a * a[0]);
    Vec<DerVal> divided = a;
    Vec<DerVal>& dividedAlias = divided;
    EXPECT_EQ(std::move(divided) / dividedAlias[1], a / a[1]);
}

}  // namespace
