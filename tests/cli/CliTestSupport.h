// Helpers of the command-line tests: running tintavo-cli, a scratch folder, a small JSON reader
// for the --json outputs, and synthetic chart photographs with a known distortion.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/Calibration.h"
#include "lut/Bitmap.h"

namespace tintavo::clitest {

struct TRunResult {
    int Status = -1;  // exit status, or -1 when the program did not exit normally
    std::string Out;
    std::string Err;
};

// Runs tintavo-cli with `args` (no shell involved).
TRunResult RunCli(const std::vector<std::string>& args);
// Runs any program.
TRunResult RunProgram(const std::string& program, const std::vector<std::string>& args);

// A fresh folder, removed with everything in it when the object goes.
class TScratchDir {
public:
    TScratchDir();
    ~TScratchDir();
    TScratchDir(const TScratchDir&) = delete;
    TScratchDir& operator=(const TScratchDir&) = delete;
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    // The names of the files in the folder, sorted.
    std::vector<std::string> Names() const;

private:
    std::filesystem::path dir_;
};

std::string ReadText(const std::string& fileName);
void WriteText(const std::string& fileName, const std::string& text);

// A parsed JSON value.
struct TJson {
    enum TType { Null, Bool, Number, String, Array, Object } Type = Null;
    bool BoolValue = false;
    double NumberValue = 0.0;
    std::string StringValue;
    std::vector<TJson> Items;
    std::map<std::string, TJson> Members;

    const TJson& operator[](const std::string& key) const;  // fails the test when missing
    const TJson& operator[](std::size_t i) const { return Items.at(i); }
    std::size_t Size() const { return Type == Array ? Items.size() : Members.size(); }
};
// Parses a whole JSON document; raises std::runtime_error on malformed text.
TJson ParseJson(const std::string& text);

// The distortion the synthetic camera applies to every patch colour (0..1 scale).
TLutColor DistortColor(const TLutColor& c);

// A chart photograph: a mid-grey background and, inside `rect`, one flat patch per grid cell
// (70 % of the cell) in the chart's reference colour passed through DistortColor, with dark gaps.
// Patch column 0, row 0 lies at (rect.X1, rect.Y1).
void DrawChart(TChartType chart, const TSelection& rect, int width, int height, TBitmap24& out);

// "X1,Y1,X2,Y2".
std::string RectText(const TSelection& rect);

}  // namespace tintavo::clitest
