// Calibration models: a mapping from the colours a camera measured to the chart's reference
// colours, fitted on a list of patches and then evaluated at any colour.
//
// Everything that fits a calibration goes through TCalibrationModel: the calibration of the
// window and the command line (TCalibrationMapping), the report's refits without a patch, and
// the grid filling. The models are listed by name in one registry (CalibrationModels); a new
// model is one file pair implementing the interface plus one line in RegisterCalibrationModels
// (CalibrationModel.cpp). What the calibration does with a model's value at a grid node (clamp,
// "Calibrate colors only") is not the model's business: see TCalibrationMapping::MapNode.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "lut/LUT.h"

namespace tintavo {

// One patch of the chart: the colour measured in the picture and the chart's reference colour,
// both on the 0..1 scale in the encoding of the 8-bit pixels.
struct TPatchPair {
    TLutColor Measured;
    TLutColor Reference;
};

class TCalibrationModel {
public:
    virtual ~TCalibrationModel() = default;

    // Fits the mapping measured -> reference on `patches` (in chart order, or any subset of the
    // chart's patches). A model may rest on only some of them (see ControlPatches). A fit that
    // fails raises an exception whose message the user sees, and keeps the previous fit.
    virtual void Fit(std::span<const TPatchPair> patches) = 0;

    // Whether a fit has succeeded.
    virtual bool Fitted() const = 0;

    // Positions, in the list given to the last successful Fit, of the patches the fit rests on
    // (its control points), in increasing order. Patches that are not control points are the
    // ones a report can treat as held out.
    virtual std::vector<int> ControlPatches() const = 0;

    // The fitted mapping at colour (r, g, b), before any clamping. Needs a fit. Safe to call
    // from several threads at once.
    virtual TLutColor Map(double r, double g, double b) const = 0;

    // The fitted mapping along a line of colours that differ only in blue: out[i] is
    // Map(r, g, b[i]), bit for bit, for i < count. Models override it where a line costs less
    // than its colours one by one (the grid is filled line by line). Safe to call from several
    // threads at once.
    virtual void MapLine(double r, double g, const double* b, int count, TLutColor* out) const;

    // Tells the model, before Fit, which node rule the calibration will apply to its values
    // (TCalibrationMapping::MapNode; colorsOnly keeps each node's luma). A model that chooses
    // among candidates by their held-out errors ("auto") judges them under that rule; the
    // others ignore it.
    virtual void SetColorsOnly(bool colorsOnly) { (void)colorsOnly; }

    // What the last fit chose for itself, for reports ("smoothing 0.001", "linearisation fitted
    // on 6 neutral patches"); empty when the model has no choices.
    virtual std::string Details() const { return {}; }
};

// One registered model.
struct TCalibrationModelEntry {
    const char* Name;         // as the command line and the settings name it: "tps"
    const char* Description;  // one line for lists and help texts
    std::unique_ptr<TCalibrationModel> (*Create)();
};

// The model every calibration uses unless told otherwise.
constexpr std::string_view DefaultCalibrationModel = "tps";
// The model that picks one of the others per picture.
constexpr std::string_view AutoCalibrationModel = "auto";

// Every registered model, the default first.
const std::vector<TCalibrationModelEntry>& CalibrationModels();

// A new, unfitted model of the registered name (letter case ignored). An unknown name raises
// std::invalid_argument naming the known ones.
std::unique_ptr<TCalibrationModel> CreateCalibrationModel(std::string_view name);

// Whether two model names are the same, letter case ignored.
bool SameModelName(std::string_view a, std::string_view b);

// A colour clamped component by component to 0..1; not-a-number becomes 0.
TLutColor ClampToUnitRange(const TLutColor& colour);

}  // namespace tintavo
