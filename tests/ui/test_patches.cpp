// The model choice of the main window (what the preview and the saved file are made with, and
// what is remembered) and the Patches window's calibration report (rows, order, figures).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstring>
#include <memory>

#include "UiTestSupport.h"
#include "engine/CalibrationReport.h"
#include "ui/ImageViewer.h"
#include "ui/LutSaveForm.h"
#include "ui/MainForm.h"
#include "ui/PatchesForm.h"
#include "ui/UiSupport.h"

using namespace tintavo;

namespace {

// The chart occupies (100, 80) .. (699, 479) of an 800 x 560 picture (not reduced on Open).
const QRect ChartArea(100, 80, 600, 400);

bool SameTable(const TLUT& a, const TLUT& b, int n) {
    for (int r = 0; r < n; ++r)
        for (int g = 0; g < n; ++g)
            if (std::memcmp(a.Table3D[r][g], b.Table3D[r][g], sizeof(TLutColor) * static_cast<std::size_t>(n)) != 0)
                return false;
    return true;
}

QString Figure(double value) { return QString::number(value, 'f', 2); }

QByteArray ReadAll(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class PatchesTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString classicFile;
    QString sgFile;
    test::TMainWindowFixture window;
    TfrmMain* form = nullptr;

    QComboBox* Models() { return window.Find<QComboBox>("cbModel"); }

    // Picks a model from the list with the keyboard, as a user would.
    bool ChooseModel(const QString& name) {
        QComboBox* combo = Models();
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Home);
        for (int i = 0; i < combo->count() && combo->currentData().toString() != name; ++i)
            QTest::keyClick(combo, Qt::Key_Down);
        return combo->currentData().toString() == name;
    }
    void OpenAndSelect(const QString& file) {
        QVERIFY(form->OpenPicture(file));
        window.SelectArea(ChartArea);
        QVERIFY(form->Viewer()->HasSelection());
        QVERIFY(!form->Viewer()->SelectionIsQuad());
    }
    void Preview() {
        QTest::mouseClick(window.Find<QPushButton>("sbnPreview"), Qt::LeftButton);
        QVERIFY2(window.Answers->Errors.isEmpty(), qPrintable(window.Answers->Errors.join('\n')));
        QVERIFY(form->PreviewDone());
    }
    TSelection Selection() const {
        const TImageViewer* v = form->Viewer();
        return {v->ImageX1(), v->ImageY1(), v->ImageX2(), v->ImageY2()};
    }
    // The table the core makes of the window's picture and selection with `model`.
    std::unique_ptr<TLUT> CoreTable(std::string_view model) {
        auto lut = std::make_unique<TLUT>();
        lut->LutKind = lk3D;
        lut->Size3D = CalibrationLutSize;
        TMeasuredPatches measured;
        tintavo::Calibrate(form->WorkBitmap(), Selection(), form->Chart(), true, *lut, measured, model);
        return lut;
    }
    TCalibrationReport CoreReport(std::string_view model, bool compare = false) {
        TMeasuredPatches measured;
        tintavo::SamplePatches(form->WorkBitmap(), Selection(), form->Chart(), measured);
        return ComputeCalibrationReport(measured, form->Chart(), true, model, compare);
    }
    TfrmPatches* OpenPatches() {
        QAction* patches = window.Find<QAction>("actPatches");
        if (!patches->isEnabled()) return nullptr;
        patches->trigger();
        TfrmPatches* shown = PatchesWindow();
        return shown != nullptr && shown->isVisible() && shown->ReportShown() ? shown : nullptr;
    }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir.isValid());
        classicFile = dir.filePath(QStringLiteral("classic.png"));
        test::SaveBitmap(test::RenderChart(800, 560, ChartArea, TChartType::Classic), classicFile);
        sgFile = dir.filePath(QStringLiteral("sg.png"));
        test::SaveBitmap(test::RenderChart(800, 560, ChartArea, TChartType::DigitalSG), sgFile);
    }
    void init() {
        QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")).clear();
        QVERIFY(window.Start());
        form = window.Form;
    }
    void cleanup() {
        UiHooks::ProgressHook = nullptr;
        form = nullptr;
        const QString problems = window.Stop();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void modelListIsTheRegistryWithTheExactSplineChosen() {
        QComboBox* combo = Models();
        const auto& models = CalibrationModels();
        QCOMPARE(combo->count(), static_cast<int>(models.size()));
        for (int i = 0; i < combo->count(); ++i) {
            QCOMPARE(combo->itemData(i).toString(), QString::fromLatin1(models[static_cast<std::size_t>(i)].Name));
            QCOMPARE(combo->itemData(i, Qt::ToolTipRole).toString(),
                     QString::fromUtf8(models[static_cast<std::size_t>(i)].Description));
        }
        QCOMPARE(combo->currentData().toString(), QStringLiteral("tps"));
        QCOMPARE(combo->currentText(), QStringLiteral("Exact spline (tps)"));
        QCOMPARE(form->ModelName(), std::string("tps"));
        // Like "Calibrate colors only": a choice for a selection.
        QVERIFY(!combo->isEnabled());
        OpenAndSelect(classicFile);
        QVERIFY(combo->isEnabled());
    }

    void defaultPreviewIsTheExactSplinesTableAndAnotherModelChangesIt() {
        OpenAndSelect(classicFile);
        Preview();
        const auto spline = CoreTable("tps");
        QVERIFY(SameTable(form->Lut(), *spline, CalibrationLutSize));
        QVERIFY(SameTable(form->Lut(), *CoreTable(DefaultCalibrationModel), CalibrationLutSize));

        QVERIFY(ChooseModel(QStringLiteral("matrix")));
        Preview();
        QVERIFY(!SameTable(form->Lut(), *spline, CalibrationLutSize));
        QVERIFY(SameTable(form->Lut(), *CoreTable("matrix"), CalibrationLutSize));
        // The display shows the new table.
        TBitmap24 corrected;
        corrected.Assign(form->WorkBitmap());
        ApplyLutToBitmap(form->Lut(), corrected);
        QCOMPARE(
            std::memcmp(corrected.Bits(), form->Viewer()->SourceBitmap().Bits(),
                        static_cast<std::size_t>(corrected.Stride()) * static_cast<std::size_t>(corrected.Height())),
            0);
    }

    void savedFileIsTheCommandLinesWithTheSameModel() {
#ifndef TINTAVO_CLI
        QSKIP("built without tintavo-cli");
#else
        OpenAndSelect(classicFile);
        QVERIFY(ChooseModel(QStringLiteral("rootpoly2")));
        const QString saved = dir.filePath(QStringLiteral("window.cube"));
        const QString reference = dir.filePath(QStringLiteral("cli.cube"));
        test::TModalAnswers& answers = *window.Answers;
        answers.QueueSaveAsDavinciCube(saved);
        // Save calibrates with a selection: no preview needed.
        QTest::mouseClick(window.Find<QPushButton>("sbnSave3DLutFile"), Qt::LeftButton);
        QCOMPARE(answers.Pending(), 0);
        QVERIFY2(answers.Errors.isEmpty(), qPrintable(answers.Errors.join('\n')));
        QVERIFY(QFile::exists(saved));

        const TSelection s = Selection();
        const QString rect = QStringLiteral("%1,%2,%3,%4").arg(s.X1).arg(s.Y1).arg(s.X2).arg(s.Y2);
        auto cli = [&](const QString& model, const QString& output) {
            QProcess p;
            p.start(QStringLiteral(TINTAVO_CLI),
                    {QStringLiteral("calibrate"), classicFile, QStringLiteral("--chart"), QStringLiteral("classic"),
                     QStringLiteral("--rect"), rect, QStringLiteral("--model"), model, QStringLiteral("--profile"),
                     QStringLiteral("Cube 3D Davinci"), QStringLiteral("-o"), output});
            return p.waitForFinished(60000) && p.exitCode() == 0;
        };
        QVERIFY(cli(QStringLiteral("rootpoly2"), reference));
        QCOMPARE(ReadAll(saved), ReadAll(reference));
        // And not what the default model writes.
        const QString spline = dir.filePath(QStringLiteral("tps.cube"));
        QVERIFY(cli(QStringLiteral("tps"), spline));
        QVERIFY(ReadAll(saved) != ReadAll(spline));
#endif
    }

    void modelIsRememberedAndUnknownNamesFallBack() {
        OpenAndSelect(classicFile);
        QVERIFY(ChooseModel(QStringLiteral("smooth-tps")));
        QSettings settings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo"));
        QCOMPARE(settings.value(QStringLiteral("CalibrationModel")).toString(), QStringLiteral("smooth-tps"));
        {
            TfrmMain second;
            QCOMPARE(second.ModelName(), std::string("smooth-tps"));
        }
        settings.setValue(QStringLiteral("CalibrationModel"), QStringLiteral("SMOOTH-TPS"));
        {
            TfrmMain second;
            QCOMPARE(second.ModelName(), std::string("smooth-tps"));
        }
        settings.setValue(QStringLiteral("CalibrationModel"), QStringLiteral("no-such-model"));
        {
            TfrmMain second;
            QCOMPARE(second.ModelName(), std::string("tps"));
        }
    }

    void automaticChoiceFitsBesideTheWindow() {
        int progressDialogs = 0;
        UiHooks::ProgressHook = [&](QProgressDialog&) { ++progressDialogs; };
        OpenAndSelect(classicFile);
        Preview();
        QCOMPARE(progressDialogs, 0);
        QVERIFY(ChooseModel(QStringLiteral("auto")));
        Preview();
        QCOMPARE(progressDialogs, 1);
        QVERIFY(SameTable(form->Lut(), *CoreTable("auto"), CalibrationLutSize));
    }

    void patchesCommandFollowsTheSelectionAndTheLastCalibration() {
        QAction* patches = window.Find<QAction>("actPatches");
        QVERIFY(patches->isVisible());
        QVERIFY(!patches->isEnabled());
        OpenAndSelect(classicFile);
        QVERIFY(patches->isEnabled());
        Preview();
        // A model chosen after the preview, then a click on the picture that ends the selection:
        // the last calibration's patches, with its model, stay on offer.
        QVERIFY(ChooseModel(QStringLiteral("matrix")));
        QTest::mouseClick(form->Viewer(), Qt::LeftButton, Qt::NoModifier, window.ViewerPoint(20, 20));
        QVERIFY(!form->Viewer()->HasSelection());
        QVERIFY(patches->isEnabled());
        TfrmPatches* shown = OpenPatches();
        QVERIFY(shown != nullptr);
        QCOMPARE(shown->Report().Model, std::string("tps"));  // the calibration's, not a later choice
        QCOMPARE(shown->tblPatches->rowCount(), 24);
        // A report on show follows the next preview, with its model.
        window.SelectArea(ChartArea);
        QVERIFY(ChooseModel(QStringLiteral("rootpoly2")));
        Preview();
        QVERIFY(shown->isVisible());
        QCOMPARE(shown->Report().Model, std::string("rootpoly2"));
        // A new picture: no calibration, no selection, nothing to show.
        QVERIFY(form->OpenPicture(sgFile));
        QVERIFY(!patches->isEnabled());
    }

    void patchRowsAreWorstFirstWithTheReportsFigures() {
        OpenAndSelect(classicFile);
        QVERIFY(ChooseModel(QStringLiteral("rootpoly3")));
        TfrmPatches* shown = OpenPatches();
        QVERIFY(shown != nullptr);
        const TCalibrationReport report = CoreReport("rootpoly3");
        QCOMPARE(shown->Report().Model, std::string("rootpoly3"));
        QTableWidget* table = shown->tblPatches;
        QCOMPARE(table->rowCount(), 24);

        int worst = 0;
        for (int i = 1; i < 24; ++i)
            if (report.Patches[i].DeltaECrossValidated > report.Patches[worst].DeltaECrossValidated) worst = i;
        QCOMPARE(shown->PatchOfRow(0), worst);
        QVERIFY(shown->RowHighlighted(0));
        QVERIFY(!shown->RowHighlighted(23));
        int highlighted = 0;
        double previous = 1e9;
        for (int row = 0; row < 24; ++row) {
            const TPatchQuality& p = report.Patches[static_cast<std::size_t>(shown->PatchOfRow(row))];
            QVERIFY(p.DeltaECrossValidated <= previous);
            previous = p.DeltaECrossValidated;
            QCOMPARE(table->item(row, TfrmPatches::rcBefore)->text(), Figure(p.DeltaEBefore));
            QCOMPARE(table->item(row, TfrmPatches::rcAfter)->text(), Figure(p.DeltaEAfter));
            QCOMPARE(table->item(row, TfrmPatches::rcHeldOut)->text(), Figure(p.DeltaECrossValidated));
            QCOMPARE(shown->ReportCellColor(row, TfrmPatches::rcMeasured),
                     QColor(ChannelTo8Bit(p.Measured.R), ChannelTo8Bit(p.Measured.G), ChannelTo8Bit(p.Measured.B)));
            QCOMPARE(shown->ReportCellColor(row, TfrmPatches::rcReference),
                     QColor(ChannelTo8Bit(p.Reference.R), ChannelTo8Bit(p.Reference.G), ChannelTo8Bit(p.Reference.B)));
            QCOMPARE(shown->ReportCellColor(row, TfrmPatches::rcCorrected),
                     QColor(ChannelTo8Bit(p.Corrected.R), ChannelTo8Bit(p.Corrected.G), ChannelTo8Bit(p.Corrected.B)));
            if (shown->RowHighlighted(row)) ++highlighted;
        }
        QCOMPARE(highlighted, WorstPatchCount(report));

        // The summary: before, in-sample after and held out, each labelled, never mixed.
        QTableWidget* summary = shown->tblSummary;
        const TDeltaEStats* groups[] = {&report.All.Before, &report.All.After, &report.All.CrossValidated};
        for (int row = 0; row < 3; ++row) {
            const double expected[] = {groups[row]->Mean, groups[row]->Median, groups[row]->P95, groups[row]->Max};
            for (int column = 0; column < 4; ++column)
                QCOMPARE(summary->item(row, column + 1)->text(), Figure(expected[column]));
        }
        QVERIFY(summary->item(1, 0)->text().contains(QStringLiteral("in-sample")));
        QCOMPARE(summary->item(2, 0)->text(), QStringLiteral("After, held out (leave one out)"));

        // A click on the patch column's header sorts by patch number.
        QHeaderView* header = table->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(TfrmPatches::rcPatch) + 5, header->height() / 2));
        const int first = shown->PatchOfRow(0);
        const int last = shown->PatchOfRow(23);
        QVERIFY((first == 0 && last == 23) || (first == 23 && last == 0));
    }

    void digitalSgShowsEveryPatchAndTheGroupedFolds() {
        QTest::mouseClick(window.Find<QRadioButton>("rbnColorCheckerSG"), Qt::LeftButton);
        OpenAndSelect(sgFile);
        TfrmPatches* shown = OpenPatches();
        QVERIFY(shown != nullptr);
        QCOMPARE(shown->tblPatches->rowCount(), 140);
        const TCalibrationReport report = CoreReport("tps");
        QCOMPARE(shown->tblSummary->item(2, 0)->text(), QStringLiteral("After, held out (grouped 5-fold)"));
        QCOMPARE(shown->tblSummary->item(2, 1)->text(), Figure(report.All.CrossValidated.Mean));
        QCOMPARE(shown->PatchOfRow(0), WorstPatchesFirst(report).front());
    }

    void modelComparisonHasEveryModelsHeldOutFigures() {
        OpenAndSelect(classicFile);
        TfrmPatches* shown = OpenPatches();
        QVERIFY(shown != nullptr);
        QCOMPARE(shown->tblModels->rowCount(), 0);  // computed on request only
        // Cancelled as it starts, as the progress dialog's Cancel button does: nothing shown, no error.
        UiHooks::ProgressHook = [](QProgressDialog& progress) { progress.cancel(); };
        QTest::mouseClick(shown->btnCompareModels, Qt::LeftButton);
        UiHooks::ProgressHook = nullptr;
        QVERIFY2(window.Answers->Errors.isEmpty(), qPrintable(window.Answers->Errors.join('\n')));
        QCOMPARE(shown->tblModels->rowCount(), 0);
        QTest::mouseClick(shown->btnCompareModels, Qt::LeftButton);
        QVERIFY2(window.Answers->Errors.isEmpty(), qPrintable(window.Answers->Errors.join('\n')));
        const TCalibrationReport report = CoreReport("tps", true);
        QCOMPARE(shown->tblModels->rowCount(), static_cast<int>(report.Comparison.size()));
        for (int row = 0; row < shown->tblModels->rowCount(); ++row) {
            const TModelComparison& c = report.Comparison[static_cast<std::size_t>(row)];
            QCOMPARE(shown->tblModels->item(row, 0)->text(), QString::fromStdString(c.Name));
            QCOMPARE(shown->tblModels->item(row, 0)->font().bold(), c.Name == "tps");
            QCOMPARE(shown->tblModels->item(row, 1)->text(), Figure(c.CrossValidated.Mean));
            QCOMPARE(shown->tblModels->item(row, 4)->text(), Figure(c.CrossValidated.Max));
            QCOMPARE(shown->tblModels->item(row, 5)->text(), QString::fromStdString(c.Details));
        }
        // The report stays beside the main window when the focus goes back to it.
        form->activateWindow();
        QApplication::processEvents();
        QVERIFY(shown->isVisible());
    }
};

QTEST_MAIN(PatchesTest)
#include "test_patches.moc"
