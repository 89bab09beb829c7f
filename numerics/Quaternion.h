#pragma once
// Quaternion (w, x, y, z) over double or DerVal, with the three-parameter rotation form:
// (a, b, c) stands for the unit quaternion (2a, 2b, 2c, 1 - g) / (1 + g), g = a² + b² + c².
// The form has no constraint and no singularity at finite parameters, so an optimiser can
// move the three numbers freely; (1, 0, 0) is the identity.
#include "numerics/DerVal.h"
#include "numerics/Vector.h"

#include <QDebug>
#include <QMatrix4x4>
#include <QQuaternion>
#include <QVector>

#include <type_traits>
#include <utility>

template <typename T>
class Quaternion {
public:
    // The components as given, not normalised.
    Quaternion(const T& w, const T& x, const T& y, const T& z);
    // The unit quaternion of the rotation parameters (a, b, c).
    Quaternion(const T& a, const T& b, const T& c);
    // double only: the components widened from single precision.
    Quaternion(const QQuaternion& q);

    // Read-only view of (w, x, y, z).
    const QVector<T>& components() const { return components_; }

    // double only: the rotation parameters (a, b, c) = (w, x, y) / (1 + z).
    // Not finite for z = -1, which has no parameters.
    QVector<double> toParams() const;

    // Three rows of three. The diagonal uses all four squares, so a quaternion of length s
    // gives s² times a rotation; rows times a column vector rotate it.
    QVector<QVector<T>> rotationMatrix() const;

    // double only: the rotation matrix in the upper-left 3×3 block of an otherwise identity matrix.
    QMatrix4x4 toQMatrix4x4() const;

    bool operator==(const Quaternion<T>& other) const { return components_ == other.components_; }

private:
    QVector<T> components_;
};

template <typename T>
Quaternion<T>::Quaternion(const T& w, const T& x, const T& y, const T& z)
{
    components_.reserve(4);
    components_ << w << x << y << z;
}

template <typename T>
Quaternion<T>::Quaternion(const T& a, const T& b, const T& c)
{
    using VecArithmetic::square;
    T g = (square(a) + square(b)) + square(c);
    const T denominator = g + T(1);
    components_.reserve(4);
    components_.append((T(2) * a) / denominator);
    components_.append((T(2) * b) / denominator);
    components_.append((T(2) * c) / denominator);
    components_.append((T(1) - std::move(g)) / denominator);  // g's last use hands on its storage
}

template <typename T>
Quaternion<T>::Quaternion(const QQuaternion& q)
{
    static_assert(std::is_same<T, double>::value, "QQuaternion converts to Quaternion<double> only");
    components_.reserve(4);
    components_ << double(q.scalar()) << double(q.x()) << double(q.y()) << double(q.z());
}

template <typename T>
QVector<double> Quaternion<T>::toParams() const
{
    static_assert(std::is_same<T, double>::value, "parameters are read from Quaternion<double> only");
    const double z = components_[3];
    const double r = (1.0 - z) / (1.0 + z);
    QVector<double> params;
    params.reserve(3);
    for (int i = 0; i < 3; ++i)
        params.append(((r + 1.0) * components_[i]) * 0.5);
    return params;
}

template <typename T>
QVector<QVector<T>> Quaternion<T>::rotationMatrix() const
{
    using VecArithmetic::square;
    const T& w = components_[0];
    const T& x = components_[1];
    const T& y = components_[2];
    const T& z = components_[3];
    // Each square and product is formed once and handed on at its last use; the entries keep
    // their left-to-right evaluation order, so the values are those of the written formulas.
    T ww = square(w);
    T xx = square(x);
    T yy = square(y);
    T zz = square(z);
    T xy = x * y;
    T wz = w * z;
    T xz = x * z;
    T wy = w * y;
    T yz = y * z;
    T wx = w * x;

    QVector<T> row0;
    row0.reserve(3);
    row0.append(((ww + xx) - yy) - zz);
    row0.append(T(2) * (xy - wz));
    row0.append(T(2) * (xz + wy));

    QVector<T> row1;
    row1.reserve(3);
    row1.append(T(2) * (std::move(xy) + std::move(wz)));
    row1.append(((ww - xx) + yy) - zz);
    row1.append(T(2) * (yz - wx));

    QVector<T> row2;
    row2.reserve(3);
    row2.append(T(2) * (std::move(xz) - std::move(wy)));
    row2.append(T(2) * (std::move(yz) + std::move(wx)));
    row2.append(((std::move(ww) - xx) - yy) + zz);

    QVector<QVector<T>> rows;
    rows.reserve(3);
    rows.append(std::move(row0));
    rows.append(std::move(row1));
    rows.append(std::move(row2));
    return rows;
}

template <typename T>
QMatrix4x4 Quaternion<T>::toQMatrix4x4() const
{
    static_assert(std::is_same<T, double>::value, "QMatrix4x4 is made from Quaternion<double> only");
    const QVector<QVector<double>> r = rotationMatrix();
    QMatrix4x4 m;  // identity
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m(i, j) = float(r[i][j]);
    return m;
}

// Writes Quaternion(w,x,y,z); the stream is left without automatic spaces.
inline QDebug operator<<(QDebug dbg, const Quaternion<double>& q)
{
    const QVector<double>& c = q.components();
    dbg.nospace() << "Quaternion(" << c[0] << "," << c[1] << "," << c[2] << "," << c[3] << ")";
    return dbg;
}
