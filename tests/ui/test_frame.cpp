// The main window as a desktop program: a new picture or a failed open never leaves the
// correction controls out of step with the picture, the menus and their shortcuts, recent files,
// dropped files, LUT files looked at and saved again, the status bar and the split view.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QCheckBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>

#include "UiTestSupport.h"
#include "formats/LUTFormat.h"
#include "formats/LutExport.h"
#include "ui/AppSettings.h"
#include "ui/ImageViewer.h"
#include "ui/LutSaveForm.h"
#include "ui/MainForm.h"
#include "ui/TipsForm.h"

using namespace tintavo;

namespace {

const QRect ChartArea(100, 80, 600, 400);

TBitmap24 Corrected(const TBitmap24& image, const TLUT& lut) {
    TBitmap24 copy;
    copy.Assign(image);
    ApplyLutToBitmap(lut, copy);
    return copy;
}

QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

// A LUT that visibly changes a picture: a warm 3D table, or curves that lift the shadows.
std::unique_ptr<TLUT> WarmTable(int n) {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk3D;
    lut->Size3D = n;
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            for (int b = 0; b < n; ++b) {
                const double x = r / double(n - 1), y = g / double(n - 1), z = b / double(n - 1);
                lut->Table3D[r][g][b] = {std::min(1.0, x * 1.1 + 0.02), y, z * 0.85};
            }
    return lut;
}

std::unique_ptr<TLUT> LiftCurves(int n) {
    auto lut = std::make_unique<TLUT>();
    lut->LutKind = lk1D;
    lut->Size1D = n;
    for (int i = 0; i < n; ++i) {
        const double v = i / double(n - 1);
        lut->Table1D[i] = {0.1 + 0.9 * v, 0.05 + 0.95 * v, v};
    }
    return lut;
}

void Drop(QWidget* target, const QString& fileName) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(fileName)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

}  // namespace

class FrameTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString chartFile;
    QString otherFile;
    test::TMainWindowFixture window;
    TfrmMain* form = nullptr;
    test::TModalAnswers* answers = nullptr;

    QPushButton* Button(const char* name) { return window.Find<QPushButton>(name); }
    QAction* Action(const char* name) { return window.Find<QAction>(name); }
    QPoint ViewerPoint(int x, int y) { return window.ViewerPoint(x, y); }
    void SelectChart() { window.SelectArea(ChartArea); }
    void Preview() {
        SelectChart();
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        QVERIFY(form->PreviewDone());
    }
    QString WriteLut(const char* name, int profile, TLUT& lut) {
        const QString file = dir.filePath(QString::fromLatin1(name));
        SaveThroughProfile(*GetOutputProfile(profile), lut, 0, file.toStdString());
        return file;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir.isValid());
        // Settings of this run only: other test programs running at the same time keep their own
        // recent files.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath(QStringLiteral("settings")));
        chartFile = dir.filePath(QStringLiteral("chart.png"));
        test::SaveBitmap(test::RenderChart(800, 560, ChartArea, TChartType::Classic), chartFile);
        otherFile = dir.filePath(QStringLiteral("other.bmp"));
        test::SaveBitmap(test::RenderChart(700, 500, QRect(50, 50, 600, 400), TChartType::Classic), otherFile);
    }
    void init() {
        // Nothing remembered from the test before.
        QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")).clear();
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

    void newPictureEndsTheCorrectionOfThePreviousOne() {
        QVERIFY(form->OpenPicture(chartFile));
        Preview();
        QPushButton* hide = Button("sbnHidePreview");
        QTest::mouseClick(hide, Qt::LeftButton);
        QCOMPARE(hide->text(), QStringLiteral("Show"));

        QVERIFY(form->OpenPicture(otherFile));
        TImageViewer* v = form->Viewer();
        QCOMPARE(hide->text(), QStringLiteral("Hide"));
        QVERIFY(!form->PreviewDone());
        QVERIFY(!hide->isEnabled());
        QVERIFY(v->DisplayBitmap().SamePixels(v->ScaledBitmap()));
        QVERIFY(!v->CorrectionShown());
        // With a selection but no preview of this picture, Hide and Show never put the previous
        // picture's correction on it.
        test::Drag(v, ViewerPoint(60, 60), ViewerPoint(600, 400));
        QVERIFY(hide->isEnabled());
        QTest::mouseClick(hide, Qt::LeftButton);
        QTest::mouseClick(hide, Qt::LeftButton);
        QCOMPARE(hide->text(), QStringLiteral("Hide"));
        QVERIFY(v->DisplayBitmap().SamePixels(v->ScaledBitmap()));
        QVERIFY(form->Mapping() == nullptr);
    }

    void failedOpenKeepsThePreviewAndItsControls() {
        QVERIFY(form->OpenPicture(chartFile));
        Preview();
        TImageViewer* v = form->Viewer();
        const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
        QFile file(broken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\xFF\xD8\xFF\xE0 not a JPEG");
        file.close();
        QVERIFY(!form->OpenPicture(broken));
        QCOMPARE(answers->Errors.size(), 1);
        // The corrected picture is still shown, and the controls say so.
        QVERIFY(form->PreviewDone());
        QVERIFY(v->DisplayBitmap().SamePixels(Corrected(v->ScaledBitmap(), form->Lut())));
        QVERIFY(Button("sbnHidePreview")->isEnabled());
        QVERIFY(Button("sbnSave3DLutFile")->isEnabled());
        QTest::mouseClick(Button("sbnHidePreview"), Qt::LeftButton);  // back to the uncorrected view
        QVERIFY(v->DisplayBitmap().SamePixels(v->ScaledBitmap()));
        QVERIFY(!RecentFiles().contains(broken));
    }

    void pasteWithoutPictureSaysSoAndTitlesAreTheProducts() {
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QApplication::clipboard()->setText(QStringLiteral("words, not a picture"));
        QTest::keyClick(form, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(answers->Messages.size(), 1);
        QVERIFY(answers->Messages.first().contains(QStringLiteral("no picture")));
        QVERIFY(!form->Viewer()->HasImage());
        QCOMPARE(answers->BoxTitles, QStringList{QStringLiteral("Vorn Tintavo")});
    }

    void tipsComeBackFromTheHelpMenu() {
        QVERIFY(form->OpenPicture(chartFile));
        QVERIFY(TipsWindow() == nullptr || !TipsWindow()->isVisible());
        Action("actTips")->trigger();
        QVERIFY(TipsWindow() != nullptr);
        QVERIFY(TipsWindow()->isVisible());
        QVERIFY(TipsWindow()->cbxDoNotShow->isChecked());
        // Unticked there, the tips are back after the next open.
        TipsWindow()->cbxDoNotShow->click();
        QCOMPARE(QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")).value(DoNotShowTipsValue).toInt(), 0);
        TipsWindow()->hide();
        QVERIFY(form->OpenPicture(chartFile));
        QVERIFY(TipsWindow()->isVisible());
        TipsWindow()->hide();
        TipsWindow()->cbxDoNotShow->click();
    }

    void menusHoldTheCommandsWithStandardShortcuts() {
        struct Entry {
            const char* menu;
            const char* action;
            QKeySequence keys;
        };
        const Entry entries[] = {
            {"menuFile", "actOpen", QKeySequence::Open},      {"menuFile", "actPaste", QKeySequence::Paste},
            {"menuFile", "actOpenLut", QKeySequence()},       {"menuFile", "actSaveLut", QKeySequence::Save},
            {"menuFile", "actQuit", QKeySequence::Quit},      {"menuView", "actZoomIn", QKeySequence::ZoomIn},
            {"menuView", "actZoomOut", QKeySequence::ZoomOut}, {"menuView", "actZoomFit", QKeySequence()},
            {"menuView", "actZoom100", QKeySequence()},       {"menuView", "actSplitView", QKeySequence()},
            {"menuView", "actPatches", QKeySequence()},       {"menuHelp", "actTips", QKeySequence::HelpContents},
            {"menuHelp", "actAbout", QKeySequence()},
        };
        for (const Entry& e : entries) {
            auto* menu = form->findChild<QMenu*>(QString::fromLatin1(e.menu));
            QVERIFY2(menu != nullptr, e.menu);
            QVERIFY2(menu->actions().contains(Action(e.action)), e.action);
            if (!e.keys.isEmpty()) QVERIFY2(Action(e.action)->shortcuts().contains(e.keys), e.action);
        }
        QVERIFY(form->findChild<QMenu*>(QStringLiteral("menuFile"))->actions().contains(
            form->findChild<QMenu*>(QStringLiteral("menuRecent"))->menuAction()));

        // Alt alone still activates nothing, menu bar or not.
        QTest::keyClick(form, Qt::Key_Alt);
        QVERIFY(form->menuBar()->activeAction() == nullptr);
        QVERIFY(QApplication::activePopupWidget() == nullptr);

        // Without a picture the view commands wait; the keys reach the commands.
        QVERIFY(!Action("actZoomIn")->isEnabled());
        answers->Queue([](QDialog& d) { return qobject_cast<QFileDialog*>(&d) ? int(QDialog::Rejected) : -1; });
        QTest::keyClick(form, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(answers->Pending(), 0);
        QVERIFY(form->OpenPicture(chartFile));
        const double fitted = form->Viewer()->Zoom();
        QTest::keyClick(form, Qt::Key_Equal, Qt::ControlModifier);
        QVERIFY(form->Viewer()->Zoom() > fitted * 1.2);
        QVERIFY(!form->Viewer()->Fitted());
        QTest::keyClick(form, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(form->Viewer()->Zoom(), 1.0);
        QCOMPARE(form->ZoomLabel()->text(), QStringLiteral("100%"));
        QTest::keyClick(form, Qt::Key_Minus, Qt::ControlModifier);
        QVERIFY(form->Viewer()->Zoom() < 1.0);
        QTest::keyClick(form, Qt::Key_0, Qt::ControlModifier);
        QVERIFY(form->Viewer()->Fitted());
        const QString fitLabel = form->ZoomLabel()->text();
        QVERIFY(fitLabel.startsWith(QStringLiteral("Fit")));
        // The fitted scale follows the window's size.
        form->resize(800, 600);
        QTRY_VERIFY(form->ZoomLabel()->text() != fitLabel);
        QCOMPARE(form->ZoomLabel()->text(),
                 QStringLiteral("Fit (%1%)").arg(qRound(form->Viewer()->Zoom() * 100.0)));
    }

    void recentFilesAndFoldersAreRemembered() {
        QVERIFY(form->OpenPicture(chartFile));
        QVERIFY(form->OpenPicture(otherFile));
        auto lut = WarmTable(9);
        const QString cube = WriteLut("warm.cube", 6, *lut);
        QVERIFY(form->OpenLutFile(cube));
        QVERIFY(form->OpenPicture(chartFile));  // again: moves to the top, no duplicate
        QCOMPARE(RecentFiles(), (QStringList{chartFile, cube, otherFile}));

        // The menu lists them; choosing one opens it by its content.
        QMenu* recent = form->findChild<QMenu*>(QStringLiteral("menuRecent"));
        emit recent->aboutToShow();
        auto* second = form->findChild<QAction*>(QStringLiteral("actRecent2"));
        QVERIFY(second != nullptr);
        QCOMPARE(second->data().toString(), otherFile);
        second->trigger();
        QCOMPARE(form->WorkBitmap().Width(), 700);
        // A file that went away is left out.
        QVERIFY(QFile::remove(cube));
        QCOMPARE(RecentFiles(), (QStringList{otherFile, chartFile}));

        // The picture dialog starts where the last picture was chosen.
        const QString sub = dir.filePath(QStringLiteral("pictures"));
        QVERIFY(QDir().mkpath(sub));
        const QString moved = sub + QStringLiteral("/chart.png");
        QVERIFY(QFile::copy(chartFile, moved));
        answers->QueueFileName(moved);
        Action("actOpen")->trigger();
        QString startedIn;
        answers->Queue([&](QDialog& d) {
            startedIn = static_cast<QFileDialog&>(d).directory().absolutePath();
            return int(QDialog::Rejected);
        });
        Action("actOpen")->trigger();
        QCOMPARE(startedIn, sub);
        QCOMPARE(LastFolder("Picture"), sub);
    }

    void droppedPicturesAndLutFilesOpen() {
        // The program entry hands LUT files over by name.
        QVERIFY(form->metaObject()->indexOfMethod("OpenLutFile(QString)") >= 0);
        Drop(form, otherFile);
        QCOMPARE(form->WorkBitmap().Width(), 700);
        auto lut = LiftCurves(256);
        const QString curves = WriteLut("lift.cube", 24, *lut);  // Cube 1D
        Drop(form, curves);
        QVERIFY(form->LutFile() != nullptr);
        QCOMPARE(form->LutFile()->LutKind, lk1D);
        QVERIFY(form->LutFileShown());
        // Text is not a file: refused at the door.
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        enter.setAccepted(false);
        QApplication::sendEvent(form, &enter);
        QVERIFY(!enter.isAccepted());
        // A file in no known layout says so.
        const QString junk = dir.filePath(QStringLiteral("junk.txt"));
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("nothing to see\n");
        f.close();
        Drop(form, junk);
        QCOMPARE(answers->Errors.size(), 1);
        QVERIFY(answers->Errors.first().contains(QStringLiteral("no known LUT format")));
        QVERIFY(form->LutFileShown());  // the LUT shown before stays
    }

    void lutFilesAreShownAppliedAndSavedAgain_data() {
        QTest::addColumn<int>("profile");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("kind");
        QTest::newRow("Cube 3D") << 6 << "warm.cube" << int(lk3D);
        QTest::newRow("3DL") << 0 << "warm.3dl" << int(lk3D);
        QTest::newRow("Cube 1D") << 24 << "lift.cube" << int(lk1D);
    }
    void lutFilesAreShownAppliedAndSavedAgain() {
        QFETCH(int, profile);
        QFETCH(QString, name);
        QFETCH(int, kind);
        auto source = kind == lk1D ? LiftCurves(1024) : WarmTable(17);
        const QString file = WriteLut(name.toLatin1().constData(), profile, *source);
        QVERIFY(form->OpenPicture(chartFile));
        QVERIFY(form->OpenLutFile(file));
        TImageViewer* v = form->Viewer();
        const TLUT& read = *form->LutFile();
        QCOMPARE(int(read.LutKind), kind);
        QVERIFY(v->DisplayBitmap().SamePixels(Corrected(v->ScaledBitmap(), read)));
        QVERIFY(v->SourceBitmap().SamePixels(Corrected(form->WorkBitmap(), read)));
        QVERIFY(!v->DisplayBitmap().SamePixels(v->ScaledBitmap()));
        QPushButton* hide = Button("sbnHidePreview");
        QVERIFY(hide->isEnabled());
        QTest::mouseClick(hide, Qt::LeftButton);
        QVERIFY(v->DisplayBitmap().SamePixels(v->ScaledBitmap()));
        QTest::mouseClick(hide, Qt::LeftButton);
        QVERIFY(v->DisplayBitmap().SamePixels(Corrected(v->ScaledBitmap(), read)));
        // A new picture gets the same LUT at once.
        QVERIFY(form->OpenPicture(otherFile));
        QVERIFY(v->DisplayBitmap().SamePixels(Corrected(v->ScaledBitmap(), read)));

        // Saved again through another profile: what the library writes for the same LUT.
        const QString out = dir.filePath(QStringLiteral("again.dat"));
        QStringList offered;
        answers->Queue([&](QDialog& d) {
            auto* dialog = qobject_cast<TfrmSaveLut*>(&d);
            if (dialog == nullptr) return int(QDialog::Rejected);
            for (int i = 0; i < dialog->cbxOutFormat->count(); ++i) offered << dialog->cbxOutFormat->itemText(i);
            dialog->cbxOutFormat->setCurrentIndex(dialog->cbxOutFormat->findText(QStringLiteral("Davinci DAT 3D")));
            dialog->cbxOutFormatChange();
            answers->QueueFileName(out);
            dialog->btnSetLUTFileClick();
            return dialog->btnSaveClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
        });
        Action("actSaveLut")->trigger();
        QCOMPARE(answers->Pending(), 0);
        QVERIFY2(answers->Errors.isEmpty(), qPrintable(answers->Errors.join('\n')));
        QCOMPARE(offered.contains(QStringLiteral("Cube 1D")), kind == lk1D);
        QVERIFY(offered.contains(QStringLiteral("Cube 3D Davinci")));
        auto expected = std::make_unique<TLUT>();
        const TLutOutputProfile& dat = *GetOutputProfile(9);
        QCOMPARE(QString::fromStdString(dat.Name), QStringLiteral("Davinci DAT 3D"));
        ResampleLut(read, true, dat.DefaultSize, *expected);
        const QString reference = dir.filePath(QStringLiteral("reference.dat"));
        SaveThroughProfile(dat, *expected, 0, reference.toStdString());
        QCOMPARE(ReadAll(out), ReadAll(reference));
        QFile::remove(out);
    }

    void statusBarFollowsThePointer() {
        QVERIFY(form->OpenPicture(chartFile));
        TImageViewer* v = form->Viewer();
        // At 1:1 every picture pixel is a screen pixel: the pointer names exactly one.
        v->ZoomActualPixels();
        const QPointF at = v->View().ToWidget(QPointF(150.25, 120.25));
        QTest::mouseMove(v, at.toPoint());
        QCOMPARE(form->PositionLabel()->text(), QStringLiteral("x 150, y 120"));
        std::uint8_t r = 0, g = 0, b = 0;
        form->WorkBitmap().GetPixel(150, 120, r, g, b);
        QVERIFY2(form->PixelLabel()->text().startsWith(QStringLiteral("RGB %1 %2 %3  (%4").arg(r).arg(g).arg(b).arg(r / 255.0, 0, 'f', 3)),
                 qPrintable(form->PixelLabel()->text()));
        // After a preview, the corrected values.
        v->ZoomToFit();
        Preview();
        v->ZoomActualPixels();
        QTest::mouseMove(v, v->View().ToWidget(QPointF(160.25, 130.25)).toPoint());
        v->SourceBitmap().GetPixel(160, 130, r, g, b);
        QVERIFY2(form->PixelLabel()->text().startsWith(QStringLiteral("RGB %1 %2 %3").arg(r).arg(g).arg(b)),
                 qPrintable(form->PixelLabel()->text() + " at " + form->PositionLabel()->text() +
                            QStringLiteral(" want %1 %2 %3").arg(r).arg(g).arg(b)));
        // Off the picture: empty.
        v->ZoomToFit();
        QTest::mouseMove(v, QPoint(1, 1));
        QCOMPARE(form->PositionLabel()->text(), QString());
    }

    void splitViewShowsBeforeAndAfter() {
        QVERIFY(form->OpenPicture(chartFile));
        Preview();
        QTest::mouseClick(Button("sbnHidePreview"), Qt::LeftButton);  // hidden
        Action("actSplitView")->trigger();
        TImageViewer* v = form->Viewer();
        QVERIFY(v->SplitView());
        QCOMPARE(Button("sbnHidePreview")->text(), QStringLiteral("Hide"));  // the after side is corrected
        const QImage shot = test::Grab(v);
        const TBitmap24& before = v->ScaledBitmap();
        const TBitmap24& after = v->DisplayBitmap();
        auto pixelOf = [](const TBitmap24& b, int x, int y) {
            std::uint8_t r, g, bl;
            b.GetPixel(x, y, r, g, bl);
            return qRgb(r, g, bl);
        };
        // One row through the chart, left and right of the divider.
        const int y = ViewerPoint(0, 300).y();
        const int split = v->SplitX();
        int leftChecked = 0, rightChecked = 0;
        for (int x = v->OffsetX() + 5; x < v->OffsetX() + before.Width() - 5; x += 7) {
            if (std::abs(x - split) < 4) continue;
            const QRgb want = pixelOf(x < split ? before : after, x - v->OffsetX(), y - v->OffsetY());
            QCOMPARE(shot.pixel(x, y) & 0xFFFFFF, want & 0xFFFFFF);
            ++(x < split ? leftChecked : rightChecked);
        }
        QVERIFY(leftChecked > 10 && rightChecked > 10);
        QVERIFY(!before.SamePixels(after));
        // The divider follows the mouse.
        test::Drag(v, QPoint(split, 200), QPoint(split / 2, 220));
        QCOMPARE(v->SplitX(), split / 2);
        Action("actSplitView")->trigger();
        QVERIFY(!v->SplitView());
    }
};

QTEST_MAIN(FrameTest)
#include "test_frame.moc"
