#include "engine/Matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numeric>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Errors.h"

namespace tintavo {
namespace {

template <class F>
std::string RuntimeMessage(F f) {
    try {
        f();
    } catch (const EAssertionFailed& e) {
        return std::string("assertion: ") + e.what();
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "(nothing raised)";
}

// Bare text of an assertion failure, after checking that the full text names the unit and line.
template <class F>
std::string AssertionMessage(F f) {
    try {
        f();
    } catch (const EAssertionFailed& e) {
        const std::string full = e.what();
        EXPECT_NE(full.find("(Matrix, line "), std::string::npos) << full;
        return e.BareMessage();
    }
    return "(nothing raised)";
}

TDoubleMatrix FromRows(const std::vector<std::vector<double>>& rows) {
    TDoubleMatrix m(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int y = 0; y < m.Height(); ++y)
        for (int x = 0; x < m.Width(); ++x) m.SetCell(x, y, rows[y][x]);
    return m;
}

std::vector<double> Snapshot(const TDoubleMatrix& m) { return m.ToFlatArray(); }

TEST(MatrixStorage, RowsAreAlignedAndOddWidthsCarryASpareZero) {
    TDoubleMatrix m(3, 5);
    EXPECT_EQ(m.LineWidth(), 32);
    EXPECT_EQ(m.StorageWidth(), 3);
    EXPECT_EQ(m.StorageHeight(), 5);
    EXPECT_TRUE(m.IsFull());
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(m.GetCell(x, y), 0.0);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(m.FirstElement()) % 16, 0u);

    TDoubleMatrix one(1, 4);
    EXPECT_EQ(one.LineWidth(), 8);
    TDoubleMatrix two(2, 3);
    EXPECT_EQ(two.LineWidth(), 16);
    TDoubleMatrix wide(7, 2, 2.5);
    EXPECT_EQ(wide.LineWidth(), 64);
    for (int y = 0; y < 2; ++y) {
        const double* row = wide.FirstElement() + y * 8;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(row) % 16, 0u);
        for (int x = 0; x < 7; ++x) EXPECT_EQ(row[x], 2.5);
        EXPECT_EQ(row[7], 0.0) << "the spare element is not filled";
    }

    TDoubleMatrix empty;
    EXPECT_EQ(empty.FirstElement(), nullptr);
    EXPECT_EQ(empty.LineWidth(), 0);
    EXPECT_EQ(empty.Width(), 0);
}

TEST(MatrixStorage, ResizeLosesContentsAndRejectsEmptySizes) {
    TDoubleMatrix m(2, 2, 1.0);
    EXPECT_EQ(RuntimeMessage([&] { m.Resize(0, 4); }), "Dimension error");
    EXPECT_EQ(RuntimeMessage([&] { m.Resize(4, -1); }), "Dimension error");
    EXPECT_EQ(m.Width(), 2);
    EXPECT_EQ(m.GetCell(1, 1), 1.0) << "a failed Resize leaves the matrix unchanged";
    m.Resize(5, 1);
    EXPECT_EQ(m.Width(), 5);
    EXPECT_EQ(m.Height(), 1);
    EXPECT_EQ(m.LineWidth(), 48);
    EXPECT_EQ(m.GetCell(4, 0), 0.0);
    EXPECT_EQ(RuntimeMessage([] { TDoubleMatrix bad(0, 3); }), "Dimension error");
}

TEST(MatrixStorage, CellAccessChecksBothCoordinates) {
    TDoubleMatrix m(3, 2);
    EXPECT_EQ(RuntimeMessage([&] { m.GetCell(3, 0); }), "Dimension error");
    EXPECT_EQ(RuntimeMessage([&] { m.GetCell(0, -1); }), "Dimension error");
    EXPECT_EQ(RuntimeMessage([&] { m.SetCell(0, 2, 1.0); }), "Dimension error");
    EXPECT_EQ(RuntimeMessage([&] { m.SetCell(-1, 0, 1.0); }), "Dimension error");
    m.SetCell(2, 1, 7.0);
    EXPECT_EQ(m.GetCell(2, 1), 7.0);
}

TEST(MatrixOperations, FlatArrayCopyPasteAndTranspose) {
    TDoubleMatrix m = FromRows({{1, 2, 3}, {4, 5, 6}});
    EXPECT_EQ(m.ToFlatArray(), (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_TRUE(TDoubleMatrix().ToFlatArray().empty());

    TDoubleMatrix c;
    c.CopyFrom(m);
    EXPECT_EQ(c.ToFlatArray(), m.ToFlatArray());
    EXPECT_EQ(c.LineWidth(), 32);
    c.CopyFrom(m, true);
    EXPECT_EQ(c.ToFlatArray(), m.ToFlatArray());

    auto t = m.Transposed();
    EXPECT_EQ(t->Width(), 2);
    EXPECT_EQ(t->Height(), 3);
    EXPECT_EQ(t->ToFlatArray(), (std::vector<double>{1, 4, 2, 5, 3, 6}));
    m.TransposeSelf();
    EXPECT_EQ(m.ToFlatArray(), (std::vector<double>{1, 4, 2, 5, 3, 6}));
    EXPECT_EQ(m.Width(), 2);

    TDoubleMatrix target(4, 3);
    TDoubleMatrix src = FromRows({{1, 2}, {3, 4}});
    target.PasteAt(src, 1, 1);
    EXPECT_EQ(target.ToFlatArray(), (std::vector<double>{0, 0, 0, 0, 0, 1, 2, 0, 0, 3, 4, 0}));
    // A block that would reach past the view is clipped to it.
    TDoubleMatrix small(3, 3);
    small.PasteAt(src, 2, 2);
    EXPECT_EQ(small.ToFlatArray(), (std::vector<double>{0, 0, 0, 0, 0, 0, 0, 0, 1}));
    TDoubleMatrix big(5, 1);
    EXPECT_EQ(RuntimeMessage([&] { small.PasteAt(big, 0, 0); }), "Dimension error");

    TDoubleMatrix empty;
    EXPECT_EQ(RuntimeMessage([&] { empty.Transposed(); }), "No data assigned");
    EXPECT_EQ(RuntimeMessage([&] { empty.TransposeSelf(); }), "No data assigned");
}

TEST(MatrixOperations, MultiplyByKeepsOtherWidthAndThisHeight) {
    TDoubleMatrix a = FromRows({{1, 2, 3}, {4, 5, 6}});
    TDoubleMatrix b = FromRows({{1, 0, 2, -1}, {0, 1, 1, 0}, {2, 1, 0, 1}});
    a.MultiplyBy(b);
    EXPECT_EQ(a.Width(), 4);
    EXPECT_EQ(a.Height(), 2);
    EXPECT_EQ(a.ToFlatArray(), (std::vector<double>{7, 5, 4, 2, 16, 11, 13, 2}));

    TDoubleMatrix c = FromRows({{1, 2, 3}, {4, 5, 6}});
    TDoubleMatrix twoRows(4, 2, 1.0);
    EXPECT_EQ(RuntimeMessage([&] { c.MultiplyBy(twoRows); }), "Dimension error");
    EXPECT_EQ(c.ToFlatArray(), (std::vector<double>{1, 2, 3, 4, 5, 6}));
    TDoubleMatrix empty;
    EXPECT_EQ(RuntimeMessage([&] { empty.MultiplyBy(b); }), "No data assigned");
    EXPECT_EQ(RuntimeMessage([&] { empty.Product(b); }), "No data assigned");
}

TEST(MatrixInvert, PreconditionsAndSingularMatricesLeaveTheMatrixUnchanged) {
    TDoubleMatrix empty;
    EXPECT_EQ(RuntimeMessage([&] { empty.Invert(); }), "No data assigned");
    TDoubleMatrix rect(2, 3, 1.0);
    EXPECT_EQ(RuntimeMessage([&] { rect.Invert(); }), "Operation only allowed on square matrices");

    TDoubleMatrix swap = FromRows({{0, 1}, {1, 0}});
    EXPECT_EQ(swap.Invert(), ssOk);
    EXPECT_EQ(swap.ToFlatArray(), (std::vector<double>{0, 1, 1, 0}));

    TDoubleMatrix singular = FromRows({{1, 2}, {2, 4}});
    EXPECT_EQ(singular.Invert(), ssSingular);
    EXPECT_EQ(singular.ToFlatArray(), (std::vector<double>{1, 2, 2, 4}));

    TDoubleMatrix zero(5, 5);
    EXPECT_EQ(zero.Invert(), ssSingular);
    EXPECT_EQ(zero.ToFlatArray(), std::vector<double>(25, 0.0));

    // Singular only in the second column, after pivoting has already changed the working copy.
    TDoubleMatrix late = FromRows({{1, 2, 0}, {2, 4, 0}, {0, 0, 1}});
    const auto before = Snapshot(late);
    EXPECT_EQ(late.Invert(), ssSingular);
    EXPECT_EQ(Snapshot(late), before);

    // A pivot of magnitude at the tolerance counts as zero; one just above does not.
    TDoubleMatrix tiny(1, 1, 5.0e-308);
    EXPECT_EQ(tiny.Invert(), ssSingular);
    TDoubleMatrix small(1, 1, 1.0e-300);
    EXPECT_EQ(small.Invert(), ssOk);
    EXPECT_DOUBLE_EQ(small.GetCell(0, 0), 1.0e300);
}

TEST(MatrixLU, FirstOfEqualMaximaIsThePivot) {
    // Column 0 holds 2, -2, 1: the upper of the two rows with |2| wins.
    double a[3 * 4] = {2, 1, 1, 0, -2, 3, 1, 0, 1, 1, 4, 0};
    int p[3] = {9, 9, 9};
    ASSERT_EQ(LUFactor(a, 32, 3, p), ssOk);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(a[0], 2.0);
    EXPECT_EQ(a[4], -1.0);  // L(0, 1) = -2 / 2
    EXPECT_EQ(a[8], 0.5);

    // A strictly greater value further down replaces the choice.
    double b[3 * 4] = {1, 1, 1, 0, -2, 3, 1, 0, 2.5, 1, 4, 0};
    ASSERT_EQ(LUFactor(b, 32, 3, p), ssOk);
    EXPECT_EQ(p[0], 2);
    EXPECT_EQ(b[0], 2.5);
}

// P A = L U for the factorisation of a random 9 x 9 matrix (recursion with odd splits).
TEST(MatrixLU, FactorsReproduceThePermutedMatrix) {
    constexpr int n = 9, lw = 8 * 10;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> a(10 * n), lu;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) a[y * 10 + x] = dist(rng);
    lu = a;
    int p[n];
    ASSERT_EQ(LUFactor(lu.data(), lw, n, p), ssOk);
    std::vector<double> pa = a;
    for (int i = 0; i < n; ++i)
        for (int x = 0; x < n; ++x) std::swap(pa[i * 10 + x], pa[p[i] * 10 + x]);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            double s = 0;
            for (int k = 0; k <= std::min(x, y); ++k) s += (k == y ? 1.0 : lu[y * 10 + k]) * lu[k * 10 + x];
            EXPECT_NEAR(s, pa[y * 10 + x], 1e-12) << x << "," << y;
        }
}

// Inverse times input is the identity, for sizes that take the small and the tiled trailing
// updates; the rows are shuffled so that every step has to pivot.
class MatrixInvertSize : public ::testing::TestWithParam<int> {};

TEST_P(MatrixInvertSize, InverseTimesInputIsIdentity) {
    const int n = GetParam();
    std::mt19937 rng(n);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    TDoubleMatrix a(n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) a.SetCell(x, order[y], dist(rng) + (x == y ? n : 0.0));
    TDoubleMatrix inv;
    inv.CopyFrom(a);
    ASSERT_EQ(inv.Invert(), ssOk);
    auto prod = inv.Product(a);
    double worst = 0;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) worst = std::max(worst, std::fabs(prod->GetCell(x, y) - (x == y ? 1.0 : 0.0)));
    EXPECT_LT(worst, 1e-13) << "n = " << n;
}

INSTANTIATE_TEST_SUITE_P(Sizes, MatrixInvertSize, ::testing::Values(1, 2, 3, 28, 49, 97, 100, 144));

TEST(MatrixBlocks, TiledProductMatchesPlainProductInEveryMode) {
    constexpr int wa = 70, ha = 100, wb = 130;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> dist(-1, 1);
    std::vector<double> a(wa * ha), b(wb * wa), plain(wb * ha), c(wb * ha);
    for (double& v : a) v = dist(rng);
    for (double& v : b) v = dist(rng);
    for (double& v : c) v = dist(rng);
    BlockMul(plain.data(), 8 * wb, a.data(), 8 * wa, b.data(), 8 * wb, wa, ha, wb, wa);
    alignas(16) static double scratch[4 * TileSize * TileSize];

    std::vector<double> assigned(wb * ha, 99.0), added = c, subtracted = c;
    BlockMulTiled(assigned.data(), 8 * wb, a.data(), 8 * wa, b.data(), 8 * wb, wa, ha, wb, wa, tmAssign, scratch);
    BlockMulTiled(added.data(), 8 * wb, a.data(), 8 * wa, b.data(), 8 * wb, wa, ha, wb, wa, tmAdd, scratch);
    BlockMulTiled(subtracted.data(), 8 * wb, a.data(), 8 * wa, b.data(), 8 * wb, wa, ha, wb, wa, tmSubtract,
                  scratch);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        EXPECT_NEAR(assigned[i], plain[i], 1e-12);
        EXPECT_NEAR(added[i], c[i] + plain[i], 1e-12);
        EXPECT_NEAR(subtracted[i], c[i] - plain[i], 1e-12);
    }
}

TEST(MatrixBlocks, ScaleShiftAndSolve) {
    double m[2 * 2] = {1, 2, 3, 4};
    BlockScaleShift(m, 16, 2, 2, 2.0, -1.0);
    EXPECT_EQ(m[0], 1.0);
    EXPECT_EQ(m[3], 7.0);

    // Solve [[2, 1], [4, 3]] x = (3, 7) with a strided right-hand side.
    double a[4] = {2, 1, 4, 3};
    int p[2];
    ASSERT_EQ(LUFactor(a, 16, 2, p), ssOk);
    double rhs[4] = {3, -1, 7, -1};
    LUSolve(a, 16, 2, rhs, 16, p);
    EXPECT_NEAR(rhs[0], 1.0, 1e-15);
    EXPECT_NEAR(rhs[2], 1.0, 1e-15);
    EXPECT_EQ(rhs[1], -1.0) << "elements between the strided values are not touched";
}

TEST(MatrixBlocks, AssertionTexts) {
    double buf[64] = {};
    EXPECT_EQ(AssertionMessage([&] { BlockCopy(buf, 8, buf, 8, 0, 1); }), "Dimension error");
    EXPECT_EQ(AssertionMessage([&] { BlockCopy(buf, 8, buf, 16, 2, 1); }), "Dimension error");
    EXPECT_EQ(AssertionMessage([&] { BlockMul(buf, 16, buf, 16, buf, 16, 2, 2, 2, 3); }), "Dimension error");
    EXPECT_EQ(AssertionMessage([&] { BlockMul(buf, 16, buf, 8, buf, 16, 2, 2, 2, 2); }), "Line widths do not match");
    EXPECT_EQ(AssertionMessage([&] { BlockMul(buf, 8, buf, 16, buf, 16, 2, 2, 2, 2); }), "Line widths do not match");
    EXPECT_EQ(AssertionMessage([&] { BlockAdd(buf, 16, buf, 16, buf, 16, 2, 0); }), "Dimension error");
    EXPECT_EQ(AssertionMessage([&] { BlockSub(buf, 8, buf, 16, buf, 16, 2, 2); }), "Result dimension error");
    EXPECT_EQ(AssertionMessage([&] { BlockMulTiled(buf, 16, buf, 16, buf, 16, 2, 2, 2, 3, tmAssign, buf); }),
              "Dimension error");
    EXPECT_EQ(AssertionMessage([&] { BlockMulTiled(buf, 8, buf, 16, buf, 16, 2, 2, 2, 2, tmAdd, buf); }),
              "Line widths do not match");
    EXPECT_EQ(AssertionMessage([&] { BlockScaleShift(buf, 8, 2, 2, 1, 0); }), "Dimension error");
    EXPECT_EQ(AssertionMessage([&] { BlockTranspose(buf, 16, buf, 16, 0, 2); }), "Dimension Error");
    EXPECT_EQ(AssertionMessage([&] { BlockTranspose(buf, 16, buf, 24, 3, 3); }), "Line width does not match");
    int p[4];
    EXPECT_EQ(AssertionMessage([&] { LUSolve(buf, 16, 3, buf, 8, p); }), "Dimension Error");
    EXPECT_EQ(AssertionMessage([&] { BlockInvert(buf, 16, 3); }), "Dimension Error");
    EXPECT_EQ(AssertionMessage([&] { BlockInvert(buf, 16, 0); }), "Dimension error");
    // A product with a mismatched matrix reaches the block routine's assertion.
    TDoubleMatrix a(3, 2), b(2, 2);
    EXPECT_EQ(AssertionMessage([&] { a.Product(b); }), "Dimension error");
}

}  // namespace
}  // namespace tintavo
