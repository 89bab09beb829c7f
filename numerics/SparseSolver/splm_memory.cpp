// The solver's checked allocator, apart from the solver so that every solver source can use it
// without calling back into the iteration's file.
#include "numerics/SparseSolver/splm.h"

#include <cstdio>
#include <cstdlib>

void* splm_checked_malloc(const char* label, int line, size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block) {
        std::fprintf(stderr, "memory allocation request for %zu bytes failed in file %s, line %d, exiting", size, label,
                     line);
        std::exit(1);
    }
    return block;
}

void* splm_checked_realloc(const char* label, int line, void* block, size_t size)
{
    void* grown = std::realloc(block, size ? size : 1);
    if (!grown) {
        std::fprintf(stderr, "memory re-allocation request for %zu bytes failed in file %s, line %d, exiting\n", size,
                     label, line);
        std::exit(1);
    }
    return grown;
}
