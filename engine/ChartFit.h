// How well sampled patch colours fit a chart's reference colours, whatever the camera made of
// them: a small per-candidate colour correction (per output channel: an offset, the three
// channels and the squares of the three channels) is fitted from the measured colours to the
// reference colours by least squares, and the score is the part of the reference colours'
// spread that it explains (the coefficient of determination adjusted for the number of fitted
// terms, held in 0..1). A chart sampled in the right place and orientation scores close to 1 in
// any reasonable camera encoding; a wrong orientation, a wrong chart or a place off the chart
// scores far lower.
#pragma once

#include "lut/LUT.h"

namespace tintavo {

// Below this score the colours do not look like the chart. Charts sampled right score above 0.99
// on the rendered test scenes; other readings of a chart and chart-free pictures below 0.35.
constexpr double PlausibleFitScore = 0.8;

// Fitted terms per output channel.
constexpr int ChartFitTerms = 7;

// `measured` and `reference` hold `count` colours in the same patch order (0..1 scale).
// Fewer than ChartFitTerms + 2 patches, or reference colours without spread, score 0.
double ChartFitScore(const TLutColor* measured, const TLutColor* reference, int count);

}  // namespace tintavo
