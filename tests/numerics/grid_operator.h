#pragma once
// A sparse symmetric test matrix for the CHOLMOD solve.
#include "numerics/SparseSolver/splm.h"

#include <cmath>

namespace TestMatrices {

// Lower triangle of a 7-point grid operator on side^3 points, made diagonally dominant and
// given uneven values so that every entry of the factor depends on the order of its sums. Each
// column's diagonal entry comes first. Free with splm_ccsm_free.
inline splm_ccsm gridOperator(int side)
{
    const int n = side * side * side;
    splm_ccsm A;
    splm_ccsm_alloc(&A, n, n, 4 * n);
    int k = 0;
    for (int j = 0; j < n; ++j) {
        A.colptr[j] = k;
        A.rowidx[k] = j;
        A.val[k++] = 6.5 + std::sin(0.37 * j);
        const int x = j % side, y = (j / side) % side, z = j / (side * side);
        const int below[3][2] = {{x + 1 < side, j + 1}, {y + 1 < side, j + side}, {z + 1 < side, j + side * side}};
        for (const auto& b : below) {
            if (!b[0])
                continue;
            A.rowidx[k] = b[1];
            A.val[k++] = -1.0 + 0.3 * std::cos(0.11 * j + b[1]);
        }
    }
    A.colptr[n] = k;
    A.nnz = k;
    return A;
}

}  // namespace TestMatrices
