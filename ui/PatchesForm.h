// TfrmPatches: a diagnostic table that sets the sampled patch colours beside the chart's
// reference colours, one row per patch (measured swatch, reference swatch, patch number).
#pragma once

#include <QWidget>

#include "lut/LUT.h"

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

protected:
    void changeEvent(QEvent* event) override;
};

// Creates the Patches window (hidden) if it does not exist yet.
TfrmPatches* CreatePatchesWindow(QWidget* owner);
// Fills and shows the Patches window without blocking.
void ShowPatches(const TLutColor* measured, const TLutColor* reference, int count, QWidget* owner);
TfrmPatches* PatchesWindow();

// A colour channel 0..1 as an 8-bit value, rounded to nearest with ties to even.
int ChannelTo8Bit(double value);

}  // namespace tintavo
