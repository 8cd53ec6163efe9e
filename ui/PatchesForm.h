// TfrmPatches: a diagnostic table that sets the sampled patch colours beside the chart's
// reference colours, one row per patch (measured swatch, reference swatch, patch number).
//
// Given a calibration report it shows the calibration's quality instead: per patch the measured,
// reference and corrected colours with their CIEDE2000 errors before, after (in-sample) and held
// out, worst first; the summary of all patches; and on request every model's held-out errors on
// the same folds. The figures all come from the report (engine/CalibrationReport).
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "engine/CalibrationReport.h"
#include "lut/LUT.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace tintavo {

class TfrmPatches : public QWidget {
    Q_OBJECT

public:
    explicit TfrmPatches(QWidget* owner);

    QTableWidget* StringGrid1 = nullptr;
    int PatchCount = 0;
    TLutColor ReferenceColors[140] = {};

    // Fills the table (one row per measured patch plus an empty last row).
    void Fill(const TLutColor* measured, const TLutColor* reference, int count);

    // The colour a swatch cell shows, or an invalid colour for a cell without a swatch.
    QColor CellColor(int row, int column) const;

    // The report view (hidden until FillReport).
    QLabel* lblReport = nullptr;         // chart, model and how the held-out figures were made
    QTableWidget* tblPatches = nullptr;  // one row per patch, columns as TReportColumn
    QTableWidget* tblSummary = nullptr;  // before, in-sample and held-out statistics of all patches
    QPushButton* btnCompareModels = nullptr;
    QTableWidget* tblModels = nullptr;  // one row per registered model after CompareModels
    enum TReportColumn { rcPatch, rcMeasured, rcReference, rcCorrected, rcBefore, rcAfter, rcHeldOut, rcColumnCount };

    // Shows the report of a calibration of `measured` (its chart, node rule and model); the
    // patches worst first, the worst highlighted. The model comparison starts empty.
    void FillReport(const TCalibrationReport& report, const TMeasuredPatches& measured);
    const TCalibrationReport& Report() const { return report_; }
    bool ReportShown() const { return reportShown_; }
    // Every registered model's held-out errors on the report's folds, computed beside the window.
    void CompareModels();
    // The patch index shown in a row of tblPatches, and whether the row is highlighted as one of
    // the worst.
    int PatchOfRow(int row) const;
    bool RowHighlighted(int row) const;
    // The swatch colour of a cell of tblPatches, or an invalid colour.
    QColor ReportCellColor(int row, int column) const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void ShowReportView(bool on);

    std::vector<QWidget*> reportWidgets_;
    bool reportShown_ = false;
    TCalibrationReport report_;
    TMeasuredPatches measured_;
};

// Creates the Patches window (hidden) if it does not exist yet.
TfrmPatches* CreatePatchesWindow(QWidget* owner);
// Fills and shows the Patches window without blocking.
void ShowPatches(const TLutColor* measured, const TLutColor* reference, int count, QWidget* owner);
TfrmPatches* PatchesWindow();
// Fills the Patches window with a calibration report and shows it without blocking.
void ShowPatchReport(const TCalibrationReport& report, const TMeasuredPatches& measured, QWidget* owner);

// A colour channel 0..1 as an 8-bit value, rounded to nearest with ties to even.
int ChannelTo8Bit(double value);

}  // namespace tintavo
