// Times the Open command on a 6000 x 4000 JPEG and the Preview command on the resulting
// 1500 x 1000 working image, through the real main window (offscreen). Not a test: run by hand
//   QT_QPA_PLATFORM=offscreen build/tests/ui/measure_ui
#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QComboBox>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "UiTestSupport.h"
#include "ui/ImageViewer.h"
#include "ui/LutSaveForm.h"
#include "ui/MainForm.h"
#include "ui/TipsForm.h"

using namespace tintavo;

namespace {

// CPU time of the whole process (all threads), in ms: on a busy machine the wall clock mostly
// measures the other processes.
double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")).setValue(DoNotShowTipsValue, 1);
    QTemporaryDir dir;
    const QString photo = dir.filePath(QStringLiteral("big.jpg"));
    const QRect chart(1000, 800, 4000, 2400);
    test::SaveBitmap(test::RenderChart(6000, 4000, chart, TChartType::DigitalSG), photo);

    test::TModalAnswers answers;
    TfrmMain form;
    form.resize(1600, 1100);
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;

    const int runs = 5;
    double bestOpen = 1e9;
    double bestOpenCpu = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        const double cpu = CpuMs();
        form.OpenPicture(photo);
        bestOpen = std::min(bestOpen, timer.nsecsElapsed() / 1e6);
        bestOpenCpu = std::min(bestOpenCpu, CpuMs() - cpu);
    }
    TImageViewer* viewer = form.Viewer();
    const double s = 0.25;  // 6000 -> 1500
    auto toViewer = [&](double x, double y) {
        return QPoint(viewer->OffsetX() + int(x * s * viewer->ScaleX()), viewer->OffsetY() + int(y * s * viewer->ScaleY()));
    };
    double bestPreview[2] = {1e9, 1e9};
    double bestPreviewCpu[2] = {1e9, 1e9};
    for (int chartType = 0; chartType < 2; ++chartType) {
        if (chartType == 1) {
            // The same picture read as a Classic chart (24 patches) for the second figure.
            QTest::mouseClick(form.findChild<QWidget*>("rbnColorCheckerClassic"), Qt::LeftButton);
        } else {
            QTest::mouseClick(form.findChild<QWidget*>("rbnColorCheckerSG"), Qt::LeftButton);
        }
        test::Drag(viewer, toViewer(chart.left() + 10, chart.top() + 10), toViewer(chart.right() - 10, chart.bottom() - 10));
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            const double cpu = CpuMs();
            form.sbnPreviewClick();
            bestPreview[chartType] = std::min(bestPreview[chartType], timer.nsecsElapsed() / 1e6);
            bestPreviewCpu[chartType] = std::min(bestPreviewCpu[chartType], CpuMs() - cpu);
        }
    }
    // Where the Preview time goes: the calibration, and the correction of one working image.
    double bestCalibrate = 1e9;
    double bestApply = 1e9;
    double bestApplyCpu = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        form.Calibrate();
        bestCalibrate = std::min(bestCalibrate, timer.nsecsElapsed() / 1e6);
        TBitmap24 copy;
        copy.Assign(form.WorkBitmap());
        timer.restart();
        const double cpu = CpuMs();
        ApplyLutToBitmap(form.Lut(), copy);
        bestApply = std::min(bestApply, timer.nsecsElapsed() / 1e6);
        bestApplyCpu = std::min(bestApplyCpu, CpuMs() - cpu);
    }
    std::printf("  of which Calibrate (Classic): %.1f ms wall; ApplyLutToBitmap on %dx%d: %.1f ms wall, %.1f ms CPU\n",
                bestCalibrate, form.WorkBitmap().Width(), form.WorkBitmap().Height(), bestApply, bestApplyCpu);
    std::printf("Open 6000x4000 JPEG -> %dx%d working image: best of %d %.1f ms wall, %.1f ms CPU\n",
                form.WorkBitmap().Width(), form.WorkBitmap().Height(), runs, bestOpen, bestOpenCpu);
    std::printf("Preview on the working image, Digital SG chart: best of %d %.1f ms wall, %.1f ms CPU\n", runs,
                bestPreview[0], bestPreviewCpu[0]);
    std::printf("Preview on the working image, Classic chart:    best of %d %.1f ms wall, %.1f ms CPU\n", runs,
                bestPreview[1], bestPreviewCpu[1]);
    // Saving the last calibration at 101 points per axis through the Save dialog: the longest
    // time the window's event loop went without serving a 10 ms timer.
    for (int i = 0; i < 3; ++i) {
        TfrmSaveLut dialog(form.Lut(), form.Mapping(), &form);
        dialog.show();
        dialog.cbxOutFormat->setCurrentIndex(dialog.cbxOutFormat->findText(QStringLiteral("Nucoda 3D")));
        dialog.cbxOutFormatChange();
        answers.QueueFileName(dir.filePath(QStringLiteral("large%1.cms").arg(i)));
        dialog.btnSetLUTFileClick();
        dialog.cbxDimSize->setEditText(QStringLiteral("101"));
        QTimer tick;
        tick.setInterval(10);
        QElapsedTimer sinceTick;
        qint64 longest = 0;
        int ticks = 0;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            if (sinceTick.isValid()) longest = std::max(longest, sinceTick.restart());
            else sinceTick.start();
            ++ticks;
        });
        QElapsedTimer wall;
        wall.start();
        tick.start();
        const bool saved = dialog.btnSaveClick();
        tick.stop();
        std::printf("Save at 101 points (Nucoda 3D): %s in %.0f ms wall; %d ticks of a 10 ms timer, longest event-loop "
                    "gap %lld ms\n",
                    saved ? "written" : "NOT written", wall.nsecsElapsed() / 1e6, ticks, longest);
    }
    std::printf("hardware threads: %d\n", QThread::idealThreadCount());
    std::printf("errors: %d\n", static_cast<int>(answers.Errors.size()));
    return answers.Errors.isEmpty() ? 0 : 1;
}
