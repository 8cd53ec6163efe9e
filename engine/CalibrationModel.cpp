#include "engine/CalibrationModel.h"

#include <cctype>
#include <stdexcept>

#include "engine/ThinPlateSplineModel.h"

namespace tintavo {

namespace {

template <typename TModel>
std::unique_ptr<TCalibrationModel> Make() {
    return std::make_unique<TModel>();
}

// The registry: one line per model, the default first.
std::vector<TCalibrationModelEntry> RegisterCalibrationModels() {
    return {
        {"tps", "exact thin-plate spline through the patches (repeated colours of large charts thinned out)",
         Make<TThinPlateSplineModel>},
    };
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

double ClampUnit(double v) {
    if (!(v >= 0.0)) v = 0.0;  // below 0 or not a number
    if (v > 1.0) v = 1.0;
    return v;
}

}  // namespace

const std::vector<TCalibrationModelEntry>& CalibrationModels() {
    static const std::vector<TCalibrationModelEntry> models = RegisterCalibrationModels();
    return models;
}

std::unique_ptr<TCalibrationModel> CreateCalibrationModel(std::string_view name) {
    std::string known;
    for (const TCalibrationModelEntry& entry : CalibrationModels()) {
        if (SameName(entry.Name, name)) return entry.Create();
        known += (known.empty() ? "" : ", ") + std::string(entry.Name);
    }
    throw std::invalid_argument("Unknown calibration model \"" + std::string(name) + "\" (known: " + known + ")");
}

TLutColor ClampToUnitRange(const TLutColor& colour) {
    return {ClampUnit(colour.R), ClampUnit(colour.G), ClampUnit(colour.B)};
}

}  // namespace tintavo
