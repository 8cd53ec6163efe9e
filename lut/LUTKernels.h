// The arithmetic of one LUT lookup, shared by every routine that applies a LUT (to a colour, a
// 24-bit bitmap, a precise image), so that all of them compute the same values. Internal to lut/.
#pragma once

#include <algorithm>
#include <cstdint>

#include "lut/LUT.h"

namespace tintavo::lutkernel {

// Splits a lookup coordinate x = n * input into a cell index and a weight. The coordinate is
// clamped to 0..n first (NaN counts as 0). At the top of the range the cell below is used with
// weight 1, which yields exactly the last entry, as the upper neighbour with weight 0 would,
// without reading past the table.
inline void Cell(double x, int n, int& i, double& f) {
    if (!(x >= 0.0)) x = 0.0;
    if (x > n) x = n;
    i = static_cast<int>(x);  // truncation toward zero
    f = x - i;
    if (i >= n) {
        i = n - 1;
        f = x - i;
    }
}

inline double Lerp(double a, double b, double f) { return (1.0 - f) * a + f * b; }

inline double ClampUnit(double v) {
    if (!(v >= 0.0)) return 0.0;  // below 0 or NaN
    if (v > 1.0) return 1.0;
    return v;
}

inline TLutColor Interpolate1D(const TLUT& lut, const TLutColor& in) {
    const int n = std::min(lut.Size1D, MaxLut1DSize) - 1;  // never beyond the capacity
    if (n < 0) return in;                // no table: the colour passes unchanged
    if (n == 0) return lut.Table1D[0];  // a single entry: every input maps to it
    int i;
    double f;
    TLutColor out;
    Cell(n * in.R, n, i, f);
    out.R = Lerp(lut.Table1D[i].R, lut.Table1D[i + 1].R, f);
    Cell(n * in.G, n, i, f);
    out.G = Lerp(lut.Table1D[i].G, lut.Table1D[i + 1].G, f);
    Cell(n * in.B, n, i, f);
    out.B = Lerp(lut.Table1D[i].B, lut.Table1D[i + 1].B, f);
    return out;
}

// Trilinear interpolation in a cell given by its four blue pairs (c000[0..1] the nodes at
// (r, g, b) and (r, g, b + 1), c010 at g + 1, c100 at r + 1, c110 at r + 1 and g + 1), blue
// first, then green, then red.
inline TLutColor TrilinearCorners(const TLutColor* c000, const TLutColor* c010, const TLutColor* c100,
                                  const TLutColor* c110, double fr, double fg, double fb) {
    TLutColor out;
#define TINTAVO_CHANNEL(C)                                   \
    {                                                        \
        const double s00 = Lerp(c000[0].C, c000[1].C, fb);   \
        const double s01 = Lerp(c010[0].C, c010[1].C, fb);   \
        const double s10 = Lerp(c100[0].C, c100[1].C, fb);   \
        const double s11 = Lerp(c110[0].C, c110[1].C, fb);   \
        const double t0 = Lerp(s00, s01, fg);                \
        const double t1 = Lerp(s10, s11, fg);                \
        out.C = Lerp(t0, t1, fr);                            \
    }
    TINTAVO_CHANNEL(R)
    TINTAVO_CHANNEL(G)
    TINTAVO_CHANNEL(B)
#undef TINTAVO_CHANNEL
    return out;
}

// The tetrahedron of the cell that holds the point: the cell is cut into six tetrahedra along
// its main diagonal (000 to 111), and the point is the weighted sum of the four corners of its
// tetrahedron. Which one is decided by the order of the three weights.
struct TTetrahedron {
    const TLutColor* A;  // always node 000
    const TLutColor* B;
    const TLutColor* C;
    const TLutColor* D;  // always node 111
    double WA, WB, WC, WD;
};

inline TTetrahedron PickTetrahedron(const TLutColor* c000, const TLutColor* c010, const TLutColor* c100,
                                    const TLutColor* c110, double fr, double fg, double fb) {
    if (fr > fg) {
        if (fg > fb) return {c000, &c100[0], &c110[0], &c110[1], 1.0 - fr, fr - fg, fg - fb, fb};  // r > g > b
        if (fr > fb) return {c000, &c100[0], &c100[1], &c110[1], 1.0 - fr, fr - fb, fb - fg, fg};  // r > b >= g
        return {c000, &c000[1], &c100[1], &c110[1], 1.0 - fb, fb - fr, fr - fg, fg};               // b >= r > g
    }
    if (fb > fg) return {c000, &c000[1], &c010[1], &c110[1], 1.0 - fb, fb - fg, fg - fr, fr};  // b > g >= r
    if (fb > fr) return {c000, &c010[0], &c010[1], &c110[1], 1.0 - fg, fg - fb, fb - fr, fr};  // g >= b > r
    return {c000, &c010[0], &c110[0], &c110[1], 1.0 - fg, fg - fr, fr - fb, fb};               // g >= r >= b
}

inline TLutColor TetrahedralCorners(const TLutColor* c000, const TLutColor* c010, const TLutColor* c100,
                                    const TLutColor* c110, double fr, double fg, double fb) {
    const TTetrahedron t = PickTetrahedron(c000, c010, c100, c110, fr, fg, fb);
    return {t.WA * t.A->R + t.WB * t.B->R + t.WC * t.C->R + t.WD * t.D->R,
            t.WA * t.A->G + t.WB * t.B->G + t.WC * t.C->G + t.WD * t.D->G,
            t.WA * t.A->B + t.WB * t.B->B + t.WC * t.C->B + t.WD * t.D->B};
}

inline TLutColor Interpolate3D(const TLUT& lut, const TLutColor& in, TLutInterpolation interpolation) {
    const int n = std::min(lut.Size3D, MaxLut3DSize) - 1;  // never beyond the capacity
    if (n < 0) return in;                      // no table: the colour passes unchanged
    if (n == 0) return lut.Table3D[0][0][0];  // a single node: every input maps to it
    int ir, ig, ib;
    double fr, fg, fb;
    Cell(n * in.R, n, ir, fr);
    Cell(n * in.G, n, ig, fg);
    Cell(n * in.B, n, ib, fb);
    const TLutColor* c000 = &lut.Table3D[ir][ig][ib];
    const TLutColor* c010 = &lut.Table3D[ir][ig + 1][ib];
    const TLutColor* c100 = &lut.Table3D[ir + 1][ig][ib];
    const TLutColor* c110 = &lut.Table3D[ir + 1][ig + 1][ib];
    return interpolation == TLutInterpolation::Tetrahedral ? TetrahedralCorners(c000, c010, c100, c110, fr, fg, fb)
                                                           : TrilinearCorners(c000, c010, c100, c110, fr, fg, fb);
}

}  // namespace tintavo::lutkernel
