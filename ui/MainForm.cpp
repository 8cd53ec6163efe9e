#include "ui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "picture/Picture.h"
#include "ui/About.h"
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

TfrmMain::TfrmMain(QWidget* parent) : QWidget(parent) {
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

    rbnColorCheckerClassicClick();
    UpdateControls();
    const TProductInfo& info = ProductInfo();
    QApplication::setApplicationDisplayName(info.ProductTitle);
    setWindowTitle(info.ProductTitle);
    previewDone_ = false;
}

TfrmMain::~TfrmMain() {
    // The viewer outlives this object's members by a little (children go last): it must not
    // call back into a half-destroyed window.
    viewer_->OnSelectionChange = nullptr;
    viewer_->OnLayoutChange = nullptr;
}

void TfrmMain::BuildControls() {
    auto* mainLayout = new QHBoxLayout(this);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setSpacing(0);

    pnlClient = new QWidget(this);
    pnlClient->setObjectName(QStringLiteral("pnlClient"));
    auto* clientLayout = new QVBoxLayout(pnlClient);
    clientLayout->setContentsMargins(0, 0, 0, 0);
    viewer_ = new TImageViewer(pnlClient);
    clientLayout->addWidget(viewer_);
    mainLayout->addWidget(pnlClient, 1);

    Panel2 = new QWidget(this);
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
    miPaste->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_V));
    miPaste->setShortcutContext(Qt::WindowShortcut);
    addAction(miPaste);  // Ctrl+V works anywhere in the window, not only with the menu open

    viewer_->SetPopupMenu(pmnPreview);
    viewer_->OnSelectionChange = [this](TImageViewer*) { UpdateControls(); };
    viewer_->OnLayoutChange = [this](TImageViewer*) { ViewerLayoutChanged(); };

    connect(sbnOpenCalibrationImage, &QPushButton::clicked, this, &TfrmMain::sbnOpenPreviewImageClick);
    connect(miOpenPreviewImage, &QAction::triggered, this, &TfrmMain::sbnOpenPreviewImageClick);
    connect(sbnPaste, &QPushButton::clicked, this, &TfrmMain::miPasteClick);
    connect(miPaste, &QAction::triggered, this, &TfrmMain::miPasteClick);
    for (QRadioButton* button : chartButtons_)
        connect(button, &QRadioButton::clicked, this, &TfrmMain::rbnColorCheckerClassicClick);
    connect(sbnPreview, &QPushButton::clicked, this, &TfrmMain::sbnPreviewClick);
    connect(sbnHidePreview, &QPushButton::clicked, this, &TfrmMain::sbnHidePreviewClick);
    connect(sbnSave3DLutFile, &QPushButton::clicked, this, &TfrmMain::sbnSave3DLutFileClick);
    connect(SpeedButton2, &QPushButton::clicked, this, &TfrmMain::sbnAboutClick);
    connect(sbnTestColorCheckerData, &QPushButton::clicked, this, &TfrmMain::sbnTestColorCheckerDataClick);
}

TChartType TfrmMain::Chart() const {
    for (std::size_t i = 0; i < chartButtons_.size(); ++i)
        if (chartButtons_[i]->isChecked()) return Charts()[i].Type;
    return Charts().front().Type;
}

void TfrmMain::UpdateControls() {
    const bool selection = viewer_->HasSelection();
    lblHint->setVisible(viewer_->HasImage() && !selection);
    sbnPreview->setEnabled(selection);
    cbxIngnorelightness->setEnabled(selection);
    sbnTestColorCheckerData->setEnabled(selection);
    sbnSave3DLutFile->setEnabled(selection || previewDone_);
    sbnHidePreview->setEnabled(selection || previewDone_);
}

void TfrmMain::SamplePatches(bool fromViewer) {
    const TSelection selection{viewer_->ImageX1(), viewer_->ImageY1(), viewer_->ImageX2(), viewer_->ImageY2()};
    if (!fromViewer && !workPrecise_.Empty()) {
        const TChartInfo& chart = ChartInfo(Chart());
        tintavo::SamplePatches(workPrecise_, TChartGeometry(selection, chart.Columns, chart.Rows), Chart(), measured_);
        return;
    }
    const TBitmap24& image = fromViewer ? viewer_->SourceBitmap() : workBitmap_;
    tintavo::SamplePatches(image, selection, Chart(), measured_);
}

void TfrmMain::Calibrate() {
    const TSelection selection{viewer_->ImageX1(), viewer_->ImageY1(), viewer_->ImageX2(), viewer_->ImageY2()};
    // On a failed fit the exception leaves the LUT and the last mapping as they were. A deep
    // picture is calibrated from its precise working image.
    if (!workPrecise_.Empty()) {
        const TChartInfo& chart = ChartInfo(Chart());
        mapping_ = tintavo::Calibrate(workPrecise_, TChartGeometry(selection, chart.Columns, chart.Rows), Chart(),
                                      cbxIngnorelightness->isChecked(), *lut_, measured_);
        return;
    }
    mapping_ = tintavo::Calibrate(workBitmap_, selection, Chart(), cbxIngnorelightness->isChecked(), *lut_,
                                  measured_);
}

void TfrmMain::SetWorkingImage(TBitmap24& image) {
    std::swap(workBitmap_, image);
    viewer_->SetImage(workBitmap_);
    UpdateControls();
}

bool TfrmMain::OpenPicture(const QString& fileName) {
    return RunCommand(this, [&] {
        viewer_->ClearSelection();
        previewDone_ = false;
        UpdateControls();
        {
            TWaitCursor wait;
            // Loaded aside: a picture that cannot be read leaves the previous image in place.
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
        ShowTips(0, false, this);
    });
}

void TfrmMain::sbnOpenPreviewImageClick() {
    TOpenPictureDialog dialog(this);
    if (ExecModal(dialog) != QDialog::Accepted) return;
    const QString fileName = dialog.ChosenFile();
    if (fileName.isEmpty()) return;
    OpenPicture(fileName);
}

void TfrmMain::miPasteClick() {
    const QMimeData* data = QApplication::clipboard()->mimeData();
    if (data == nullptr || !data->hasImage()) return;
    RunCommand(this, [&] {
        viewer_->ClearSelection();
        previewDone_ = false;
        UpdateControls();
        {
            TWaitCursor wait;
            const QImage image = qvariant_cast<QImage>(data->imageData());
            if (image.isNull()) return;
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

void TfrmMain::rbnColorCheckerClassicClick() {
    const bool hadSelection = viewer_->HasSelection();
    viewer_->ClearSelection();
    const TChartInfo& chart = ChartInfo(Chart());
    viewer_->SetGrid(chart.Columns, chart.Rows);
    if (hadSelection) viewer_->RestoreSelection();
}

void TfrmMain::sbnPreviewClick() {
    RunCommand(this, [&] {
        TWaitCursor wait;
        Calibrate();
        viewer_->RestoreDisplay();
        ApplyLutToBitmap(*lut_, viewer_->DisplayBitmap());
        // From now on the viewer's full-size image is the corrected one (the Patches command
        // samples it); the viewer keeps its own uncorrected copy for the display.
        viewer_->SourceBitmap().Assign(workBitmap_);
        ApplyLutToBitmap(*lut_, viewer_->SourceBitmap());
        viewer_->update();
        sbnHidePreview->setText(QStringLiteral("Hide"));
        previewDone_ = true;
        UpdateControls();
    });
}

void TfrmMain::sbnHidePreviewClick() {
    RunCommand(this, [&] {
        if (sbnHidePreview->text() == QStringLiteral("Hide")) {
            viewer_->RestoreDisplay();
            viewer_->update();
            sbnHidePreview->setText(QStringLiteral("Show"));
        } else {
            TWaitCursor wait;
            viewer_->RestoreDisplay();
            ApplyLutToBitmap(*lut_, viewer_->DisplayBitmap());
            viewer_->update();
            sbnHidePreview->setText(QStringLiteral("Hide"));
        }
    });
}

void TfrmMain::ViewerLayoutChanged() {
    // The viewer rebuilt its display from the uncorrected image; while the preview is shown,
    // correct the new display once.
    if (previewDone_ && sbnHidePreview->text() == QStringLiteral("Hide"))
        ApplyLutToBitmap(*lut_, viewer_->DisplayBitmap());
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

void TfrmMain::keyPressEvent(QKeyEvent* event) {
    // Alt alone never activates anything in this window.
    if (event->key() == Qt::Key_Alt) {
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tintavo
