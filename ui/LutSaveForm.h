// TfrmSaveLut: the modal dialog in which the user picks an output profile, the destination
// file and, where the profile allows, the LUT size; Save writes the calibration through the
// profile's format.
#pragma once

#include <QDialog>

#include "engine/Calibration.h"
#include "formats/LUTFormat.h"
#include "lut/LUT.h"

class QComboBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace tintavo {

class TfrmSaveLut : public QDialog {
    Q_OBJECT

public:
    // `lut` is the window's calibration table; `mapping` the calibration it was filled from, used
    // to tabulate other sizes on their own grid (may be null: the table is then resampled).
    // Saving goes through SaveCalibration, as `tintavo-cli calibrate` does.
    TfrmSaveLut(TLUT& lut, const TCalibrationMapping* mapping, QWidget* parent = nullptr);

    // The folder of the last LUT file chosen in this dialog, kept for the run of the program.
    static QString LastLutFolder;

    QLabel* Label4 = nullptr;
    QComboBox* cbxOutFormat = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* edtLUTFile = nullptr;
    QToolButton* btnSetLUTFile = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* cbxDimSize = nullptr;
    QLabel* Label6 = nullptr;
    QComboBox* cbxBits = nullptr;
    QPushButton* btnSave = nullptr;
    QPushButton* btnCancel = nullptr;

    // The profile attached to the selected item, or null while none is selected.
    const TLutOutputProfile* SelectedProfile() const;
    // The size to write: the profile's default for "Default", else the number shown (0 when the
    // box holds no number).
    int ResolvedSize() const;
    // The bit depth to write: the profile's default for "Default".
    int ResolvedBits() const;

    void cbxOutFormatChange();
    void btnSetLUTFileClick();
    // Writes the file; true on success (the dialog then closes).
    bool btnSaveClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool cbxDimSizeKeyPress(QKeyEvent* event);  // true: the key is discarded
    void cbxDimSizeKeyDown(QKeyEvent* event);

    TLUT& lut_;
    const TCalibrationMapping* mapping_;
};

// "name.ext" with the extension replaced (or appended when the name has none).
QString ChangeFileExt(const QString& fileName, const QString& extension);

}  // namespace tintavo
