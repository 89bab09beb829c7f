#pragma once
// Typed work arrays from the solver's checked allocator (splm_checked_malloc in splm.h): count
// elements of T, at least one, for the solver source named by label.
#include "numerics/SparseSolver/splm.h"

#include <cstddef>

template <typename T>
T* splm_work_array(const char* label, int line, long long count)
{
    return static_cast<T*>(splm_checked_malloc(label, line, sizeof(T) * size_t(count > 0 ? count : 1)));
}
