// TfrmMain: the program's main window. It owns the working image, the program's one TLUT and
// the image viewer, and drives the workflow: open or paste a chart photograph, select the
// chart in the viewer, preview the correction, hide and show it, save the LUT.
#pragma once

#include <QMainWindow>
#include <QRect>
#include <memory>
#include <string>
#include <vector>

#include "engine/Calibration.h"
#include "engine/ChartCheck.h"
#include "lut/Bitmap.h"
#include "lut/LUT.h"
#include "lut/PreciseImage.h"
#include "picture/Picture.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;

namespace tintavo {

class TImageViewer;

class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The Open command after the file dialog: loads the picture, reduces it to the working size
    // and shows it. Errors are shown in the error box; returns false then.
    bool OpenPicture(const QString& fileName);
    // Reads a LUT file in any layout the library reads and shows it applied to the picture, so
    // that it can be looked at and saved again through another profile. False on failure (the
    // error was shown; what was shown before stays).
    Q_INVOKABLE bool OpenLutFile(const QString& fileName);
    // A dropped or recent file: a picture when its first bytes say so, otherwise a LUT file.
    bool OpenAnyFile(const QString& fileName);

    // Sizes and places the window (its normal, not maximised geometry) inside the available area
    // of its screen, title bar included, with a minimum size the screen can hold.
    void PlaceOnScreen();
    // The normal geometry PlaceOnScreen gives: `fraction` of the available area, centred, no
    // smaller than `minimum`, never larger than the area less the frame.
    static QRect NormalGeometry(const QRect& available, const QMargins& frame, QSize minimum, double fraction);

    // Recomputes the enabled and visible states of the commands.
    void UpdateControls();

    // Measures the patches of the working image (or of the viewer's source image).
    void SamplePatches(bool fromViewer);
    // Measures the working image, fits the mapping with the chosen model and fills the 33-point
    // table of Lut. A model that chooses among others by validation fits beside the window.
    void Calibrate();
    // The registered name of the calibration model chosen in the window.
    std::string ModelName() const;

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
    // The LUT read by OpenLutFile (null before), and whether it is the one shown now.
    const TLUT* LutFile() const { return fileLut_.get(); }
    bool LutFileShown() const { return previewSource_ == TPreviewSource::LutFile; }
    // The status bar's texts: pointer position, pixel values, zoom.
    QLabel* PositionLabel() const { return lblPosition; }
    QLabel* PixelLabel() const { return lblPixel; }
    QLabel* ZoomLabel() const { return lblZoom; }

    // Event handlers.
    void sbnOpenPreviewImageClick();
    void miPasteClick();
    void rbnColorCheckerClassicClick();
    void sbnPreviewClick();
    void sbnHidePreviewClick();
    void sbnSave3DLutFileClick();
    void sbnAboutClick();
    void sbnTestColorCheckerDataClick();
    // The Patches window with the calibration's quality: the selection measured afresh with the
    // current choices, or else the patches of the last calibration.
    void actPatchesClick();
    void cbModelChange();
    // Finds the chart in the working image, selects its type and places its four corners.
    void btnDetectChartClick();
    // Uses the reading the selection check suggested (chart type and corner order).
    void btnUseSuggestionClick();
    void actTetrahedralClick(bool on);

    // The last selection check (Problem None before any) and its label and one-click fix.
    const TSelectionCheck& SelectionCheck() const { return check_; }
    QLabel* CheckLabel() const { return lblSelectionCheck; }
    QPushButton* UseSuggestionButton() const { return btnUseSuggestion; }
    TLutInterpolation Interpolation() const { return interpolation_; }

    void actOpenLutClick();
    void actSaveLutClick();
    void actSplitViewClick(bool on);
    void actTipsClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class TPreviewSource { None, Calibration, LutFile };

    void BuildControls();
    void BuildMenus();
    void BuildStatusBar();
    void SetWorkingImage(TBitmap24& image);
    // A new picture: the calibration's correction ends; a LUT file being looked at is applied
    // to the new picture at once.
    void ResetCorrection();
    // The LUT the display is corrected with: the calibration's or the LUT file's.
    const TLUT& ShownLut() const;
    void ShowCorrection();
    void OpenSaveDialog();
    void ViewerLayoutChanged();
    // Checks the selection against the chosen chart and shows what the check found.
    void CheckSelectionNow();
    void ShowCheckText(const QString& text, bool offerFix);
    void SelectChart(TChartType chart);
    void PointerMoved(QPoint picture);
    void ZoomChanged();
    void UpdateRecentMenu();
    void Remember(const QString& fileName);

    TBitmap24 workBitmap_;
    TPreciseImage workPrecise_;
    TPictureInfo pictureInfo_;
    std::unique_ptr<TLUT> lut_;
    std::unique_ptr<TCalibrationMapping> mapping_;  // the last successful calibration
    TMeasuredPatches measured_;
    // The choices of the last successful calibration (for the Patches window after the
    // selection is gone).
    TMeasuredPatches calibratedPatches_;
    TChartType calibratedChart_ = TChartType::Classic;
    bool calibratedColorsOnly_ = true;
    std::string calibratedModel_;
    bool previewDone_ = false;
    TPreviewSource previewSource_ = TPreviewSource::None;
    std::unique_ptr<TLUT> fileLut_;
    QString fileLutName_;
    TSelectionCheck check_;
    TLutInterpolation interpolation_ = TLutInterpolation::Trilinear;

    TImageViewer* viewer_ = nullptr;
    QWidget* pnlClient = nullptr;
    QWidget* Panel2 = nullptr;
    QPushButton* sbnOpenCalibrationImage = nullptr;
    QPushButton* sbnPaste = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    // rbnColorCheckerClassic, rbnColorCheckerSG, ...: one per chart, in the chart table's order.
    std::vector<QRadioButton*> chartButtons_;
    QLabel* lblHint = nullptr;
    QPushButton* btnDetectChart = nullptr;
    QLabel* lblSelectionCheck = nullptr;
    QPushButton* btnUseSuggestion = nullptr;
    QLabel* lblPictureInfo = nullptr;  // the opened picture's type, depth and size
    QCheckBox* cbxIngnorelightness = nullptr;
    QLabel* lblModel = nullptr;
    QComboBox* cbModel = nullptr;  // one entry per registered calibration model, the default first
    QPushButton* sbnPreview = nullptr;
    QPushButton* sbnHidePreview = nullptr;
    QPushButton* sbnSave3DLutFile = nullptr;
    QWidget* Panel4 = nullptr;
    QPushButton* SpeedButton2 = nullptr;
    QPushButton* sbnTestColorCheckerData = nullptr;
    QMenu* pmnPreview = nullptr;
    QAction* miOpenPreviewImage = nullptr;
    QAction* miPaste = nullptr;

public:
    // Menus and their commands (found by object name in tests).
    QMenu* menuFile = nullptr;
    QMenu* menuRecent = nullptr;
    QMenu* menuView = nullptr;
    QMenu* menuHelp = nullptr;
    QAction* actOpen = nullptr;
    QAction* actPaste = nullptr;
    QAction* actOpenLut = nullptr;
    QAction* actSaveLut = nullptr;
    QAction* actQuit = nullptr;
    QAction* actZoomIn = nullptr;
    QAction* actZoomOut = nullptr;
    QAction* actZoomFit = nullptr;
    QAction* actZoom100 = nullptr;
    QAction* actSplitView = nullptr;
    QAction* actPatches = nullptr;
    QAction* actTetrahedral = nullptr;
    QAction* actTips = nullptr;
    QAction* actAbout = nullptr;

private:
    QLabel* lblPosition = nullptr;
    QLabel* lblPixel = nullptr;
    QLabel* lblZoom = nullptr;
};

// A small reproduction of the chart, drawn from its reference colours (one cell per patch).
QPixmap ChartPicture(TChartType chart, int cellSize);

}  // namespace tintavo
