#include "ui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>
#include <optional>
#include <set>
#include <stdexcept>

#include "engine/CalibrationReport.h"
#include "engine/ChartDetect.h"
#include "formats/LUTFormat.h"
#include "picture/Picture.h"
#include "ui/About.h"
#include "ui/AppSettings.h"
#include "ui/ImageViewer.h"
#include "ui/LutSaveForm.h"
#include "ui/OpenPictureDialog.h"
#include "ui/PatchesForm.h"
#include "ui/ProdInfo.h"
#include "ui/TipsForm.h"
#include "ui/UiSupport.h"

namespace tintavo {

namespace {

constexpr int HintHidePause = 5000;  // ms a hint stays up
constexpr int SidePanelWidth = 230;
// Width in pixels the chart pictures beside the chart types are drawn into.
constexpr int ChartPictureWidth = 44;

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QString& hint = {}) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setMinimumHeight(30);
    button->setAutoDefault(false);
    if (!hint.isEmpty()) {
        button->setToolTip(hint);
        button->setToolTipDuration(HintHidePause);
    }
    return button;
}

// A picture from the clipboard as a 24-bit bitmap (rows of B, G, R bytes).
void ImageToBitmap(const QImage& image, TBitmap24& out) {
    const QImage rgb = image.convertToFormat(QImage::Format_BGR888);
    out.SetSize(rgb.width(), rgb.height());
    const std::size_t rowBytes = static_cast<std::size_t>(rgb.width()) * 3;
    for (int y = 0; y < rgb.height(); ++y) std::memcpy(out.ScanLine(y), rgb.constScanLine(y), rowBytes);
}

}  // namespace

QPixmap ChartPicture(TChartType chart, int cellSize) {
    const TChartInfo& info = ChartInfo(chart);
    const int columns = info.Columns;
    const int rows = info.Rows;
    const int gap = 1;
    QPixmap pixmap(columns * (cellSize + gap) + gap, rows * (cellSize + gap) + gap);
    pixmap.fill(QColor(20, 20, 20));
    QPainter painter(&pixmap);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const TLutColor& c = info.Reference[info.PatchIndex(column, row)];
            const QColor colour = QColor::fromRgbF(static_cast<float>(c.R), static_cast<float>(c.G),
                                                   static_cast<float>(c.B));
            painter.fillRect(gap + column * (cellSize + gap), gap + row * (cellSize + gap), cellSize, cellSize,
                             colour);
        }
    }
    return pixmap;
}

TfrmMain::TfrmMain(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmMain"));
    // FormCreate, in its order: working bitmap, LUT, viewer, chart type, states, hints, title.
    lut_ = std::make_unique<TLUT>();
    // An identity table until the first calibration, so that "Show" before any preview leaves
    // the picture as it is.
    lut_->SetIdentity3D(CalibrationLutSize);
    lut_->LutKind = lk3D;
    lut_->Size3D = CalibrationLutSize;

    QFont font(QStringLiteral("Arial"));
    font.setPointSize(9);
    setFont(font);
    setMinimumSize(600, 600);

    BuildControls();
    BuildMenus();
    BuildStatusBar();
    setAcceptDrops(true);
    // Ahead of the menu bar's own watching: Alt alone must not activate the menu bar.
    qApp->installEventFilter(this);

    rbnColorCheckerClassicClick();
    UpdateControls();
    // The caption only: an application display name would be appended to every dialog's title.
    const TProductInfo& info = ProductInfo();
    setWindowTitle(info.ProductTitle);
    previewDone_ = false;
}

TfrmMain::~TfrmMain() {
    // The viewer outlives this object's members by a little (children go last): it must not
    // call back into a half-destroyed window.
    viewer_->OnSelectionChange = nullptr;
    viewer_->OnLayoutChange = nullptr;
    viewer_->OnPointerMove = nullptr;
    viewer_->OnZoomChange = nullptr;
}

void TfrmMain::BuildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("pnlCentral"));
    setCentralWidget(central);
    auto* mainLayout = new QHBoxLayout(central);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);

    pnlClient = new QWidget(central);
    pnlClient->setObjectName(QStringLiteral("pnlClient"));
    auto* clientLayout = new QVBoxLayout(pnlClient);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    viewer_ = new TImageViewer(pnlClient);
    clientLayout->addWidget(viewer_);
    mainLayout->addWidget(pnlClient, 1);

    Panel2 = new QWidget(central);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFixedWidth(SidePanelWidth);
    mainLayout->addWidget(Panel2);
    auto* side = new QVBoxLayout(Panel2);
    side->setContentsMargins(8, 8, 8, 8);
    side->setSpacing(6);

    sbnOpenCalibrationImage = MakeButton(Panel2, "sbnOpenCalibrationImage", QStringLiteral("Open Calibration Image"),
                                         QStringLiteral("Open a calibration image file"));
    sbnPaste = MakeButton(Panel2, "sbnPaste", QStringLiteral("Paste"),
                          QStringLiteral("Paste a calibration image from the clipboard"));
    side->addWidget(sbnOpenCalibrationImage);
    side->addWidget(sbnPaste);
    lblPictureInfo = new QLabel(Panel2);
    lblPictureInfo->setObjectName(QStringLiteral("lblPictureInfo"));
    lblPictureInfo->setWordWrap(true);
    lblPictureInfo->setVisible(false);
    side->addWidget(lblPictureInfo);
    side->addSpacing(6);

    GroupBox1 = new QGroupBox(QStringLiteral("Color Checker Type"), Panel2);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* group = new QVBoxLayout(GroupBox1);
    // One radio button per known chart, each with a small picture of its chart underneath, in
    // line with its text; the first chart is selected at start.
    for (const TChartInfo& chart : Charts()) {
        const QString key = QString::fromLatin1(chart.ShortName);
        auto* button = new QRadioButton(QString::fromUtf8(chart.DisplayName), GroupBox1);
        button->setObjectName(QStringLiteral("rbnColorChecker") + key);
        button->setChecked(chartButtons_.empty());
        group->addWidget(button);
        auto* row = new QHBoxLayout;
        row->addSpacing(22);
        auto* picture = new QLabel(GroupBox1);
        picture->setObjectName(QStringLiteral("imgColorChecker") + key);
        picture->setPixmap(ChartPicture(chart.Type, std::max(2, ChartPictureWidth / chart.Columns)));
        row->addWidget(picture);
        row->addStretch(1);
        group->addLayout(row);
        chartButtons_.push_back(button);
    }
    side->addWidget(GroupBox1);
    btnDetectChart = MakeButton(Panel2, "btnDetectChart", QStringLiteral("Detect Chart"),
                                QStringLiteral("Find the color checker in the picture and select it"));
    side->addWidget(btnDetectChart);

    lblHint = new QLabel(QStringLiteral("Please select the color checker region"), Panel2);
    lblHint->setObjectName(QStringLiteral("lblHint"));
    lblHint->setWordWrap(true);
    QPalette hintPalette = lblHint->palette();
    hintPalette.setColor(QPalette::WindowText, Qt::blue);
    lblHint->setPalette(hintPalette);
    // The hint keeps its place when hidden, so the buttons below never move under the pointer.
    QSizePolicy hintPolicy = lblHint->sizePolicy();
    hintPolicy.setRetainSizeWhenHidden(true);
    lblHint->setSizePolicy(hintPolicy);
    lblHint->setVisible(false);
    side->addWidget(lblHint);

    cbxIngnorelightness = new QCheckBox(QStringLiteral("Calibrate colors only"), Panel2);
    cbxIngnorelightness->setObjectName(QStringLiteral("cbxIngnorelightness"));
    cbxIngnorelightness->setChecked(true);
    cbxIngnorelightness->setToolTip(QStringLiteral("Calibrate the color shifts only, ignore the brightness & contrast"));
    cbxIngnorelightness->setToolTipDuration(HintHidePause);
    side->addWidget(cbxIngnorelightness);

    // The calibration model, from the model registry: the exact spline first and by default.
    auto* modelRow = new QHBoxLayout;
    lblModel = new QLabel(QStringLiteral("Model:"), Panel2);
    lblModel->setObjectName(QStringLiteral("lblModel"));
    cbModel = new QComboBox(Panel2);
    cbModel->setObjectName(QStringLiteral("cbModel"));
    for (const TCalibrationModelEntry& entry : CalibrationModels()) {
        const QString name = QString::fromLatin1(entry.Name);
        const bool exactSpline = SameModelName(entry.Name, DefaultCalibrationModel);
        cbModel->addItem(exactSpline ? QStringLiteral("Exact spline (%1)").arg(name) : name, name);
        cbModel->setItemData(cbModel->count() - 1, QString::fromUtf8(entry.Description), Qt::ToolTipRole);
    }
    cbModel->setToolTip(QStringLiteral("How the measured colors are mapped to the chart's colors"));
    cbModel->setToolTipDuration(HintHidePause);
    lblModel->setBuddy(cbModel);
    const int remembered = cbModel->findData(CalibrationModelName());
    cbModel->setCurrentIndex(remembered >= 0 ? remembered : 0);
    modelRow->addWidget(lblModel);
    modelRow->addWidget(cbModel, 1);
    side->addLayout(modelRow);

    auto* previewRow = new QHBoxLayout;
    sbnPreview = MakeButton(Panel2, "sbnPreview", QStringLiteral("Preview Calibration"));
    sbnHidePreview = MakeButton(Panel2, "sbnHidePreview", QStringLiteral("Hide"),
                                QStringLiteral("Hide/Show the preview results"));
    sbnHidePreview->setFixedWidth(60);
    previewRow->addWidget(sbnPreview, 1);
    previewRow->addWidget(sbnHidePreview);
    side->addLayout(previewRow);

    sbnSave3DLutFile = MakeButton(Panel2, "sbnSave3DLutFile", QStringLiteral("Save 3D LUT Calibration File"));
    side->addWidget(sbnSave3DLutFile);
    side->addSpacing(6);
    // What the selection check found, with a one-click fix when it has one; never a dialog; below
    // the commands, so that nothing above moves when it comes and goes.
    lblSelectionCheck = new QLabel(Panel2);
    lblSelectionCheck->setObjectName(QStringLiteral("lblSelectionCheck"));
    lblSelectionCheck->setWordWrap(true);
    QPalette checkPalette = lblSelectionCheck->palette();
    checkPalette.setColor(QPalette::WindowText, QColor(170, 60, 0));
    lblSelectionCheck->setPalette(checkPalette);
    lblSelectionCheck->setVisible(false);
    side->addWidget(lblSelectionCheck);
    btnUseSuggestion = MakeButton(Panel2, "btnUseSuggestion", QStringLiteral("Use Suggested Orientation"),
                                  QStringLiteral("Select the chart the way its colors fit best"));
    btnUseSuggestion->setVisible(false);
    side->addWidget(btnUseSuggestion);
    side->addStretch(1);

    Panel4 = new QWidget(Panel2);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    auto* bottom = new QHBoxLayout(Panel4);
    bottom->setContentsMargins(0, 0, 0, 0);
    SpeedButton2 = MakeButton(Panel4, "SpeedButton2", QStringLiteral("About"), QStringLiteral("About"));
    sbnTestColorCheckerData = MakeButton(Panel4, "sbnTestColorCheckerData", QStringLiteral("Patches"));
    sbnTestColorCheckerData->setVisible(false);
    bottom->addWidget(SpeedButton2);
    bottom->addWidget(sbnTestColorCheckerData);
    bottom->addStretch(1);
    side->addWidget(Panel4);

    pmnPreview = new QMenu(this);
    pmnPreview->setObjectName(QStringLiteral("pmnPreview"));
    miOpenPreviewImage = pmnPreview->addAction(QStringLiteral("Open Calibration Image..."));
    miOpenPreviewImage->setObjectName(QStringLiteral("miOpenPreviewImage"));
    miPaste = pmnPreview->addAction(QStringLiteral("Paste Calibration Image"));
    miPaste->setObjectName(QStringLiteral("miPaste"));
    // Shown in the menu; the window-wide Ctrl+V is the Edit command of the File menu.
    miPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    miPaste->setShortcutContext(Qt::WidgetShortcut);

    viewer_->SetPopupMenu(pmnPreview);
    viewer_->OnSelectionChange = [this](TImageViewer*) { UpdateControls(); };
    viewer_->OnLayoutChange = [this](TImageViewer*) { ViewerLayoutChanged(); };
    viewer_->OnSelectionEdited = [this](TImageViewer*) { CheckSelectionNow(); };
    viewer_->OnPointerMove = [this](QPoint picture) { PointerMoved(picture); };
    viewer_->OnZoomChange = [this](TImageViewer*) { ZoomChanged(); };

    connect(sbnOpenCalibrationImage, &QPushButton::clicked, this, &TfrmMain::sbnOpenPreviewImageClick);
    connect(miOpenPreviewImage, &QAction::triggered, this, &TfrmMain::sbnOpenPreviewImageClick);
    connect(sbnPaste, &QPushButton::clicked, this, &TfrmMain::miPasteClick);
    connect(miPaste, &QAction::triggered, this, &TfrmMain::miPasteClick);
    for (QRadioButton* button : chartButtons_)
        connect(button, &QRadioButton::clicked, this, &TfrmMain::rbnColorCheckerClassicClick);
    connect(btnDetectChart, &QPushButton::clicked, this, &TfrmMain::btnDetectChartClick);
    connect(btnUseSuggestion, &QPushButton::clicked, this, &TfrmMain::btnUseSuggestionClick);
    connect(sbnPreview, &QPushButton::clicked, this, &TfrmMain::sbnPreviewClick);
    connect(sbnHidePreview, &QPushButton::clicked, this, &TfrmMain::sbnHidePreviewClick);
    connect(sbnSave3DLutFile, &QPushButton::clicked, this, &TfrmMain::sbnSave3DLutFileClick);
    connect(SpeedButton2, &QPushButton::clicked, this, &TfrmMain::sbnAboutClick);
    connect(sbnTestColorCheckerData, &QPushButton::clicked, this, &TfrmMain::sbnTestColorCheckerDataClick);
    connect(cbModel, &QComboBox::activated, this, &TfrmMain::cbModelChange);
}

void TfrmMain::BuildMenus() {
    auto action = [this](QMenu* menu, const char* name, const QString& text, const QKeySequence& keys = {}) {
        QAction* a = menu->addAction(text);
        a->setObjectName(QString::fromLatin1(name));
        if (!keys.isEmpty()) a->setShortcut(keys);
        return a;
    };
    menuFile = menuBar()->addMenu(QStringLiteral("&File"));
    menuFile->setObjectName(QStringLiteral("menuFile"));
    actOpen = action(menuFile, "actOpen", QStringLiteral("&Open Calibration Image..."), QKeySequence::Open);
    actPaste = action(menuFile, "actPaste", QStringLiteral("&Paste Calibration Image"), QKeySequence::Paste);
    menuFile->addSeparator();
    actOpenLut = action(menuFile, "actOpenLut", QStringLiteral("Open &LUT..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    actSaveLut = action(menuFile, "actSaveLut", QStringLiteral("&Save LUT..."), QKeySequence::Save);
    menuFile->addSeparator();
    menuRecent = menuFile->addMenu(QStringLiteral("&Recent Files"));
    menuRecent->setObjectName(QStringLiteral("menuRecent"));
    menuFile->addSeparator();
    actQuit = action(menuFile, "actQuit", QStringLiteral("&Quit"), QKeySequence::Quit);
    actQuit->setMenuRole(QAction::QuitRole);

    menuView = menuBar()->addMenu(QStringLiteral("&View"));
    menuView->setObjectName(QStringLiteral("menuView"));
    actZoomIn = action(menuView, "actZoomIn", QStringLiteral("Zoom &In"));
    // Ctrl+= as well: on most keyboards "+" needs Shift.
    actZoomIn->setShortcuts({QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    actZoomOut = action(menuView, "actZoomOut", QStringLiteral("Zoom &Out"), QKeySequence::ZoomOut);
    actZoomFit = action(menuView, "actZoomFit", QStringLiteral("&Fit to Window"), QKeySequence(Qt::CTRL | Qt::Key_0));
    actZoom100 = action(menuView, "actZoom100", QStringLiteral("&Actual Pixels (1:1)"), QKeySequence(Qt::CTRL | Qt::Key_1));
    menuView->addSeparator();
    actSplitView = action(menuView, "actSplitView", QStringLiteral("&Split View (Before/After)"),
                          QKeySequence(Qt::CTRL | Qt::Key_B));
    actSplitView->setCheckable(true);
    actPatches = action(menuView, "actPatches", QStringLiteral("&Patches"));
    actTetrahedral = action(menuView, "actTetrahedral", QStringLiteral("&Tetrahedral Interpolation"));
    actTetrahedral->setCheckable(true);

    menuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    actTips = action(menuHelp, "actTips", QStringLiteral("&Tips"), QKeySequence::HelpContents);
    actAbout = action(menuHelp, "actAbout", QStringLiteral("&About"));
    actAbout->setMenuRole(QAction::AboutRole);

    connect(actOpen, &QAction::triggered, this, &TfrmMain::sbnOpenPreviewImageClick);
    connect(actPaste, &QAction::triggered, this, &TfrmMain::miPasteClick);
    connect(actOpenLut, &QAction::triggered, this, &TfrmMain::actOpenLutClick);
    connect(actSaveLut, &QAction::triggered, this, &TfrmMain::actSaveLutClick);
    connect(actQuit, &QAction::triggered, this, &QWidget::close);
    connect(actZoomIn, &QAction::triggered, viewer_, &TImageViewer::ZoomIn);
    connect(actZoomOut, &QAction::triggered, viewer_, &TImageViewer::ZoomOut);
    connect(actZoomFit, &QAction::triggered, viewer_, &TImageViewer::ZoomToFit);
    connect(actZoom100, &QAction::triggered, viewer_, &TImageViewer::ZoomActualPixels);
    connect(actSplitView, &QAction::toggled, this, &TfrmMain::actSplitViewClick);
    connect(actPatches, &QAction::triggered, this, &TfrmMain::actPatchesClick);
    connect(actTetrahedral, &QAction::toggled, this, &TfrmMain::actTetrahedralClick);
    connect(actTips, &QAction::triggered, this, &TfrmMain::actTipsClick);
    connect(actAbout, &QAction::triggered, this, &TfrmMain::sbnAboutClick);
    connect(menuRecent, &QMenu::aboutToShow, this, &TfrmMain::UpdateRecentMenu);
    UpdateRecentMenu();
}

void TfrmMain::BuildStatusBar() {
    auto label = [this](const char* name, int minimumWidth) {
        auto* l = new QLabel(statusBar());
        l->setObjectName(QString::fromLatin1(name));
        l->setMinimumWidth(minimumWidth);
        statusBar()->addPermanentWidget(l);
        return l;
    };
    lblPosition = label("lblPosition", 110);
    lblPixel = label("lblPixel", 260);
    lblPixel->setToolTip(QStringLiteral("The pixel of the working image under the pointer, as shown"));
    lblZoom = label("lblZoom", 60);
    PointerMoved(QPoint(-1, -1));
    ZoomChanged();
}

void TfrmMain::UpdateRecentMenu() {
    menuRecent->clear();
    const QStringList files = RecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString& file = files.at(i);
        QAction* a = menuRecent->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(file).fileName()));
        a->setObjectName(QStringLiteral("actRecent%1").arg(i));
        a->setData(file);
        a->setToolTip(file);
        connect(a, &QAction::triggered, this, [this, file] { OpenAnyFile(file); });
    }
    if (!files.isEmpty()) {
        menuRecent->addSeparator();
        QAction* clear = menuRecent->addAction(QStringLiteral("&Clear List"));
        clear->setObjectName(QStringLiteral("actClearRecent"));
        connect(clear, &QAction::triggered, this, [this] {
            ClearRecentFiles();
            UpdateRecentMenu();
        });
    }
    menuRecent->setEnabled(!files.isEmpty());
}

void TfrmMain::Remember(const QString& fileName) {
    AddRecentFile(fileName);
    UpdateRecentMenu();
}

void TfrmMain::PointerMoved(QPoint picture) {
    if (picture.x() < 0 || !viewer_->HasImage()) {
        lblPosition->setText(QString());
        lblPixel->setText(QString());
        return;
    }
    // The picture shown at full size: corrected after a preview while the correction is shown.
    const TBitmap24& shown = viewer_->CorrectionShown() ? viewer_->SourceBitmap() : viewer_->UncorrectedBitmap();
    if (picture.x() >= shown.Width() || picture.y() >= shown.Height()) return;
    std::uint8_t r = 0, g = 0, b = 0;
    shown.GetPixel(picture.x(), picture.y(), r, g, b);
    lblPosition->setText(QStringLiteral("x %1, y %2").arg(picture.x()).arg(picture.y()));
    lblPixel->setText(QStringLiteral("RGB %1 %2 %3  (%4, %5, %6)")
                          .arg(r)
                          .arg(g)
                          .arg(b)
                          .arg(r / 255.0, 0, 'f', 3)
                          .arg(g / 255.0, 0, 'f', 3)
                          .arg(b / 255.0, 0, 'f', 3));
}

void TfrmMain::ZoomChanged() {
    if (!viewer_->HasImage()) {
        lblZoom->setText(QString());
        return;
    }
    const QString percent = QStringLiteral("%1%").arg(qRound(viewer_->Zoom() * 100.0));
    lblZoom->setText(viewer_->Fitted() ? QStringLiteral("Fit (%1)").arg(percent) : percent);
}

TChartType TfrmMain::Chart() const {
    for (std::size_t i = 0; i < chartButtons_.size(); ++i)
        if (chartButtons_[i]->isChecked()) return Charts()[i].Type;
    return Charts().front().Type;
}

void TfrmMain::UpdateControls() {
    const bool selection = viewer_->HasSelection();
    const bool image = viewer_->HasImage();
    const bool lutFile = previewSource_ == TPreviewSource::LutFile;
    lblHint->setVisible(image && !selection);
    sbnPreview->setEnabled(selection);
    btnDetectChart->setEnabled(image);
    if (!selection && check_.Problem != TSelectionProblem::None) {
        // An advice speaks of the selection it was made on: gone with it.
        check_ = TSelectionCheck{};
        ShowCheckText({}, false);
    }
    cbxIngnorelightness->setEnabled(selection);
    lblModel->setEnabled(selection);
    cbModel->setEnabled(selection);
    sbnTestColorCheckerData->setEnabled(selection);
    sbnSave3DLutFile->setEnabled(selection || previewDone_);
    sbnHidePreview->setEnabled(selection || previewDone_ || (image && lutFile));
    if (actSaveLut == nullptr) return;  // the menus are made after the first call
    actSaveLut->setEnabled(selection || previewDone_ || fileLut_ != nullptr);
    // Patches can be measured on a selection; without one, the last calibration's patches.
    actPatches->setEnabled(selection || (previewDone_ && mapping_ != nullptr));
    for (QAction* a : {actZoomIn, actZoomOut, actZoomFit, actZoom100, actSplitView}) a->setEnabled(image);
}

void TfrmMain::SamplePatches(bool fromViewer) {
    const TSelection selection{viewer_->ImageX1(), viewer_->ImageY1(), viewer_->ImageX2(), viewer_->ImageY2()};
    if (viewer_->SelectionIsQuad()) {
        const TChartGeometry geometry = viewer_->SelectionGeometry();
        if (!fromViewer && !workPrecise_.Empty())
            tintavo::SamplePatches(workPrecise_, geometry, Chart(), measured_);
        else
            tintavo::SamplePatches(fromViewer ? viewer_->SourceBitmap() : workBitmap_, geometry, Chart(), measured_);
        return;
    }
    if (!fromViewer && !workPrecise_.Empty()) {
        const TChartInfo& chart = ChartInfo(Chart());
        tintavo::SamplePatches(workPrecise_, TChartGeometry(selection, chart.Columns, chart.Rows), Chart(), measured_);
        return;
    }
    const TBitmap24& image = fromViewer ? viewer_->SourceBitmap() : workBitmap_;
    tintavo::SamplePatches(image, selection, Chart(), measured_);
}

std::string TfrmMain::ModelName() const {
    const QString name = cbModel->currentData().toString();
    return name.isEmpty() ? std::string(DefaultCalibrationModel) : name.toStdString();
}

void TfrmMain::cbModelChange() {
    // Taken up by the next calibration, as the other choices are.
    SetCalibrationModelName(QString::fromStdString(ModelName()));
}

void TfrmMain::Calibrate() {
    const TSelection selection{viewer_->ImageX1(), viewer_->ImageY1(), viewer_->ImageX2(), viewer_->ImageY2()};
    const TChartType chart = Chart();
    const bool colorsOnly = cbxIngnorelightness->isChecked();
    const std::string model = ModelName();
    // Four corners go through their geometry; a dragged rectangle takes the rectangle's own path.
    std::optional<TChartGeometry> geometry;
    if (viewer_->SelectionIsQuad()) {
        geometry = viewer_->SelectionGeometry();
    } else if (!workPrecise_.Empty()) {
        const TChartInfo& info = ChartInfo(chart);
        geometry = TChartGeometry(selection, info.Columns, info.Rows);
    }
    // On a failed fit the exception leaves the LUT and the last mapping as they were. A deep
    // picture is calibrated from its precise working image.
    std::unique_ptr<TCalibrationMapping> mapping;
    auto fit = [&](TLUT& lut, TMeasuredPatches& measured) {
        if (geometry && !workPrecise_.Empty())
            mapping = tintavo::Calibrate(workPrecise_, *geometry, chart, colorsOnly, lut, measured, model);
        else if (geometry)
            mapping = tintavo::Calibrate(workBitmap_, *geometry, chart, colorsOnly, lut, measured, model);
        else
            mapping = tintavo::Calibrate(workBitmap_, selection, chart, colorsOnly, lut, measured, model);
    };
    // The automatic choice refits every candidate per validation fold: long enough on a loaded
    // machine to keep the window painting while it runs. It works on copies, so that a repaint
    // meanwhile never reads a half-filled table; they take the place of the window's own when
    // the fit has succeeded.
    if (SameModelName(model, AutoCalibrationModel)) {
        const auto lut = std::make_unique<TLUT>();
        lut->CopyFrom(*lut_);
        TMeasuredPatches measured = measured_;
        RunWithProgress(this, QStringLiteral("Choosing the calibration model"),
                        [&](TJobProgress&) { fit(*lut, measured); });
        lut_->CopyFrom(*lut);
        measured_ = measured;
    } else {
        fit(*lut_, measured_);
    }
    mapping_ = std::move(mapping);
    calibratedPatches_ = measured_;
    calibratedChart_ = chart;
    calibratedColorsOnly_ = colorsOnly;
    calibratedModel_ = model;
}

const TLUT& TfrmMain::ShownLut() const {
    return previewSource_ == TPreviewSource::LutFile && fileLut_ ? *fileLut_ : *lut_;
}

void TfrmMain::ShowCorrection() {
    // Full size (Patches samples it, the zoomed view shows it) and the fitted display.
    viewer_->SourceBitmap().Assign(workBitmap_);
    ApplyLutToBitmap(ShownLut(), viewer_->SourceBitmap(), interpolation_);
    viewer_->RestoreDisplay();
    ApplyLutToBitmap(ShownLut(), viewer_->DisplayBitmap(), interpolation_);
    viewer_->SetCorrectionShown(true);
    viewer_->update();
    sbnHidePreview->setText(QStringLiteral("Hide"));
}

void TfrmMain::ResetCorrection() {
    // The calibration belonged to the previous picture: its table, its mapping and the caption
    // go back to the start, so that "Show" cannot put it on this picture.
    previewDone_ = false;
    mapping_.reset();
    lut_->SetIdentity3D(CalibrationLutSize);
    lut_->LutKind = lk3D;
    lut_->Size3D = CalibrationLutSize;
    sbnHidePreview->setText(QStringLiteral("Hide"));
    if (previewSource_ == TPreviewSource::LutFile && fileLut_)
        ShowCorrection();
    else
        previewSource_ = TPreviewSource::None;
}

void TfrmMain::SetWorkingImage(TBitmap24& image) {
    std::swap(workBitmap_, image);
    viewer_->SetImage(workBitmap_);
    check_ = TSelectionCheck{};
    ShowCheckText({}, false);
    ResetCorrection();
    UpdateControls();
}

bool TfrmMain::OpenPicture(const QString& fileName) {
    const bool opened = RunCommand(this, [&] {
        viewer_->ClearSelection();
        UpdateControls();
        {
            TWaitCursor wait;
            // Loaded aside: a picture that cannot be read leaves the previous image, its
            // preview and the commands that go with it in place.
            TWorkingPicture loaded;
            OpenCalibrationPicture(QFile::encodeName(fileName).toStdString(), loaded);
            std::swap(workPrecise_, loaded.Precise);
            pictureInfo_ = loaded.Info;
            // The type and depth, and once per picture how many float samples were clamped.
            QString text = QStringLiteral("%1, %2 x %3")
                               .arg(QString::fromStdString(pictureInfo_.Description()))
                               .arg(pictureInfo_.Width)
                               .arg(pictureInfo_.Height);
            if (pictureInfo_.ClampedSamples > 0)
                text += QStringLiteral("; %1 samples outside 0..1 clamped").arg(pictureInfo_.ClampedSamples);
            lblPictureInfo->setText(text);
            lblPictureInfo->setVisible(true);
            SetWorkingImage(loaded.Bitmap);
        }
        Remember(fileName);
        ShowTips(0, false, this);
    });
    UpdateControls();
    return opened;
}

void TfrmMain::sbnOpenPreviewImageClick() {
    TOpenPictureDialog dialog(this);
    const QString folder = LastFolder("Picture");
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (ExecModal(dialog) != QDialog::Accepted) return;
    const QString fileName = dialog.ChosenFile();
    if (fileName.isEmpty()) return;
    SetLastFolder("Picture", QFileInfo(fileName).absolutePath());
    OpenPicture(fileName);
}

void TfrmMain::miPasteClick() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    const QImage image = data != nullptr && data->hasImage() ? qvariant_cast<QImage>(data->imageData()) : QImage();
    if (image.isNull()) {
        ShowMessageBox(this, QStringLiteral("The clipboard holds no picture to paste."));
        return;
    }
    RunCommand(this, [&] {
        viewer_->ClearSelection();
        UpdateControls();
        {
            TWaitCursor wait;
            // A pasted picture keeps its full size.
            TBitmap24 pasted;
            ImageToBitmap(image, pasted);
            workPrecise_.Clear();
            pictureInfo_ = TPictureInfo();
            pictureInfo_.Width = pasted.Width();
            pictureInfo_.Height = pasted.Height();
            lblPictureInfo->setText(QStringLiteral("Pasted picture, %1 x %2").arg(pasted.Width()).arg(pasted.Height()));
            lblPictureInfo->setVisible(true);
            SetWorkingImage(pasted);
        }
        ShowTips(0, false, this);
    });
}

namespace {

// A LUT the window can apply: its tables within the container's sizes.
void CheckApplicable(const TLUT& lut, const QString& fileName, const std::string& formatName) {
    const bool uses1D = lut.LutKind == lk1D || lut.LutKind == lk1DThen3D;
    const bool uses3D = lut.LutKind == lk3D || lut.LutKind == lk1DThen3D;
    if ((uses1D && (lut.Size1D < 2 || lut.Size1D > MaxLut1DSize)) ||
        (uses3D && (lut.Size3D < 2 || lut.Size3D > MaxLut3DSize)))
        throw std::runtime_error("\"" + fileName.toStdString() + "\" (" + formatName + ") holds no table to apply.");
}

const char* KindText(TLutKind kind) {
    switch (kind) {
        case lk1D: return "1D";
        case lk3D: return "3D";
        case lk1DThen3D: return "1D then 3D";
        case lkPassThrough: return "pass-through";
    }
    return "";
}

}  // namespace

bool TfrmMain::OpenLutFile(const QString& fileName) {
    return RunCommand(this, [&] {
        TWaitCursor wait;
        const std::string name = QFile::encodeName(fileName).toStdString();
        const int index = IdentifyLutFormat(name);
        if (index < 0) throw std::runtime_error("\"" + fileName.toStdString() + "\" is in no known LUT format.");
        const TLUTFormat& format = *GetLutFormat(index);
        auto loaded = std::make_unique<TLUT>();
        try {
            LoadLut(format, name, *loaded);
        } catch (const std::exception& e) {
            throw std::runtime_error("Cannot read \"" + fileName.toStdString() + "\" as " + format.Name + ": " + e.what());
        }
        CheckApplicable(*loaded, fileName, format.Name);
        fileLut_ = std::move(loaded);
        fileLutName_ = fileName;
        previewSource_ = TPreviewSource::LutFile;
        if (viewer_->HasImage()) ShowCorrection();
        UpdateControls();
        Remember(fileName);
        QString size;
        if (fileLut_->LutKind == lk1D || fileLut_->LutKind == lk1DThen3D) size += QStringLiteral(", %1 entries").arg(fileLut_->Size1D);
        if (fileLut_->LutKind == lk3D || fileLut_->LutKind == lk1DThen3D)
            size += QStringLiteral(", %1 points per axis").arg(fileLut_->Size3D);
        statusBar()->showMessage(QStringLiteral("%1: %2, %3%4")
                                     .arg(QFileInfo(fileName).fileName(), QString::fromStdString(format.Name),
                                          QLatin1String(KindText(fileLut_->LutKind)), size));
    });
}

bool TfrmMain::OpenAnyFile(const QString& fileName) {
    bool picture = false;
    if (!RunCommand(this, [&] {
            const std::string head = ReadFileHead(QFile::encodeName(fileName).toStdString(), 16);
            picture = DetectPictureType(reinterpret_cast<const std::uint8_t*>(head.data()), head.size()) !=
                      TPictureType::Unknown;
        }))
        return false;
    return picture ? OpenPicture(fileName) : OpenLutFile(fileName);
}

void TfrmMain::actOpenLutClick() {
    QFileDialog dialog(this, QStringLiteral("Open LUT"));
    dialog.setObjectName(QStringLiteral("OpenLutDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // The extensions the output profiles write; the layout itself is recognised by content.
    std::set<std::string> extensions;
    for (const auto& profile : OutputProfiles()) extensions.insert(profile->Extension);
    QStringList patterns;
    for (const std::string& e : extensions) patterns << QStringLiteral("*.") + QString::fromStdString(e);
    dialog.setNameFilters({QStringLiteral("LUT files (%1)").arg(patterns.join(QLatin1Char(' '))),
                           QStringLiteral("All files (*)")});
    const QString folder = LastFolder("LutOpen");
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (ExecModal(dialog) != QDialog::Accepted) return;
    const QString fileName = dialog.selectedFiles().value(0);
    if (fileName.isEmpty()) return;
    SetLastFolder("LutOpen", QFileInfo(fileName).absolutePath());
    OpenLutFile(fileName);
}

void TfrmMain::actSaveLutClick() {
    if (previewSource_ == TPreviewSource::LutFile && fileLut_) {
        TfrmSaveLut dialog(*fileLut_, this);
        ExecModal(dialog);
        return;
    }
    sbnSave3DLutFileClick();
}

void TfrmMain::actSplitViewClick(bool on) {
    viewer_->SetSplitView(on);
    // Before and after side by side: the after side shows the correction.
    if (on && sbnHidePreview->text() != QStringLiteral("Hide") && (previewDone_ || LutFileShown()))
        sbnHidePreviewClick();
}

void TfrmMain::actTipsClick() {
    // Asked for: shown even while tips are turned off, so that they can be turned on again.
    RunCommand(this, [&] { ShowTips(0, true, this); });
}

void TfrmMain::rbnColorCheckerClassicClick() {
    const bool hadSelection = viewer_->HasSelection();
    viewer_->ClearSelection();
    const TChartInfo& chart = ChartInfo(Chart());
    viewer_->SetGrid(chart.Columns, chart.Rows);
    if (hadSelection) {
        viewer_->RestoreSelection();
        CheckSelectionNow();
    }
}

void TfrmMain::SelectChart(TChartType chart) {
    for (std::size_t i = 0; i < chartButtons_.size(); ++i) chartButtons_[i]->setChecked(Charts()[i].Type == chart);
    const TChartInfo& info = ChartInfo(chart);
    viewer_->SetGrid(info.Columns, info.Rows);
}

void TfrmMain::ShowCheckText(const QString& text, bool offerFix) {
    // The status line repeats the advice; an advice withdrawn leaves it too.
    if (!lblSelectionCheck->text().isEmpty() && statusBar()->currentMessage() == lblSelectionCheck->text())
        statusBar()->clearMessage();
    lblSelectionCheck->setText(text);
    lblSelectionCheck->setVisible(!text.isEmpty());
    btnUseSuggestion->setVisible(offerFix);
    if (!text.isEmpty()) statusBar()->showMessage(text, 10000);
}

void TfrmMain::CheckSelectionNow() {
    check_ = TSelectionCheck{};
    if (!viewer_->HasSelection() || workBitmap_.Empty()) {
        ShowCheckText({}, false);
        return;
    }
    try {
        check_ = CheckSelection(workBitmap_, viewer_->SelectionGeometry(), Chart());
    } catch (const std::exception& e) {
        // Advice only: what kept the check from reading the selection is said in its place.
        check_ = TSelectionCheck{};
        ShowCheckText(QString::fromUtf8(e.what()), false);
        return;
    }
    QStringList lines;
    for (const std::string& w : check_.Warnings) lines << QString::fromStdString(w);
    const bool fix = check_.Problem == TSelectionProblem::Turned || check_.Problem == TSelectionProblem::OtherChart;
    if (check_.Problem == TSelectionProblem::OtherChart)
        btnUseSuggestion->setText(QStringLiteral("Use %1").arg(QString::fromUtf8(ChartInfo(check_.SuggestedChart).DisplayName)));
    else
        btnUseSuggestion->setText(QStringLiteral("Use Suggested Orientation"));
    ShowCheckText(lines.join(QLatin1Char('\n')), fix);
}

void TfrmMain::btnUseSuggestionClick() {
    if (check_.Problem != TSelectionProblem::Turned && check_.Problem != TSelectionProblem::OtherChart) return;
    const TSelectionCheck check = check_;
    SelectChart(check.SuggestedChart);
    viewer_->SetSelectionGeometry(check.SuggestedGeometry());  // checks the new selection
    UpdateControls();
}

void TfrmMain::btnDetectChartClick() {
    if (workBitmap_.Empty()) return;
    std::optional<TDetectedChart> found;
    RunCommand(this, [&] {
        TWaitCursor wait;
        // The chart asked for first; failing that, either kind.
        found = DetectChart(workBitmap_, Chart());
        if (!found) found = DetectChart(workBitmap_, std::nullopt);
    });
    if (!found) {
        ShowCheckText(QStringLiteral("No colour chart found."), false);
        return;
    }
    SelectChart(found->Chart);
    viewer_->SetSelectionGeometry(found->Geometry());
    UpdateControls();
}

void TfrmMain::actTetrahedralClick(bool on) {
    interpolation_ = on ? TLutInterpolation::Tetrahedral : TLutInterpolation::Trilinear;
    // A correction on show is shown again the new way.
    if ((previewDone_ || LutFileShown()) && sbnHidePreview->text() == QStringLiteral("Hide")) ShowCorrection();
}

void TfrmMain::sbnPreviewClick() {
    RunCommand(this, [&] {
        TWaitCursor wait;
        Calibrate();
        previewSource_ = TPreviewSource::Calibration;
        viewer_->RestoreDisplay();
        ApplyLutToBitmap(*lut_, viewer_->DisplayBitmap(), interpolation_);
        // From now on the viewer's full-size image is the corrected one (the Patches command
        // samples it); the viewer keeps its own uncorrected copy for the display.
        viewer_->SourceBitmap().Assign(workBitmap_);
        ApplyLutToBitmap(*lut_, viewer_->SourceBitmap(), interpolation_);
        viewer_->SetCorrectionShown(true);
        viewer_->update();
        sbnHidePreview->setText(QStringLiteral("Hide"));
        previewDone_ = true;
        UpdateControls();
    });
    // A calibration report on show follows the calibration just previewed.
    const TfrmPatches* patches = PatchesWindow();
    if (previewDone_ && patches != nullptr && patches->isVisible() && patches->ReportShown()) actPatchesClick();
}

void TfrmMain::sbnHidePreviewClick() {
    RunCommand(this, [&] {
        if (sbnHidePreview->text() == QStringLiteral("Hide")) {
            viewer_->RestoreDisplay();
            viewer_->SetCorrectionShown(false);
            viewer_->update();
            sbnHidePreview->setText(QStringLiteral("Show"));
        } else {
            TWaitCursor wait;
            viewer_->RestoreDisplay();
            ApplyLutToBitmap(ShownLut(), viewer_->DisplayBitmap(), interpolation_);
            viewer_->SetCorrectionShown(true);
            viewer_->update();
            sbnHidePreview->setText(QStringLiteral("Hide"));
        }
    });
}

void TfrmMain::ViewerLayoutChanged() {
    // The viewer rebuilt its display from the uncorrected image; while a correction is shown,
    // correct the new display once.
    if ((previewDone_ || LutFileShown()) && sbnHidePreview->text() == QStringLiteral("Hide"))
        ApplyLutToBitmap(ShownLut(), viewer_->DisplayBitmap(), interpolation_);
}

void TfrmMain::OpenSaveDialog() {
    TfrmSaveLut dialog(*lut_, mapping_.get(), this);
    ExecModal(dialog);
}

void TfrmMain::sbnSave3DLutFileClick() {
    RunCommand(this, [&] {
        if (viewer_->HasSelection()) {
            {
                TWaitCursor wait;
                Calibrate();
            }
            OpenSaveDialog();
        } else if (!previewDone_) {
            ShowMessageBox(this, QStringLiteral("Please select the color checker region."));
        } else {
            OpenSaveDialog();
        }
    });
}

void TfrmMain::sbnAboutClick() {
    RunCommand(this, [&] { ShowAbout(ProductInfo(), this); });
}

void TfrmMain::sbnTestColorCheckerDataClick() {
    RunCommand(this, [&] {
        SamplePatches(true);
        ShowPatches(measured_.MeasuredColors, ChartReference(Chart()), measured_.PatchCount, this);
    });
}

void TfrmMain::actPatchesClick() {
    RunCommand(this, [&] {
        TMeasuredPatches measured;
        TChartType chart = calibratedChart_;
        bool colorsOnly = calibratedColorsOnly_;
        std::string model = calibratedModel_;
        if (viewer_->HasSelection()) {
            // The uncorrected working image, as a calibration with the current choices measures it.
            SamplePatches(false);
            measured = measured_;
            chart = Chart();
            colorsOnly = cbxIngnorelightness->isChecked();
            model = ModelName();
        } else if (previewDone_ && mapping_) {
            measured = calibratedPatches_;
        } else {
            return;
        }
        TCalibrationReport report;
        // Every patch is judged by fits without it: one refit per fold, beside the window.
        RunWithProgress(this, QStringLiteral("Measuring the calibration"),
                        [&](TJobProgress&) { report = ComputeCalibrationReport(measured, chart, colorsOnly, model); });
        ShowPatchReport(report, measured, this);
    });
}

void TfrmMain::keyPressEvent(QKeyEvent* event) {
    // Alt alone never activates anything in this window.
    if (event->key() == Qt::Key_Alt) {
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease || type == QEvent::ShortcutOverride) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Alt)
            return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

namespace {

QString LocalFileOf(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile()) return {};
    return urls.first().toLocalFile();
}

}  // namespace

void TfrmMain::dragEnterEvent(QDragEnterEvent* event) {
    if (!LocalFileOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TfrmMain::dropEvent(QDropEvent* event) {
    const QString file = LocalFileOf(event->mimeData());
    if (file.isEmpty()) return;
    event->acceptProposedAction();
    OpenAnyFile(file);
}

QRect TfrmMain::NormalGeometry(const QRect& available, const QMargins& frame, QSize minimum, double fraction) {
    // The client area the screen can hold once the frame (title bar, borders) is added.
    const QSize room(std::max(1, available.width() - frame.left() - frame.right()),
                     std::max(1, available.height() - frame.top() - frame.bottom()));
    QSize size(static_cast<int>(available.width() * fraction), static_cast<int>(available.height() * fraction));
    size = size.expandedTo(minimum).boundedTo(room);
    // Centred, frame included.
    const QPoint frameTopLeft(available.left() + (available.width() - size.width() - frame.left() - frame.right()) / 2,
                              available.top() + (available.height() - size.height() - frame.top() - frame.bottom()) / 2);
    return {frameTopLeft + QPoint(frame.left(), frame.top()), size};
}

void TfrmMain::PlaceOnScreen() {
    const QScreen* screen = this->screen();
    if (screen == nullptr) return;
    const QRect available = screen->availableGeometry();
    // The frame is known once the window has been shown; before that, room for a title bar.
    QMargins frame(frameGeometry().left() - geometry().left(), geometry().top() - frameGeometry().top(),
                   frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
    if (frame.isNull()) frame = QMargins(4, 32, 4, 4);
    // A screen smaller than the usual minimum (a small or strongly scaled display) keeps the
    // whole window on it.
    const QSize fits(available.width() - frame.left() - frame.right(), available.height() - frame.top() - frame.bottom());
    setMinimumSize(QSize(600, 600).boundedTo(fits));
    setGeometry(NormalGeometry(available, frame, minimumSize(), 0.8));
}

}  // namespace tintavo
