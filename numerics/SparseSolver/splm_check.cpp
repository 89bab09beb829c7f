// Checks an analytic Jacobian against a forward difference of the model.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_memory.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

template <typename T>
T* work(int line, long long count)
{
    return splm_work_array<T>("splm", line, count);
}

}  // namespace

// All parameters move at once by a relative step of sqrt(machine epsilon)
// (2^-26); the difference of the model values is compared with the Jacobian
// times the step. The score is the number of matching digits relative to the
// digits the step can resolve: 1 when they agree to the step's precision, 0
// when they disagree at its size.
void splm_check_jacobian(splm_model_callback func, const splm_ccsm* J, const double* p, int nvars, int nobs,
                         void* adata, double* err)
{
    const double epsmch = DBL_EPSILON;
    const double eps = std::sqrt(epsmch);
    const double epsf = 100.0 * epsmch;
    const double epslog = std::log10(eps);

    double* point = work<double>(__LINE__, nvars);
    double* moved = work<double>(__LINE__, nvars);
    double* f = work<double>(__LINE__, nobs);
    double* fmoved = work<double>(__LINE__, nobs);
    std::memcpy(point, p, sizeof(double) * size_t(nvars));
    for (int j = 0; j < nvars; ++j)
        moved[j] = p[j] != 0.0 ? p[j] + eps * std::fabs(p[j]) : eps;
    func(point, f, nvars, nobs, adata);
    func(moved, fmoved, nvars, nobs, adata);

    // Predicted change divided by eps.
    for (int i = 0; i < nobs; ++i)
        err[i] = 0.0;
    for (int j = 0; j < nvars; ++j) {
        const double scale = p[j] != 0.0 ? std::fabs(p[j]) : 1.0;
        for (int k = J->colptr[j]; k < J->colptr[j + 1]; ++k)
            err[J->rowidx[k]] += scale * J->val[k];
    }
    for (int i = 0; i < nobs; ++i) {
        double t = 1.0;
        if (f[i] != 0.0 && fmoved[i] != 0.0 && std::fabs(fmoved[i] - f[i]) >= epsf * std::fabs(f[i]))
            t = eps * std::fabs((fmoved[i] - f[i]) / eps - err[i]) / (std::fabs(f[i]) + std::fabs(fmoved[i]));
        err[i] = 1.0;
        if (t > epsmch && t < eps)
            err[i] = (std::log10(t) - epslog) / epslog;
        if (t >= eps)
            err[i] = 0.0;
    }
    std::free(fmoved);
    std::free(f);
    std::free(moved);
    std::free(point);
}

void splm_check_jacobian_ccs(splm_model_callback func, splm_ccsm_jacobian_callback fjac, const double* p, int nvars,
                             int nobs, int Jnnz, void* adata, double* err)
{
    splm_ccsm J;
    splm_ccsm_alloc(&J, nobs, nvars, Jnnz);
    double* point = work<double>(__LINE__, nvars);
    std::memcpy(point, p, sizeof(double) * size_t(nvars));
    fjac(point, &J, nvars, nobs, adata);
    splm_check_jacobian(func, &J, p, nvars, nobs, adata, err);
    std::free(point);
    splm_ccsm_free(&J);
}

void splm_check_jacobian_crs(splm_model_callback func, splm_crsm_jacobian_callback fjac, const double* p, int nvars,
                             int nobs, int Jnnz, void* adata, double* err)
{
    splm_crsm Jr;
    splm_crsm_alloc(&Jr, nobs, nvars, Jnnz);
    double* point = work<double>(__LINE__, nvars);
    std::memcpy(point, p, sizeof(double) * size_t(nvars));
    fjac(point, &Jr, nvars, nobs, adata);
    splm_ccsm J;
    splm_crsm2ccsm(&Jr, &J);
    splm_check_jacobian(func, &J, p, nvars, nobs, adata, err);
    splm_ccsm_free(&J);
    std::free(point);
    splm_crsm_free(&Jr);
}
