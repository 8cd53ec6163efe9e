// Unit Matrix: a dense matrix of doubles and the row-strided block routines behind it.
//
// The thin-plate-spline fit builds its coefficient system in a TDoubleMatrix, inverts it and
// multiplies the inverse with the right-hand side; nothing else uses matrices. Only what the
// spline needs is here.
//
// Storage is row-major. The data pointer is aligned to 16 bytes and every stored row of a
// matrix wider than one column holds an even number of doubles (an odd width carries one spare
// zero element), so rows always start on 16-byte boundaries. All operations act on the view:
// Width x Height elements starting at storage element (ViewX, ViewY). Every matrix this system
// creates is full (its view is its whole storage).
//
// Class preconditions raise std::runtime_error with a bare message ("Dimension error"). The
// block routines check theirs with TINTAVO_ASSERT, whose message names the unit and the line.
#pragma once

#include <memory>
#include <vector>

namespace tintavo {

enum TSolveStatus { ssOk = 0, ssSingular = 1 };

// A pivot whose absolute value is at most this counts as zero.
constexpr long double PivotTolerance = 1.0L / 1.7E307L;
// Edge of the tiles of the trailing update in LUFactor.
constexpr int TileSize = 48;

class TDoubleMatrix {
public:
    // An empty matrix (no storage). Operations that need data raise "No data assigned".
    TDoubleMatrix() = default;
    // Resize(width, height), then every element set to `fill` unless it is 0.
    TDoubleMatrix(int width, int height, double fill = 0.0);
    virtual ~TDoubleMatrix();
    TDoubleMatrix(const TDoubleMatrix&) = delete;
    TDoubleMatrix& operator=(const TDoubleMatrix&) = delete;
    TDoubleMatrix(TDoubleMatrix&& other) noexcept;
    TDoubleMatrix& operator=(TDoubleMatrix&& other) noexcept;

    // Frees the old storage and allocates zero-filled storage of the new size; the view becomes
    // the whole storage. Both sizes must be > 0 ("Dimension error").
    void Resize(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int LineWidth() const { return lineWidth_; }  // bytes from one storage row to the next
    int StorageWidth() const { return storageWidth_; }
    int StorageHeight() const { return storageHeight_; }
    int ViewX() const { return viewX_; }
    int ViewY() const { return viewY_; }
    bool IsFull() const {
        return viewX_ == 0 && viewY_ == 0 && width_ == storageWidth_ && height_ == storageHeight_;
    }

    // Address of view element (0, 0); nullptr for an empty matrix.
    double* FirstElement();
    const double* FirstElement() const;

    double GetCell(int x, int y) const;
    void SetCell(int x, int y, double value);

    // viewOnly: becomes a full copy of source's view. Otherwise copies source's whole storage
    // and takes over its view.
    void CopyFrom(const TDoubleMatrix& source, bool viewOnly = false);
    // Copies source's view into this view with its top-left element at (x, y). Source must not
    // be larger than this view ("Dimension error"). Elements that would land outside this view
    // are not written.
    void PasteAt(const TDoubleMatrix& source, int x, int y);
    // The view row by row, row 0 first.
    std::vector<double> ToFlatArray() const;

    // Inverts the (square) view in place. On ssSingular the matrix is unchanged.
    TSolveStatus Invert();

    // this := this x Other. Requires a full matrix and Width = Other.Height.
    virtual void MultiplyBy(const TDoubleMatrix& other);
    // A new matrix this x Other (Other.Width columns, Height rows).
    virtual std::unique_ptr<TDoubleMatrix> Product(const TDoubleMatrix& other) const;

    std::unique_ptr<TDoubleMatrix> Transposed() const;
    void TransposeSelf();

private:
    void Require(bool condition, const char* message) const;
    void Release();
    double* Row(int y) { return reinterpret_cast<double*>(reinterpret_cast<char*>(FirstElement()) + static_cast<std::ptrdiff_t>(y) * lineWidth_); }
    const double* Row(int y) const {
        return reinterpret_cast<const double*>(reinterpret_cast<const char*>(FirstElement()) +
                                               static_cast<std::ptrdiff_t>(y) * lineWidth_);
    }

    void* memory_ = nullptr;  // the heap block as allocated
    double* data_ = nullptr;  // memory_ rounded up to the next multiple of 16 (strictly above it)
    int lineWidth_ = 0;
    int storageWidth_ = 0;
    int storageHeight_ = 0;
    int width_ = 0;
    int height_ = 0;
    int viewX_ = 0;
    int viewY_ = 0;
};

// Block routines. Blocks are row-strided; line widths are in bytes. Widths and heights are in
// elements.

// Copies height rows of width doubles.
void BlockCopy(double* dest, int destLineWidth, const double* src, int srcLineWidth, int width, int height);

// C = A x B. A is widthA x heightA, B is widthB x heightB (heightB = widthA); C is widthB x
// heightA. Each element is summed from 0 over k in order.
void BlockMul(double* dest, int destLineWidth, const double* a, int aLineWidth, const double* b, int bLineWidth,
              int widthA, int heightA, int widthB, int heightB);

// C = A + B and C = A - B element by element; C may be A.
void BlockAdd(double* dest, int destLineWidth, const double* a, int aLineWidth, const double* b, int bLineWidth,
              int width, int height);
void BlockSub(double* dest, int destLineWidth, const double* a, int aLineWidth, const double* b, int bLineWidth,
              int width, int height);

enum TTiledMulMode { tmAssign = 0, tmAdd = 1, tmSubtract = 2 };

// C := A x B, C += A x B or C -= A x B, in tiles of at most TileSize x TileSize. `scratch`
// holds at least 2 x TileSize x TileSize doubles, aligned to 16 bytes.
void BlockMulTiled(double* dest, int destLineWidth, const double* a, int aLineWidth, const double* b,
                   int bLineWidth, int widthA, int heightA, int widthB, int heightB, TTiledMulMode mode,
                   double* scratch);

// x := x * scale + shift for every element.
void BlockScaleShift(double* dest, int lineWidth, int width, int height, double scale, double shift);

// Destination row j := source column j. The source is width x height.
void BlockTranspose(double* dest, int destLineWidth, const double* src, int srcLineWidth, int width, int height);

// In-place LU factorisation with partial pivoting of an n x n block. pivots receives n row
// indices: step i exchanged row i with row pivots[i]. The strict lower triangle holds L (unit
// diagonal implied), the rest U.
TSolveStatus LUFactor(double* a, int lineWidth, int n, int* pivots);

// Solves LU x = b in place for one right-hand side b whose elements are bStride bytes apart.
void LUSolve(const double* lu, int lineWidth, int n, double* b, int bStride, const int* pivots);

// Inverse of an n x n block, in place. On ssSingular the block is unchanged.
TSolveStatus BlockInvert(double* a, int lineWidth, int n);

}  // namespace tintavo
