// The calibration model "auto": of every other registered model, the one whose held-out
// CIEDE2000 on this picture's patches is lowest on average.
//
// Each candidate is judged on the folds of the patches (CrossValidation.h: leave one out on the
// Classic chart, grouped 5-fold on the Digital SG chart), with its whole fit, its own choices
// included, re-run on each fold's training patches, and every held-out patch looked up in the
// table the fold's fit makes under the calibration's node rule. These are the figures
// `tintavo-cli report --compare-models` lists, so the model chosen is the one at the top of that
// comparison. Ties go to the model listed first (the exact spline); a candidate that cannot be
// fitted on some fold drops out. The chosen model is then fitted on all patches.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/CalibrationModel.h"

namespace tintavo {

struct TModelScore {
    std::string Name;
    double MeanDeltaE = 0.0;  // infinity when the model could not be fitted on some fold
};

class TAutoModel : public TCalibrationModel {
public:
    void SetColorsOnly(bool colorsOnly) override { colorsOnly_ = colorsOnly; }
    // Raises the first candidate's error when none can be fitted.
    void Fit(std::span<const TPatchPair> patches) override;
    bool Fitted() const override { return chosen_ != nullptr; }
    std::vector<int> ControlPatches() const override { return chosen_->ControlPatches(); }
    TLutColor Map(double r, double g, double b) const override;
    void MapLine(double r, double g, const double* b, int count, TLutColor* out) const override;
    std::string Details() const override;

    // The chosen model's name, and every candidate's score in registry order.
    const std::string& Chosen() const { return chosenName_; }
    const std::vector<TModelScore>& Scores() const { return scores_; }

private:
    bool colorsOnly_ = false;
    std::unique_ptr<TCalibrationModel> chosen_;
    std::string chosenName_;
    std::vector<TModelScore> scores_;
};

}  // namespace tintavo
