// The main window's workflow: states of the commands, Open/Paste, chart type, Preview,
// Hide/Show (with a resize in between), Save without a selection, Patches and failures.
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>

#include "UiTestSupport.h"
#include "lut/ImageResize2.h"
#include "ui/ImageViewer.h"
#include "ui/LutSaveForm.h"
#include "ui/MainForm.h"
#include "ui/PatchesForm.h"
#include "ui/TipsForm.h"

using namespace tintavo;

namespace {

// The chart occupies (100, 80) .. (699, 479) of an 800 x 560 picture (not reduced on Open).
const QRect ChartArea(100, 80, 600, 400);

TBitmap24 Corrected(const TBitmap24& image, const TLUT& lut) {
    TBitmap24 copy;
    copy.Assign(image);
    ApplyLutToBitmap(lut, copy);
    return copy;
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString chartFile;
    test::TMainWindowFixture window;
    TfrmMain* form = nullptr;
    test::TModalAnswers* answers = nullptr;

    template <typename T>
    T* Find(const char* name) {
        return window.Find<T>(name);
    }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }

    QPoint ViewerPoint(int x, int y) { return window.ViewerPoint(x, y); }
    void SelectChart() { window.SelectArea(ChartArea); }
    void OpenChart() { QVERIFY(form->OpenPicture(chartFile)); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir.isValid());
        chartFile = dir.filePath(QStringLiteral("chart.png"));
        test::SaveBitmap(test::RenderChart(800, 560, ChartArea, TChartType::Classic), chartFile);
    }
    void init() {
        QVERIFY(window.Start());
        form = window.Form;
        answers = window.Answers;
    }
    void cleanup() {
        form = nullptr;
        answers = nullptr;
        const QString problems = window.Stop();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void startsWithNothingToDo() {
        QCOMPARE(form->windowTitle(), QStringLiteral("Vorn Tintavo"));
        QVERIFY(Find<QRadioButton>("rbnColorCheckerClassic")->isChecked());
        QVERIFY(Find<QCheckBox>("cbxIngnorelightness")->isChecked());
        QVERIFY(!Find<QCheckBox>("cbxIngnorelightness")->isEnabled());
        QVERIFY(!Find<QLabel>("lblHint")->isVisible());
        QVERIFY(!Button("sbnPreview")->isEnabled());
        QVERIFY(!Button("sbnSave3DLutFile")->isEnabled());
        QVERIFY(!Button("sbnHidePreview")->isEnabled());
        QVERIFY(Button("sbnOpenCalibrationImage")->isEnabled());
        QVERIFY(Button("SpeedButton2")->isVisible());
        QVERIFY(!Button("sbnTestColorCheckerData")->isVisible());
        QCOMPARE(Button("sbnOpenCalibrationImage")->toolTip(), QStringLiteral("Open a calibration image file"));
        QCOMPARE(form->Viewer()->GridColumns(), 6);
        QCOMPARE(form->Viewer()->GridRows(), 4);
        QCOMPARE(form->Lut().Size3D, 33);
        QCOMPARE(form->Lut().LutKind, lk3D);
        QVERIFY(!Find<QLabel>("imgColorCheckerClassic")->pixmap().isNull());
    }

    void statesFollowImageSelectionAndPreview() {
        OpenChart();
        QVERIFY(Find<QLabel>("lblHint")->isVisible());
        QVERIFY(!Button("sbnPreview")->isEnabled());
        QVERIFY(!Button("sbnSave3DLutFile")->isEnabled());

        SelectChart();
        QVERIFY(form->Viewer()->HasSelection());
        QVERIFY(!Find<QLabel>("lblHint")->isVisible());
        for (const char* name : {"sbnPreview", "sbnSave3DLutFile", "sbnHidePreview", "sbnTestColorCheckerData"})
            QVERIFY2(Button(name)->isEnabled(), name);
        QVERIFY(Find<QCheckBox>("cbxIngnorelightness")->isEnabled());

        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        QVERIFY(form->PreviewDone());

        // A click on the image deselects; Save and Hide/Show stay usable with the last LUT.
        QTest::mouseClick(form->Viewer(), Qt::LeftButton, Qt::NoModifier, ViewerPoint(300, 300));
        QVERIFY(!form->Viewer()->HasSelection());
        QVERIFY(Find<QLabel>("lblHint")->isVisible());
        QVERIFY(!Button("sbnPreview")->isEnabled());
        QVERIFY(Button("sbnSave3DLutFile")->isEnabled());
        QVERIFY(Button("sbnHidePreview")->isEnabled());

        // A new picture ends the preview.
        OpenChart();
        QVERIFY(!form->PreviewDone());
        QVERIFY(!Button("sbnSave3DLutFile")->isEnabled());
    }

    void openThroughTheDialog() {
        answers->Queue([this](QDialog& dialog) {
            auto* files = qobject_cast<QFileDialog*>(&dialog);
            if (files == nullptr) return int(QDialog::Rejected);
            // Pictures only: JPEG, BMP, PNG, TIFF, DPX and OpenEXR.
            const QString all = files->nameFilters().join(' ');
            for (const char* pattern : {"*.jpg", "*.jpeg", "*.bmp", "*.png", "*.tif", "*.tiff", "*.dpx", "*.exr"})
                if (!all.contains(QLatin1String(pattern))) return int(QDialog::Rejected);
            files->selectFile(chartFile);
            return int(QDialog::Accepted);
        });
        QTest::mouseClick(Button("sbnOpenCalibrationImage"), Qt::LeftButton);
        QCOMPARE(answers->Pending(), 0);
        QVERIFY(form->Viewer()->HasImage());
        QCOMPARE(form->WorkBitmap().Width(), 800);

        // Cancelling changes nothing.
        const QPoint from = ViewerPoint(150, 150);
        test::Drag(form->Viewer(), from, ViewerPoint(400, 300));
        answers->Queue([](QDialog&) { return int(QDialog::Rejected); });
        QTest::mouseClick(Button("sbnOpenCalibrationImage"), Qt::LeftButton);
        QVERIFY(form->Viewer()->HasSelection());
    }

    void largePicturesAreReducedOnOpen_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("workWidth");
        QTest::addColumn<int>("workHeight");
        QTest::newRow("3000x2000") << 3000 << 2000 << 1500 << 1000;
        QTest::newRow("1000x800") << 1000 << 800 << 1000 << 800;
        QTest::newRow("4000x1000") << 4000 << 1000 << 1500 << 375;
    }
    void largePicturesAreReducedOnOpen() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, workWidth);
        QFETCH(int, workHeight);
        TBitmap24 picture;
        picture.SetSizeAndFill(width, height, 120);
        const QString file = dir.filePath(QStringLiteral("big.jpg"));
        test::SaveBitmap(picture, file);
        OpenChart();
        QVERIFY(form->OpenPicture(file));
        QCOMPARE(form->WorkBitmap().Width(), workWidth);
        QCOMPARE(form->WorkBitmap().Height(), workHeight);
        QCOMPARE(form->Viewer()->SourceBitmap().Width(), workWidth);
    }

    // A 16-bit picture keeps a precise working image, which the calibration samples; the label
    // tells the type and depth. An 8-bit picture has none.
    void deepPicturesAreCalibratedAtFullPrecision() {
        TPreciseImage deep;
        BitmapToPrecise(test::RenderChart(800, 560, ChartArea, TChartType::Classic), deep);
        for (int y = 0; y < deep.Height(); ++y)  // between the 8-bit levels
            for (std::ptrdiff_t i = 0; i < deep.RowFloats(); ++i)
                deep.Row(y)[i] = std::min(1.0f, deep.Row(y)[i] + 0.4f / 255.0f);
        const QString file = dir.filePath(QStringLiteral("deep.tif"));
        SavePreciseImage(QFile::encodeName(file).toStdString(), deep, TSampleDepth::Bits16);
        QVERIFY(form->OpenPicture(file));
        QCOMPARE(Find<QLabel>("lblPictureInfo")->text(), QStringLiteral("16-bit TIFF, 800 x 560"));
        QCOMPARE(form->WorkPrecise().Width(), 800);
        SelectChart();
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        QVERIFY(form->PreviewDone());
        int offLevels = 0;
        for (int i = 0; i < form->Measured().PatchCount; ++i) {
            const double level = 255 * form->Measured().MeasuredColors[i].G;
            if (std::abs(level - std::nearbyint(level)) > 0.1) ++offLevels;
        }
        QVERIFY(offLevels > 20);

        OpenChart();
        QVERIFY(form->WorkPrecise().Empty());
        QCOMPARE(Find<QLabel>("lblPictureInfo")->text(), QStringLiteral("8-bit PNG, 800 x 560"));
    }

    void pasteKeepsFullSize() {
        QImage picture(1600, 1200, QImage::Format_RGB32);
        picture.fill(QColor(10, 200, 30));
        QApplication::clipboard()->setImage(picture);
        QTest::keyClick(form, Qt::Key_V, Qt::ControlModifier);
        QTRY_VERIFY(form->Viewer()->HasImage());
        QCOMPARE(form->WorkBitmap().Width(), 1600);
        QCOMPARE(form->WorkBitmap().Height(), 1200);
        std::uint8_t r = 0, g = 0, b = 0;
        form->WorkBitmap().GetPixel(5, 5, r, g, b);
        QCOMPARE(int(r), 10);
        QCOMPARE(int(g), 200);
        QCOMPARE(int(b), 30);
        QVERIFY(Find<QLabel>("lblHint")->isVisible());

        // Nothing on the clipboard that is a picture: nothing changes.
        QApplication::clipboard()->setText(QStringLiteral("not a picture"));
        QTest::mouseClick(Button("sbnPaste"), Qt::LeftButton);
        QCOMPARE(form->WorkBitmap().Width(), 1600);
    }

    void chartTypeKeepsAndRedrawsTheRectangle() {
        OpenChart();
        SelectChart();
        const int x1 = form->Viewer()->SelX1();
        const int y2 = form->Viewer()->SelY2();
        const QImage classic = test::Grab(form->Viewer());
        QTest::mouseClick(Find<QRadioButton>("rbnColorCheckerSG"), Qt::LeftButton);
        QVERIFY(form->Viewer()->HasSelection());
        QCOMPARE(form->Viewer()->SelX1(), x1);
        QCOMPARE(form->Viewer()->SelY2(), y2);
        QCOMPARE(form->Viewer()->GridColumns(), 14);
        QCOMPARE(form->Viewer()->PatchCentres().size(), 140);
        QVERIFY(test::Grab(form->Viewer()) != classic);  // the markers moved
        QVERIFY(Button("sbnPreview")->isEnabled());

        // Without a selection nothing is drawn, and nothing is selected by the switch.
        QTest::mouseClick(form->Viewer(), Qt::LeftButton, Qt::NoModifier, ViewerPoint(300, 300));
        QTest::mouseClick(Find<QRadioButton>("rbnColorCheckerClassic"), Qt::LeftButton);
        QVERIFY(!form->Viewer()->HasSelection());
        QCOMPARE(form->Viewer()->GridColumns(), 6);
    }

    void previewCorrectsDisplayAndSource() {
        OpenChart();
        SelectChart();
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        QVERIFY(answers->Errors.isEmpty());
        QVERIFY(form->PreviewDone());
        QCOMPARE(Button("sbnHidePreview")->text(), QStringLiteral("Hide"));
        TImageViewer* v = form->Viewer();
        QVERIFY(v->DisplayBitmap().SamePixels(Corrected(v->ScaledBitmap(), form->Lut())));
        QVERIFY(!v->DisplayBitmap().SamePixels(v->ScaledBitmap()));
        QVERIFY(v->SourceBitmap().SamePixels(Corrected(form->WorkBitmap(), form->Lut())));
        QVERIFY(form->Mapping() != nullptr);
    }

    void hideShowAfterResizeCorrectsOnce() {
        OpenChart();
        SelectChart();
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        TImageViewer* v = form->Viewer();
        QPushButton* hide = Button("sbnHidePreview");

        QTest::mouseClick(hide, Qt::LeftButton);
        QCOMPARE(hide->text(), QStringLiteral("Show"));
        QVERIFY(v->DisplayBitmap().SamePixels(v->ScaledBitmap()));
        QTest::mouseClick(hide, Qt::LeftButton);
        QCOMPARE(hide->text(), QStringLiteral("Hide"));
        QVERIFY(v->DisplayBitmap().SamePixels(Corrected(v->ScaledBitmap(), form->Lut())));

        // A resize rebuilds the scaled copies from the uncorrected picture; the display keeps
        // showing the correction, once.
        const int shownWidth = v->DisplayBitmap().Width();
        form->resize(900, 700);
        QTRY_VERIFY(v->DisplayBitmap().Width() != shownWidth);
        TBitmap24 expectedScaled;
        ResizeBitmap(v->DisplayBitmap().Width(), v->DisplayBitmap().Height(), rfLanczos3, 0.0f, form->WorkBitmap(),
                     expectedScaled);
        QVERIFY(v->ScaledBitmap().SamePixels(expectedScaled));
        QVERIFY(v->DisplayBitmap().SamePixels(Corrected(expectedScaled, form->Lut())));
        QVERIFY(!v->HasSelection());

        QTest::mouseClick(hide, Qt::LeftButton);  // Hide: the uncorrected picture
        QVERIFY(v->DisplayBitmap().SamePixels(expectedScaled));
        QTest::mouseClick(hide, Qt::LeftButton);  // Show: corrected exactly once
        QVERIFY(v->DisplayBitmap().SamePixels(Corrected(expectedScaled, form->Lut())));
        // The full-size source stays the corrected picture (the Patches command samples it).
        QVERIFY(v->SourceBitmap().SamePixels(Corrected(form->WorkBitmap(), form->Lut())));

        // Hidden while resizing: stays uncorrected.
        QTest::mouseClick(hide, Qt::LeftButton);
        form->resize(1000, 760);
        QTRY_VERIFY(v->DisplayBitmap().Width() != expectedScaled.Width());
        QVERIFY(v->DisplayBitmap().SamePixels(v->ScaledBitmap()));
    }

    void saveWithoutSelection() {
        OpenChart();
        // Before any preview: the message, no dialog.
        form->sbnSave3DLutFileClick();
        QCOMPARE(answers->Messages, QStringList{QStringLiteral("Please select the color checker region.")});

        // After a preview the dialog opens with the previewed LUT, even without a selection.
        SelectChart();
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        QTest::mouseClick(form->Viewer(), Qt::LeftButton, Qt::NoModifier, ViewerPoint(300, 300));
        bool opened = false;
        answers->Queue([&](QDialog& dialog) {
            opened = qobject_cast<TfrmSaveLut*>(&dialog) != nullptr;
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(Button("sbnSave3DLutFile"), Qt::LeftButton);
        QVERIFY(opened);
        QCOMPARE(answers->Messages.size(), 1);
    }

    void saveWithSelectionRecalibrates() {
        OpenChart();
        SelectChart();
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        const TLutColor previewed = form->Lut().Table3D[5][20][30];
        // An option changed after the preview is taken into account by Save.
        QTest::mouseClick(Find<QCheckBox>("cbxIngnorelightness"), Qt::LeftButton);
        QVERIFY(!Find<QCheckBox>("cbxIngnorelightness")->isChecked());
        answers->Queue([](QDialog&) { return int(QDialog::Rejected); });
        QTest::mouseClick(Button("sbnSave3DLutFile"), Qt::LeftButton);
        QCOMPARE(answers->Pending(), 0);
        QVERIFY(answers->Errors.isEmpty());
        const TLutColor saved = form->Lut().Table3D[5][20][30];
        QVERIFY(saved.R != previewed.R || saved.G != previewed.G || saved.B != previewed.B);
    }

    void failedCalibrationKeepsEverything() {
        // A flat picture: every patch measures the same colour, the fit is singular.
        TBitmap24 flat;
        flat.SetSizeAndFill(600, 400, 128);
        const QString file = dir.filePath(QStringLiteral("flat.bmp"));
        test::SaveBitmap(flat, file);
        QVERIFY(form->OpenPicture(file));
        test::Drag(form->Viewer(), ViewerPoint(50, 50), ViewerPoint(500, 350));
        const TLutColor node = form->Lut().Table3D[3][4][5];
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        QCOMPARE(answers->Errors.size(), 1);
        QVERIFY(answers->Errors.first().contains(QStringLiteral("not invertable")));
        QVERIFY(!form->PreviewDone());
        QCOMPARE(form->Lut().Table3D[3][4][5].R, node.R);
        QVERIFY(form->Viewer()->DisplayBitmap().SamePixels(form->Viewer()->ScaledBitmap()));
        // Save ends the same way, without a dialog.
        QTest::mouseClick(Button("sbnSave3DLutFile"), Qt::LeftButton);
        QCOMPARE(answers->Errors.size(), 2);
        QVERIFY(Button("sbnPreview")->isEnabled());  // the window stays usable
    }

    void chartTypesComeFromTheChartTableAndAWrongOneSaysSo() {
        QCOMPARE(Find<QWidget>("GroupBox1")->findChildren<QRadioButton*>().size(), static_cast<int>(Charts().size()));
        for (const TChartInfo& chart : Charts()) {
            const QByteArray key(chart.ShortName);
            QCOMPARE(Find<QRadioButton>("rbnColorChecker" + key)->text(), QString::fromLatin1(chart.DisplayName));
            QVERIFY(!Find<QLabel>("imgColorChecker" + key)->pixmap().isNull());
        }
        // The Classic chart taken for a Digital SG one: the fit fails, and the error box says
        // what to do after the fit's own message.
        OpenChart();
        QTest::mouseClick(Find<QRadioButton>("rbnColorCheckerSG"), Qt::LeftButton);
        QCOMPARE(form->Viewer()->GridColumns(), 14);
        SelectChart();
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        QCOMPARE(answers->Errors.size(), 1);
        const QString error = answers->Errors.first();
        QVERIFY2(error.startsWith(QStringLiteral("Error calculating the thin-plate-splines coefficient matrix. Matrix is "
                                                 "not invertable\n\n")),
                 qPrintable(error));
        QVERIFY2(error.contains(QStringLiteral("check that the chart type matches")), qPrintable(error));
        QVERIFY(!form->PreviewDone());
    }

    void unreadablePictureKeepsThePreviousImage() {
        OpenChart();
        SelectChart();
        const QString file = dir.filePath(QStringLiteral("broken.jpg"));
        QFile broken(file);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("\xFF\xD8\xFF\xE0 not really a JPEG");
        broken.close();
        QVERIFY(!form->OpenPicture(file));
        QCOMPARE(answers->Errors.size(), 1);
        QVERIFY(form->Viewer()->HasImage());
        QCOMPARE(form->WorkBitmap().Width(), 800);
        QVERIFY(!form->Viewer()->HasSelection());  // already cleared when the load began
        QVERIFY(!form->OpenPicture(dir.filePath(QStringLiteral("missing.png"))));
        QCOMPARE(answers->Errors.size(), 2);
    }

    void patchesRows() {
        OpenChart();
        SelectChart();
        QPushButton* patches = Button("sbnTestColorCheckerData");
        patches->click();  // the button is hidden in this layout; its command still works
        TfrmPatches* window = PatchesWindow();
        QVERIFY(window != nullptr);
        QCOMPARE(window->StringGrid1->rowCount(), 25);
        QCOMPARE(window->StringGrid1->item(23, 2)->text(), QStringLiteral("23"));
        QVERIFY(window->StringGrid1->item(24, 0) == nullptr);
        // Patch 0 of the rendered chart: the sampled colour is the measured swatch.
        const TLutColor m = form->Measured().MeasuredColors[0];
        QCOMPARE(window->CellColor(0, 0), QColor(ChannelTo8Bit(m.R), ChannelTo8Bit(m.G), ChannelTo8Bit(m.B)));
        QVERIFY(window->CellColor(0, 1).isValid());
        QVERIFY(!window->CellColor(24, 1).isValid());

        QTest::mouseClick(Find<QRadioButton>("rbnColorCheckerSG"), Qt::LeftButton);
        patches->click();
        QCOMPARE(window->StringGrid1->rowCount(), 141);
        window->close();
    }

    void tipsFollowTheSetting() {
        OpenChart();
        QVERIFY(TipsWindow() == nullptr || !TipsWindow()->isVisible());
        QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")).setValue(DoNotShowTipsValue, 0);
        // The window reads the setting when it is created; untick in a live one as a user would.
        if (TipsWindow() != nullptr) TipsWindow()->cbxDoNotShow->setChecked(false);
        OpenChart();
        QVERIFY(TipsWindow() != nullptr);
        QVERIFY(TipsWindow()->isVisible());
        QCOMPARE(TipsWindow()->PageControl->currentIndex(), 0);
        QCOMPARE(TipsWindow()->PageControl->tabText(0), QStringLiteral("ColorChecker region"));
        TipsWindow()->hide();
        TipsWindow()->cbxDoNotShow->setChecked(true);
    }
};

QTEST_MAIN(MainFormTest)
#include "test_mainform.moc"
