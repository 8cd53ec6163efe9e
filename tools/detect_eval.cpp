// tintavo-detect-eval: builds a varied set of synthetic chart photographs with known corners and
// measures chart detection on it.
//
//   tintavo-detect-eval make DIR [--seed S] [--charts N] [--empty M]
//       renders N chart scenes (Classic and Digital SG alternating, all four rotations) and M
//       chart-free scenes as JPEGs into DIR, with DIR/scenes.txt holding the true corners in
//       working-image pixels, and the working images (as Open makes them) beside them; with
//       --list-only, DIR/scenes.txt alone (the scenes follow from the seed and their number, so
//       the list of a set whose rendering was cut short can be written again)
//   tintavo-detect-eval run DIR [--method ours|mcc] [--chart auto|given] [--verbose]
//       detects every scene and reports how many were found with the right chart type and every
//       patch centre within a quarter of the patch pitch of the truth, and the false detections

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/mcc.hpp>

#include "engine/Calibration.h"
#include "engine/ChartCheck.h"
#include "engine/ChartDetect.h"
#include "engine/ChartFit.h"
#include "engine/ChartGeometry.h"
#include "picture/Picture.h"
#include "tools/SceneRender.h"

using namespace tintavo;

namespace {

struct TTruth {
    std::string File;
    bool HasChart = false;
    TChartType Chart = TChartType::Classic;
    TQuad Corners{};
    std::string Description;
};

TChartGeometry Grid(const TQuad& corners, TChartType chart) {
    const TChartInfo& c = ChartInfo(chart);
    return TChartGeometry::FromCorners(corners, c.Columns, c.Rows);
}

[[noreturn]] void Usage(const std::string& error) {
    std::fprintf(stderr, "tintavo-detect-eval: %s\n", error.c_str());
    std::fprintf(stderr,
                 "Usage: tintavo-detect-eval make DIR [--seed S] [--charts N] [--empty M] [--list-only]\n"
                 "       tintavo-detect-eval run DIR [--method ours|mcc] [--chart auto|given] [--verbose] [--draw]\n"
                 "       tintavo-detect-eval scores DIR\n");
    std::exit(2);
}

std::string WorkingFile(const std::string& jpeg) { return jpeg.substr(0, jpeg.size() - 4) + ".work.png"; }

int Make(const std::string& dir, unsigned seed, int charts, int empty, bool render) {
    std::filesystem::create_directories(dir);
    std::ofstream list(dir + "/scenes.txt");
    TBitmap24 picture, work;
    char name[64];
    for (int i = 0; i < charts + empty; ++i) {
        const bool withChart = i < charts;
        const TChartType chart = (i / 4) % 2 == 0 ? TChartType::Classic : TChartType::DigitalSG;
        const scene::TVariedScene v = scene::VariedScene(seed, i, withChart, chart);
        std::snprintf(name, sizeof name, "%03d.jpg", i);
        const std::string file = dir + "/" + name;
        if (render) {
            scene::RenderScene(v.Scene, picture);
            SavePicture(file, picture, v.Quality);
            OpenCalibrationPicture(file, work);
            SavePicture(WorkingFile(file), work);
        } else if (!std::filesystem::exists(WorkingFile(file))) {
            continue;
        }
        list << name << ' ' << (withChart ? (chart == TChartType::Classic ? "classic" : "sg") : "none");
        if (withChart) {
            const TQuad w = scene::ToWorkingCorners(v.Scene.Grid, v.Scene.Width, v.Scene.Height);
            char text[200];
            for (const TPointF& p : w) {
                std::snprintf(text, sizeof text, " %.4f %.4f", p.X, p.Y);
                list << text;
            }
        }
        list << " # " << v.Description << std::endl;
        std::printf("%s %s\n", name, v.Description.c_str());
        std::fflush(stdout);
    }
    return 0;
}

std::vector<TTruth> ReadList(const std::string& dir) {
    std::ifstream in(dir + "/scenes.txt");
    if (!in) Usage("no scenes.txt in " + dir);
    std::vector<TTruth> out;
    std::string line;
    while (std::getline(in, line)) {
        TTruth t;
        const auto hash = line.find(" # ");
        if (hash != std::string::npos) t.Description = line.substr(hash + 3), line = line.substr(0, hash);
        std::istringstream s(line);
        std::string chart;
        s >> t.File >> chart;
        t.File = dir + "/" + t.File;
        t.HasChart = chart != "none";
        t.Chart = chart == "sg" ? TChartType::DigitalSG : TChartType::Classic;
        if (t.HasChart)
            for (TPointF& p : t.Corners) s >> p.X >> p.Y;
        out.push_back(t);
    }
    return out;
}

// The largest patch-centre error as a fraction of the local patch pitch.
double WorstCentreError(const TQuad& truth, const TQuad& found, TChartType chart) {
    const int columns = ChartColumns(chart), rows = ChartRows(chart);
    const TChartGeometry t = Grid(truth, chart), f = Grid(found, chart);
    double worst = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const TPointF a = t.PatchCenterPoint(c, r), b = f.PatchCenterPoint(c, r);
            const TPointF nc = t.PatchCenterPoint(c + (c + 1 < columns ? 1 : -1), r);
            const TPointF nr = t.PatchCenterPoint(c, r + (r + 1 < rows ? 1 : -1));
            const double pitch = std::min(std::hypot(nc.X - a.X, nc.Y - a.Y), std::hypot(nr.X - a.X, nr.Y - a.Y));
            worst = std::max(worst, std::hypot(a.X - b.X, a.Y - b.Y) / pitch);
        }
    return worst;
}

// The contrib detector on its own: its box corners are the patch grid's outer corners, starting at
// the patch it numbers first.
std::optional<TDetectedChart> DetectWithMcc(const TBitmap24& work, std::optional<TChartType> chart) {
    cv::Mat bgr(work.Height(), work.Width(), CV_8UC3, const_cast<std::uint8_t*>(work.Bits()), work.Stride());
    std::optional<TDetectedChart> best;
    for (TChartType type : {TChartType::Classic, TChartType::DigitalSG}) {
        if (chart && *chart != type) continue;
        auto detector = cv::mcc::CCheckerDetector::create();
        if (!detector->process(bgr, type == TChartType::Classic ? cv::mcc::MCC24 : cv::mcc::SG140, 1)) continue;
        const auto checker = detector->getBestColorChecker();
        if (!checker) continue;
        const std::vector<cv::Point2f> box = checker->getBox();
        if (box.size() != 4) continue;
        if (std::getenv("TINTAVO_EVAL_DEBUG"))
            std::printf("mcc box %.1f,%.1f %.1f,%.1f %.1f,%.1f %.1f,%.1f\n", box[0].x, box[0].y, box[1].x, box[1].y,
                        box[2].x, box[2].y, box[3].x, box[3].y);
        TDetectedChart d;
        d.Chart = type;
        for (std::size_t k = 0; k < 4; ++k) d.Corners[k] = {box[k].x + 0.5, box[k].y + 0.5};
        d.Score = -checker->getCost();
        if (!best || d.Score > best->Score) best = d;
    }
    return best;
}

// The working image with the found corners (corner 1 marked) and patch centres drawn over it.
void Draw(const TBitmap24& work, const TDetectedChart& d, const std::string& file) {
    TBitmap24 copy;
    copy.Assign(work);
    cv::Mat bgr(copy.Height(), copy.Width(), CV_8UC3, copy.Bits(), static_cast<std::size_t>(copy.Stride()));
    std::vector<cv::Point> outline;
    for (const TPointF& p : d.Corners) outline.emplace_back(static_cast<int>(p.X), static_cast<int>(p.Y));
    cv::polylines(bgr, outline, true, cv::Scalar(0, 255, 255), 1);
    cv::circle(bgr, outline[0], 6, cv::Scalar(0, 0, 255), 2);
    const TChartGeometry g = Grid(d.Corners, d.Chart);
    const int columns = ChartColumns(d.Chart), rows = ChartRows(d.Chart);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c) {
            const TPointF p = g.PatchCenterPoint(c, r);
            cv::drawMarker(bgr, cv::Point(static_cast<int>(p.X), static_cast<int>(p.Y)), cv::Scalar(255, 255, 255),
                           cv::MARKER_CROSS, 5);
        }
    SavePicture(file, copy);
}

int Run(const std::string& dir, const std::string& method, bool chartGiven, bool verbose, bool draw) {
    const std::vector<TTruth> list = ReadList(dir);
    int charts = 0, found = 0, rightType = 0, withinQuarter = 0, empties = 0, falsePositives = 0;
    double worstOfAll = 0, seconds = 0, slowest = 0, slowestCpu = 0, worstLevels = 0;
    int beyondThreeLevels = 0;
    std::vector<double> errors;
    TBitmap24 work;
    for (const TTruth& t : list) {
        LoadPicture(WorkingFile(t.File), work);
        const std::optional<TChartType> asked = chartGiven && t.HasChart ? std::optional(t.Chart) : std::nullopt;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        std::optional<TDetectedChart> d = method == "mcc" ? DetectWithMcc(work, asked) : DetectChart(work, asked);
        if (d) {
            try {
                (void)TSquareToQuad(d->Corners);
            } catch (const std::invalid_argument&) {
                d->Corners = {};  // a crossed quadrilateral counts as a wrong place
            }
        }
        const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        seconds += took;
        slowest = std::max(slowest, took);
        slowestCpu = std::max(slowestCpu, static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
        std::string verdict;
        if (draw && d) Draw(work, *d, t.File.substr(0, t.File.size() - 4) + ".found.png");
        if (!t.HasChart) {
            ++empties;
            if (d) ++falsePositives, verdict = "FALSE POSITIVE " + std::to_string(d->Score);
            else verdict = "ok";
        } else {
            ++charts;
            if (!d) {
                verdict = "missed";
            } else {
                ++found;
                if (d->Chart != t.Chart) {
                    verdict = "wrong type";
                } else {
                    ++rightType;
                    const double e = WorstCentreError(t.Corners, d->Corners, t.Chart);
                    // Sampling as the calibration does, at the found and at the true corners.
                    TMeasuredPatches atTruth, atFound;
                    SamplePatches(work, Grid(t.Corners, t.Chart), t.Chart, atTruth);
                    SamplePatches(work, Grid(d->Corners, t.Chart), t.Chart, atFound);
                    double levels = 0;
                    for (int i = 0; i < atTruth.PatchCount; ++i) {
                        const TLutColor &a = atTruth.MeasuredColors[i], &b = atFound.MeasuredColors[i];
                        levels = std::max({levels, std::abs(a.R - b.R) * 255, std::abs(a.G - b.G) * 255, std::abs(a.B - b.B) * 255});
                    }
                    worstLevels = std::max(worstLevels, levels);
                    if (levels > 3) ++beyondThreeLevels;
                    errors.push_back(e);
                    worstOfAll = std::max(worstOfAll, e);
                    char text[64];
                    std::snprintf(text, sizeof text, "error %.3f pitch, sampling %.0f levels", e, levels);
                    verdict = text;
                    if (e <= 0.25) ++withinQuarter;
                    else verdict += " TOO FAR";
                }
            }
        }
        if (verbose || (verdict.find("ok") != 0 && verdict.find("error") != 0) || verdict.find("FAR") != std::string::npos)
            std::printf("%s: %s  [%s]\n", t.File.c_str(), verdict.c_str(), t.Description.c_str());
    }
    std::sort(errors.begin(), errors.end());
    std::printf("method %s, chart %s: %d chart scenes: %d found, %d right type, %d with every centre within 1/4 pitch "
                "(%.1f %%); worst centre error %.3f pitch, median %.3f; %d chart-free scenes: %d false detections; "
                "detect time mean %.1f ms, slowest %.1f ms (wall clock), %.1f ms (processor time); sampling at the found corners differs from the true corners' by up to %.2f "
                "levels (%d charts beyond 3 levels)\n",
                method.c_str(), chartGiven ? "given" : "auto", charts, found, rightType, withinQuarter,
                charts ? 100.0 * withinQuarter / charts : 0.0, worstOfAll,
                errors.empty() ? 0.0 : errors[errors.size() / 2], empties, falsePositives,
                list.empty() ? 0.0 : 1000 * seconds / static_cast<double>(list.size()), 1000 * slowest, 1000 * slowestCpu, worstLevels,
                beyondThreeLevels);
    return 0;
}

// The colour fit at the true corners in all eight readings and as the other chart type.
int Scores(const std::string& dir) {
    const std::vector<TTruth> list = ReadList(dir);
    TBitmap24 work;
    double worstRight = 1, bestWrong = 0, bestOther = 0;
    for (const TTruth& t : list) {
        if (!t.HasChart) continue;
        LoadPicture(WorkingFile(t.File), work);
        const TChartGeometry g = Grid(t.Corners, t.Chart);
        const TSelectionCheck check = CheckSelection(work, g, t.Chart);
        double wrong = 0;
        for (bool mirrored : {false, true})
            for (int start = 0; start < 4; ++start) {
                if (start == 0 && !mirrored) continue;
                TMeasuredPatches m;
                SamplePatches(work, Grid(ReorderedCorners(t.Corners, start, mirrored), t.Chart), t.Chart, m);
                wrong = std::max(wrong, ChartFitScore(m.MeasuredColors, ChartReference(t.Chart), m.PatchCount));
            }
        worstRight = std::min(worstRight, check.Score);
        bestWrong = std::max(bestWrong, wrong);
        bestOther = std::max(bestOther, check.OtherChartScore);
        std::printf("%s %s: right %.3f, best wrong reading %.3f, other chart %.3f%s\n", t.File.c_str(),
                    t.Chart == TChartType::Classic ? "classic" : "sg", check.Score, wrong, check.OtherChartScore,
                    check.Warnings.empty() ? "" : ("  WARNING: " + check.Warnings[0]).c_str());
    }
    std::printf("lowest right score %.3f, highest wrong-reading score %.3f, highest other-chart score %.3f\n", worstRight,
                bestWrong, bestOther);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) Usage("missing arguments");
    const std::string command = argv[1], dir = argv[2];
    unsigned seed = 1;
    int charts = 120, empty = 24;
    std::string method = "ours";
    bool chartGiven = false, verbose = false, draw = false, listOnly = false;
    for (int i = 3; i < argc; ++i) {
        const std::string key = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(key + " needs a value");
            return argv[++i];
        };
        if (key == "--seed") seed = static_cast<unsigned>(std::stoul(value()));
        else if (key == "--charts") charts = std::stoi(value());
        else if (key == "--empty") empty = std::stoi(value());
        else if (key == "--method") method = value();
        else if (key == "--chart") chartGiven = value() == "given";
        else if (key == "--verbose") verbose = true;
        else if (key == "--draw") draw = true;
        else if (key == "--list-only") listOnly = true;
        else Usage("unknown option " + key);
    }
    try {
        if (command == "make") return Make(dir, seed, charts, empty, !listOnly);
        if (command == "run") return Run(dir, method, chartGiven, verbose, draw);
        if (command == "scores") return Scores(dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tintavo-detect-eval: %s\n", e.what());
        return 1;
    }
    Usage("unknown command " + command);
}
