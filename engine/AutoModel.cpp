#include "engine/AutoModel.h"

#include <cstdio>
#include <limits>
#include <numeric>
#include <stdexcept>

#include "common/Errors.h"
#include "engine/CrossValidation.h"

namespace tintavo {

void TAutoModel::Fit(std::span<const TPatchPair> patches) {
    const TFoldPlan plan = PlanFolds(patches);
    std::vector<TModelScore> scores;
    std::string best(DefaultCalibrationModel);
    double bestScore = std::numeric_limits<double>::infinity();
    for (const TCalibrationModelEntry& entry : CalibrationModels()) {
        if (std::string_view(entry.Name) == AutoCalibrationModel) continue;
        TModelScore score{entry.Name, std::numeric_limits<double>::infinity()};
        if (plan.FoldCount >= 2) {
            try {
                const std::vector<double> errors = HeldOutDeltaE(patches, plan, entry.Name, colorsOnly_);
                score.MeanDeltaE = std::accumulate(errors.begin(), errors.end(), 0.0L) / errors.size();
            } catch (const std::runtime_error&) {
                // Not fittable on some fold: out of the running.
            }
        }
        if (score.MeanDeltaE < bestScore) {
            bestScore = score.MeanDeltaE;
            best = score.Name;
        }
        scores.push_back(score);
    }
    // With no candidate judged, the default model's own fit (and its error) decides.
    std::unique_ptr<TCalibrationModel> model = CreateCalibrationModel(best);
    model->SetColorsOnly(colorsOnly_);
    model->Fit(patches);
    // Committed only after the fit succeeded.
    chosen_ = std::move(model);
    chosenName_ = best;
    scores_ = std::move(scores);
}

TLutColor TAutoModel::Map(double r, double g, double b) const {
    TINTAVO_ASSERT(chosen_ != nullptr, "AutoModel", "No model chosen");
    return chosen_->Map(r, g, b);
}

void TAutoModel::MapLine(double r, double g, const double* b, int count, TLutColor* out) const {
    TINTAVO_ASSERT(chosen_ != nullptr, "AutoModel", "No model chosen");
    chosen_->MapLine(r, g, b, count, out);
}

std::string TAutoModel::Details() const {
    std::string text = chosenName_;
    const std::string inner = chosen_ ? chosen_->Details() : std::string();
    if (!inner.empty()) text += ", " + inner;
    for (const TModelScore& s : scores_) {
        if (s.Name != chosenName_) continue;
        char mean[48];
        std::snprintf(mean, sizeof mean, "; held-out mean %.2f", s.MeanDeltaE);
        text += mean;
    }
    return text;
}

}  // namespace tintavo
