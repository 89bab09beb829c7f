// Encapsulated PostScript pictures of sparsity patterns.
#include "numerics/SparseSolver/splm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double kPageWidth = 585.0;
constexpr double kPageHeight = 832.0;

bool inBlock(const int* block, int row, int col)
{
    return row >= block[0] && col >= block[1] && row <= block[2] && col <= block[3];
}

// lines/ptr/idx describe either storage order; rowMajor says which.
void writePattern(bool rowMajor, int nr, int nc, const int* ptr, const int* idx, const int* blocks,
                  const double* colours, int nblocks, const char* path)
{
    FILE* file = std::fopen(path, "w");
    if (!file) {
        std::fprintf(stderr, "splm_crcsm2eps(): failed to open file %s for writing\n", path);
        std::exit(1);
    }
    const double scale = std::min(kPageWidth / std::max(nc, 1), kPageHeight / std::max(nr, 1));
    std::fprintf(file, "%%!PS-Adobe-3.0 EPSF-3.0\n");
    std::fprintf(file, "%%%%BoundingBox: 0 0 %d %d\n", int(nc * scale + 0.999), int(nr * scale + 0.999));
    std::fprintf(file, "%%%%Title: nonzero pattern of a %d x %d matrix\n%%%%EndComments\n", nr, nc);
    std::fprintf(file, "/u { newpath moveto 1 0 rlineto 0 1 rlineto -1 0 rlineto closepath fill } bind def\n");
    std::fprintf(file, "%g %g scale\n", scale, scale);

    const int nlines = rowMajor ? nr : nc;
    const int passes = nblocks > 0 ? nblocks : 1;
    for (int b = 0; b < passes; ++b) {
        if (nblocks > 0)
            std::fprintf(file, "%g %g %g setrgbcolor\n", colours[3 * b], colours[3 * b + 1], colours[3 * b + 2]);
        else
            std::fprintf(file, "0 0 0 setrgbcolor\n");
        for (int line = 0; line < nlines; ++line) {
            for (int k = ptr[line]; k < ptr[line + 1]; ++k) {
                const int row = rowMajor ? line : idx[k];
                const int col = rowMajor ? idx[k] : line;
                if (nblocks > 0 && !inBlock(blocks + 4 * b, row, col))
                    continue;
                std::fprintf(file, "%d %d u\n", col, nr - 1 - row);  // row 0 at the top
            }
        }
    }
    std::fprintf(file, "showpage\n%%%%EOF\n");
    std::fclose(file);
}

}  // namespace

void splm_crsm_pattern_eps(const splm_crsm* m, const int* blocks, const double* colours, int nblocks, const char* path)
{
    writePattern(true, m->nr, m->nc, m->rowptr, m->colidx, blocks, colours, nblocks, path);
}

void splm_ccsm_pattern_eps(const splm_ccsm* m, const int* blocks, const double* colours, int nblocks, const char* path)
{
    writePattern(false, m->nr, m->nc, m->colptr, m->rowidx, blocks, colours, nblocks, path);
}
