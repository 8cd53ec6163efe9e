// Unit ThinPlateSplines: an interpolating thin-plate spline from points to points of the same
// dimension.
//
// Fitted once to control-point pairs (source -> target), it reproduces every target exactly at
// its source point (no smoothing term) and is smooth in between. The calibration fits one
// spline of dimension 3 from measured chart colours to reference colours and evaluates it at
// every node of the LUT grid.
#pragma once

#include <memory>
#include <vector>

namespace tintavo {

class TDoubleMatrix;

// A control point: three doubles laid out like a colour triple (R, G, B).
struct TPoint3D {
    double X = 0.0;
    double Y = 0.0;
    double Z = 0.0;
};

class TTPSpline {
public:
    TTPSpline() = default;

    // Fits the spline to the first PointCount pairs of source and target (set PointCount first).
    // A singular system raises std::runtime_error("Error calculating the thin-plate-splines
    // coefficient matrix. Matrix is not invertable") and keeps the previous fit.
    void Fit(const TPoint3D* source, const TPoint3D* target);

    // The spline's value at (x, y, z). Needs a fitted spline of dimension 3.
    void Evaluate(double x, double y, double z, double& outX, double& outY, double& outZ) const;
    // The spline's values along a line of the grid: out[i] is Evaluate(x, y, z[i]), bit for bit,
    // for i < count. The distances in x and y are worked out once per control point, and the
    // kernel of every node and control point is evaluated in one batch.
    void EvaluateLine(double x, double y, const double* z, int count, TPoint3D* out) const;

    // The radial basis function of a squared distance s, computed in extended precision:
    // s^2, s ln s or s ln sqrt(s) for dimension 1, 2 or 3; 0 for s = 0.
    double Kernel(double s) const;

    int SourceDim = 0;
    int SourceCount = 0;
    std::vector<double> SourcePoints;  // point k, coordinate j at k * SourceDim + j
    int CoefWidth = 0;
    int CoefHeight = 0;
    // W row by row: rows 0..n-1 radial weights, row n the constant, rows n+1.. the linear terms;
    // column c belongs to output coordinate c.
    std::vector<double> Coefficients;
    int Dimension = 0;
    int PointCount = 0;

private:
    // Raises the assertion of an unfitted spline or one of another dimension.
    void CheckEvaluable() const;
    std::unique_ptr<TDoubleMatrix> PointsToMatrix(const TPoint3D* points) const;
};

// The dimension-3 kernel s ln sqrt(s) for s > 0, computed in extended precision and rounded to
// a double.
double Kernel3Reference(double s);
// The same values for count arguments at once (out[i] = Kernel3Reference(s[i]), bit for bit),
// several times faster on processors with AVX2 and FMA: a double-double evaluation settles
// most values, and the rest are computed by Kernel3Reference.
void Kernel3Batch(const double* s, double* out, int count);

// The radial part of a spline of dimension 3 along a line of the grid: for the n control points
// (points: 3 coordinates each) with weights (3 each, one per output), sums[c * count + i] is
// the sum over k in order of Kernel3(|point k - (x, y, z[i])|^2) * weight k of output c, with
// the same doubles as that sum node by node. The kernel of every node and control point is
// evaluated in one batch. False, with sums undefined, when some node lies within the
// coincidence radius of a control point (the node-by-node sum skips that term).
bool RadialSumsAlongLine(const double* points, const double* weights, int n, double x, double y, const double* z,
                         int count, double* sums);

// Squared distances at or below this count as coincident points.
constexpr long double CoincidenceThreshold = 1E-10L;

}  // namespace tintavo
