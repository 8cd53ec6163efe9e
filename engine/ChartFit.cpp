#include "engine/ChartFit.h"

#include <algorithm>

#include <opencv2/core.hpp>

namespace tintavo {

double ChartFitScore(const TLutColor* measured, const TLutColor* reference, int count) {
    if (count < ChartFitTerms + 2) return 0;
    cv::Mat features(count, ChartFitTerms, CV_64F), targets(count, 3, CV_64F);
    double mean[3] = {0, 0, 0};
    for (int i = 0; i < count; ++i) {
        const TLutColor& m = measured[i];
        double* f = features.ptr<double>(i);
        f[0] = 1, f[1] = m.R, f[2] = m.G, f[3] = m.B, f[4] = m.R * m.R, f[5] = m.G * m.G, f[6] = m.B * m.B;
        double* t = targets.ptr<double>(i);
        t[0] = reference[i].R, t[1] = reference[i].G, t[2] = reference[i].B;
        for (int k = 0; k < 3; ++k) mean[k] += t[k] / count;
    }
    double spread = 0;
    for (int i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k) spread += (targets.at<double>(i, k) - mean[k]) * (targets.at<double>(i, k) - mean[k]);
    if (spread <= 1e-12) return 0;
    // A tiny ridge keeps the system solvable when the measured colours have no spread (a place off
    // the chart): the fit then explains nothing and the score is 0.
    cv::Mat normal = features.t() * features + cv::Mat::eye(ChartFitTerms, ChartFitTerms, CV_64F) * 1e-9 * count;
    cv::Mat coefficients;
    cv::solve(normal, features.t() * targets, coefficients, cv::DECOMP_CHOLESKY);
    const cv::Mat residual = features * coefficients - targets;
    const double sse = residual.dot(residual);
    const double n = count, p = ChartFitTerms;
    const double adjusted = 1 - (sse / spread) * (n - 1) / (n - p);
    return std::clamp(adjusted, 0.0, 1.0);
}

}  // namespace tintavo
