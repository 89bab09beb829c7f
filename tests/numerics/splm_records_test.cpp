// The solver's sparse records: searches, conversions, sorts, triplets, and the
// pattern pictures.
#include "numerics/SparseSolver/splm.h"
#include "support/TempFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <random>
#include <vector>

namespace {

//      col 0  1  2  3
// row 0  [ 1  .  2  . ]
// row 1  [ .  .  .  . ]
// row 2  [ 3  4  .  5 ]
// row 3  [ .  .  .  6 ]
splm_crsm example()
{
    splm_crsm m;
    splm_crsm_alloc(&m, 4, 4, 6);
    const int rowptr[] = {0, 2, 2, 5, 6};
    const int colidx[] = {0, 2, 0, 1, 3, 3};
    for (int i = 0; i < 5; ++i)
        m.rowptr[i] = rowptr[i];
    for (int k = 0; k < 6; ++k) {
        m.colidx[k] = colidx[k];
        m.val[k] = k + 1;
    }
    return m;
}

// The example above for tests that only read it, released when the test ends.
struct ExampleMatrix {
    splm_crsm m = example();
    ExampleMatrix() = default;
    ExampleMatrix(const ExampleMatrix&) = delete;
    ExampleMatrix& operator=(const ExampleMatrix&) = delete;
    ~ExampleMatrix() { splm_crsm_free(&m); }
};

TEST(SolverRecords, SearchesInBothOrders)
{
    splm_crsm rows = example();
    splm_ccsm cols;
    splm_crsm2ccsm(&rows, &cols);

    // (row, col, value or 0 when absent)
    const int cells[][3] = {{0, 0, 1}, {0, 2, 2}, {2, 0, 3}, {2, 1, 4}, {2, 3, 5}, {3, 3, 6},
                            {0, 1, 0}, {1, 0, 0}, {3, 0, 0}, {0, 3, 0}, {2, 2, 0}};
    for (const auto& c : cells) {
        const int r = splm_crsm_find(&rows, c[0], c[1]);
        const int k = splm_ccsm_find(&cols, c[0], c[1]);
        if (c[2] == 0) {
            EXPECT_EQ(r, -1) << c[0] << "," << c[1];
            EXPECT_EQ(k, -1) << c[0] << "," << c[1];
        } else {
            ASSERT_GE(r, 0);
            ASSERT_GE(k, 0);
            EXPECT_EQ(rows.val[r], c[2]);
            EXPECT_EQ(cols.val[k], c[2]);
        }
    }

    int positions[4], indices[4];
    ASSERT_EQ(splm_crsm_row_entries(&rows, 2, positions, indices), 3);
    EXPECT_EQ(std::vector<int>(indices, indices + 3), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(std::vector<int>(positions, positions + 3), (std::vector<int>{2, 3, 4}));
    ASSERT_EQ(splm_ccsm_row_entries(&cols, 2, positions, indices), 3);
    EXPECT_EQ(std::vector<int>(indices, indices + 3), (std::vector<int>{0, 1, 3}));
    EXPECT_EQ(cols.val[positions[2]], 5.0);
    ASSERT_EQ(splm_crsm_column_entries(&rows, 3, positions, indices), 2);
    EXPECT_EQ(std::vector<int>(indices, indices + 2), (std::vector<int>{2, 3}));
    EXPECT_EQ(std::vector<int>(positions, positions + 2), (std::vector<int>{4, 5}));
    ASSERT_EQ(splm_ccsm_column_entries(&cols, 0, positions, indices), 2);
    EXPECT_EQ(std::vector<int>(indices, indices + 2), (std::vector<int>{0, 2}));
    EXPECT_EQ(splm_crsm_row_entries(&rows, 1, positions, indices), 0);

    // Owner of a position; the empty row 1 owns nothing.
    const int rowOfEntry[] = {0, 0, 2, 2, 2, 3};
    for (int pos = 0; pos < 6; ++pos)
        EXPECT_EQ(splm_crsm_entry_row(&rows, pos), rowOfEntry[pos]) << pos;
    const int columnOfEntry[] = {0, 0, 1, 2, 3, 3};  // columns: 0 {0,2}, 1 {2}, 2 {0}, 3 {2,3}
    for (int pos = 0; pos < 6; ++pos)
        EXPECT_EQ(splm_ccsm_entry_column(&cols, pos), columnOfEntry[pos]) << pos;

    EXPECT_EQ(splm_crsm_longest_row(&rows), 3);
    EXPECT_EQ(splm_ccsm_longest_column(&cols), 2);
    splm_crsm empty;
    splm_crsm_alloc(&empty, 0, 3, 0);
    empty.rowptr[0] = 0;
    EXPECT_EQ(splm_crsm_longest_row(&empty), -1);

    splm_crsm_free(&empty);
    splm_ccsm_free(&cols);
    splm_crsm_free(&rows);
}

TEST(SolverRecords, ConversionsRoundTrip)
{
    splm_crsm rows = example();
    splm_ccsm cols;
    splm_crsm2ccsm(&rows, &cols);
    EXPECT_EQ(std::vector<int>(cols.colptr, cols.colptr + 5), (std::vector<int>{0, 2, 3, 4, 6}));
    EXPECT_EQ(std::vector<int>(cols.rowidx, cols.rowidx + 6), (std::vector<int>{0, 2, 2, 0, 2, 3}));
    EXPECT_EQ(std::vector<double>(cols.val, cols.val + 6), (std::vector<double>{1, 3, 4, 2, 5, 6}));

    splm_crsm back;
    splm_ccsm2crsm(&cols, &back);
    EXPECT_EQ(back.nr, 4);
    EXPECT_EQ(back.nc, 4);
    EXPECT_EQ(back.nnz, 6);
    EXPECT_EQ(std::vector<int>(back.rowptr, back.rowptr + 5), std::vector<int>(rows.rowptr, rows.rowptr + 5));
    EXPECT_EQ(std::vector<int>(back.colidx, back.colidx + 6), std::vector<int>(rows.colidx, rows.colidx + 6));
    EXPECT_EQ(std::vector<double>(back.val, back.val + 6), std::vector<double>(rows.val, rows.val + 6));

    // A pattern converts into a record that already has room.
    splm_crsm pattern;
    splm_crsm_alloc_novalues(&pattern, 4, 4, 6);
    std::copy(rows.rowptr, rows.rowptr + 5, pattern.rowptr);
    std::copy(rows.colidx, rows.colidx + 6, pattern.colidx);
    splm_ccsm room;
    splm_ccsm_alloc_novalues(&room, 4, 4, 6);
    splm_crsm2ccsm(&pattern, &room);
    EXPECT_EQ(room.val, nullptr);
    EXPECT_EQ(std::vector<int>(room.rowidx, room.rowidx + 6), std::vector<int>(cols.rowidx, cols.rowidx + 6));

    splm_ccsm_free(&room);
    splm_crsm_free(&pattern);
    splm_crsm_free(&back);
    splm_ccsm_free(&cols);
    splm_crsm_free(&rows);
}

TEST(SolverRecords, SortsCarryValues)
{
    splm_crsm rows = example();
    // Reverse every row.
    for (int i = 0; i < rows.nr; ++i) {
        std::reverse(rows.colidx + rows.rowptr[i], rows.colidx + rows.rowptr[i + 1]);
        std::reverse(rows.val + rows.rowptr[i], rows.val + rows.rowptr[i + 1]);
    }
    splm_crsm_row_sort(&rows);
    ExampleMatrix sortedExample;
    const splm_crsm& sorted = sortedExample.m;
    EXPECT_EQ(std::vector<int>(rows.colidx, rows.colidx + 6), std::vector<int>(sorted.colidx, sorted.colidx + 6));
    EXPECT_EQ(std::vector<double>(rows.val, rows.val + 6), std::vector<double>(sorted.val, sorted.val + 6));

    splm_ccsm cols;
    splm_crsm2ccsm(&sorted, &cols);
    std::reverse(cols.rowidx + cols.colptr[3], cols.rowidx + cols.colptr[4]);
    std::reverse(cols.val + cols.colptr[3], cols.val + cols.colptr[4]);
    splm_ccsm_col_sort(&cols);
    EXPECT_EQ(std::vector<int>(cols.rowidx + 4, cols.rowidx + 6), (std::vector<int>{2, 3}));
    EXPECT_EQ(std::vector<double>(cols.val + 4, cols.val + 6), (std::vector<double>{5, 6}));
    splm_ccsm_free(&cols);
    splm_crsm_free(&rows);
}

TEST(SolverRecords, ResizingKeepsContentsAndFreeingClears)
{
    splm_ccsm m;
    splm_ccsm_alloc_novalues(&m, 3, 2, 2);
    m.colptr[0] = 0;
    m.colptr[1] = 1;
    m.colptr[2] = 2;
    m.rowidx[0] = 2;
    m.rowidx[1] = 1;
    splm_ccsm_realloc_novalues(&m, 5, 4, 10);
    EXPECT_EQ(m.nr, 5);
    EXPECT_EQ(m.nc, 4);
    EXPECT_EQ(m.nnz, 10);
    EXPECT_EQ(m.rowidx[1], 1);
    EXPECT_EQ(m.colptr[2], 2);
    splm_ccsm_alloc_values(&m);
    EXPECT_NE(m.val, nullptr);
    splm_ccsm_free(&m);
    EXPECT_EQ(m.nr, -1);
    EXPECT_EQ(m.nc, -1);
    EXPECT_EQ(m.nnz, -1);
    EXPECT_EQ(m.val, nullptr);
    EXPECT_EQ(m.rowidx, nullptr);
    EXPECT_EQ(m.colptr, nullptr);

    splm_crsm r;
    splm_crsm_alloc_novalues(&r, 2, 3, 1);
    r.colidx[0] = 2;
    r.rowptr[1] = 1;
    splm_crsm_realloc_novalues(&r, 2, 6, 4);
    EXPECT_EQ(r.nc, 6);
    EXPECT_EQ(r.colidx[0], 2);
    EXPECT_EQ(r.rowptr[1], 1);
    splm_crsm_free(&r);
    EXPECT_EQ(r.rowptr, nullptr);
}

TEST(SolverRecords, TripletsCompressInOrder)
{
    splm_stm t;
    splm_stm_allocval(&t, 4, 4, 6);
    ExampleMatrix rowsExample;
    const splm_crsm& rows = rowsExample.m;
    // Add the example's entries in a shuffled order.
    std::vector<int> order = {5, 2, 0, 4, 1, 3};
    for (int k : order) {
        const int row = splm_crsm_entry_row(&rows, k);
        EXPECT_EQ(splm_stm_add_value(&t, row, rows.colidx[k], rows.val[k]), 1);
    }
    EXPECT_EQ(splm_stm_add_value(&t, 0, 1, 9.0), 0);  // full
    EXPECT_EQ(t.nnz, 6);

    splm_crsm r;
    splm_stm2crsm(&t, &r);
    EXPECT_EQ(std::vector<int>(r.rowptr, r.rowptr + 5), std::vector<int>(rows.rowptr, rows.rowptr + 5));
    EXPECT_EQ(std::vector<int>(r.colidx, r.colidx + 6), std::vector<int>(rows.colidx, rows.colidx + 6));
    EXPECT_EQ(std::vector<double>(r.val, r.val + 6), std::vector<double>(rows.val, rows.val + 6));

    splm_ccsm c, expected;
    splm_stm2ccsm(&t, &c);
    splm_crsm2ccsm(&rows, &expected);
    EXPECT_EQ(std::vector<int>(c.colptr, c.colptr + 5), std::vector<int>(expected.colptr, expected.colptr + 5));
    EXPECT_EQ(std::vector<int>(c.rowidx, c.rowidx + 6), std::vector<int>(expected.rowidx, expected.rowidx + 6));
    EXPECT_EQ(std::vector<double>(c.val, c.val + 6), std::vector<double>(expected.val, expected.val + 6));

    splm_ccsm fromArrays;
    splm_stm2ccsm_arrays(t.rowidx, t.colidx, t.val, 4, 4, 6, &fromArrays);
    EXPECT_EQ(std::vector<int>(fromArrays.rowidx, fromArrays.rowidx + 6),
              std::vector<int>(expected.rowidx, expected.rowidx + 6));

    splm_stm pattern;
    splm_stm_alloc(&pattern, 2, 2, 3);
    EXPECT_EQ(pattern.val, nullptr);
    EXPECT_EQ(splm_stm_add(&pattern, 2, 0), 0);  // row out of range
    EXPECT_EQ(splm_stm_add(&pattern, 0, 2), 0);  // column out of range
    EXPECT_EQ(splm_stm_add(&pattern, 1, 1), 1);
    EXPECT_EQ(pattern.nnz, 1);
    splm_stm_free(&pattern);
    EXPECT_EQ(pattern.maxnnz, -1);

    splm_ccsm_free(&fromArrays);
    splm_ccsm_free(&expected);
    splm_ccsm_free(&c);
    splm_crsm_free(&r);
    splm_stm_free(&t);
}

TEST(SolverRecords, PatternPictureDrawsOneSquarePerEntry)
{
    TestSupport::TempDir dir;
    ExampleMatrix rowsExample;
    const splm_crsm& rows = rowsExample.m;
    const QString all = dir.path() + "/all.eps";
    splm_crsm_pattern_eps(&rows, nullptr, nullptr, 0, all.toLocal8Bit().constData());
    QFile file(all);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.startsWith("%!PS-Adobe"));
    EXPECT_TRUE(text.contains("%%BoundingBox: 0 0 585 585"));
    EXPECT_EQ(text.count(" u\n"), 6);
    EXPECT_TRUE(text.contains("\n2 3 u\n"));  // entry (0, 2): row 0 is drawn at the top

    // Only the entries inside the blocks, each block in its colour.
    splm_ccsm cols;
    splm_crsm2ccsm(&rows, &cols);
    const int blocks[] = {0, 0, 1, 1, 2, 2, 3, 3};
    const double colours[] = {1, 0, 0, 0, 0, 1};
    const QString some = dir.path() + "/blocks.eps";
    splm_ccsm_pattern_eps(&cols, blocks, colours, 2, some.toLocal8Bit().constData());
    QFile blocked(some);
    ASSERT_TRUE(blocked.open(QIODevice::ReadOnly));
    const QByteArray blockText = blocked.readAll();
    EXPECT_EQ(blockText.count(" u\n"), 3);  // (0,0) in the first; (2,3), (3,3) in the second
    EXPECT_TRUE(blockText.contains("1 0 0 setrgbcolor"));
    splm_ccsm_free(&cols);
}

TEST(SolverRecordsDeathTest, PatternPictureThatCannotBeWrittenEndsTheProcess)
{
    ExampleMatrix rowsExample;
    const splm_crsm& rows = rowsExample.m;
    EXPECT_EXIT(splm_crsm_pattern_eps(&rows, nullptr, nullptr, 0, "/nonexistent-folder/x.eps"),
                ::testing::ExitedWithCode(1),
                "^splm_crcsm2eps\\(\\): failed to open file /nonexistent-folder/x.eps for writing\n$");
}

}  // namespace

namespace {

// The whole size is printed, not its lower 32 bits.
TEST(SolverRecordsDeathTest, FailedAllocationEndsTheProcess)
{
    // AddressSanitizer would abort on these requests before malloc could answer them; the death test's child
    // inherits the option, and other builds ignore it. It then warns on a line of its own before the message.
    const QByteArray asanOptions = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", asanOptions + ":allocator_may_return_null=1");
    const struct {
        bool resize;
        size_t size;
        const char* message;
    } cases[] = {
        {false, size_t(-1),
         "(^|\n)memory allocation request for 18446744073709551615 bytes failed in file splm, line 12, exiting$"},
        {false, (size_t(1) << 62) + 7,
         "(^|\n)memory allocation request for 4611686018427387911 bytes failed in file splm, line 12, exiting$"},
        {true, (size_t(1) << 62) + 7,
         "(^|\n)memory re-allocation request for 4611686018427387911 bytes failed in file splm, line 12, exiting\n$"},
    };
    for (const auto& c : cases) {
        if (c.resize)
            EXPECT_EXIT(splm_checked_realloc("splm", 12, nullptr, c.size), ::testing::ExitedWithCode(1), c.message)
                << c.size;
        else
            EXPECT_EXIT(splm_checked_malloc("splm", 12, c.size), ::testing::ExitedWithCode(1), c.message) << c.size;
    }
    qputenv("ASAN_OPTIONS", asanOptions);
}

}  // namespace
