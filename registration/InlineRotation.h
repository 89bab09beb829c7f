#pragma once
// Quaternion<T>(a, b, c).rotationMatrix() over InlineDerVal: the same operations in the same
// order (squares through pow with the exponent 2, as VecArithmetic::square forms DerVal's), so
// the entries are the doubles the DerVal route gives, without its heap.
#include "numerics/InlineDerVal.h"

namespace NonRigidRegistration {

template <int Capacity>
void inlineRotationMatrix(const InlineDerVal<Capacity>& a, const InlineDerVal<Capacity>& b,
                          const InlineDerVal<Capacity>& c, InlineDerVal<Capacity> R[3][3])
{
    using V = InlineDerVal<Capacity>;
    // Quaternion<T>(a, b, c): the unit quaternion of the rotation parameters.
    const V g = (pow(a, 2.0) + pow(b, 2.0)) + pow(c, 2.0);
    const V denominator = g + V(1);
    const V w = (V(2) * a) / denominator;
    const V x = (V(2) * b) / denominator;
    const V y = (V(2) * c) / denominator;
    const V z = (V(1) - g) / denominator;

    // Quaternion<T>::rotationMatrix.
    const V ww = pow(w, 2.0);
    const V xx = pow(x, 2.0);
    const V yy = pow(y, 2.0);
    const V zz = pow(z, 2.0);
    const V xy = x * y;
    const V wz = w * z;
    const V xz = x * z;
    const V wy = w * y;
    const V yz = y * z;
    const V wx = w * x;
    R[0][0] = ((ww + xx) - yy) - zz;
    R[0][1] = V(2) * (xy - wz);
    R[0][2] = V(2) * (xz + wy);
    R[1][0] = V(2) * (xy + wz);
    R[1][1] = ((ww - xx) + yy) - zz;
    R[1][2] = V(2) * (yz - wx);
    R[2][0] = V(2) * (xz - wy);
    R[2][1] = V(2) * (yz + wx);
    R[2][2] = ((ww - xx) - yy) + zz;
}

// R × d as Vec's matrix-vector product forms it: r = R_j0 d_0, then the other two products
// accumulated in place.
template <int Capacity>
void inlineRotate(const InlineDerVal<Capacity> R[3][3], const InlineDerVal<Capacity> d[3],
                  InlineDerVal<Capacity> rotated[3])
{
    for (int j = 0; j < 3; ++j) {
        rotated[j] = R[j][0] * d[0];
        accumulateProduct(rotated[j], R[j][1], d[1]);
        accumulateProduct(rotated[j], R[j][2], d[2]);
    }
}

// Vec::norm of three elements: the first square, the others added in place, the root.
template <int Capacity>
InlineDerVal<Capacity> inlineNorm(const InlineDerVal<Capacity> e[3])
{
    InlineDerVal<Capacity> squares = pow(e[0], 2.0);
    squares += pow(e[1], 2.0);
    squares += pow(e[2], 2.0);
    return sqrt(squares);
}

}  // namespace NonRigidRegistration
