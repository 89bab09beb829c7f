#pragma once
// DerVal with its derivative slots held inside the value, at most Capacity of them, so that
// arithmetic never touches the heap. Every operation follows DerVal's rules to the letter: the
// result has as many slots as the longer operand, a constant (no slots) or a shorter operand
// reads as 0.0 in the missing slots, and each slot is formed by the same expression in the same
// order. The values and derivatives are therefore the doubles DerVal gives, signs of zeros
// included (a NaN stays a NaN; which operand's NaN a sum or product passes on follows the
// compiler's operand order, in DerVal as here). toDerVal hands a result on in DerVal's form.
//
// A value seeded from one parameter has one slot that is not zero, and early in a computation
// most values depend on a few neighbouring parameters only. So the slots are kept as a window
// [lo, hi) of stored numbers and one background number that every slot outside the window
// holds: slots outside every operand's window went through the same operations on the same
// operands, so they hold one and the same double, and an operation computes it once.
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
class InlineDerVal {
    static_assert(Capacity > 0, "an inline derivative vector holds at least one slot");

public:
    static constexpr int capacity = Capacity;

    // Whether n derivative slots fit; callers pick another route for values that would not.
    static constexpr bool fits(int n) { return n <= Capacity; }

    // n derivative slots, all zero; n <= 0 (the default) makes a constant, as DerVal(value, n).
    // Deliberately not explicit, like DerVal: numbers mix freely as constants.
    InlineDerVal(double value = 0.0, int n = 0) : value(value), count_(clampedCount(n)) {}

    // Only the window is copied.
    InlineDerVal(const InlineDerVal& other)
        : value(other.value), count_(other.count_), lo_(other.lo_), hi_(other.hi_), background_(other.background_)
    {
        copyWindow(slots_, other.slots_, lo_, hi_);
    }
    InlineDerVal& operator=(const InlineDerVal& other)
    {
        value = other.value;
        count_ = other.count_;
        lo_ = other.lo_;
        hi_ = other.hi_;
        background_ = other.background_;
        copyWindow(slots_, other.slots_, lo_, hi_);
        return *this;
    }

    // DerVal's slots, which must fit.
    static InlineDerVal fromDerVal(const DerVal& d)
    {
        InlineDerVal r(d.value);
        r.count_ = clampedCount(d.derivatives.size());
        r.hi_ = r.count_;
        std::copy(d.derivatives.constData(), d.derivatives.constData() + r.count_, r.slots_);
        return r;
    }

    DerVal toDerVal() const
    {
        if (count_ == 0)
            return DerVal(value);
        DerVal d(value, count_);
        double* out = d.derivatives.data();
        for (int k = 0; k < count_; ++k)
            out[k] = slot(k);
        return d;
    }

    // Seeds slot i with 1, as DerVal::diff: the slot must already exist.
    InlineDerVal& diff(int i)
    {
        const bool inRange = i >= 0 && i < count_;
        Q_ASSERT_X(inRange, "InlineDerVal::diff", "slot outside the derivative vector");
        if (!inRange)
            return *this;
        if (lo_ == hi_) {
            lo_ = i;
            hi_ = i + 1;
        }
        for (int k = i; k < lo_; ++k)
            slots_[k] = background_;  // the window grows over background slots
        for (int k = hi_; k <= i; ++k)
            slots_[k] = background_;
        lo_ = std::min(lo_, i);
        hi_ = std::max(hi_, i + 1);
        slots_[i] = 1.0;
        return *this;
    }

    // a's slots moved `shift` places up in a vector of n slots (a's window must fit): what the
    // same operations give on operands seeded `shift` places higher in vectors of n slots, as
    // every slot follows its own rule and the slots outside the windows share one value. For a
    // value formed from operands that all had a's slot count, or none.
    template <int OtherCapacity>
    static InlineDerVal movedUp(const InlineDerVal<OtherCapacity>& a, int shift, int n)
    {
        Q_ASSERT_X(a.count_ > 0 && shift >= 0 && a.hi_ + shift <= clampedCount(n), "InlineDerVal::movedUp",
                   "window outside the derivative vector");
        InlineDerVal r(a.value);
        r.count_ = clampedCount(n);
        r.lo_ = a.lo_ + shift;
        r.hi_ = a.hi_ + shift;
        r.background_ = a.background_;
        for (int k = a.lo_; k < a.hi_; ++k)
            r.slots_[k + shift] = a.slots_[k];
        return r;
    }

    // Slot count; 0 for a constant.
    int size() const { return count_; }
    // Slot k, 0 <= k < size().
    double slot(int k) const { return k >= lo_ && k < hi_ ? slots_[k] : background_; }

    // DerVal::operator+= gives every slot the value of the sum's rule.
    InlineDerVal& operator+=(const InlineDerVal& b)
    {
        combineInto(*this, value + b.value, *this, b, [](double ak, double bk) { return ak + bk; });
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

    // r = r + a * b. DerVal's accumulateProduct gives every slot (and the value) exactly what
    // the sum of the product gives: the same two roundings per slot.
    friend void accumulateProduct(InlineDerVal& r, const InlineDerVal& a, const InlineDerVal& b) { r += a * b; }

    // a raised to a constant exponent, as DerVal's pow with a constant b.
    friend InlineDerVal pow(const InlineDerVal& a, double exponent)
    {
        using InlineDerValDetail::libraryPow;
        const double factor = exponent == 2.0 ? 2.0 * a.value : exponent * libraryPow(a.value, exponent - 1.0);
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
    template <int>
    friend class InlineDerVal;

    static int clampedCount(int n)
    {
        Q_ASSERT_X(n <= Capacity, "InlineDerVal", "more derivative slots than the capacity");
        return n > 0 ? std::min(n, Capacity) : 0;
    }

    // Slot k = rule(a_k, b_k) over the longer operand's slots, a constant's slots read as 0.0.
    // Operands of one length keep a window (the span of theirs) and a background; operands of
    // two lengths, outside the callers' contract, are spelt out slot by slot, the shorter one
    // padded with 0.0 as DerVal pads it. out may be a or b: each slot is read before it is
    // written, and the windows are read before they change.
    template <typename Rule>
    static void combineInto(InlineDerVal& out, double value, const InlineDerVal& a, const InlineDerVal& b, Rule rule)
    {
        const int na = a.count_;
        const int nb = b.count_;
        if (nb == 0) {
            transformInto(out, value, a, [rule](double ak) { return rule(ak, 0.0); });
            return;
        }
        if (na == 0) {
            transformInto(out, value, b, [rule](double bk) { return rule(0.0, bk); });
            return;
        }
        if (na != nb) {
            const InlineDerVal ac = a, bc = b;  // out may be either
            const int n = std::max(na, nb);
            for (int k = 0; k < n; ++k)
                out.slots_[k] = rule(k < na ? ac.slot(k) : 0.0, k < nb ? bc.slot(k) : 0.0);
            out.value = value;
            out.count_ = n;
            out.lo_ = 0;
            out.hi_ = n;
            out.background_ = 0.0;
            return;
        }
        const int alo = a.lo_, ahi = a.hi_, blo = b.lo_, bhi = b.hi_;
        const double abg = a.background_, bbg = b.background_;
        const int lo = alo == ahi ? blo : blo == bhi ? alo : std::min(alo, blo);
        const int hi = alo == ahi ? bhi : blo == bhi ? ahi : std::max(ahi, bhi);
        const double* pa = a.slots_;
        const double* pb = b.slots_;
        double* po = out.slots_;
        if (alo == lo && ahi == hi && blo == lo && bhi == hi) {
            for (int k = lo; k < hi; ++k)
                po[k] = rule(pa[k], pb[k]);
        } else {
            for (int k = lo; k < hi; ++k)
                po[k] = rule(k >= alo && k < ahi ? pa[k] : abg, k >= blo && k < bhi ? pb[k] : bbg);
        }
        out.value = value;
        out.count_ = na;
        out.lo_ = lo;
        out.hi_ = hi;
        out.background_ = rule(abg, bbg);
    }

    template <typename Rule>
    static InlineDerVal combine(double value, const InlineDerVal& a, const InlineDerVal& b, Rule rule)
    {
        InlineDerVal out;
        combineInto(out, value, a, b, rule);
        return out;
    }

    // Slot k = rule(a_k): a's window and the rule of its background. out may be a.
    template <typename Rule>
    static void transformInto(InlineDerVal& out, double value, const InlineDerVal& a, Rule rule)
    {
        const int n = a.count_;
        const int lo = a.lo_, hi = a.hi_;
        const double background = a.background_;
        for (int k = lo; k < hi; ++k)
            out.slots_[k] = rule(a.slots_[k]);
        out.value = value;
        out.count_ = n;
        out.lo_ = n == 0 ? 0 : lo;
        out.hi_ = n == 0 ? 0 : hi;
        out.background_ = n == 0 ? 0.0 : rule(background);
    }

    template <typename Rule>
    static InlineDerVal transform(double value, const InlineDerVal& a, Rule rule)
    {
        InlineDerVal out;
        transformInto(out, value, a, rule);
        return out;
    }

    // Window slots one by one: windows are short, and a library copy call costs more.
    static void copyWindow(double* to, const double* from, int lo, int hi)
    {
        for (int k = lo; k < hi; ++k)
            to[k] = from[k];
    }

    int count_;
    int lo_ = 0;  // the stored window [lo_, hi_); empty when equal
    int hi_ = 0;
    double background_ = 0.0;  // every slot outside the window
    double slots_[Capacity];   // only those inside the window are ever read
};
