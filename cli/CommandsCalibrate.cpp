// calibrate and report: the window's Open, selection and Save on the command line.
#include <cmath>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "engine/Calibration.h"
#include "engine/CalibrationExport.h"
#include "engine/CalibrationModel.h"
#include "engine/CalibrationReport.h"
#include "engine/ChartCheck.h"
#include "engine/ChartDetect.h"
#include "engine/CrossValidation.h"
#include "formats/LUTFormat.h"
#include "picture/Picture.h"

namespace tintavo::cli {

namespace {

enum class TPlaceKind { Rectangle, Corners, Detect };

// The selection as the command line gives it, checked for syntax before the picture is opened.
struct TSelectionArgs {
    std::optional<TChartType> Chart;  // none: --chart auto
    TPlaceKind Kind = TPlaceKind::Rectangle;
    TSelection Rect{};
    TQuad Corners{};
    bool ColorsOnly = true;
    std::string Model;  // the registered name
    TPrecision Precision = TPrecision::Auto;
};

std::string ParseModel(const std::optional<std::string>& text) {
    if (!text) return std::string(DefaultCalibrationModel);
    std::string known;
    for (const TCalibrationModelEntry& entry : CalibrationModels()) {
        if (SameModelName(entry.Name, *text)) return entry.Name;
        known += (known.empty() ? "" : ", ") + std::string(entry.Name);
    }
    throw EUsageError("--model " + *text + " is not a calibration model (" + known + ")");
}

TSelectionArgs ParseSelectionArgs(const TArgs& args) {
    TSelectionArgs sel;
    const int given = args.Has("--rect") + args.Has("--corners") + args.Has("--detect");
    if (given != 1) {
        throw EUsageError(given == 0 ? "the chart's place is needed: --rect, --corners or --detect"
                                     : "give only one of --rect, --corners and --detect");
    }
    sel.Chart = ParseChartOrAuto(args.Required("--chart"));
    if (args.Has("--rect")) {
        sel.Rect = ParseRect(*args.Value("--rect"));
    } else if (args.Has("--corners")) {
        sel.Kind = TPlaceKind::Corners;
        sel.Corners = ParseCorners(*args.Value("--corners"));
    } else {
        sel.Kind = TPlaceKind::Detect;
    }
    if (!sel.Chart && sel.Kind != TPlaceKind::Detect)
        throw EUsageError("--chart auto needs --detect; with --rect or --corners name the chart");
    sel.ColorsOnly = !args.Has("--full");
    sel.Model = ParseModel(args.Value("--model"));
    sel.Precision = args.Has("--precise") ? TPrecision::Always : TPrecision::Auto;
    return sel;
}

// The chart, where it lies in the working image, and what the colours under it say against it.
struct TChartPlace {
    TChartType Chart;
    TChartGeometry Geometry;
    std::vector<std::string> Warnings;
};

std::string NoChartFound(const std::string& image, const std::optional<TChartType>& chart) {
    return "no colour chart found in \"" + image + "\"" +
           (chart ? std::string(" (looking for a ") + ChartInfo(*chart).DisplayName + ")" : std::string()) +
           ": the whole chart must be in the picture, at least about a seventh of the picture's width, not too "
           "blurred; or give its corners with --corners";
}

// Opens the picture as the window's Open does (with a precise working image for a deep picture,
// or when asked for) and places the chart on it: the rectangle or the corners checked against the
// image, or the chart found in it; then checks the selection against the chart's colours. A float
// picture's clamped samples are reported once, here.
TChartPlace OpenAndPlace(const std::string& image, const TSelectionArgs& sel, TWorkingPicture& picture) {
    OpenCalibrationPicture(image, picture, sel.Precision);
    if (picture.Info.ClampedSamples > 0) std::cerr << "warning: " << picture.Info.ClampWarning(image) << "\n";
    const TBitmap24& work = picture.Bitmap;
    std::optional<TChartPlace> place;
    switch (sel.Kind) {
        case TPlaceKind::Rectangle: {
            CheckRect(sel.Rect, work.Width(), work.Height());
            const TChartInfo& chart = ChartInfo(*sel.Chart);
            place.emplace(TChartPlace{chart.Type, TChartGeometry(sel.Rect, chart.Columns, chart.Rows), {}});
            break;
        }
        case TPlaceKind::Corners: {
            CheckCorners(sel.Corners, work.Width(), work.Height());
            const TChartInfo& chart = ChartInfo(*sel.Chart);
            place.emplace(TChartPlace{chart.Type, TChartGeometry::FromCorners(sel.Corners, chart.Columns, chart.Rows), {}});
            break;
        }
        case TPlaceKind::Detect: {
            const std::optional<TDetectedChart> found = DetectChart(work, sel.Chart);
            if (!found) throw std::runtime_error(NoChartFound(image, sel.Chart));
            place.emplace(TChartPlace{found->Chart, found->Geometry(), {}});
            break;
        }
    }
    place->Warnings = CheckSelection(work, place->Geometry, place->Chart).Warnings;
    return *place;
}

// The check's warnings, once the command has done its work (a failed command says only its error).
void PrintWarnings(const TChartPlace& place) {
    for (const std::string& warning : place.Warnings) std::cerr << "warning: " << warning << '\n';
}

// The patches of the working picture: from the precise image when there is one.
void SampleWorking(const TWorkingPicture& work, const TChartGeometry& geometry, TChartType chart,
                   TMeasuredPatches& measured) {
    if (work.HasPrecise()) SamplePatches(work.Precise, geometry, chart, measured);
    else SamplePatches(work.Bitmap, geometry, chart, measured);
}

// Runs a command; a fit that failed because of the selection is reported on the one error line
// with what to do about it.
int ExplainingSelectionFailures(const std::function<int()>& command) {
    try {
        return command();
    } catch (const ECalibrationError& e) {
        throw std::runtime_error(e.UserMessage(". "));
    }
}

std::string Bytes(const TLutColor& c) {
    char text[48];
    std::snprintf(text, sizeof text, "%5.1f %5.1f %5.1f", 255.0 * c.R, 255.0 * c.G, 255.0 * c.B);
    return text;
}

TJson Color(const TLutColor& c) { return TJson::array({c.R, c.G, c.B}); }

TJson Stats(const TDeltaEStats& s) {
    // An empty group (no patch left out of a Classic fit) has no statistics.
    if (s.Count == 0) return {{"mean", nullptr}, {"median", nullptr}, {"p95", nullptr}, {"max", nullptr}};
    return {{"mean", s.Mean}, {"median", s.Median}, {"p95", s.P95}, {"max", s.Max}};
}

TJson Group(const TGroupQuality& g) {
    return {{"count", g.Before.Count},
            {"before", Stats(g.Before)},
            {"after", Stats(g.After)},
            {"leaveOneOut", Stats(g.LeaveOneOut)},
            {"crossValidated", Stats(g.CrossValidated)}};
}

std::string ValidationName(const TFoldPlan& folds) {
    if (folds.LeaveOneOut) return "leave one out";
    return "grouped " + std::to_string(folds.FoldCount) + "-fold";
}

// The summary with the held-out figures: before, in-sample after, held out; 95th percentiles.
void PrintValidatedGroup(const char* name, const TGroupQuality& g) {
    if (g.Before.Count == 0) {
        std::printf("%-9s   0 patches\n", name);
        return;
    }
    std::printf("%-9s %3d  ", name, g.Before.Count);
    for (const TDeltaEStats* s : {&g.Before, &g.After, &g.CrossValidated})
        std::printf("  %6.2f %6.2f %6.2f %6.2f", s->Mean, s->Median, s->P95, s->Max);
    std::printf("\n");
}

void PrintValidatedReport(const TCalibrationReport& report) {
    std::printf("Patch Col Row Role     Measured          Reference         Corrected          Before In-samp Held-out Fold\n");
    for (const TPatchQuality& p : report.Patches) {
        std::printf("%5d %3d %3d %-8s %s %s %s %7.2f %7.2f %7.2f %4d\n", p.Index, p.Column, p.Row,
                    p.ControlPoint ? "control" : "held out", Bytes(p.Measured).c_str(), Bytes(p.Reference).c_str(),
                    Bytes(p.Corrected).c_str(), p.DeltaEBefore, p.DeltaEAfter, p.DeltaECrossValidated, p.Fold + 1);
    }
    std::printf("\nIn-sample: the fit judged on the patches it was fitted on. Held out: %s (%d folds",
                ValidationName(report.Folds).c_str(), report.Folds.FoldCount);
    if (!report.Folds.LeaveOneOut)
        std::printf(", seed %u, reference colours within %.2f in one fold", CrossValidationSeed, NearDuplicateDistance);
    std::printf("), the whole fit re-run without the fold.\n\n");
    std::printf("                ----------- before -----------   ---------- in-sample ----------   "
                "---------- held out -----------\n");
    std::printf("Group     Count    mean median    p95    max     mean median    p95    max     mean median    p95    "
                "max\n");
    PrintValidatedGroup("control", report.Control);
    PrintValidatedGroup("held out", report.HeldOut);
    PrintValidatedGroup("all", report.All);
    if (report.Comparison.empty()) return;
    std::printf("\nModels on the same folds, held-out delta E 2000 over all patches:\n");
    std::printf("Model          mean median    p95    max   Choices\n");
    for (const TModelComparison& c : report.Comparison) {
        if (!c.Error.empty()) {
            std::printf("%-11s  cannot be fitted: %s\n", c.Name.c_str(), c.Error.c_str());
            continue;
        }
        std::printf("%-11s %6.2f %6.2f %6.2f %6.2f   %s\n", c.Name.c_str(), c.CrossValidated.Mean,
                    c.CrossValidated.Median, c.CrossValidated.P95, c.CrossValidated.Max, c.Details.c_str());
    }
}

void PrintGroup(const char* name, const TGroupQuality& g) {
    if (g.Before.Count == 0) {
        std::printf("%-9s   0 patches\n", name);
        return;
    }
    std::printf("%-9s %3d   %7.2f %7.2f %7.2f   %7.2f %7.2f %7.2f   %7.2f %7.2f %7.2f\n", name, g.Before.Count,
                g.Before.Mean, g.Before.Median, g.Before.Max, g.After.Mean, g.After.Median, g.After.Max,
                g.LeaveOneOut.Mean, g.LeaveOneOut.Median, g.LeaveOneOut.Max);
}

}  // namespace

int RunDetect(const TArgs& args) {
    const std::string& image = args.Positional(0);
    const std::optional<TChartType> asked = ParseChartOrAuto(args.Value("--chart").value_or("auto"));
    TBitmap24 work;
    OpenCalibrationPicture(image, work);
    const std::optional<TDetectedChart> found = DetectChart(work, asked);
    if (!found) throw std::runtime_error(NoChartFound(image, asked));
    const TChartInfo& chart = ChartInfo(found->Chart);
    if (args.Has("--json")) {
        TJson corners = TJson::array();
        // Hundredths of a pixel, as the text form prints them.
        auto hundredths = [](double v) { return std::nearbyint(v * 100) / 100; };
        for (const TPointF& p : found->Corners) corners.push_back({hundredths(p.X), hundredths(p.Y)});
        PrintJson(std::cout, {{"chart", chart.CommandName},
                              {"corners", corners},
                              {"orientation", found->Orientation},
                              {"score", found->Score}});
        return 0;
    }
    std::printf("Found a %s (%s), turned %d degrees clockwise, colour fit %.3f.\n", chart.DisplayName, chart.CommandName,
                found->Orientation, found->Score);
    std::printf("Corners in chart order, working-image pixels (%d x %d): %s\n", work.Width(), work.Height(),
                CornersText(found->Corners).c_str());
    return 0;
}

int RunCalibrate(const TArgs& args) {
    const std::string& image = args.Positional(0);
    const TSelectionArgs sel = ParseSelectionArgs(args);
    const TLutOutputProfile& profile = *GetOutputProfile(ResolveProfile(args.Required("--profile")));
    if (!GetLutFormat(profile.FormatIndex)->Is3D) {
        throw EUsageError("the output profile \"" + profile.Name + "\" writes 1D curves; a calibration is a 3D LUT");
    }
    const int size = ResolveSize(profile, args.Value("--size"));
    const int bits = ResolveBits(profile, args.Value("--bits"));
    const std::string& output = args.Required("-o");

    return ExplainingSelectionFailures([&] {
        TWorkingPicture work;
        const TChartPlace place = OpenAndPlace(image, sel, work);
        // One table, with no comments, filled by the calibration at the size written: at the
        // window's size it is the window's table; at another the mapping evaluated on that grid,
        // as the Save dialog evaluates it.
        auto lut = std::make_unique<TLUT>();
        lut->LutKind = lk3D;
        lut->Size3D = size;
        TMeasuredPatches measured;
        const auto mapping =
            work.HasPrecise()
                ? Calibrate(work.Precise, place.Geometry, place.Chart, sel.ColorsOnly, *lut, measured, sel.Model)
                : Calibrate(work.Bitmap, place.Geometry, place.Chart, sel.ColorsOnly, *lut, measured, sel.Model);
        SaveCalibration(*lut, mapping.get(), profile, size, bits, output);
        PrintWarnings(place);
        std::cout << WrittenLine(output, profile.Name, true, size, bits);
        return 0;
    });
}

int RunReport(const TArgs& args) {
    const std::string& image = args.Positional(0);
    const TSelectionArgs sel = ParseSelectionArgs(args);

    TWorkingPicture work;
    const TChartPlace place = OpenAndPlace(image, sel, work);
    const TChartInfo& chart = ChartInfo(place.Chart);
    const TChartGeometry& geometry = place.Geometry;
    TMeasuredPatches measured;
    SampleWorking(work, geometry, place.Chart, measured);
    const bool compare = args.Has("--compare-models");
    // The table of earlier versions, unless the user asks about models.
    const bool validatedTable = compare || args.Has("--model");
    TCalibrationReport report;
    ExplainingSelectionFailures([&] {
        WithSelectionAdvice(geometry, place.Chart, measured, [&] {
            report = ComputeCalibrationReport(measured, place.Chart, sel.ColorsOnly, sel.Model, compare);
        });
        return 0;
    });
    PrintWarnings(place);

    if (args.Has("--json")) {
        TJson patches = TJson::array();
        for (const TPatchQuality& p : report.Patches) {
            patches.push_back({{"index", p.Index},
                               {"column", p.Column},
                               {"row", p.Row},
                               {"role", p.ControlPoint ? "control" : "held out"},
                               {"measured", Color(p.Measured)},
                               {"reference", Color(p.Reference)},
                               {"corrected", Color(p.Corrected)},
                               {"deltaEBefore", p.DeltaEBefore},
                               {"deltaEAfter", p.DeltaEAfter},
                               {"deltaELeaveOneOut", report.HasLeaveOneOut ? TJson(p.DeltaELeaveOneOut) : TJson(nullptr)},
                               {"fold", p.Fold},
                               {"crossValidated", Color(p.CrossValidated)},
                               {"deltaECrossValidated", p.DeltaECrossValidated}});
        }
        TJson document = {{"chart", chart.CommandName},
                          {"colorsOnly", sel.ColorsOnly},
                          {"imageWidth", work.Bitmap.Width()},
                          {"imageHeight", work.Bitmap.Height()}};
        // A rectangle as the window's selection; corners given or found as corners.
        if (sel.Kind == TPlaceKind::Rectangle) {
            document["rect"] = {sel.Rect.X1, sel.Rect.Y1, sel.Rect.X2, sel.Rect.Y2};
        } else {
            TJson corners = TJson::array();
            for (const TPointF& p : geometry.Corners()) corners.push_back({p.X, p.Y});
            document["corners"] = corners;
        }
        document["patches"] = patches;
        document["model"] = report.Model;
        document["modelDetails"] = report.ModelDetails;
        document["validation"] = {{"method", ValidationName(report.Folds)},
                                  {"folds", report.Folds.FoldCount},
                                  {"seed", report.Folds.LeaveOneOut ? TJson(nullptr) : TJson(CrossValidationSeed)},
                                  {"nearDuplicateDistance", NearDuplicateDistance}};
        document["summary"] = {{"control", Group(report.Control)}, {"heldOut", Group(report.HeldOut)}, {"all", Group(report.All)}};
        if (compare) {
            TJson models = TJson::object();
            for (const TModelComparison& c : report.Comparison) {
                TJson entry = c.Error.empty() ? Stats(c.CrossValidated) : TJson::object();
                entry["details"] = c.Details;
                entry["error"] = c.Error.empty() ? TJson(nullptr) : TJson(c.Error);
                models[c.Name] = entry;
            }
            document["cross_validation"] = models;
        }
        PrintJson(std::cout, document);
        return 0;
    }

    const std::string where = sel.Kind == TPlaceKind::Rectangle
                                  ? "rectangle " + std::to_string(sel.Rect.X1) + "," + std::to_string(sel.Rect.Y1) + "," +
                                        std::to_string(sel.Rect.X2) + "," + std::to_string(sel.Rect.Y2)
                                  : "corners " + CornersText(geometry.Corners());
    std::printf("Image %s: working size %d x %d, chart %s, %s, %s\n", image.c_str(), work.Bitmap.Width(), work.Bitmap.Height(),
                chart.DisplayName, where.c_str(), sel.ColorsOnly ? "colors only" : "colors and brightness");
    std::printf("Colours on the 0..255 scale; delta E 2000 (sRGB, CIELAB D65).\n\n");
    if (validatedTable) {
        std::printf("Model %s%s%s\n\n", report.Model.c_str(), report.ModelDetails.empty() ? "" : ": ",
                    report.ModelDetails.c_str());
        PrintValidatedReport(report);
        return 0;
    }
    std::printf("Patch Col Row Role     Measured          Reference         Corrected          Before   After     LOO\n");
    for (const TPatchQuality& p : report.Patches) {
        std::printf("%5d %3d %3d %-8s %s %s %s %7.2f %7.2f %7.2f\n", p.Index, p.Column, p.Row,
                    p.ControlPoint ? "control" : "held out", Bytes(p.Measured).c_str(), Bytes(p.Reference).c_str(),
                    Bytes(p.Corrected).c_str(), p.DeltaEBefore, p.DeltaEAfter, p.DeltaELeaveOneOut);
    }
    std::printf("\n                -------- before -------   -------- after --------   ---- leave one out ----\n");
    std::printf("Group     Count    mean  median     max      mean  median     max      mean  median     max\n");
    PrintGroup("control", report.Control);
    PrintGroup("held out", report.HeldOut);
    PrintGroup("all", report.All);
    return 0;
}

}  // namespace tintavo::cli
