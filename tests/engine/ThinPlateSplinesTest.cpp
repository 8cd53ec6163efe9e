#include "engine/ThinPlateSplines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Errors.h"

namespace tintavo {
namespace {

const char* const kSingular = "Error calculating the thin-plate-splines coefficient matrix. Matrix is not invertable";

std::vector<TPoint3D> RandomPoints(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> dist(0, 1);
    std::vector<TPoint3D> pts(count);
    for (auto& p : pts) p = {dist(rng), dist(rng), dist(rng)};
    return pts;
}

TPoint3D Affine(const TPoint3D& p) {
    return {0.1 + 0.9 * p.X - 0.2 * p.Y + 0.05 * p.Z, -0.3 + 0.1 * p.X + 1.1 * p.Y, 0.2 * p.X + 0.3 * p.Y + 0.4 * p.Z};
}

TEST(ThinPlateSplines, ReproducesEveryControlPoint) {
    const auto src = RandomPoints(45, 1);
    const auto dst = RandomPoints(45, 2);
    TTPSpline spline;
    spline.PointCount = 45;
    spline.Fit(src.data(), dst.data());
    EXPECT_EQ(spline.SourceCount, 45);
    EXPECT_EQ(spline.SourceDim, 3);
    EXPECT_EQ(spline.Dimension, 3);
    EXPECT_EQ(spline.CoefWidth, 3);
    EXPECT_EQ(spline.CoefHeight, 49);
    ASSERT_EQ(spline.Coefficients.size(), 3u * 49u);
    EXPECT_EQ(spline.SourcePoints[3 * 7 + 1], src[7].Y);
    for (int k = 0; k < 45; ++k) {
        double x, y, z;
        spline.Evaluate(src[k].X, src[k].Y, src[k].Z, x, y, z);
        EXPECT_NEAR(x, dst[k].X, 1e-9) << k;
        EXPECT_NEAR(y, dst[k].Y, 1e-9) << k;
        EXPECT_NEAR(z, dst[k].Z, 1e-9) << k;
    }
}

TEST(ThinPlateSplines, FourCornersMappedToThemselvesGiveTheIdentity) {
    const std::vector<TPoint3D> pts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    TTPSpline spline;
    spline.PointCount = 4;
    spline.Fit(pts.data(), pts.data());
    for (int k = 0; k < 4; ++k)  // radial weights
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(spline.Coefficients[3 * k + c], 0.0, 1e-12);
    for (const auto& p : RandomPoints(50, 3)) {
        double x, y, z;
        spline.Evaluate(p.X, p.Y, p.Z, x, y, z);
        EXPECT_NEAR(x, p.X, 1e-12);
        EXPECT_NEAR(y, p.Y, 1e-12);
        EXPECT_NEAR(z, p.Z, 1e-12);
    }
}

TEST(ThinPlateSplines, AffineTargetsAreReproducedEverywhere) {
    const auto src = RandomPoints(24, 4);
    std::vector<TPoint3D> dst;
    for (const auto& p : src) dst.push_back(Affine(p));
    TTPSpline spline;
    spline.PointCount = 24;
    spline.Fit(src.data(), dst.data());
    for (const auto& p : RandomPoints(200, 5)) {
        double x, y, z;
        spline.Evaluate(p.X, p.Y, p.Z, x, y, z);
        const TPoint3D e = Affine(p);
        EXPECT_NEAR(x, e.X, 1e-9);
        EXPECT_NEAR(y, e.Y, 1e-9);
        EXPECT_NEAR(z, e.Z, 1e-9);
    }
}

TEST(ThinPlateSplines, CoincidentSourcesRaiseAndKeepThePreviousFit) {
    const auto src = RandomPoints(10, 6);
    const auto dst = RandomPoints(10, 7);
    TTPSpline spline;
    spline.PointCount = 10;
    spline.Fit(src.data(), dst.data());
    const auto coefficients = spline.Coefficients;
    const auto sources = spline.SourcePoints;

    const std::vector<TPoint3D> same(12, TPoint3D{0.4, 0.25, 0.7});
    const auto targets = RandomPoints(12, 8);
    spline.PointCount = 12;
    try {
        spline.Fit(same.data(), targets.data());
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), kSingular);
    }
    EXPECT_EQ(spline.Coefficients, coefficients);
    EXPECT_EQ(spline.SourcePoints, sources);
    EXPECT_EQ(spline.SourceCount, 10);
    EXPECT_EQ(spline.CoefHeight, 14);

    // The same for a fresh spline, whose fields stay empty.
    TTPSpline fresh;
    fresh.PointCount = 24;
    const std::vector<TPoint3D> zeros(24);
    EXPECT_THROW(fresh.Fit(zeros.data(), zeros.data()), std::runtime_error);
    EXPECT_TRUE(fresh.Coefficients.empty());
    EXPECT_EQ(fresh.SourceCount, 0);
}

TEST(ThinPlateSplines, KernelPerDimension) {
    TTPSpline spline;
    for (int d : {1, 2, 3, 4, 0}) {
        spline.Dimension = d;
        EXPECT_EQ(spline.Kernel(0.0), 0.0) << d;
    }
    const double e = std::exp(1.0);
    spline.Dimension = 3;
    EXPECT_NEAR(spline.Kernel(e * e), e * e, 1e-15);
    EXPECT_NEAR(spline.Kernel(0.25), 0.25 * std::log(0.5), 1e-17);
    spline.Dimension = 2;
    EXPECT_NEAR(spline.Kernel(e), e, 1e-15);
    spline.Dimension = 1;
    EXPECT_EQ(spline.Kernel(3.0), 9.0);
    spline.Dimension = 4;
    try {
        spline.Kernel(1.0);
        FAIL() << "no exception";
    } catch (const std::runtime_error& ex) {
        EXPECT_STREQ(ex.what(), "Error thin plate splines only defined for 1,2,3 dimensions");
    }
}

// The batch kernel must return exactly the extended-precision formula's doubles: the fast path
// may only answer where its error bound settles the rounding.
TEST(ThinPlateSplines, BatchKernelMatchesTheExtendedPrecisionFormulaBitForBit) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(0.0, 3.0), exponent(-23.0, 7.0), nearOne(-1e-3, 1e-3);
    std::vector<double> s;
    for (int i = 0; i < 400000; ++i) s.push_back(1e-10 + unit(rng));
    for (int i = 0; i < 200000; ++i) s.push_back(std::exp(exponent(rng)));
    for (int i = 0; i < 100000; ++i) s.push_back(1.0 + nearOne(rng) * (i % 2 ? 1.0 : 1e-9));
    for (int e = -40; e <= 40; ++e)
        for (double f : {1.0, 1.0 + 0x1p-52, 1.0 - 0x1p-53, 1.5, 2.0 - 0x1p-52}) s.push_back(std::ldexp(f, e));
    for (double v : {0x1p-900, 0x1p-901, 0x1p900, 0x1p901, 1e300, 1e-300, 4.9e-324, 1.0, 2.0, 0.5})
        s.push_back(v);
    std::vector<double> fast(s.size());
    Kernel3Batch(s.data(), fast.data(), static_cast<int>(s.size()));
    int mismatches = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const double want = Kernel3Reference(s[i]);
        if (std::memcmp(&want, &fast[i], sizeof want) != 0 && ++mismatches <= 5)
            ADD_FAILURE() << std::hexfloat << "s = " << s[i] << ": " << fast[i] << " instead of " << want;
    }
    EXPECT_EQ(mismatches, 0);
    // Short batches (the remainder lanes) give the same values.
    for (int count : {1, 2, 3, 5, 7}) {
        double out[7];
        Kernel3Batch(s.data() + 100, out, count);
        for (int i = 0; i < count; ++i) EXPECT_EQ(out[i], Kernel3Reference(s[100 + i]));
    }
}

// Evaluate as the plain textbook loop: one point after the other, the kernel in extended
// precision.
void ReferenceEvaluate(const TTPSpline& sp, const double q[3], double out[3]) {
    double a[3] = {0, 0, 0};
    const int n = sp.SourceCount;
    for (int k = 0; k < n; ++k) {
        double s = 0.0;
        for (int j = 0; j < 3; ++j) {
            const double d = sp.SourcePoints[3 * k + j] - q[j];
            s += d * d;
        }
        if (static_cast<long double>(s) <= 1E-10L) continue;
        const double kv = Kernel3Reference(s);
        for (int c = 0; c < 3; ++c) a[c] += kv * sp.Coefficients[3 * k + c];
    }
    for (int c = 0; c < 3; ++c) {
        double v = a[c] + sp.Coefficients[3 * n + c];
        for (int i = 0; i < 3; ++i) v += q[i] * sp.Coefficients[3 * (n + 1 + i) + c];
        out[c] = v;
    }
}

TEST(ThinPlateSplines, EvaluateIsBitIdenticalToThePlainLoop) {
    for (int points : {24, 45, 70, 140}) {  // 70 and 140 span more than one batch of distances
        const auto src = RandomPoints(points, 20 + points);
        const auto dst = RandomPoints(points, 40 + points);
        TTPSpline spline;
        spline.PointCount = points;
        spline.Fit(src.data(), dst.data());
        std::vector<TPoint3D> queries = RandomPoints(3000, 60 + points);
        queries.push_back({src[3].X + 5e-6, src[3].Y, src[3].Z});  // inside the coincidence radius
        queries.push_back(src[5]);
        for (int i = 0; i <= 8; ++i) queries.push_back({i / 8.0, 1.0 - i / 8.0, 0.5});
        for (const auto& p : queries) {
            const double q[3] = {p.X, p.Y, p.Z};
            double want[3], got[3];
            ReferenceEvaluate(spline, q, want);
            spline.Evaluate(p.X, p.Y, p.Z, got[0], got[1], got[2]);
            ASSERT_EQ(std::memcmp(want, got, sizeof want), 0) << points << " points at " << p.X << "," << p.Y;
        }
    }
}

// A grid line evaluated in one go gives every node the doubles of the node-by-node evaluation:
// lines of every length, lines passing through a control point or within its coincidence
// radius, and control points sharing a grid coordinate.
TEST(ThinPlateSplines, LineEvaluationIsBitIdenticalToNodeByNode) {
    for (int points : {5, 24, 45}) {
        auto src = RandomPoints(points, 80 + points);
        const auto dst = RandomPoints(points, 90 + points);
        src[0] = {0.25, 0.5, 0.75};               // on the 5-point grid line (0.25, 0.5, *)
        src[1] = {0.25 + 4e-6, 0.5, 0.5 + 3e-6};  // within 1E-5 of the node (0.25, 0.5, 0.5)
        src[2].X = 0.25;
        TTPSpline spline;
        spline.PointCount = points;
        spline.Fit(src.data(), dst.data());
        std::vector<double> z;
        std::vector<TPoint3D> line;
        auto check = [&](double x, double y) {
            line.assign(z.size(), TPoint3D{-1, -1, -1});
            spline.EvaluateLine(x, y, z.data(), static_cast<int>(z.size()), line.data());
            for (std::size_t i = 0; i < z.size(); ++i) {
                double want[3];
                spline.Evaluate(x, y, z[i], want[0], want[1], want[2]);
                const double got[3] = {line[i].X, line[i].Y, line[i].Z};
                ASSERT_EQ(std::memcmp(want, got, sizeof want), 0)
                    << points << " points, line " << x << "," << y << " node " << i << " of " << z.size();
            }
        };
        for (int count : {1, 2, 5, 33, 101}) {
            z.resize(static_cast<std::size_t>(count));
            for (int i = 0; i < count; ++i) z[static_cast<std::size_t>(i)] = count == 1 ? 0.5 : i / (count - 1.0);
            check(0.25, 0.5);
            check(src[3].X, src[3].Y);
            check(0.0, 1.0);
            check(0.61, 0.07);
        }
    }
}

TEST(ThinPlateSplines, EvaluatingAnUnfittedSplineIsAnAssertion) {
    TTPSpline spline;
    double x, y, z;
    try {
        spline.Evaluate(0, 0, 0, x, y, z);
        FAIL() << "no exception";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.BareMessage(), "Dimension error");
        EXPECT_NE(std::string(e.what()).find("ThinPlateSplines, line"), std::string::npos);
    }
    const double line[2] = {0.0, 1.0};
    TPoint3D out[2];
    EXPECT_THROW(spline.EvaluateLine(0, 0, line, 2, out), EAssertionFailed);
}

}  // namespace
}  // namespace tintavo
