#pragma once
// A small numeric vector over any number type; the same geometry code runs on double
// for values and on DerVal for values with derivatives. A matrix is a QVector of rows.
#include "numerics/DerVal.h"

#include <QDebug>
#include <QVector3D>
#include <QVector>

#include <cmath>
#include <utility>

namespace VecArithmetic {

// x², exact for plain numbers; DerVal squares go through pow with the constant exponent 2,
// which fixes the rounding of their values and derivatives.
template <typename T>
T square(const T& x)
{
    return x * x;
}

inline DerVal square(const DerVal& x)
{
    return pow(x, 2.0);
}

// r = r + a * b; DerVal forms it in place (accumulateProduct), with the same values.
template <typename T>
void addProduct(T& r, const T& a, const T& b)
{
    r = std::move(r) + a * b;
}

inline void addProduct(DerVal& r, const DerVal& a, const DerVal& b)
{
    accumulateProduct(r, a, b);
}

}  // namespace VecArithmetic

template <typename T>
class Vec {
public:
    Vec() = default;
    explicit Vec(int n) : elements_(n > 0 ? n : 0) {}
    Vec(int n, const T& x) : elements_(n > 0 ? n : 0, x) {}
    Vec(QVector<T> elements) : elements_(std::move(elements)) {}
    Vec(const QVector3D& p)
    {
        elements_.reserve(3);
        elements_.append(T(double(p.x())));
        elements_.append(T(double(p.y())));
        elements_.append(T(double(p.z())));
    }

    Vec<T>& operator<<(const T& x)
    {
        elements_.append(x);
        return *this;
    }

    int count() const { return elements_.size(); }
    T& operator[](int i) { return elements_[i]; }
    const T& operator[](int i) const { return elements_[i]; }
    bool operator==(const Vec<T>& other) const { return elements_ == other.elements_; }

    T sum() const;
    T norm() const;
    T dot(const Vec<T>& b) const { return dotProduct(*this, b); }
    static T dotProduct(const Vec<T>& a, const Vec<T>& b);
    Vec<T> normalized() const;

    template <typename U>
    Vec<U> convertTo() const;

    // Element-wise operations take their length from this vector (the right operand needs at
    // least as many elements). The forms called on an expiring vector compute into its own
    // elements instead of allocating new ones.
    Vec<T> operator*(const T& s) const&
    {
        return elementWise([&s](const T& x, int) { return x * s; });
    }
    Vec<T> operator*(const T& s) &&
    {
        const T scalar = s;  // s may be one of the elements about to change
        return std::move(*this).elementWiseInPlace([&scalar](T&& x, int) { return std::move(x) * scalar; });
    }
    Vec<T> operator/(const T& s) const&
    {
        return elementWise([&s](const T& x, int) { return x / s; });
    }
    Vec<T> operator/(const T& s) &&
    {
        const T scalar = s;  // s may be one of the elements about to change
        return std::move(*this).elementWiseInPlace([&scalar](T&& x, int) { return std::move(x) / scalar; });
    }
    Vec<T> operator+(const Vec<T>& b) const&
    {
        return elementWise([&b](const T& x, int i) { return x + b.elements_[i]; });
    }
    Vec<T> operator+(const Vec<T>& b) &&
    {
        return std::move(*this).elementWiseInPlace([&b](T&& x, int i) { return std::move(x) + b.elements_[i]; });
    }
    Vec<T> operator-(const Vec<T>& b) const&
    {
        return elementWise([&b](const T& x, int i) { return x - b.elements_[i]; });
    }
    Vec<T> operator-(const Vec<T>& b) &&
    {
        return std::move(*this).elementWiseInPlace([&b](T&& x, int i) { return std::move(x) - b.elements_[i]; });
    }

private:
    template <typename F>
    Vec<T> elementWise(F f) const
    {
        QVector<T> result;
        result.reserve(elements_.size());
        for (int i = 0; i < elements_.size(); ++i)
            result.append(f(elements_[i], i));
        return Vec<T>(std::move(result));
    }

    // Element i becomes f(element i moved out, i). Should b share this vector's storage, the
    // write detaches this vector first, and b keeps reading its own unchanged copy.
    template <typename F>
    Vec<T> elementWiseInPlace(F f) &&
    {
        T* e = elements_.data();
        for (int i = 0; i < elements_.size(); ++i)
            e[i] = f(std::move(e[i]), i);
        return std::move(*this);
    }

    QVector<T> elements_;
};

template <typename T>
T Vec<T>::sum() const
{
    if (elements_.isEmpty())
        return T();
    T s = elements_[0];
    for (int i = 1; i < elements_.size(); ++i)
        s = std::move(s) + elements_[i];
    return s;
}

template <typename T>
T Vec<T>::norm() const
{
    using std::sqrt;
    if (elements_.isEmpty())
        return T();
    T s = VecArithmetic::square(elements_[0]);
    for (int i = 1; i < elements_.size(); ++i)
        s += VecArithmetic::square(elements_[i]);
    return sqrt(std::move(s));
}

template <typename T>
T Vec<T>::dotProduct(const Vec<T>& a, const Vec<T>& b)
{
    T r = a.elements_[0] * b.elements_[0];
    for (int i = 1; i < a.elements_.size(); ++i)
        VecArithmetic::addProduct(r, a.elements_[i], b.elements_[i]);
    return r;
}

template <typename T>
Vec<T> Vec<T>::normalized() const
{
    if (elements_.isEmpty())
        return Vec<T>();
    return *this / norm();
}

template <typename T>
template <typename U>
Vec<U> Vec<T>::convertTo() const
{
    QVector<U> converted;
    converted.reserve(elements_.size());
    for (const T& x : elements_)
        converted.append(U(x));
    return Vec<U>(std::move(converted));
}

// Matrix (rows) times vector. The column count is that of row 0 for every row.
template <typename T>
Vec<T> operator*(const QVector<QVector<T>>& m, const Vec<T>& v)
{
    QVector<T> result;
    if (m.isEmpty())
        return Vec<T>(result);
    const int columns = m[0].size();
    result.reserve(m.size());
    for (const QVector<T>& row : m) {
        T r = row[0] * v[0];
        for (int j = 1; j < columns; ++j)
            VecArithmetic::addProduct(r, row[j], v[j]);
        result.append(std::move(r));
    }
    return Vec<T>(std::move(result));
}

// Writes Vector(e0, e1, ...); the stream is left without automatic spaces.
template <typename T>
QDebug operator<<(QDebug dbg, const Vec<T>& v)
{
    dbg.nospace() << "Vector(";
    for (int i = 0; i < v.count(); ++i) {
        if (i > 0)
            dbg << ", ";
        dbg << v[i];
    }
    dbg << ")";
    return dbg;
}
