// calibrate and report: the window's Open, selection and Save on the command line.
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>

#include "cli/Args.h"
#include "cli/Commands.h"
#include "cli/Json.h"
#include "engine/Calibration.h"
#include "engine/CalibrationExport.h"
#include "engine/CalibrationReport.h"
#include "formats/LUTFormat.h"
#include "picture/Picture.h"

namespace tintavo::cli {

namespace {

struct TChartSelection {
    TChartType Chart;
    TSelection Rect;
    bool ColorsOnly;
    TPrecision Precision;
};

TChartSelection ParseChartSelection(const TArgs& args) {
    return {ParseChart(args.Required("--chart")), ParseRect(args.Required("--rect")), !args.Has("--full"),
            args.Has("--precise") ? TPrecision::Always : TPrecision::Auto};
}

// Opens the picture as the window's Open does (with a precise working image for a deep picture,
// or when asked for) and checks the rectangle against it. A float picture's clamped samples are
// reported once, here.
void OpenAndCheck(const std::string& image, const TChartSelection& sel, TWorkingPicture& work) {
    OpenCalibrationPicture(image, work, sel.Precision);
    if (work.Info.ClampedSamples > 0) std::cerr << "warning: " << work.Info.ClampWarning(image) << "\n";
    CheckRect(sel.Rect, work.Bitmap.Width(), work.Bitmap.Height());
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

TJson Color(const TLutColor& c) { return TJson::array({c.R, c.G, c.B}); }

TJson Stats(const TDeltaEStats& s) {
    // An empty group (no patch left out of a Classic fit) has no statistics.
    if (s.Count == 0) return {{"mean", nullptr}, {"median", nullptr}, {"max", nullptr}};
    return {{"mean", s.Mean}, {"median", s.Median}, {"max", s.Max}};
}

TJson Group(const TGroupQuality& g) {
    return {{"count", g.Before.Count},
            {"before", Stats(g.Before)},
            {"after", Stats(g.After)},
            {"leaveOneOut", Stats(g.LeaveOneOut)}};
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

std::string Bytes(const TLutColor& c) {
    char text[48];
    std::snprintf(text, sizeof text, "%5.1f %5.1f %5.1f", 255.0 * c.R, 255.0 * c.G, 255.0 * c.B);
    return text;
}

}  // namespace

int RunCalibrate(const TArgs& args) {
    const std::string& image = args.Positional(0);
    const TChartSelection sel = ParseChartSelection(args);
    const TLutOutputProfile& profile = *GetOutputProfile(ResolveProfile(args.Required("--profile")));
    if (!GetLutFormat(profile.FormatIndex)->Is3D) {
        throw EUsageError("the output profile \"" + profile.Name + "\" writes 1D curves; a calibration is a 3D LUT");
    }
    const int size = ResolveSize(profile, args.Value("--size"));
    const int bits = ResolveBits(profile, args.Value("--bits"));
    const std::string& output = args.Required("-o");

    return ExplainingSelectionFailures([&] {
        TWorkingPicture work;
        OpenAndCheck(image, sel, work);
        // The window's LUT: a table of the window's size with no comments, filled by the calibration.
        auto lut = std::make_unique<TLUT>();
        lut->LutKind = lk3D;
        lut->Size3D = CalibrationLutSize;
        TMeasuredPatches measured;
        const TChartInfo& chart = ChartInfo(sel.Chart);
        const TChartGeometry geometry(sel.Rect, chart.Columns, chart.Rows);
        const auto mapping = work.HasPrecise()
                                 ? Calibrate(work.Precise, geometry, sel.Chart, sel.ColorsOnly, *lut, measured)
                                 : Calibrate(work.Bitmap, geometry, sel.Chart, sel.ColorsOnly, *lut, measured);
        SaveCalibration(*lut, mapping.get(), profile, size, bits, output);
        std::cout << WrittenLine(output, profile.Name, true, size, bits);
        return 0;
    });
}

int RunReport(const TArgs& args) {
    const std::string& image = args.Positional(0);
    const TChartSelection sel = ParseChartSelection(args);

    TWorkingPicture work;
    OpenAndCheck(image, sel, work);
    const TChartInfo& chart = ChartInfo(sel.Chart);
    const TChartGeometry geometry(sel.Rect, chart.Columns, chart.Rows);
    TMeasuredPatches measured;
    SampleWorking(work, geometry, sel.Chart, measured);
    TCalibrationReport report;
    ExplainingSelectionFailures([&] {
        WithSelectionAdvice(geometry, sel.Chart, measured,
                            [&] { report = ComputeCalibrationReport(measured, sel.Chart, sel.ColorsOnly); });
        return 0;
    });

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
                               {"deltaELeaveOneOut", p.DeltaELeaveOneOut}});
        }
        const TJson document = {
            {"chart", chart.CommandName},
            {"colorsOnly", sel.ColorsOnly},
            {"imageWidth", work.Bitmap.Width()},
            {"imageHeight", work.Bitmap.Height()},
            {"rect", {sel.Rect.X1, sel.Rect.Y1, sel.Rect.X2, sel.Rect.Y2}},
            {"patches", patches},
            {"summary", {{"control", Group(report.Control)}, {"heldOut", Group(report.HeldOut)}, {"all", Group(report.All)}}}};
        PrintJson(std::cout, document);
        return 0;
    }

    std::printf("Image %s: working size %d x %d, chart %s, rectangle %d,%d,%d,%d, %s\n", image.c_str(),
                work.Bitmap.Width(), work.Bitmap.Height(), chart.DisplayName,
                sel.Rect.X1, sel.Rect.Y1, sel.Rect.X2, sel.Rect.Y2,
                sel.ColorsOnly ? "colors only" : "colors and brightness");
    std::printf("Colours on the 0..255 scale; delta E 2000 (sRGB, CIELAB D65).\n\n");
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
