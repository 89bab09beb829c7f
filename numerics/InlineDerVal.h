#pragma once
// DerVal with its derivative slots held inside the value, at most Capacity of them, so that
// arithmetic never touches the heap. Every operation follows DerVal's rules to the letter: the
// result has as many slots as the longer operand, a constant (no slots) or a shorter operand
// reads as 0.0 in the missing slots, and each slot is formed by the same expression in the same
// order. The values and derivatives are therefore the very doubles DerVal gives, signs of zeros
// and NaNs included; toDerVal hands a result on in DerVal's form.
#include "numerics/DerVal.h"

#include <QtGlobal>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace InlineDerValDetail {

// std::pow compiled in its own unit: inlined with a literal exponent, the compiler would turn
// pow(x, 2.0) into x * x, while DerVal always calls the library's pow.
double libraryPow(double base, double exponent);

// DerVal's finite stand-in for the square root's infinite slope at zero.
const double kSqrtSlopeAtZero = DBL_MAX / 2;

}  // namespace InlineDerValDetail

template <int Capacity>
class InlineDerVal
{
    static_assert(Capacity > 0, "an inline derivative vector holds at least one slot");

public:
    static constexpr int capacity = Capacity;

    // Whether n derivative slots fit; callers pick another route for values that would not.
    static constexpr bool fits(int n) { return n <= Capacity; }

    // n derivative slots, all zero; n <= 0 (the default) makes a constant, as DerVal(value, n).
    // Deliberately not explicit, like DerVal: numbers mix freely as constants.
    InlineDerVal(double value = 0.0, int n = 0) : value(value), m_count(clampedCount(n))
    {
        std::fill(m_slots, m_slots + m_count, 0.0);
    }

    // Only the slots in use are copied.
    InlineDerVal(const InlineDerVal& other) : value(other.value), m_count(other.m_count)
    {
        std::copy(other.m_slots, other.m_slots + m_count, m_slots);
    }
    InlineDerVal& operator=(const InlineDerVal& other)
    {
        value = other.value;
        m_count = other.m_count;
        std::copy(other.m_slots, other.m_slots + m_count, m_slots);
        return *this;
    }

    // DerVal's slots, which must fit.
    static InlineDerVal fromDerVal(const DerVal& d)
    {
        InlineDerVal r(d.value);
        r.m_count = clampedCount(d.derivatives.size());
        std::copy(d.derivatives.constData(), d.derivatives.constData() + r.m_count, r.m_slots);
        return r;
    }

    DerVal toDerVal() const
    {
        if (m_count == 0)
            return DerVal(value);
        return DerVal(value, QVector<double>(m_slots, m_slots + m_count));
    }

    // Seeds slot i with 1, as DerVal::diff: the slot must already exist.
    InlineDerVal& diff(int i)
    {
        const bool inRange = i >= 0 && i < m_count;
        Q_ASSERT_X(inRange, "InlineDerVal::diff", "slot outside the derivative vector");
        if (inRange)
            m_slots[i] = 1.0;
        return *this;
    }

    // Slot count; 0 for a constant.
    int size() const { return m_count; }
    const double* derivatives() const { return m_slots; }

    // DerVal::operator+=: slot k = a_k + b_k with the missing ones read as 0.0.
    InlineDerVal& operator+=(const InlineDerVal& b)
    {
        value = value + b.value;
        const int nb = b.m_count;
        const int n = std::max(m_count, nb);
        for (int k = m_count; k < n; ++k)
            m_slots[k] = 0.0;  // a constant or shorter value on the left grows into zeros first
        m_count = n;
        for (int k = 0; k < nb; ++k)
            m_slots[k] = m_slots[k] + b.m_slots[k];
        for (int k = nb; k < n; ++k)
            m_slots[k] = m_slots[k] + 0.0;
        return *this;
    }

    friend InlineDerVal operator+(const InlineDerVal& a, const InlineDerVal& b)
    {
        return combine(a.value + b.value, a, b, [](double ak, double bk) { return ak + bk; });
    }

    friend InlineDerVal operator-(const InlineDerVal& a, const InlineDerVal& b)
    {
        return combine(a.value - b.value, a, b, [](double ak, double bk) { return ak - bk; });
    }

    friend InlineDerVal operator*(const InlineDerVal& a, const InlineDerVal& b)
    {
        const double av = a.value;
        const double bv = b.value;
        return combine(av * bv, a, b, [av, bv](double ak, double bk) { return av * bk + bv * ak; });
    }

    friend InlineDerVal operator/(const InlineDerVal& a, const InlineDerVal& b)
    {
        const double av = a.value;
        const double bv = b.value;
        return combine(av / bv, a, b, [av, bv](double ak, double bk) {
            return bk != 0.0 ? (ak * bv - av * bk) / (bv * bv) : ak / bv;
        });
    }

    // r = r + a * b formed in place, as accumulateProduct forms it for DerVal.
    friend void accumulateProduct(InlineDerVal& r, const InlineDerVal& a, const InlineDerVal& b)
    {
        const int nr = r.m_count;
        const int na = a.m_count;
        const int nb = b.m_count;
        const int np = std::max(na, nb);
        const double av = a.value;
        const double bv = b.value;
        if (nr != np || (na != np && na != 0) || (nb != np && nb != 0)) {
            r += a * b;  // lengths that differ: the general rules, which DerVal's fast paths equal
            return;
        }
        r.value = r.value + av * bv;
        double* pr = r.m_slots;
        const double* pa = a.m_slots;
        const double* pb = b.m_slots;
        if (na == np && nb == np) {
            for (int k = 0; k < np; ++k)
                pr[k] = pr[k] + (av * pb[k] + bv * pa[k]);
        } else if (nb == 0) {
            for (int k = 0; k < np; ++k)
                pr[k] = pr[k] + (av * 0.0 + bv * pa[k]);
        } else {
            for (int k = 0; k < np; ++k)
                pr[k] = pr[k] + (av * pb[k] + bv * 0.0);
        }
    }

    // a raised to a constant exponent, as DerVal's pow with a constant b.
    friend InlineDerVal pow(const InlineDerVal& a, double exponent)
    {
        using InlineDerValDetail::libraryPow;
        const double factor =
            exponent == 2.0 ? 2.0 * a.value : exponent * libraryPow(a.value, exponent - 1.0);
        return transform(libraryPow(a.value, exponent), a, [factor](double ak) { return factor * ak; });
    }

    friend InlineDerVal sqrt(const InlineDerVal& a)
    {
        const double av = a.value;
        const double root = std::sqrt(av);
        const double twiceRoot = 2.0 * root;
        return transform(root, a, [av, twiceRoot](double ak) {
            if (ak == 0.0)
                return 0.0;
            if (av != 0.0)
                return ak / twiceRoot;
            return InlineDerValDetail::kSqrtSlopeAtZero;
        });
    }

    double value;

private:
    static int clampedCount(int n)
    {
        Q_ASSERT_X(n <= Capacity, "InlineDerVal", "more derivative slots than the capacity");
        return n > 0 ? std::min(n, Capacity) : 0;
    }

    // Slot k = rule(a_k, b_k) over the longer operand's slots, a missing slot read as 0.0;
    // the branches are DerVal's, so the same zeros enter the same expressions.
    template <typename Rule>
    static InlineDerVal combine(double value, const InlineDerVal& a, const InlineDerVal& b, Rule rule)
    {
        const int na = a.m_count;
        const int nb = b.m_count;
        const int n = std::max(na, nb);
        InlineDerVal out(value);
        out.m_count = n;
        const double* pa = a.m_slots;
        const double* pb = b.m_slots;
        double* po = out.m_slots;
        if (na == n && nb == n) {
            for (int k = 0; k < n; ++k)
                po[k] = rule(pa[k], pb[k]);
        } else if (nb == 0) {
            for (int k = 0; k < n; ++k)
                po[k] = rule(pa[k], 0.0);
        } else if (na == 0) {
            for (int k = 0; k < n; ++k)
                po[k] = rule(0.0, pb[k]);
        } else {
            for (int k = 0; k < n; ++k)
                po[k] = rule(k < na ? pa[k] : 0.0, k < nb ? pb[k] : 0.0);
        }
        return out;
    }

    template <typename Rule>
    static InlineDerVal transform(double value, const InlineDerVal& a, Rule rule)
    {
        InlineDerVal out(value);
        out.m_count = a.m_count;
        for (int k = 0; k < a.m_count; ++k)
            out.m_slots[k] = rule(a.m_slots[k]);
        return out;
    }

    int m_count;
    double m_slots[Capacity];  // only the first m_count are ever read
};
