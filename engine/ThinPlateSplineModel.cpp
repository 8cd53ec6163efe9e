#include "engine/ThinPlateSplineModel.h"

#include <cmath>

#include "common/Errors.h"

namespace tintavo {

std::vector<int> ThinnedPatchIndices(const TLutColor* reference, int patchCount) {
    std::vector<int> kept;
    if (patchCount < ThinningMinPatches) {
        for (int i = 0; i < patchCount; ++i) kept.push_back(i);
        return kept;
    }
    auto isNearAny = [&](const TLutColor& c) {
        for (int k : kept) {
            const long double dr = static_cast<long double>(reference[k].R) - c.R;
            const long double dg = static_cast<long double>(reference[k].G) - c.G;
            const long double db = static_cast<long double>(reference[k].B) - c.B;
            if (std::sqrt(dr * dr + dg * dg + db * db) < ThinningDistance) return true;
        }
        return false;
    };
    for (int i = 0; i < patchCount; ++i)
        if (!isNearAny(reference[i])) kept.push_back(i);
    return kept;
}

void TThinPlateSplineModel::Fit(std::span<const TPatchPair> patches) {
    std::vector<TLutColor> reference;
    reference.reserve(patches.size());
    for (const TPatchPair& p : patches) reference.push_back(p.Reference);
    std::vector<int> kept = ThinnedPatchIndices(reference.data(), static_cast<int>(reference.size()));

    std::vector<TPoint3D> source, target;
    source.reserve(kept.size());
    target.reserve(kept.size());
    for (int i : kept) {
        const TPatchPair& p = patches[static_cast<std::size_t>(i)];
        source.push_back({p.Measured.R, p.Measured.G, p.Measured.B});
        target.push_back({p.Reference.R, p.Reference.G, p.Reference.B});
    }
    auto spline = std::make_unique<TTPSpline>();
    spline->PointCount = static_cast<int>(kept.size());
    spline->Fit(source.data(), target.data());
    // Committed only after the fit succeeded.
    Spline = std::move(spline);
    controlPatches_ = std::move(kept);
}

TLutColor TThinPlateSplineModel::Map(double r, double g, double b) const {
    TINTAVO_ASSERT(Spline != nullptr, "ThinPlateSplineModel", "No spline built");
    TLutColor out;
    Spline->Evaluate(r, g, b, out.R, out.G, out.B);
    return out;
}

void TThinPlateSplineModel::MapLine(double r, double g, const double* b, int count, TLutColor* out) const {
    TINTAVO_ASSERT(Spline != nullptr, "ThinPlateSplineModel", "No spline built");
    thread_local std::vector<TPoint3D> values;
    if (values.size() < static_cast<std::size_t>(count)) values.resize(static_cast<std::size_t>(count));
    Spline->EvaluateLine(r, g, b, count, values.data());
    for (int i = 0; i < count; ++i) out[i] = {values[i].X, values[i].Y, values[i].Z};
}

}  // namespace tintavo
