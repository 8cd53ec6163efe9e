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
    // The converter: writes a LUT read from a file through any profile that can hold it (every
    // 3D profile; the 1D profiles too when it holds 1D curves only).
    TfrmSaveLut(const TLUT& loaded, QWidget* parent);

    // The folder of the last LUT file chosen in this dialog; remembered in the settings, and
    // taken from them when the program has not chosen one yet.
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
    void BuildControls();
    void AddProfiles();
    bool cbxDimSizeKeyPress(QKeyEvent* event);  // true: the key is discarded
    void cbxDimSizeKeyDown(QKeyEvent* event);
    // Writes the file on a worker thread with progress and Cancel; false when it did not finish.
    bool Write(const TLutOutputProfile& profile, int size, int bits, const QString& fileName);

    TLUT* lut_ = nullptr;                         // the calibration's table
    const TCalibrationMapping* mapping_ = nullptr;
    const TLUT* loaded_ = nullptr;                // the converter's LUT (then lut_ is null)
};

// "name.ext" with the extension replaced (or appended when the name has none).
QString ChangeFileExt(const QString& fileName, const QString& extension);

}  // namespace tintavo
