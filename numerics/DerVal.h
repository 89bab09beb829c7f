#pragma once
// Forward-mode automatic differentiation: a value together with its partial derivatives
// with respect to a small, local set of parameter slots.
#include <QTypeInfo>
#include <QVector>

class DerVal {
public:
    // n derivative slots, all zero; n <= 0 (the default) makes a constant.
    // Deliberately not explicit: numbers mix freely with DerVal operands as constants.
    DerVal(double value = 0.0, int n = 0) : value(value), derivatives(n > 0 ? n : 0) {}
    DerVal(double value, const QVector<double>& derivatives) : value(value), derivatives(derivatives) {}

    // Seeds slot i with 1 and returns *this, so a parameter reads DerVal(x, n).diff(k).
    // The slot must already exist: the vector never grows here.
    DerVal& diff(int i);

    // In place: a constant on the left takes over the length of b.
    DerVal& operator+=(const DerVal& b);

    double value;
    // Entry k is the derivative with respect to slot k; empty means a constant (all zero).
    QVector<double> derivatives;
};

// A value and a d-pointer container: containers may move it in memory without copying.
Q_DECLARE_TYPEINFO(DerVal, Q_MOVABLE_TYPE);

// Two-operand arithmetic. The result has as many slots as the longer operand; an empty
// vector reads as zeros. The overloads taking an expiring operand hand its derivative
// buffer on to the result, so chained expressions allocate less; the values are the same.
DerVal operator+(const DerVal& a, const DerVal& b);
DerVal operator+(DerVal&& a, const DerVal& b);
DerVal operator+(const DerVal& a, DerVal&& b);
DerVal operator+(DerVal&& a, DerVal&& b);

DerVal operator-(const DerVal& a, const DerVal& b);
DerVal operator-(DerVal&& a, const DerVal& b);
DerVal operator-(const DerVal& a, DerVal&& b);
DerVal operator-(DerVal&& a, DerVal&& b);

DerVal operator*(const DerVal& a, const DerVal& b);
DerVal operator*(DerVal&& a, const DerVal& b);
DerVal operator*(const DerVal& a, DerVal&& b);
DerVal operator*(DerVal&& a, DerVal&& b);

DerVal operator/(const DerVal& a, const DerVal& b);
DerVal operator/(DerVal&& a, const DerVal& b);
DerVal operator/(const DerVal& a, DerVal&& b);
DerVal operator/(DerVal&& a, DerVal&& b);

// r = r + a * b with the values of those two operations, formed in r's own buffer without a
// temporary product: the inner step of dot products and matrix rows.
void accumulateProduct(DerVal& r, const DerVal& a, const DerVal& b);

// Exact: equal values and equal derivative vectors, length included.
bool operator==(const DerVal& a, const DerVal& b);

// a raised to b; the exponent is always treated as a constant (its derivatives are ignored).
DerVal pow(const DerVal& a, const DerVal& b);
DerVal pow(DerVal&& a, const DerVal& b);

// Square root; where the argument is zero but moves, the slope is DBL_MAX / 2 instead of infinite.
DerVal sqrt(const DerVal& a);
DerVal sqrt(DerVal&& a);
