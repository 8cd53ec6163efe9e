// TfrmMain: the program's main window. It owns the working image, the program's one TLUT and
// the image viewer, and drives the workflow: open or paste a chart photograph, select the
// chart in the viewer, preview the correction, hide and show it, save the LUT.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "engine/Calibration.h"
#include "lut/Bitmap.h"
#include "lut/LUT.h"
#include "lut/PreciseImage.h"
#include "picture/Picture.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;

namespace tintavo {

class TImageViewer;

class TfrmMain : public QWidget {
    Q_OBJECT

public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The Open command after the file dialog: loads the picture, reduces it to the working size
    // and shows it. Errors are shown in the error box; returns false then.
    bool OpenPicture(const QString& fileName);

    // Recomputes the enabled and visible states of the commands.
    void UpdateControls();

    // Measures the patches of the working image (or of the viewer's source image).
    void SamplePatches(bool fromViewer);
    // Measures the working image, fits the mapping and fills the 33-point table of Lut.
    void Calibrate();

    TImageViewer* Viewer() const { return viewer_; }
    const TBitmap24& WorkBitmap() const { return workBitmap_; }
    // The precise working image of a deep picture (empty for 8-bit and pasted pictures), which
    // the calibration samples instead of the 8-bit one, and what the opened picture was.
    const TPreciseImage& WorkPrecise() const { return workPrecise_; }
    const TPictureInfo& PictureInfo() const { return pictureInfo_; }
    TLUT& Lut() { return *lut_; }
    const TCalibrationMapping* Mapping() const { return mapping_.get(); }
    bool PreviewDone() const { return previewDone_; }
    const TMeasuredPatches& Measured() const { return measured_; }
    TChartType Chart() const;

    // Event handlers.
    void sbnOpenPreviewImageClick();
    void miPasteClick();
    void rbnColorCheckerClassicClick();
    void sbnPreviewClick();
    void sbnHidePreviewClick();
    void sbnSave3DLutFileClick();
    void sbnAboutClick();
    void sbnTestColorCheckerDataClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void SetWorkingImage(TBitmap24& image);
    void OpenSaveDialog();
    void ViewerLayoutChanged();

    TBitmap24 workBitmap_;
    TPreciseImage workPrecise_;
    TPictureInfo pictureInfo_;
    std::unique_ptr<TLUT> lut_;
    std::unique_ptr<TCalibrationMapping> mapping_;  // the last successful calibration
    TMeasuredPatches measured_;
    bool previewDone_ = false;

    TImageViewer* viewer_ = nullptr;
    QWidget* pnlClient = nullptr;
    QWidget* Panel2 = nullptr;
    QPushButton* sbnOpenCalibrationImage = nullptr;
    QPushButton* sbnPaste = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    // rbnColorCheckerClassic, rbnColorCheckerSG, ...: one per chart, in the chart table's order.
    std::vector<QRadioButton*> chartButtons_;
    QLabel* lblHint = nullptr;
    QLabel* lblPictureInfo = nullptr;  // the opened picture's type, depth and size
    QCheckBox* cbxIngnorelightness = nullptr;
    QPushButton* sbnPreview = nullptr;
    QPushButton* sbnHidePreview = nullptr;
    QPushButton* sbnSave3DLutFile = nullptr;
    QWidget* Panel4 = nullptr;
    QPushButton* SpeedButton2 = nullptr;
    QPushButton* sbnTestColorCheckerData = nullptr;
    QMenu* pmnPreview = nullptr;
    QAction* miOpenPreviewImage = nullptr;
    QAction* miPaste = nullptr;
};

// A small reproduction of the chart, drawn from its reference colours (one cell per patch).
QPixmap ChartPicture(TChartType chart, int cellSize);

}  // namespace tintavo
