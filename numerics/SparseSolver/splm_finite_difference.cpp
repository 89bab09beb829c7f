// Finite-difference Jacobians: pattern discovery and values on a fixed pattern.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_memory.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

template <typename T>
T* work(int line, long long count)
{
    return splm_work_array<T>("splm", line, count);
}

double stepFor(double pj, double delta)
{
    return std::max(std::fabs(1e-4 * pj), std::fabs(delta));
}

}  // namespace

void splm_discover_pattern(splm_model_callback func, double* p, int nvars, int nobs, int Jnnz, double delta,
                           splm_ccsm* J, void* adata)
{
    int capacity = Jnnz < 1 ? 128 : Jnnz;
    splm_ccsm_alloc_novalues(J, nobs, nvars, capacity);
    double* hx = work<double>(__LINE__, nobs);
    double* moved = work<double>(__LINE__, nobs);
    func(p, hx, nvars, nobs, adata);
    int count = 0;
    for (int j = 0; j < nvars; ++j) {
        J->colptr[j] = count;
        const double saved = p[j];
        const double step = stepFor(saved, delta);
        p[j] = saved + (delta < 0.0 ? -step : step);
        func(p, moved, nvars, nobs, adata);
        p[j] = saved;
        for (int i = 0; i < nobs; ++i) {
            if (moved[i] == hx[i])
                continue;
            if (count == capacity) {
                capacity *= 2;
                splm_ccsm_realloc_novalues(J, nobs, nvars, capacity);
            }
            J->rowidx[count++] = i;
        }
    }
    J->colptr[nvars] = count;
    splm_ccsm_realloc_novalues(J, nobs, nvars, count);
    splm_ccsm_alloc_values(J);
    std::free(moved);
    std::free(hx);
}

// Columns that share no row are perturbed together: one model evaluation (two
// for central differences) per group instead of per column.
void splm_finite_difference_jacobian(double* p, splm_ccsm* J, int nvars, int nobs, void* adata)
{
    splm_finite_difference_data* d = static_cast<splm_finite_difference_data*>(adata);
    char* handled = work<char>(__LINE__, nvars);
    int* claimedBy = work<int>(__LINE__, nobs);
    int* members = work<int>(__LINE__, nvars);
    double* saved = work<double>(__LINE__, nvars);
    double* steps = work<double>(__LINE__, nvars);
    std::fill(handled, handled + nvars, 0);
    std::fill(claimedBy, claimedBy + nobs, -1);

    for (int j = 0; j < nvars; ++j) {
        if (handled[j])
            continue;
        handled[j] = 1;
        if (J->colptr[j] == J->colptr[j + 1])
            continue;
        int m = 0;
        members[m++] = j;
        for (int k = J->colptr[j]; k < J->colptr[j + 1]; ++k)
            claimedBy[J->rowidx[k]] = j;
        for (int jj = j + 1; jj < nvars; ++jj) {
            if (handled[jj])
                continue;
            if (J->colptr[jj] == J->colptr[jj + 1]) {
                handled[jj] = 1;
                continue;
            }
            bool free = true;
            for (int k = J->colptr[jj]; k < J->colptr[jj + 1] && free; ++k)
                free = claimedBy[J->rowidx[k]] != j;
            if (!free)
                continue;
            handled[jj] = 1;
            members[m++] = jj;
            for (int k = J->colptr[jj]; k < J->colptr[jj + 1]; ++k)
                claimedBy[J->rowidx[k]] = j;
        }

        for (int t = 0; t < m; ++t) {
            const int c = members[t];
            saved[c] = p[c];
            steps[c] = std::max(std::fabs(1e-4 * p[c]), d->delta);
            p[c] += steps[c];
        }
        d->func(p, d->work, nvars, nobs, d->adata);
        ++d->evaluations;
        if (d->forward) {
            for (int t = 0; t < m; ++t)
                p[members[t]] = saved[members[t]];
            for (int t = 0; t < m; ++t) {
                const int c = members[t];
                for (int k = J->colptr[c]; k < J->colptr[c + 1]; ++k) {
                    const int i = J->rowidx[k];
                    J->val[k] = (d->work[i] - d->hx[i]) / steps[c];
                }
            }
        } else {
            for (int t = 0; t < m; ++t)
                p[members[t]] = saved[members[t]] - steps[members[t]];
            d->func(p, d->hx, nvars, nobs, d->adata);
            ++d->evaluations;
            for (int t = 0; t < m; ++t)
                p[members[t]] = saved[members[t]];
            for (int t = 0; t < m; ++t) {
                const int c = members[t];
                for (int k = J->colptr[c]; k < J->colptr[c + 1]; ++k) {
                    const int i = J->rowidx[k];
                    J->val[k] = (d->work[i] - d->hx[i]) / (2.0 * steps[c]);
                }
            }
        }
    }
    std::free(steps);
    std::free(saved);
    std::free(members);
    std::free(claimedBy);
    std::free(handled);
}
