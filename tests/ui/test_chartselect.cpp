// Finding and fitting the chart in the main window: Detect Chart, the corner handles through the
// calibration, the selection check's advice and its one-click fix, the preview's interpolation.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <vector>

#include "UiTestSupport.h"
#include "engine/ChartDetect.h"
#include "tools/SceneRender.h"
#include "ui/ImageViewer.h"
#include "ui/MainForm.h"
#include "ui/TipsForm.h"

using namespace tintavo;

namespace {

constexpr int SceneWidth = 1200;
constexpr int SceneHeight = 800;

// A chart photographed at an angle (or no chart, among clutter), with its true grid corners.
scene::TScene TiltedScene(TChartType chart, bool withChart) {
    scene::TScene s;
    s.Chart = chart;
    s.HasChart = withChart;
    s.Width = SceneWidth;
    s.Height = SceneHeight;
    s.Clutter = 6;
    s.Seed = 7;
    s.Noise = 2;  // many distinct colours, so that the interpolations differ somewhere
    s.Blur = 0.8;
    if (withChart) {
        scene::TChartPose pose;
        pose.CentreX = 0.45;
        pose.CentreY = 0.5;
        pose.Width = 0.55;
        pose.Roll = 15;
        pose.TiltX = 25;
        pose.TiltY = 10;
        s.Grid = scene::PoseCorners(chart, pose, s.Gap, s.Margin, s.Width, s.Height);
        s.Upright = false;
    }
    return s;
}

double Distance(const TPointF& a, const TPointF& b) { return std::hypot(a.X - b.X, a.Y - b.Y); }

double LargestDifference(const TMeasuredPatches& a, const TMeasuredPatches& b) {
    double most = 0;
    for (int i = 0; i < a.PatchCount; ++i) {
        most = std::max({most, std::abs(a.MeasuredColors[i].R - b.MeasuredColors[i].R),
                         std::abs(a.MeasuredColors[i].G - b.MeasuredColors[i].G),
                         std::abs(a.MeasuredColors[i].B - b.MeasuredColors[i].B)});
    }
    return most;
}

bool Same(const TBitmap24& a, const TBitmap24& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.Bits() + y * a.Stride(), b.Bits() + y * b.Stride(),
                        static_cast<std::size_t>(a.Width()) * 3) != 0)
            return false;
    return true;
}

std::vector<char> TableBytes(const TLUT& lut) {
    std::vector<char> bytes(sizeof(lut.Table3D));
    std::memcpy(bytes.data(), &lut.Table3D, bytes.size());
    return bytes;
}

}  // namespace

class ChartSelectTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    test::TMainWindowFixture window;
    TfrmMain* form = nullptr;
    test::TModalAnswers* answers = nullptr;

    template <typename T>
    T* Find(const char* name) {
        return window.Find<T>(name);
    }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }

    // Saves the scene and opens it; the working image keeps the scene's size.
    void OpenScene(const scene::TScene& s, const char* name) {
        TBitmap24 picture;
        scene::RenderScene(s, picture);
        const QString file = dir.filePath(QString::fromLatin1(name));
        test::SaveBitmap(picture, file);
        QVERIFY(form->OpenPicture(file));
        QCOMPARE(form->WorkBitmap().Width(), SceneWidth);
    }
    QPoint ViewerPoint(int x, int y) { return window.ViewerPoint(x, y); }

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir.isValid());
    }
    void init() {
        QVERIFY(window.Start());
        form = window.Form;
        answers = window.Answers;
    }
    void cleanup() {
        form = nullptr;
        const QStringList errors = answers->Errors;
        answers = nullptr;
        const QString problems = window.Stop();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(',')));
    }

    void detectFindsTheTiltedChartItsTypeAndCornersOrSaysThereIsNone() {
        QVERIFY(!Button("btnDetectChart")->isEnabled());  // nothing to look at yet
        const scene::TScene s = TiltedScene(TChartType::DigitalSG, true);
        OpenScene(s, "sg.png");
        QVERIFY(Button("btnDetectChart")->isEnabled());
        QVERIFY(Find<QRadioButton>("rbnColorCheckerClassic")->isChecked());
        QTest::mouseClick(Button("btnDetectChart"), Qt::LeftButton);

        // The other chart type was asked for; the window looked for either and took the SG.
        QVERIFY(Find<QRadioButton>("rbnColorCheckerSG")->isChecked());
        QCOMPARE(form->Chart(), TChartType::DigitalSG);
        TImageViewer* viewer = form->Viewer();
        QVERIFY(viewer->HasSelection());
        QVERIFY(viewer->SelectionIsQuad());
        QCOMPARE(viewer->GridColumns(), 14);
        QCOMPARE(viewer->PatchCentres().size(), 140);
        const TQuad found = viewer->SelectionGeometry().Corners();
        const TChartGeometry truth = TChartGeometry::FromCorners(s.Grid, 14, 10);
        const double pitch = Distance(s.Grid[0], s.Grid[1]) / 14;
        for (int k = 0; k < 4; ++k)
            QVERIFY2(Distance(found[k], s.Grid[k]) < pitch / 2,
                     qPrintable(QStringLiteral("corner %1 at %2,%3").arg(k + 1).arg(found[k].X).arg(found[k].Y)));
        const TPointF centre = viewer->SelectionGeometry().PatchCenterPoint(13, 9);
        QVERIFY(Distance(centre, truth.PatchCenterPoint(13, 9)) < pitch / 4);
        // A good fit: no advice, the commands that need a selection are on.
        QCOMPARE(form->SelectionCheck().Problem, TSelectionProblem::None);
        QVERIFY(!form->CheckLabel()->isVisible());
        QVERIFY(Button("sbnPreview")->isEnabled());

        // A picture without a chart: said in the window, no box, no selection.
        OpenScene(TiltedScene(TChartType::Classic, false), "none.png");
        QTest::mouseClick(Button("btnDetectChart"), Qt::LeftButton);
        QVERIFY(form->CheckLabel()->isVisible());
        QVERIFY(form->CheckLabel()->text().contains(QStringLiteral("colour chart found"), Qt::CaseInsensitive));
        QVERIFY(!form->UseSuggestionButton()->isVisible());
        QVERIFY(!viewer->HasSelection());
        QVERIFY(answers->Messages.isEmpty());
        QVERIFY(!Button("sbnPreview")->isEnabled());
    }

    void reversedDragIsAdvisedAndOneClickReadsItFromPatchOne() {
        const scene::TScene s = TiltedScene(TChartType::Classic, true);
        OpenScene(s, "classic.png");
        QTest::mouseClick(Button("btnDetectChart"), Qt::LeftButton);
        QCOMPARE(form->SelectionCheck().Problem, TSelectionProblem::None);
        TImageViewer* viewer = form->Viewer();
        const TQuad right = viewer->SelectionGeometry().Corners();

        // The chart read from its far corner (corner 1 on corner 3's place, going round the
        // same way): the colours say it is turned, in words, with a fix; nothing blocks.
        const TQuad turned = ReorderedCorners(right, 2, false);
        viewer->SetSelectionGeometry(TChartGeometry::FromCorners(turned, 6, 4));
        QCOMPARE(form->SelectionCheck().Problem, TSelectionProblem::Turned);
        QVERIFY(form->CheckLabel()->isVisible());
        QVERIFY(!form->CheckLabel()->text().isEmpty());
        QVERIFY(form->UseSuggestionButton()->isVisible());
        QVERIFY(answers->Messages.isEmpty());
        QCOMPARE(form->statusBar()->currentMessage(), form->CheckLabel()->text());
        QTest::mouseClick(form->UseSuggestionButton(), Qt::LeftButton);
        QVERIFY(form->statusBar()->currentMessage().isEmpty());
        const TQuad fixed = viewer->SelectionGeometry().Corners();
        for (int k = 0; k < 4; ++k) QVERIFY(Distance(fixed[k], right[k]) < 1e-6);
        QCOMPARE(form->SelectionCheck().Problem, TSelectionProblem::None);
        QVERIFY(!form->CheckLabel()->isVisible());
        QVERIFY(!form->UseSuggestionButton()->isVisible());

        // A dragged rectangle from bottom right to top left over an upright chart: advised too,
        // and the fix is the rectangle dragged from top left.
        const QRect area(100, 80, 600, 400);
        QVERIFY(form->OpenPicture([&] {
            const QString file = dir.filePath(QStringLiteral("upright.png"));
            test::SaveBitmap(test::RenderChart(800, 560, area, TChartType::Classic), file);
            return file;
        }()));
        test::Drag(viewer, ViewerPoint(area.right(), area.bottom()), ViewerPoint(area.left(), area.top()));
        QVERIFY(viewer->HasSelection());
        QVERIFY(!viewer->SelectionIsQuad());
        QVERIFY2(form->SelectionCheck().Problem == TSelectionProblem::Turned,
                 qPrintable(form->CheckLabel()->text() + QString::number(int(form->SelectionCheck().Problem))));
        QVERIFY(form->UseSuggestionButton()->isVisible());
        const int x2 = viewer->ImageX1();
        const int y2 = viewer->ImageY1();
        QTest::mouseClick(form->UseSuggestionButton(), Qt::LeftButton);
        QVERIFY(!viewer->SelectionIsQuad());
        QCOMPARE(viewer->ImageX2(), x2);
        QCOMPARE(viewer->ImageY2(), y2);
        QVERIFY(std::abs(viewer->ImageX1() - area.left()) <= 2 && std::abs(viewer->ImageY1() - area.top()) <= 2);
        QCOMPARE(form->SelectionCheck().Problem, TSelectionProblem::None);
        // The advice lasts as long as the selection it speaks of. (A press on a corner would
        // take its handle: the first click clears the selection.)
        QTest::mouseClick(viewer, Qt::LeftButton, Qt::NoModifier, ViewerPoint(400, 300));
        QVERIFY(!viewer->HasSelection());
        test::Drag(viewer, ViewerPoint(area.right(), area.bottom()), ViewerPoint(area.left(), area.top()));
        QVERIFY(form->UseSuggestionButton()->isVisible());
        QTest::mousePress(viewer, Qt::LeftButton, Qt::NoModifier, ViewerPoint(400, 300));
        QTest::mouseRelease(viewer, Qt::LeftButton, Qt::NoModifier, ViewerPoint(400, 300));
        QVERIFY(!viewer->HasSelection());
        QVERIFY(!form->UseSuggestionButton()->isVisible());
        QVERIFY(!form->CheckLabel()->isVisible());
    }

    void previewAndSaveCalibrateTheQuadrilateralEitherInterpolation() {
        const scene::TScene s = TiltedScene(TChartType::Classic, true);
        OpenScene(s, "preview.png");
        QTest::mouseClick(Button("btnDetectChart"), Qt::LeftButton);
        TImageViewer* viewer = form->Viewer();
        QVERIFY(viewer->SelectionIsQuad());
        QTest::mouseClick(Button("sbnPreview"), Qt::LeftButton);
        QVERIFY(form->PreviewDone());

        // The calibration sampled the four corners, not the rectangle they span.
        TMeasuredPatches expected;
        SamplePatches(form->WorkBitmap(), viewer->SelectionGeometry(), TChartType::Classic, expected);
        QCOMPARE(form->Measured().PatchCount, 24);
        QCOMPARE(LargestDifference(form->Measured(), expected), 0.0);
        TMeasuredPatches atTruth;
        SamplePatches(form->WorkBitmap(), TChartGeometry::FromCorners(s.Grid, 6, 4), TChartType::Classic, atTruth);
        QVERIFY2(LargestDifference(form->Measured(), atTruth) <= 3.0,
                 qPrintable(QString::number(LargestDifference(form->Measured(), atTruth))));

        // The preview is the LUT applied trilinearly; the View menu's choice re-applies it
        // tetrahedrally at once, and back.
        TBitmap24 trilinear;
        trilinear.Assign(form->WorkBitmap());
        ApplyLutToBitmap(form->Lut(), trilinear, TLutInterpolation::Trilinear);
        TBitmap24 tetrahedral;
        tetrahedral.Assign(form->WorkBitmap());
        ApplyLutToBitmap(form->Lut(), tetrahedral, TLutInterpolation::Tetrahedral);
        QVERIFY(!Same(trilinear, tetrahedral));
        QVERIFY(Same(viewer->SourceBitmap(), trilinear));
        QAction* tetra = form->findChild<QAction*>(QStringLiteral("actTetrahedral"));
        QVERIFY(tetra != nullptr && tetra->isCheckable() && !tetra->isChecked());
        tetra->trigger();
        QCOMPARE(form->Interpolation(), TLutInterpolation::Tetrahedral);
        QVERIFY(Same(viewer->SourceBitmap(), tetrahedral));
        TBitmap24 display;
        display.Assign(viewer->ScaledBitmap());
        ApplyLutToBitmap(form->Lut(), display, TLutInterpolation::Tetrahedral);
        QVERIFY(Same(viewer->DisplayBitmap(), display));
        tetra->trigger();
        QVERIFY(Same(viewer->SourceBitmap(), trilinear));

        // Save calibrates the same selection again before its dialog.
        const std::vector<char> before = TableBytes(form->Lut());
        answers->Queue([](QDialog&) { return int(QDialog::Rejected); });
        QTest::mouseClick(Button("sbnSave3DLutFile"), Qt::LeftButton);
        QCOMPARE(answers->Pending(), 0);
        QCOMPARE(LargestDifference(form->Measured(), expected), 0.0);
        QVERIFY(TableBytes(form->Lut()) == before);
    }
};

QTEST_MAIN(ChartSelectTest)
#include "test_chartselect.moc"
