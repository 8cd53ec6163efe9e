#include "engine/CalibrationModel.h"

#include <cctype>
#include <stdexcept>

#include "engine/AutoModel.h"
#include "engine/RootPolynomialModel.h"
#include "engine/SmoothThinPlateSplineModel.h"
#include "engine/ThinPlateSplineModel.h"

namespace tintavo {

namespace {

template <typename TModel>
std::unique_ptr<TCalibrationModel> Make() {
    return std::make_unique<TModel>();
}

template <int Degree>
std::unique_ptr<TCalibrationModel> MakeRootPolynomial() {
    return std::make_unique<TRootPolynomialModel>(Degree);
}

// The registry: one line per model, the default first.
std::vector<TCalibrationModelEntry> RegisterCalibrationModels() {
    return {
        {"tps", "exact thin-plate spline through the patches (repeated colours of large charts thinned out)",
         Make<TThinPlateSplineModel>},
        {"smooth-tps", "thin-plate spline with a smoothing term, fitted on every patch", Make<TSmoothThinPlateSplineModel>},
        {"matrix", "3 x 3 matrix in linear light (sRGB or neutral-fitted linearisation)", MakeRootPolynomial<1>},
        {"rootpoly2", "second-degree root-polynomial in linear light", MakeRootPolynomial<2>},
        {"rootpoly3", "third-degree root-polynomial in linear light", MakeRootPolynomial<3>},
        {"auto", "the model with the lowest held-out error on this picture's patches", Make<TAutoModel>},
    };
}

double ClampUnit(double v) {
    if (!(v >= 0.0)) v = 0.0;  // below 0 or not a number
    if (v > 1.0) v = 1.0;
    return v;
}

}  // namespace

bool SameModelName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

const std::vector<TCalibrationModelEntry>& CalibrationModels() {
    static const std::vector<TCalibrationModelEntry> models = RegisterCalibrationModels();
    return models;
}

std::unique_ptr<TCalibrationModel> CreateCalibrationModel(std::string_view name) {
    std::string known;
    for (const TCalibrationModelEntry& entry : CalibrationModels()) {
        if (SameModelName(entry.Name, name)) return entry.Create();
        known += (known.empty() ? "" : ", ") + std::string(entry.Name);
    }
    throw std::invalid_argument("Unknown calibration model \"" + std::string(name) + "\" (known: " + known + ")");
}

void TCalibrationModel::MapLine(double r, double g, const double* b, int count, TLutColor* out) const {
    for (int i = 0; i < count; ++i) out[i] = Map(r, g, b[i]);
}

TLutColor ClampToUnitRange(const TLutColor& colour) {
    return {ClampUnit(colour.R), ClampUnit(colour.G), ClampUnit(colour.B)};
}

}  // namespace tintavo
