#include "engine/Matrix.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "common/Errors.h"

namespace tintavo {

namespace {

constexpr const char* kUnit = "Matrix";

inline double* Elem(double* base, int lineWidth, int x, int y) {
    return reinterpret_cast<double*>(reinterpret_cast<char*>(base) + static_cast<std::ptrdiff_t>(y) * lineWidth) + x;
}
inline const double* Elem(const double* base, int lineWidth, int x, int y) {
    return reinterpret_cast<const double*>(reinterpret_cast<const char*>(base) +
                                           static_cast<std::ptrdiff_t>(y) * lineWidth) +
           x;
}

inline int RoundUpEven(int v) { return (v + 1) & ~1; }

// Row length in bytes of a matrix `width` columns wide: odd widths above 1 carry a spare
// element so that every row starts on a 16-byte boundary.
inline int LineWidthFor(int width) { return width > 1 ? 8 * RoundUpEven(width) : 8 * width; }

// A zero-filled block of doubles aligned to 16 bytes, released on scope exit.
class TAlignedBlock {
public:
    explicit TAlignedBlock(std::size_t count) {
        raw_ = std::calloc(count * sizeof(double) + 16, 1);
        if (!raw_) throw std::bad_alloc();
        data_ = reinterpret_cast<double*>((reinterpret_cast<std::uintptr_t>(raw_) & ~std::uintptr_t(15)) + 16);
    }
    ~TAlignedBlock() { std::free(raw_); }
    TAlignedBlock(const TAlignedBlock&) = delete;
    TAlignedBlock& operator=(const TAlignedBlock&) = delete;
    double* Data() { return data_; }

private:
    void* raw_ = nullptr;
    double* data_ = nullptr;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// Block routines

void BlockCopy(double* dest, int destLineWidth, const double* src, int srcLineWidth, int width, int height) {
    TINTAVO_ASSERT(width >= 1 && height >= 1 && destLineWidth >= 8 * width && srcLineWidth >= 8 * width, kUnit,
                   "Dimension error");
    for (int y = 0; y < height; ++y)
        std::memmove(Elem(dest, destLineWidth, 0, y), Elem(src, srcLineWidth, 0, y), sizeof(double) * width);
}

void BlockMul(double* dest, int destLineWidth, const double* a, int aLineWidth, const double* b, int bLineWidth,
              int widthA, int heightA, int widthB, int heightB) {
    TINTAVO_ASSERT(widthA >= 1 && heightA >= 1 && heightB == widthA, kUnit, "Dimension error");
    TINTAVO_ASSERT(aLineWidth >= 8 * widthA && bLineWidth >= 8 * widthB && destLineWidth >= 8 * widthB, kUnit,
                   "Line widths do not match");
    for (int y = 0; y < heightA; ++y) {
        const double* rowA = Elem(a, aLineWidth, 0, y);
        double* rowC = Elem(dest, destLineWidth, 0, y);
        for (int x = 0; x < widthB; ++x) {
            double sum = 0.0;
            for (int k = 0; k < widthA; ++k) sum += rowA[k] * *Elem(b, bLineWidth, x, k);
            rowC[x] = sum;
        }
    }
}

void BlockAdd(double* dest, int destLineWidth, const double* a, int aLineWidth, const double* b, int bLineWidth,
              int width, int height) {
    TINTAVO_ASSERT(width >= 1 && height >= 1, kUnit, "Dimension error");
    TINTAVO_ASSERT(destLineWidth >= 8 * width && aLineWidth >= 8 * width && bLineWidth >= 8 * width, kUnit,
                   "Result dimension error");
    for (int y = 0; y < height; ++y) {
        double* c = Elem(dest, destLineWidth, 0, y);
        const double* ra = Elem(a, aLineWidth, 0, y);
        const double* rb = Elem(b, bLineWidth, 0, y);
        for (int x = 0; x < width; ++x) c[x] = ra[x] + rb[x];
    }
}

void BlockSub(double* dest, int destLineWidth, const double* a, int aLineWidth, const double* b, int bLineWidth,
              int width, int height) {
    TINTAVO_ASSERT(width >= 1 && height >= 1, kUnit, "Dimension error");
    TINTAVO_ASSERT(destLineWidth >= 8 * width && aLineWidth >= 8 * width && bLineWidth >= 8 * width, kUnit,
                   "Result dimension error");
    for (int y = 0; y < height; ++y) {
        double* c = Elem(dest, destLineWidth, 0, y);
        const double* ra = Elem(a, aLineWidth, 0, y);
        const double* rb = Elem(b, bLineWidth, 0, y);
        for (int x = 0; x < width; ++x) c[x] = ra[x] - rb[x];
    }
}

void BlockMulTiled(double* dest, int destLineWidth, const double* a, int aLineWidth, const double* b,
                   int bLineWidth, int widthA, int heightA, int widthB, int heightB, TTiledMulMode mode,
                   double* scratch) {
    TINTAVO_ASSERT(widthA == heightB, kUnit, "Dimension error");
    if (widthA < 1 || heightA < 1 || widthB < 1) return;
    TINTAVO_ASSERT(aLineWidth >= 8 * widthA && bLineWidth >= 8 * widthB && destLineWidth >= 8 * widthB, kUnit,
                   "Line widths do not match");
    constexpr int tileLine = 8 * TileSize;
    double* acc = scratch;
    double* prod = scratch + TileSize * TileSize;
    for (int ty = 0; ty < heightA; ty += TileSize) {
        const int th = std::min(TileSize, heightA - ty);
        for (int tx = 0; tx < widthB; tx += TileSize) {
            const int tw = std::min(TileSize, widthB - tx);
            for (int y = 0; y < th; ++y) std::fill_n(acc + y * TileSize, tw, 0.0);
            for (int tk = 0; tk < widthA; tk += TileSize) {
                const int kw = std::min(TileSize, widthA - tk);
                BlockMul(prod, tileLine, Elem(a, aLineWidth, tk, ty), aLineWidth, Elem(b, bLineWidth, tx, tk),
                         bLineWidth, kw, th, tw, kw);
                BlockAdd(acc, tileLine, acc, tileLine, prod, tileLine, tw, th);
            }
            double* c = Elem(dest, destLineWidth, tx, ty);
            switch (mode) {
                case tmAssign:
                    BlockCopy(c, destLineWidth, acc, tileLine, tw, th);
                    break;
                case tmAdd:
                    BlockAdd(c, destLineWidth, c, destLineWidth, acc, tileLine, tw, th);
                    break;
                case tmSubtract:
                    BlockSub(c, destLineWidth, c, destLineWidth, acc, tileLine, tw, th);
                    break;
            }
        }
    }
}

void BlockScaleShift(double* dest, int lineWidth, int width, int height, double scale, double shift) {
    TINTAVO_ASSERT(width >= 1 && height >= 1 && lineWidth >= 8 * width, kUnit, "Dimension error");
    for (int y = 0; y < height; ++y) {
        double* row = Elem(dest, lineWidth, 0, y);
        for (int x = 0; x < width; ++x) row[x] = row[x] * scale + shift;
    }
}

void BlockTranspose(double* dest, int destLineWidth, const double* src, int srcLineWidth, int width, int height) {
    TINTAVO_ASSERT(width >= 1 && height >= 1, kUnit, "Dimension Error");
    TINTAVO_ASSERT(destLineWidth >= 8 * height, kUnit, "Line width does not match");
    for (int y = 0; y < height; ++y) {
        const double* row = Elem(src, srcLineWidth, 0, y);
        for (int x = 0; x < width; ++x) *Elem(dest, destLineWidth, y, x) = row[x];
    }
}

namespace {

inline void SwapRows(double* a, int lineWidth, int x0, int count, int row1, int row2) {
    if (row1 == row2 || count < 1) return;
    std::swap_ranges(Elem(a, lineWidth, x0, row1), Elem(a, lineWidth, x0, row1) + count, Elem(a, lineWidth, x0, row2));
}

// The recursive step on a column block of c columns and r rows (c <= r); pivots relative to the
// block top. scratch holds 4 x TileSize x TileSize doubles.
TSolveStatus LUFactorBlock(double* a, int lw, int c, int r, int* p, double* scratch) {
    if (std::min(c, r) < 2) {
        // One column: the first of equal maxima wins.
        int pivotRow = 0;
        double maxAbs = std::fabs(*Elem(a, lw, 0, 0));
        for (int y = 1; y < r; ++y) {
            const double v = std::fabs(*Elem(a, lw, 0, y));
            if (v > maxAbs) {
                maxAbs = v;
                pivotRow = y;
            }
        }
        p[0] = pivotRow;
        if (static_cast<long double>(maxAbs) <= PivotTolerance || std::isnan(maxAbs)) return ssSingular;
        const double pivot = *Elem(a, lw, 0, pivotRow);
        const double inv = 1.0 / pivot;
        for (int y = 0; y < r; ++y) *Elem(a, lw, 0, y) *= inv;
        *Elem(a, lw, 0, pivotRow) = *Elem(a, lw, 0, 0);
        *Elem(a, lw, 0, 0) = pivot;
        return ssOk;
    }

    const int h = std::min(c, r) / 2;
    if (LUFactorBlock(a, lw, h, r, p, scratch) != ssOk) return ssSingular;

    const int right = c - h;
    for (int i = 0; i < h; ++i) SwapRows(a, lw, h, right, i, p[i]);

    // A12 := L11^-1 A12 (unit lower triangle).
    for (int k = 0; k + 1 < h; ++k) {
        const double* rowK = Elem(a, lw, h, k);
        for (int j = k + 1; j < h; ++j) {
            const double l = *Elem(a, lw, k, j);
            double* rowJ = Elem(a, lw, h, j);
            for (int x = 0; x < right; ++x) rowJ[x] -= l * rowK[x];
        }
    }

    // A22 -= A21 x A12.
    const int lower = r - h;
    if (lower > 0 && right > 0) {
        double* a22 = Elem(a, lw, h, h);
        const double* a21 = Elem(a, lw, 0, h);
        const double* a12 = Elem(a, lw, h, 0);
        if (right > TileSize || lower > TileSize) {
            BlockMulTiled(a22, lw, a21, lw, a12, lw, h, lower, right, h, tmSubtract, scratch);
        } else {
            const int scratchLine = 8 * RoundUpEven(right);
            BlockMul(scratch, scratchLine, a21, lw, a12, lw, h, lower, right, h);
            BlockSub(a22, lw, a22, lw, scratch, scratchLine, right, lower);
        }
    }

    if (LUFactorBlock(Elem(a, lw, h, h), lw, right, lower, p + h, scratch) != ssOk) return ssSingular;
    for (int i = h; i < c; ++i) p[i] += h;

    for (int i = h; i < std::min(c, r); ++i) SwapRows(a, lw, 0, h, i, p[i]);
    return ssOk;
}

}  // namespace

TSolveStatus LUFactor(double* a, int lineWidth, int n, int* pivots) {
    std::fill_n(pivots, n, 0);
    if (n < 1) return ssSingular;
    // Reserved once per call so that the recursion allocates nothing.
    alignas(16) double scratch[4 * TileSize * TileSize];
    return LUFactorBlock(a, lineWidth, n, n, pivots, scratch);
}

void LUSolve(const double* lu, int lineWidth, int n, double* b, int bStride, const int* pivots) {
    TINTAVO_ASSERT(lineWidth >= 8 * n, kUnit, "Dimension Error");
    auto B = [&](int i) -> double& {
        return *reinterpret_cast<double*>(reinterpret_cast<char*>(b) + static_cast<std::ptrdiff_t>(i) * bStride);
    };
    int first = -1;
    for (int i = 0; i < n; ++i) {
        const int ip = pivots[i];
        double v = B(ip);
        B(ip) = B(i);
        if (first >= 0) {
            const double* row = Elem(lu, lineWidth, 0, i);
            for (int k = first; k < i; ++k) v -= row[k] * B(k);
        } else if (v != 0.0) {
            first = i;
        }
        B(i) = v;
    }
    for (int i = n - 1; i >= 0; --i) {
        const double* row = Elem(lu, lineWidth, 0, i);
        double v = B(i);
        for (int k = i + 1; k < n; ++k) v -= row[k] * B(k);
        B(i) = v / row[i];
    }
}

TSolveStatus BlockInvert(double* a, int lineWidth, int n) {
    TINTAVO_ASSERT(lineWidth >= 8 * n, kUnit, "Dimension Error");
    TINTAVO_ASSERT(n >= 1, kUnit, "Dimension error");
    const int copyLine = 8 * RoundUpEven(n);
    TAlignedBlock lu(static_cast<std::size_t>(RoundUpEven(n)) * n);
    BlockCopy(lu.Data(), copyLine, a, lineWidth, n, n);
    std::vector<int> pivots(n);
    if (LUFactor(lu.Data(), copyLine, n, pivots.data()) != ssOk) return ssSingular;
    std::vector<double> work(n);
    for (int i = 0; i < n; ++i) {
        std::fill(work.begin(), work.end(), 0.0);
        work[i] = 1.0;
        LUSolve(lu.Data(), copyLine, n, work.data(), sizeof(double), pivots.data());
        for (int y = 0; y < n; ++y) *Elem(a, lineWidth, i, y) = work[y];
    }
    return ssOk;
}

// ---------------------------------------------------------------------------------------------
// TDoubleMatrix

TDoubleMatrix::TDoubleMatrix(int width, int height, double fill) {
    Resize(width, height);
    if (fill != 0.0)
        for (int y = 0; y < height_; ++y) std::fill_n(Row(y), width_, fill);
}

TDoubleMatrix::~TDoubleMatrix() { Release(); }

TDoubleMatrix::TDoubleMatrix(TDoubleMatrix&& other) noexcept { *this = std::move(other); }

TDoubleMatrix& TDoubleMatrix::operator=(TDoubleMatrix&& other) noexcept {
    if (this == &other) return *this;
    Release();
    memory_ = other.memory_;
    data_ = other.data_;
    lineWidth_ = other.lineWidth_;
    storageWidth_ = other.storageWidth_;
    storageHeight_ = other.storageHeight_;
    width_ = other.width_;
    height_ = other.height_;
    viewX_ = other.viewX_;
    viewY_ = other.viewY_;
    other.memory_ = nullptr;  // the moved-from matrix is empty
    other.Release();
    return *this;
}

void TDoubleMatrix::Release() {
    std::free(memory_);
    memory_ = nullptr;
    data_ = nullptr;
    lineWidth_ = storageWidth_ = storageHeight_ = width_ = height_ = viewX_ = viewY_ = 0;
}

void TDoubleMatrix::Require(bool condition, const char* message) const {
    if (!condition) throw std::runtime_error(message);
}

void TDoubleMatrix::Resize(int width, int height) {
    Require(width > 0 && height > 0, "Dimension error");
    const int lineWidth = LineWidthFor(width);
    // 16 bytes of slack: the data starts at the next multiple of 16 strictly above the block.
    void* block = std::calloc(static_cast<std::size_t>(lineWidth) * height + 16, 1);
    if (!block) throw std::bad_alloc();
    Release();
    memory_ = block;
    data_ = reinterpret_cast<double*>((reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t(15)) + 16);
    lineWidth_ = lineWidth;
    storageWidth_ = width_ = width;
    storageHeight_ = height_ = height;
}

double* TDoubleMatrix::FirstElement() {
    if (storageWidth_ == 0 || storageHeight_ == 0) return nullptr;
    return Elem(data_, lineWidth_, viewX_, viewY_);
}

const double* TDoubleMatrix::FirstElement() const {
    if (storageWidth_ == 0 || storageHeight_ == 0) return nullptr;
    return Elem(data_, lineWidth_, viewX_, viewY_);
}

double TDoubleMatrix::GetCell(int x, int y) const {
    Require(x >= 0 && x < width_ && y >= 0 && y < height_, "Dimension error");
    return Row(y)[x];
}

void TDoubleMatrix::SetCell(int x, int y, double value) {
    Require(x >= 0 && x < width_, "Dimension error");
    Require(y >= 0 && y < height_, "Dimension error");
    Row(y)[x] = value;
}

void TDoubleMatrix::CopyFrom(const TDoubleMatrix& source, bool viewOnly) {
    if (&source == this) return;
    if (viewOnly) {
        Resize(source.width_, source.height_);
        BlockCopy(FirstElement(), lineWidth_, source.FirstElement(), source.lineWidth_, width_, height_);
        return;
    }
    Resize(source.storageWidth_, source.storageHeight_);
    std::memcpy(data_, source.data_, static_cast<std::size_t>(lineWidth_) * storageHeight_);
    width_ = source.width_;
    height_ = source.height_;
    viewX_ = source.viewX_;
    viewY_ = source.viewY_;
}

void TDoubleMatrix::PasteAt(const TDoubleMatrix& source, int x, int y) {
    Require(source.width_ <= width_ && source.height_ <= height_, "Dimension error");
    if (source.width_ < 1 || source.height_ < 1) return;
    // Clip to this view so that no element outside it (let alone outside the storage) is written.
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + source.width_, width_), y1 = std::min(y + source.height_, height_);
    if (x0 >= x1 || y0 >= y1) return;
    BlockCopy(Elem(FirstElement(), lineWidth_, x0, y0), lineWidth_,
              Elem(source.FirstElement(), source.lineWidth_, x0 - x, y0 - y), source.lineWidth_, x1 - x0, y1 - y0);
}

std::vector<double> TDoubleMatrix::ToFlatArray() const {
    std::vector<double> out;
    if (width_ < 1 || height_ < 1) return out;
    out.reserve(static_cast<std::size_t>(width_) * height_);
    for (int y = 0; y < height_; ++y) out.insert(out.end(), Row(y), Row(y) + width_);
    return out;
}

TSolveStatus TDoubleMatrix::Invert() {
    Require(width_ >= 1 && height_ >= 1, "No data assigned");
    Require(width_ == height_, "Operation only allowed on square matrices");
    TDoubleMatrix copy;
    copy.CopyFrom(*this, true);
    const TSolveStatus status = BlockInvert(copy.FirstElement(), copy.lineWidth_, copy.width_);
    if (status == ssOk) CopyFrom(copy);
    return status;
}

void TDoubleMatrix::MultiplyBy(const TDoubleMatrix& other) {
    Require(width_ >= 1 && height_ >= 1, "No data assigned");
    Require(IsFull(), "Operation only allowed on full matrices");
    Require(width_ == other.height_, "Dimension error");
    std::unique_ptr<TDoubleMatrix> p = Product(other);
    CopyFrom(*p);
}

std::unique_ptr<TDoubleMatrix> TDoubleMatrix::Product(const TDoubleMatrix& other) const {
    Require(width_ >= 1 && height_ >= 1, "No data assigned");
    auto result = std::make_unique<TDoubleMatrix>(other.width_, height_);
    BlockMul(result->FirstElement(), result->lineWidth_, FirstElement(), lineWidth_, other.FirstElement(),
             other.lineWidth_, width_, height_, other.width_, other.height_);
    return result;
}

std::unique_ptr<TDoubleMatrix> TDoubleMatrix::Transposed() const {
    Require(width_ >= 1 && height_ >= 1, "No data assigned");
    auto result = std::make_unique<TDoubleMatrix>(height_, width_);
    BlockTranspose(result->FirstElement(), result->lineWidth_, FirstElement(), lineWidth_, width_, height_);
    return result;
}

void TDoubleMatrix::TransposeSelf() {
    Require(width_ >= 1 && height_ >= 1, "No data assigned");
    Require(IsFull(), "Operation only allowed on full matrices");
    std::unique_ptr<TDoubleMatrix> t = Transposed();
    CopyFrom(*t);
}

}  // namespace tintavo
