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
#include <algorithm>
#include <cstdio>

#include "UiTestSupport.h"
#include "ui/ImageViewer.h"
#include "ui/MainForm.h"
#include "ui/TipsForm.h"

using namespace tintavo;

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
    QTest::qWaitForWindowExposed(&form);

    const int runs = 5;
    double bestOpen = 1e9;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        form.OpenPicture(photo);
        bestOpen = std::min(bestOpen, timer.nsecsElapsed() / 1e6);
    }
    TImageViewer* viewer = form.Viewer();
    const double s = 0.25;  // 6000 -> 1500
    auto toViewer = [&](double x, double y) {
        return QPoint(viewer->OffsetX() + int(x * s * viewer->ScaleX()), viewer->OffsetY() + int(y * s * viewer->ScaleY()));
    };
    double bestPreview[2] = {1e9, 1e9};
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
            form.sbnPreviewClick();
            bestPreview[chartType] = std::min(bestPreview[chartType], timer.nsecsElapsed() / 1e6);
        }
    }
    std::printf("Open 6000x4000 JPEG -> %dx%d working image: best of %d %.1f ms\n", form.WorkBitmap().Width(),
                form.WorkBitmap().Height(), runs, bestOpen);
    std::printf("Preview on the working image, Digital SG chart: best of %d %.1f ms\n", runs, bestPreview[0]);
    std::printf("Preview on the working image, Classic chart:    best of %d %.1f ms\n", runs, bestPreview[1]);
    std::printf("errors: %d\n", static_cast<int>(answers.Errors.size()));
    return answers.Errors.isEmpty() ? 0 : 1;
}
