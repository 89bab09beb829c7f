// Forward-mode differentiation values: construction, arithmetic rules and the fast paths.
#include "numerics/DerVal.h"

#include <gtest/gtest.h>

#include <QVector>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

void PrintTo(const DerVal& d, std::ostream* os)
{
    *os << d.value << " with (";
    for (int k = 0; k < d.derivatives.size(); ++k)
        *os << (k ? ", " : "") << d.derivatives[k];
    *os << ')';
}

namespace {

DerVal dv(double value, QVector<double> derivatives)
{
    return DerVal(value, derivatives);
}

// ---------------------------------------------------------------------------------------------
// The rules written out the plain way: n zeros first, every slot read with empty-as-zero.

int lengthOf(const DerVal& a, const DerVal& b)
{
    return std::max(a.derivatives.size(), b.derivatives.size());
}

double slot(const DerVal& d, int k)
{
    return k < d.derivatives.size() ? d.derivatives[k] : 0.0;
}

DerVal plainBinary(char op, const DerVal& a, const DerVal& b)
{
    const double av = a.value, bv = b.value;
    DerVal r;
    switch (op) {
        case '+':
            r.value = av + bv;
            break;
        case '-':
            r.value = av - bv;
            break;
        case '*':
            r.value = av * bv;
            break;
        default:
            r.value = av / bv;
            break;
    }
    r.derivatives = QVector<double>(lengthOf(a, b), 0.0);
    for (int k = 0; k < r.derivatives.size(); ++k) {
        const double ak = slot(a, k), bk = slot(b, k);
        switch (op) {
            case '+':
                r.derivatives[k] = ak + bk;
                break;
            case '-':
                r.derivatives[k] = ak - bk;
                break;
            case '*':
                r.derivatives[k] = av * bk + bv * ak;
                break;
            default:
                r.derivatives[k] = bk != 0.0 ? (ak * bv - av * bk) / (bv * bv) : ak / bv;
                break;
        }
    }
    return r;
}

DerVal plainPow(const DerVal& a, const DerVal& b)
{
    DerVal r(std::pow(a.value, b.value));
    r.derivatives = QVector<double>(a.derivatives.size(), 0.0);
    for (int k = 0; k < r.derivatives.size(); ++k)
        r.derivatives[k] = (b.value * std::pow(a.value, b.value - 1)) * slot(a, k);
    return r;
}

DerVal plainSqrt(const DerVal& a)
{
    DerVal r(std::sqrt(a.value));
    r.derivatives = QVector<double>(a.derivatives.size(), 0.0);
    for (int k = 0; k < r.derivatives.size(); ++k) {
        const double ak = slot(a, k);
        if (ak == 0.0)
            r.derivatives[k] = 0.0;
        else if (a.value != 0.0)
            r.derivatives[k] = ak / (2 * std::sqrt(a.value));
        else
            r.derivatives[k] = DBL_MAX / 2;
    }
    return r;
}

DerVal plainAddInPlace(DerVal x, const DerVal& b)
{
    x.value = x.value + b.value;
    const int n = lengthOf(x, b);
    if (x.derivatives.isEmpty())
        x.derivatives = QVector<double>(n, 0.0);
    for (int k = 0; k < n; ++k)
        x.derivatives[k] = x.derivatives[k] + slot(b, k);
    return x;
}

// Bit for bit, except that any NaN matches any NaN: the sign and payload of a NaN depend on
// which operand order the compiler picks for a commutative instruction, in any formula.
bool sameBits(double x, double y)
{
    if (std::isnan(x) || std::isnan(y))
        return std::isnan(x) && std::isnan(y);
    uint64_t bx, by;
    std::memcpy(&bx, &x, sizeof bx);
    std::memcpy(&by, &y, sizeof by);
    return bx == by;
}

// Same value and slots in the sense above (so -0 differs from +0).
::testing::AssertionResult sameBits(const DerVal& got, const DerVal& want)
{
    bool same = sameBits(got.value, want.value) && got.derivatives.size() == want.derivatives.size();
    for (int k = 0; same && k < got.derivatives.size(); ++k)
        same = sameBits(got.derivatives[k], want.derivatives[k]);
    if (same)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ::testing::PrintToString(got) << " but the plain rule gives "
                                         << ::testing::PrintToString(want);
}

// ---------------------------------------------------------------------------------------------

struct Case {
    const char* what;
    DerVal got;
    DerVal want;
};

void expectCases(const std::vector<Case>& cases)
{
    for (const Case& c : cases)
        EXPECT_EQ(c.got, c.want) << c.what;
}

TEST(DerValArithmetic, SumDifferenceProductWithVariablesAndConstants)
{
    const DerVal a = dv(7, {1, 0, 0});
    const DerVal b = dv(3, {1, 1, 0});
    expectCases({
        {"a + b", a + b, dv(10, {2, 1, 0})},
        {"a + 3", a + 3, dv(10, {1, 0, 0})},
        {"3 + a", 3 + a, dv(10, {1, 0, 0})},
        {"a - b", a - b, dv(4, {0, -1, 0})},
        {"a - 3", a - 3, dv(4, {1, 0, 0})},
        {"7 - b", 7 - b, dv(4, {-1, -1, 0})},
        {"a * b", a * b, dv(21, {10, 7, 0})},
        {"a * 3", a * 3, dv(21, {3, 0, 0})},
        {"7 * b", 7 * b, dv(21, {7, 7, 0})},
        {"two constants stay constant", DerVal(2) * DerVal(5) + DerVal(1), DerVal(11)},
    });
}

TEST(DerValArithmetic, QuotientUsesTheShortRuleWhereTheDivisorDoesNotMove)
{
    const DerVal a = dv(4, {1, 0, 0});
    const DerVal b = dv(2, {1, 1, 0});
    expectCases({
        {"a / b", a / b, dv(2, {-0.5, -1, 0})},
        {"a / 2", a / 2, dv(2, {0.5, 0, 0})},
        {"4 / b", 4 / b, dv(2, {-1, -1, 0})},
    });
    // A slot where the divisor is still: a_k / b, not (a_k b - a b_k) / b², which differ in rounding.
    const DerVal num = dv(1.0 / 3.0, {0.1, 0.1});
    const DerVal den = dv(0.7, {0.0, 1.0});
    const DerVal q = num / den;
    EXPECT_EQ(q.derivatives[0], 0.1 / 0.7);
    EXPECT_EQ(q.derivatives[1], (0.1 * 0.7 - (1.0 / 3.0) * 1.0) / (0.7 * 0.7));
    // No guard against a zero divisor: IEEE infinities stand.
    const DerVal byZero = dv(1, {1}) / 0.0;
    EXPECT_TRUE(std::isinf(byZero.value));
    EXPECT_TRUE(std::isinf(byZero.derivatives[0]));
}

TEST(DerValArithmetic, PowerTreatsTheExponentAsConstant)
{
    const DerVal a = dv(2, {1, 0, 0});
    const DerVal b = DerVal(3);
    expectCases({
        {"pow(a, b)", pow(a, b), dv(8, {12, 0, 0})},
        {"pow(a, 3)", pow(a, 3), dv(8, {12, 0, 0})},
        {"pow(2, b)", pow(2, b), DerVal(8)},
        {"exponent's own slots are ignored", pow(a, dv(3, {5, 5, 5})), dv(8, {12, 0, 0})},
        {"a constant base stays constant", pow(DerVal(2), dv(3, {1, 0, 0})), DerVal(8)},
    });
}

TEST(DerValArithmetic, SquareRootKeepsItsSlopeFiniteAtZero)
{
    expectCases({
        {"sqrt(4) seeded", sqrt(DerVal(4, 3).diff(0)), dv(2, {0.25, 0, 0})},
        {"sqrt(0) moving", sqrt(dv(0, {1})), dv(0, {8.988465674311579e307})},
        {"sqrt(0) moving backwards", sqrt(dv(0, {-1})), dv(0, {8.988465674311579e307})},
        {"sqrt(0) still", sqrt(dv(0, {0})), dv(0, {0})},
        {"sqrt(4) still", sqrt(dv(4, {0})), dv(2, {0})},
        {"sqrt of a constant", sqrt(DerVal(4)), DerVal(2)},
    });
    EXPECT_EQ(8.988465674311579e307, DBL_MAX / 2);
    const DerVal negative = sqrt(dv(-4, {1}));
    EXPECT_TRUE(std::isnan(negative.value));
    EXPECT_TRUE(std::isnan(negative.derivatives[0]));
}

TEST(DerValArithmetic, InPlaceSumGrowsAConstantLeftSide)
{
    struct InPlace {
        const char* what;
        DerVal x, b, want;
    };
    const InPlace cases[] = {
        {"variable += variable", dv(2, {1, 0, 0}), dv(3, {1, 1, 0}), dv(5, {2, 1, 0})},
        {"constant += variable", DerVal(2), dv(3, {1, 0, 0}), dv(5, {1, 0, 0})},
        {"variable += constant", dv(2, {1, 0, 0}), DerVal(3), dv(5, {1, 0, 0})},
        {"constant += constant", DerVal(2), DerVal(3), DerVal(5)},
    };
    for (const InPlace& c : cases) {
        DerVal x = c.x;
        DerVal& same = (x += c.b);
        EXPECT_EQ(&same, &x) << c.what;
        EXPECT_EQ(x, c.want) << c.what;
    }
    // Adding to a copy leaves the original alone.
    const DerVal original = dv(1, {1, 2});
    DerVal copy = original;
    copy += dv(1, {1, 1});
    EXPECT_EQ(original, dv(1, {1, 2}));
    EXPECT_EQ(copy, dv(2, {2, 3}));
}

TEST(DerValConstruction, DefaultsSlotsAndEquality)
{
    EXPECT_EQ(DerVal().value, 0.0);
    EXPECT_TRUE(DerVal().derivatives.isEmpty());
    EXPECT_EQ(DerVal(1.5, 3).derivatives, QVector<double>({0, 0, 0}));
    EXPECT_TRUE(DerVal(1.5, -2).derivatives.isEmpty());
    EXPECT_TRUE(DerVal(1.5, 0).derivatives.isEmpty());

    // The length is part of the identity: a constant is not a vector of zeros.
    EXPECT_FALSE(DerVal(2) == dv(2, {0}));
    EXPECT_TRUE(dv(2, {1, 0}) == dv(2, {1, 0}));
    EXPECT_FALSE(dv(2, {1, 0}) == dv(2, {1, 0, 0}));
    EXPECT_FALSE(dv(2, {1, 0}) == dv(3, {1, 0}));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(DerVal(nan) == DerVal(nan));

    // An integer reaches DerVal through double.
    const DerVal fromInt = 5;
    EXPECT_EQ(fromInt, DerVal(5.0));
}

TEST(DerValConstruction, DiffSeedsSlotsAndChains)
{
    EXPECT_EQ(DerVal(2, 3).diff(0).diff(1), dv(2, {1, 1, 0}));
    DerVal x(2, 3);
    EXPECT_EQ(&x.diff(2), &x);
    EXPECT_EQ(x, dv(2, {0, 0, 1}));
    // Seeding a copy does not reach the original through the shared vector.
    const DerVal original(2, 2);
    DerVal copy = original;
    copy.diff(1);
    EXPECT_EQ(original, dv(2, {0, 0}));
}

TEST(DerValConstruction, DiffOutsideTheSlotsNeverWrites)
{
#ifdef QT_NO_DEBUG
    for (int slotIndex : {-1, 3, 100}) {
        DerVal x(2, 3);
        x.diff(slotIndex);
        EXPECT_EQ(x, dv(2, {0, 0, 0})) << slotIndex;
    }
    DerVal constant(2);
    constant.diff(0);
    EXPECT_EQ(constant, DerVal(2));
#else
    EXPECT_DEATH(DerVal(2, 3).diff(3), "slot outside the derivative vector");
    EXPECT_DEATH(DerVal(2).diff(0), "slot outside the derivative vector");
#endif
}

TEST(DerValArithmetic, CopiesNeverSeeEachOthersWrites)
{
    const DerVal a = dv(3, {1, 2, 3});
    DerVal copy = a;
    DerVal result = std::move(copy) * dv(2, {1, 1, 1});  // hands a's shared buffer on
    EXPECT_EQ(a, dv(3, {1, 2, 3}));
    EXPECT_EQ(result, dv(6, {5, 7, 9}));
}

// ---------------------------------------------------------------------------------------------
// The buffer-reusing overloads against the plain rules, over operands of every shape and awkward
// slot values (signed zeros, infinities, NaN, subnormals), bit for bit.

QVector<DerVal> awkwardOperands()
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double specials[] = {0.0, -0.0, 1.0, -2.5, inf, -inf, nan, 1e-310, 1e300, 0.1};
    std::mt19937 random(20240611);
    std::uniform_real_distribution<double> uniform(-3.0, 3.0);
    std::uniform_int_distribution<int> pick(0, 9);
    QVector<DerVal> operands;
    const double values[] = {0.0, -0.0, 2.0, -0.75, 1e-300, inf, nan};
    for (double value : values) {
        operands << DerVal(value);  // constant
        for (int variant = 0; variant < 3; ++variant) {
            QVector<double> slots;
            for (int k = 0; k < 6; ++k)
                slots << (variant == 0 ? uniform(random) : specials[pick(random)]);
            operands << DerVal(value, slots);
        }
    }
    operands << DerVal(1.25, QVector<double>{0.5, -0.0, 0.0, 3.0, 0.0, -1.0});
    return operands;
}

using Binary = std::function<DerVal(DerVal, DerVal)>;

struct BinaryForm {
    const char* name;
    Binary reuseNone, reuseLeft, reuseRight, reuseBoth;
};

template <typename Op>
BinaryForm formsOf(const char* name, Op op)
{
    return {name,
            [op](DerVal a, DerVal b) {
                const DerVal& ca = a;
                const DerVal& cb = b;
                return op(ca, cb);
            },
            [op](DerVal a, DerVal b) {
                const DerVal& cb = b;
                return op(std::move(a), cb);
            },
            [op](DerVal a, DerVal b) {
                const DerVal& ca = a;
                return op(ca, std::move(b));
            },
            [op](DerVal a, DerVal b) { return op(std::move(a), std::move(b)); }};
}

TEST(DerValFastPaths, TwoOperandOperationsMatchThePlainRulesBitForBit)
{
    const BinaryForm forms[] = {
        formsOf("+", [](auto&& a, auto&& b) { return std::forward<decltype(a)>(a) + std::forward<decltype(b)>(b); }),
        formsOf("-", [](auto&& a, auto&& b) { return std::forward<decltype(a)>(a) - std::forward<decltype(b)>(b); }),
        formsOf("*", [](auto&& a, auto&& b) { return std::forward<decltype(a)>(a) * std::forward<decltype(b)>(b); }),
        formsOf("/", [](auto&& a, auto&& b) { return std::forward<decltype(a)>(a) / std::forward<decltype(b)>(b); }),
    };
    const QVector<DerVal> operands = awkwardOperands();
    for (const BinaryForm& form : forms) {
        for (const DerVal& a : operands) {
            for (const DerVal& b : operands) {
                const DerVal want = plainBinary(form.name[0], a, b);
                // Fresh copies: the moved-from operands share their buffers with a and b.
                EXPECT_TRUE(sameBits(form.reuseNone(a, b), want)) << form.name;
                EXPECT_TRUE(sameBits(form.reuseLeft(a, b), want)) << form.name;
                EXPECT_TRUE(sameBits(form.reuseRight(a, b), want)) << form.name;
                EXPECT_TRUE(sameBits(form.reuseBoth(a, b), want)) << form.name;
            }
        }
    }
    // The operand buffers really are handed on: no new vector when an expiring operand fits.
    DerVal a = dv(1, {1, 2});
    const double* buffer = a.derivatives.constData();
    const DerVal r = std::move(a) * dv(2, {3, 4});
    EXPECT_EQ(r.derivatives.constData(), buffer);
    EXPECT_EQ(r, dv(2, {1 * 3 + 2 * 1.0, 1 * 4 + 2 * 2.0}));
}

TEST(DerValFastPaths, InPlaceWritesMatchThePlainRulesWhenTheBufferIsUnshared)
{
    const QVector<DerVal> operands = awkwardOperands();
    for (const DerVal& a : operands) {
        for (const DerVal& b : operands) {
            for (char op : {'+', '-', '*', '/'}) {
                DerVal left = a;
                left.derivatives.detach();  // sole owner: the result is computed into this buffer
                DerVal right = b;
                right.derivatives.detach();
                DerVal got;
                switch (op) {
                    case '+':
                        got = std::move(left) + std::move(right);
                        break;
                    case '-':
                        got = std::move(left) - std::move(right);
                        break;
                    case '*':
                        got = std::move(left) * std::move(right);
                        break;
                    default:
                        got = std::move(left) / std::move(right);
                        break;
                }
                EXPECT_TRUE(sameBits(got, plainBinary(op, a, b))) << op;
            }
            DerVal x = a;
            x += b;
            EXPECT_TRUE(sameBits(x, plainAddInPlace(a, b))) << "+=";
            DerVal selfSum = a;
            selfSum += selfSum;
            EXPECT_TRUE(sameBits(selfSum, plainAddInPlace(a, a))) << "x += x";
        }
        for (const DerVal& exponent : {DerVal(2), DerVal(0.5), DerVal(-1), DerVal(3, 6)}) {
            EXPECT_TRUE(sameBits(pow(a, exponent), plainPow(a, exponent)));
            DerVal base = a;
            base.derivatives.detach();
            EXPECT_TRUE(sameBits(pow(std::move(base), exponent), plainPow(a, exponent)));
        }
        EXPECT_TRUE(sameBits(sqrt(a), plainSqrt(a)));
        DerVal argument = a;
        argument.derivatives.detach();
        EXPECT_TRUE(sameBits(sqrt(std::move(argument)), plainSqrt(a)));
    }
}

TEST(DerValFastPaths, AccumulatedProductMatchesSumOfProductBitForBit)
{
    const QVector<DerVal> operands = awkwardOperands();
    for (const DerVal& r : operands) {
        for (const DerVal& a : operands) {
            for (const DerVal& b : operands) {
                DerVal got = r;  // shares r's buffer until written
                accumulateProduct(got, a, b);
                EXPECT_TRUE(sameBits(got, plainBinary('+', r, plainBinary('*', a, b))));
            }
            DerVal self = r;
            self.derivatives.detach();
            accumulateProduct(self, self, a);
            EXPECT_TRUE(sameBits(self, plainBinary('+', r, plainBinary('*', r, a)))) << "r += r * a";
            DerVal square = r;
            accumulateProduct(square, a, a);
            EXPECT_TRUE(sameBits(square, plainBinary('+', r, plainBinary('*', a, a)))) << "r += a * a";
        }
    }
    // Lengths outside the contract fall back to the general rules (zero padding).
    DerVal r = dv(1, {1, 2, 3});
    accumulateProduct(r, dv(2, {1, 1}), dv(3, {1}));
    EXPECT_EQ(r, plainBinary('+', dv(1, {1, 2, 3}), plainBinary('*', dv(2, {1, 1}), dv(3, {1}))));
}

// Squares take 2 × a as the slope factor in place of 2 × pow(a, 1): the same number.
TEST(DerValFastPaths, SquareSlopeFactorMatchesThePowerFunction)
{
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> mantissa(-2.0, 2.0);
    std::uniform_int_distribution<int> exponent(-1070, 1020);
    for (int trial = 0; trial < 100000; ++trial) {
        const DerVal x(std::ldexp(mantissa(random), exponent(random)), QVector<double>{1.0, -0.5});
        ASSERT_TRUE(sameBits(pow(x, 2), plainPow(x, DerVal(2)))) << x.value;
    }
}

TEST(DerValFastPaths, AnOperandMayBeBothSidesOfItsOwnOperation)
{
    for (const DerVal& a : awkwardOperands()) {
        DerVal x = a;
        x.derivatives.detach();
        DerVal& alias = x;
        EXPECT_TRUE(sameBits(std::move(x) * alias, plainBinary('*', a, a)));
        DerVal y = a;
        y.derivatives.detach();
        DerVal& alias2 = y;
        EXPECT_TRUE(sameBits(std::move(y) / std::move(alias2), plainBinary('/', a, a)));
    }
}

}  // namespace
