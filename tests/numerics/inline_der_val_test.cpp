// InlineDerVal against DerVal: random chains of operations run through both side by side, and
// every intermediate result must be the same doubles, bit for bit.
#include "numerics/InlineDerVal.h"

#include "numerics/DerVal.h"

#include <gtest/gtest.h>

#include <QVector>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

std::uint64_t bitsOf(double x)
{
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// Bit for bit, signs of zeros included, except that any NaN matches any NaN: which operand's NaN
// an operation passes on (and with it the NaN's sign) follows the order in which the compiler
// hands a sum or product its operands, which it may swap; the language leaves it open.
bool sameDouble(double a, double b)
{
    return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b));
}

// Equal values and slots (sameDouble), and the same slot count.
template <int C>
::testing::AssertionResult sameBits(const DerVal& d, const InlineDerVal<C>& x)
{
    if (!sameDouble(d.value, x.value))
        return ::testing::AssertionFailure() << "values " << d.value << " and " << x.value;
    if (d.derivatives.size() != x.size())
        return ::testing::AssertionFailure() << "slot counts " << d.derivatives.size() << " and " << x.size();
    for (int k = 0; k < x.size(); ++k)
        if (!sameDouble(d.derivatives[k], x.slot(k)))
            return ::testing::AssertionFailure() << "slot " << k << ": " << d.derivatives[k] << " and " << x.slot(k);
    return ::testing::AssertionSuccess();
}

// Numbers that stress the rules: signed zeros, ones and twos (pow's shortcut), tiny and huge
// magnitudes, infinities and NaN, and plain random ones.
double awkwardNumber(std::mt19937& random)
{
    static const double special[] = {0.0,
                                     -0.0,
                                     1.0,
                                     -1.0,
                                     2.0,
                                     0.5,
                                     1e-300,
                                     -1e300,
                                     4.9e-324,
                                     std::numeric_limits<double>::infinity(),
                                     -std::numeric_limits<double>::infinity(),
                                     std::nan("")};
    std::uniform_int_distribution<int> pick(0, 3 * int(sizeof special / sizeof *special));
    const int i = pick(random);
    if (i < int(sizeof special / sizeof *special))
        return special[i];
    return std::uniform_real_distribution<double>(-3.0, 3.0)(random);
}

// One operand pair: a constant, or n slots (up to the capacity) that are zeros, seeded ones,
// awkward numbers or a mix.
template <int C>
std::pair<DerVal, InlineDerVal<C>> randomOperand(std::mt19937& random)
{
    const double value = awkwardNumber(random);
    const int n = std::uniform_int_distribution<int>(0, C)(random);
    DerVal d(value, n);
    InlineDerVal<C> x(value, n);
    const int fill = std::uniform_int_distribution<int>(0, 3)(random);
    for (int k = 0; k < n; ++k) {
        if (fill == 0)
            continue;  // all zeros
        if (fill == 1 || std::uniform_int_distribution<int>(0, 2)(random) == 0) {
            if (std::uniform_int_distribution<int>(0, 3)(random) == 0) {
                d.diff(k);
                x.diff(k);
            }
            continue;
        }
        d.derivatives[k] = awkwardNumber(random);
        x = InlineDerVal<C>::fromDerVal(d);
    }
    return {d, x};
}

// DerVal's overloads taking an expiring operand reuse its buffer; both forms must give the same.
template <typename Op>
DerVal applyDerVal(Op op, const DerVal& a, const DerVal& b, int form)
{
    switch (form) {
        case 0:
            return op(a, b);
        case 1:
            return op(DerVal(a), b);
        case 2:
            return op(a, DerVal(b));
        default:
            return op(DerVal(a), DerVal(b));
    }
}

template <int C>
void runRandomChains(unsigned seed, int steps)
{
    std::mt19937 random(seed);
    std::vector<DerVal> plain;
    std::vector<InlineDerVal<C>> inlined;
    for (int i = 0; i < 8; ++i) {
        auto operand = randomOperand<C>(random);
        plain.push_back(operand.first);
        inlined.push_back(operand.second);
    }
    auto any = [&]() { return std::uniform_int_distribution<int>(0, int(plain.size()) - 1)(random); };
    for (int step = 0; step < steps; ++step) {
        const int op = std::uniform_int_distribution<int>(0, 11)(random);
        const int i = any(), j = any();  // i == j feeds one value in twice
        const int form = std::uniform_int_distribution<int>(0, 3)(random);
        const int at = any();
        DerVal d;
        InlineDerVal<C> x;
        switch (op) {
            case 0:
                d = applyDerVal(
                    [](auto&& a, auto&& b) { return std::forward<decltype(a)>(a) + std::forward<decltype(b)>(b); },
                    plain[i], plain[j], form);
                x = inlined[i] + inlined[j];
                break;
            case 1:
                d = applyDerVal(
                    [](auto&& a, auto&& b) { return std::forward<decltype(a)>(a) - std::forward<decltype(b)>(b); },
                    plain[i], plain[j], form);
                x = inlined[i] - inlined[j];
                break;
            case 2:
            case 3:
                d = applyDerVal(
                    [](auto&& a, auto&& b) { return std::forward<decltype(a)>(a) * std::forward<decltype(b)>(b); },
                    plain[i], plain[j], form);
                x = inlined[i] * inlined[j];
                break;
            case 4:
                d = applyDerVal(
                    [](auto&& a, auto&& b) { return std::forward<decltype(a)>(a) / std::forward<decltype(b)>(b); },
                    plain[i], plain[j], form);
                x = inlined[i] / inlined[j];
                break;
            case 5: {
                static const double exponents[] = {2.0, 2.0, 3.0, 0.5, -1.0, 1.0, 0.0};
                const double e = exponents[std::uniform_int_distribution<int>(0, 6)(random)];
                d = form < 2 ? pow(plain[i], DerVal(e)) : pow(DerVal(plain[i]), DerVal(e));
                x = pow(inlined[i], e);
                break;
            }
            case 6:
                d = form < 2 ? sqrt(plain[i]) : sqrt(DerVal(plain[i]));
                x = sqrt(inlined[i]);
                break;
            case 7:
                // In place, the right operand possibly the left one itself.
                plain[at] += plain[i];
                inlined[at] += inlined[i];
                d = plain[at];
                x = inlined[at];
                break;
            case 8:
                accumulateProduct(plain[at], plain[i], plain[j]);
                accumulateProduct(inlined[at], inlined[i], inlined[j]);
                d = plain[at];
                x = inlined[at];
                break;
            case 9:
                if (plain[i].derivatives.isEmpty())
                    continue;
                plain[i].diff(j % plain[i].derivatives.size());
                inlined[i].diff(j % plain[i].derivatives.size());
                d = plain[i];
                x = inlined[i];
                break;
            default: {
                auto operand = randomOperand<C>(random);
                d = operand.first;
                x = operand.second;
                break;
            }
        }
        ASSERT_TRUE(sameBits(d, x)) << "seed " << seed << ", step " << step << ", operation " << op;
        plain[at] = d;
        inlined[at] = x;
    }
    for (size_t k = 0; k < plain.size(); ++k)
        ASSERT_TRUE(sameBits(plain[k], inlined[k]));
}

TEST(InlineDerVal, RandomChainsGiveDerValsDoublesBitForBit)
{
    // A capacity of one slot, a small one filled to the brim and the registration's own.
    for (unsigned seed = 1; seed <= 40; ++seed) {
        runRandomChains<1>(seed, 400);
        runRandomChains<5>(seed, 400);
        runRandomChains<24>(seed, 400);
    }
}

TEST(InlineDerVal, ConversionsKeepConstantsAndSlotCounts)
{
    struct Case {
        std::string name;
        DerVal value;
    };
    DerVal seeded(0.5, 4);
    seeded.diff(1).diff(1);  // seeding twice is seeding once
    DerVal negativeZeros(-0.0, QVector<double>{-0.0, 0.0, -0.0});
    const std::vector<Case> cases = {{"constant", DerVal(3.5)},
                                     {"zero slots of a variable", DerVal(1.0, 4)},
                                     {"seeded", seeded},
                                     {"signed zeros", negativeZeros},
                                     {"full capacity", DerVal(2.0, QVector<double>{1, 2, 3, 4})}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const InlineDerVal<4> x = InlineDerVal<4>::fromDerVal(c.value);
        EXPECT_TRUE(sameBits(c.value, x));
        const DerVal back = x.toDerVal();
        EXPECT_TRUE(sameBits(back, x));
        EXPECT_EQ(back.derivatives.isEmpty(), c.value.derivatives.isEmpty());
    }
    EXPECT_TRUE(InlineDerVal<4>::fits(4));
    EXPECT_FALSE(InlineDerVal<4>::fits(5));
}

TEST(InlineDerVal, EdgeRulesMatchDerVal)
{
    // Hand-picked operands at the edges of the rules: a divisor whose slot is -0.0 takes the short
    // quotient form, the root of a moving zero gets DerVal's finite slope, a constant added to
    // a slot of -0.0 turns it into +0.0, operands of different lengths pad with zeros, and
    // seeded values whose slots outside the seed become -0.0 or NaN.
    using V = InlineDerVal<3>;
    std::vector<std::pair<DerVal, V>> operands;
    auto add = [&](const DerVal& d) { operands.emplace_back(d, V::fromDerVal(d)); };
    add(DerVal(0.0, QVector<double>{0.0, -0.0, 1.0}));
    add(DerVal(-2.0, QVector<double>{-0.0, -0.0, 3.0}));
    add(DerVal(1.5, QVector<double>{0.25}));
    add(DerVal(-0.0));
    add(DerVal(std::numeric_limits<double>::infinity(), QVector<double>{1.0, 0.0, -1.0}));
    operands.emplace_back(DerVal(0.5, 3).diff(1), V(0.5, 3).diff(1));
    operands.emplace_back(DerVal(0.5, 3).diff(2).diff(0), V(0.5, 3).diff(2).diff(0));
    operands.emplace_back(DerVal(-3.0, 3).diff(0) * DerVal(-0.5), V(-3.0, 3).diff(0) * V(-0.5));
    operands.emplace_back(DerVal(2.0, 3).diff(2) * DerVal(-std::numeric_limits<double>::infinity()),
                          V(2.0, 3).diff(2) * V(-std::numeric_limits<double>::infinity()));
    for (const auto& a : operands) {
        ASSERT_TRUE(sameBits(a.first, a.second));
        EXPECT_TRUE(sameBits(sqrt(a.first), sqrt(a.second)));
        EXPECT_TRUE(sameBits(pow(a.first, DerVal(2.0)), pow(a.second, 2.0)));
        EXPECT_TRUE(sameBits(a.second.toDerVal(), a.second));
        for (const auto& b : operands) {
            EXPECT_TRUE(sameBits(a.first + b.first, a.second + b.second));
            EXPECT_TRUE(sameBits(a.first - b.first, a.second - b.second));
            EXPECT_TRUE(sameBits(a.first * b.first, a.second * b.second));
            EXPECT_TRUE(sameBits(a.first / b.first, a.second / b.second));
            for (const auto& r : operands) {
                DerVal d = r.first;
                V x = r.second;
                accumulateProduct(d, a.first, b.first);
                accumulateProduct(x, a.second, b.second);
                EXPECT_TRUE(sameBits(d, x));
                d = r.first;
                x = r.second;
                d += a.first;
                x += a.second;
                EXPECT_TRUE(sameBits(d, x));
            }
        }
    }
}

// A value formed in a short vector and moved up is the value formed in place: window slots,
// the background (here a negative zero, from dividing zero slots by a negative number) and count.
TEST(InlineDerVal, MovedUpEqualsTheValueFormedInPlace)
{
    using Short = InlineDerVal<6>;
    using Long = InlineDerVal<24>;
    const auto formed = [](auto seedA, auto seedB) {
        auto q = (seedA * seedA + seedB) / decltype(seedA)(-3.0);
        return sqrt(pow(q, 2.0)) * q;
    };
    const Short a = Short(-1.5, 6).diff(0), b = Short(0.25, 6).diff(1);
    const Short small = formed(a, b);
    for (int base : {0, 6, 18}) {
        SCOPED_TRACE(base);
        const DerVal inPlace = formed(DerVal(-1.5, 24).diff(base), DerVal(0.25, 24).diff(base + 1));
        const Long moved = Long::movedUp(small, base, 24);
        EXPECT_TRUE(sameBits(inPlace, moved));
        EXPECT_TRUE(std::signbit(moved.slot(base == 0 ? 23 : 0)));  // the background is -0.0
    }
}

}  // namespace
