#include "numerics/DerVal.h"

#include <QtGlobal>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

namespace {

// A finite stand-in for the infinite slope of the square root at zero, so that one
// degenerate residual does not poison the whole Jacobian with infinities.
const double kSqrtSlopeAtZero = DBL_MAX / 2;

// Storage for a result vector of n slots. An operand that is about to expire hands over
// its buffer when it already has n slots; otherwise a fresh vector is allocated.
QVector<double> takeStorage(int n, QVector<double>* spareA, QVector<double>* spareB)
{
    if (spareA && spareA->size() == n)
        return std::move(*spareA);
    if (spareB && spareB->size() == n)
        return std::move(*spareB);
    return QVector<double>(n);
}

DerVal withDerivatives(double value, QVector<double>&& derivatives)
{
    DerVal result(value);
    result.derivatives = std::move(derivatives);
    return result;
}

// Builds the result of a two-operand operation: slot k = rule(a_k, b_k), an empty operand
// reading as zeros. Everything is read from the operands before a spare buffer is taken
// over: the old buffer stays alive (in the result, or with whoever else shares it), so the
// read pointers stay valid, and when the result writes into the same buffer each slot is
// read before it is written.
template <typename Rule>
DerVal combine(double value, const DerVal& a, const DerVal& b, QVector<double>* spareA, QVector<double>* spareB,
               Rule rule)
{
    const int na = a.derivatives.size();
    const int nb = b.derivatives.size();
    const int n = std::max(na, nb);
    if (n == 0)
        return DerVal(value);
    const double* pa = a.derivatives.constData();
    const double* pb = b.derivatives.constData();
    QVector<double> out = takeStorage(n, spareA, spareB);
    double* po = out.data();
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
        // Two variables of different lengths break the callers' contract; the shorter
        // one reads as padded with zeros rather than past its end.
        for (int k = 0; k < n; ++k)
            po[k] = rule(k < na ? pa[k] : 0.0, k < nb ? pb[k] : 0.0);
    }
    return withDerivatives(value, std::move(out));
}

// One-operand form of combine: the result has a's slot count.
template <typename Rule>
DerVal transform(double value, const DerVal& a, QVector<double>* spare, Rule rule)
{
    const int n = a.derivatives.size();
    if (n == 0)
        return DerVal(value);
    const double* pa = a.derivatives.constData();
    QVector<double> out = takeStorage(n, spare, nullptr);
    double* po = out.data();
    for (int k = 0; k < n; ++k)
        po[k] = rule(pa[k]);
    return withDerivatives(value, std::move(out));
}

DerVal sum(const DerVal& a, const DerVal& b, QVector<double>* spareA, QVector<double>* spareB)
{
    return combine(a.value + b.value, a, b, spareA, spareB, [](double ak, double bk) { return ak + bk; });
}

DerVal difference(const DerVal& a, const DerVal& b, QVector<double>* spareA, QVector<double>* spareB)
{
    return combine(a.value - b.value, a, b, spareA, spareB, [](double ak, double bk) { return ak - bk; });
}

DerVal product(const DerVal& a, const DerVal& b, QVector<double>* spareA, QVector<double>* spareB)
{
    const double av = a.value;
    const double bv = b.value;
    return combine(av * bv, a, b, spareA, spareB, [av, bv](double ak, double bk) { return av * bk + bv * ak; });
}

DerVal quotient(const DerVal& a, const DerVal& b, QVector<double>* spareA, QVector<double>* spareB)
{
    const double av = a.value;
    const double bv = b.value;
    // Where the divisor does not move, the short form a_k / b keeps the slot exact.
    return combine(av / bv, a, b, spareA, spareB,
                   [av, bv](double ak, double bk) { return bk != 0.0 ? (ak * bv - av * bk) / (bv * bv) : ak / bv; });
}

DerVal power(const DerVal& a, const DerVal& b, QVector<double>* spareA)
{
    // Squares are the common case; pow(a, 1) is exactly a, so 2 × a saves a pow call.
    const double factor = b.value == 2.0 ? 2.0 * a.value : b.value * std::pow(a.value, b.value - 1.0);
    return transform(std::pow(a.value, b.value), a, spareA, [factor](double ak) { return factor * ak; });
}

DerVal squareRoot(const DerVal& a, QVector<double>* spareA)
{
    const double av = a.value;
    const double root = std::sqrt(av);
    const double twiceRoot = 2.0 * root;
    return transform(root, a, spareA, [av, twiceRoot](double ak) {
        if (ak == 0.0)
            return 0.0;
        if (av != 0.0)
            return ak / twiceRoot;
        return kSqrtSlopeAtZero;
    });
}

}  // namespace

DerVal& DerVal::diff(int i)
{
    const bool inRange = i >= 0 && i < derivatives.size();
    Q_ASSERT_X(inRange, "DerVal::diff", "slot outside the derivative vector");
    if (inRange)
        derivatives[i] = 1.0;
    return *this;
}

DerVal& DerVal::operator+=(const DerVal& b)
{
    value = value + b.value;
    const int nb = b.derivatives.size();
    const int n = std::max(derivatives.size(), nb);
    if (n == 0)
        return *this;
    if (derivatives.size() < n)
        derivatives.resize(n);  // a constant on the left grows into n zeros first
    double* px = derivatives.data();
    const double* pb = b.derivatives.constData();  // read after a possible detach of this vector
    for (int k = 0; k < nb; ++k)
        px[k] = px[k] + pb[k];
    for (int k = nb; k < n; ++k)  // a constant on the right adds zeros
        px[k] = px[k] + 0.0;
    return *this;
}

DerVal operator+(const DerVal& a, const DerVal& b)
{
    return sum(a, b, nullptr, nullptr);
}
DerVal operator+(DerVal&& a, const DerVal& b)
{
    return sum(a, b, &a.derivatives, nullptr);
}
DerVal operator+(const DerVal& a, DerVal&& b)
{
    return sum(a, b, nullptr, &b.derivatives);
}
DerVal operator+(DerVal&& a, DerVal&& b)
{
    return sum(a, b, &a.derivatives, &b.derivatives);
}

DerVal operator-(const DerVal& a, const DerVal& b)
{
    return difference(a, b, nullptr, nullptr);
}
DerVal operator-(DerVal&& a, const DerVal& b)
{
    return difference(a, b, &a.derivatives, nullptr);
}
DerVal operator-(const DerVal& a, DerVal&& b)
{
    return difference(a, b, nullptr, &b.derivatives);
}
DerVal operator-(DerVal&& a, DerVal&& b)
{
    return difference(a, b, &a.derivatives, &b.derivatives);
}

DerVal operator*(const DerVal& a, const DerVal& b)
{
    return product(a, b, nullptr, nullptr);
}
DerVal operator*(DerVal&& a, const DerVal& b)
{
    return product(a, b, &a.derivatives, nullptr);
}
DerVal operator*(const DerVal& a, DerVal&& b)
{
    return product(a, b, nullptr, &b.derivatives);
}
DerVal operator*(DerVal&& a, DerVal&& b)
{
    return product(a, b, &a.derivatives, &b.derivatives);
}

DerVal operator/(const DerVal& a, const DerVal& b)
{
    return quotient(a, b, nullptr, nullptr);
}
DerVal operator/(DerVal&& a, const DerVal& b)
{
    return quotient(a, b, &a.derivatives, nullptr);
}
DerVal operator/(const DerVal& a, DerVal&& b)
{
    return quotient(a, b, nullptr, &b.derivatives);
}
DerVal operator/(DerVal&& a, DerVal&& b)
{
    return quotient(a, b, &a.derivatives, &b.derivatives);
}

void accumulateProduct(DerVal& r, const DerVal& a, const DerVal& b)
{
    const int nr = r.derivatives.size();
    const int na = a.derivatives.size();
    const int nb = b.derivatives.size();
    const int np = std::max(na, nb);  // slots of the product a × b
    if ((na > 0 && nb > 0 && na != nb) || (nr > 0 && np > 0 && nr != np)) {
        r = std::move(r) + a * b;  // lengths outside the contract: the general rules
        return;
    }
    const double av = a.value;
    const double bv = b.value;
    const double* pa = a.derivatives.constData();
    const double* pb = b.derivatives.constData();
    r.value = r.value + av * bv;
    const int n = std::max(nr, np);
    if (n == 0)
        return;
    if (nr == 0)
        r.derivatives = QVector<double>(n);  // a constant sum reads as zeros
    // Should r share its buffer with a or b, this detaches r; the old buffer lives on with them.
    double* pr = r.derivatives.data();
    if (np == 0) {
        for (int k = 0; k < n; ++k)
            pr[k] = pr[k] + 0.0;
    } else if (na == n && nb == n) {
        for (int k = 0; k < n; ++k)
            pr[k] = pr[k] + (av * pb[k] + bv * pa[k]);
    } else if (nb == 0) {
        for (int k = 0; k < n; ++k)
            pr[k] = pr[k] + (av * 0.0 + bv * pa[k]);
    } else {
        for (int k = 0; k < n; ++k)
            pr[k] = pr[k] + (av * pb[k] + bv * 0.0);
    }
}

bool operator==(const DerVal& a, const DerVal& b)
{
    return a.value == b.value && a.derivatives == b.derivatives;
}

DerVal pow(const DerVal& a, const DerVal& b)
{
    return power(a, b, nullptr);
}
DerVal pow(DerVal&& a, const DerVal& b)
{
    return power(a, b, &a.derivatives);
}

DerVal sqrt(const DerVal& a)
{
    return squareRoot(a, nullptr);
}
DerVal sqrt(DerVal&& a)
{
    return squareRoot(a, &a.derivatives);
}
