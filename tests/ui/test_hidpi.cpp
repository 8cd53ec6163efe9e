// The window on a small, scaled screen (scale factor 2 on the offscreen platform's 800 x 600
// screen: 400 x 300 logical pixels): it stays inside the screen, and the picture is drawn at
// the screen's own resolution, not enlarged from half of it.
#include <QApplication>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/ImageViewer.h"
#include "ui/MainForm.h"
#include "ui/TipsForm.h"

using namespace tintavo;

class HiDpiTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")).setValue(DoNotShowTipsValue, 1);
        QCOMPARE(qApp->devicePixelRatio(), 2.0);
    }

    void normalGeometryKeepsTheFrameOnTheScreen() {
        const QRect available(0, 24, 1920, 1032);
        const QMargins frame(4, 30, 4, 4);
        const QRect g = TfrmMain::NormalGeometry(available, frame, QSize(600, 600), 0.8);
        QVERIFY(available.contains(g.marginsAdded(frame)));
        QCOMPARE(g.size(), QSize(1536, 825));
        // A screen smaller than the minimum: the client area shrinks to what fits.
        const QRect small(0, 0, 500, 400);
        const QRect s = TfrmMain::NormalGeometry(small, frame, QSize(600, 600), 0.8);
        QVERIFY(small.contains(s.marginsAdded(frame)));
        QCOMPARE(s.size(), QSize(492, 366));
    }

    void windowStaysInsideTheScreen() {
        TfrmMain form;
        form.PlaceOnScreen();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect available = form.screen()->availableGeometry();
        QVERIFY2(available.contains(form.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                .arg(form.frameGeometry().x())
                                .arg(form.frameGeometry().y())
                                .arg(form.frameGeometry().width())
                                .arg(form.frameGeometry().height())
                                .arg(available.width())
                                .arg(available.height())));
        QVERIFY(form.minimumWidth() <= available.width());
        QVERIFY(form.minimumHeight() <= available.height());
    }

    void pictureIsDrawnAtDeviceResolution() {
        TImageViewer viewer;
        viewer.resize(300, 200);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        // Thin stripes: one-pixel detail that an enlarged half-resolution copy would lose.
        TBitmap24 stripes(600, 400);
        for (int y = 0; y < 400; ++y)
            for (int x = 0; x < 600; ++x) {
                const std::uint8_t v = ((x / 2 + y / 3) % 2) != 0 ? 230 : 30;
                stripes.SetPixel(x, y, v, static_cast<std::uint8_t>(255 - v), 90);
            }
        viewer.SetImage(stripes);
        // 600 x 400 device pixels, less a margin of 3 logical (6 device) pixels each side.
        QCOMPARE(viewer.DisplayBitmap().Width(), 588);
        QCOMPARE(viewer.DisplayBitmap().Height(), 388);
        const QImage shot = viewer.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shot.width(), 600);
        const TBitmap24& shown = viewer.DisplayBitmap();
        int compared = 0;
        for (int y = 10; y < shown.Height(); y += 37)
            for (int x = 0; x < shown.Width(); x += 5) {
                std::uint8_t r, g, b;
                shown.GetPixel(x, y, r, g, b);
                QCOMPARE(shot.pixel(6 + x, 6 + y) & 0xFFFFFF, qRgb(r, g, b) & 0xFFFFFF);
                ++compared;
            }
        QVERIFY(compared > 1000);
        // The mapping to picture pixels is unchanged in logical coordinates: the displayed
        // picture's right edge is the picture's right edge.
        QCOMPARE(viewer.ScreenToImageX(3), 0);
        QVERIFY(viewer.ScreenToImageX(296) >= 597);
    }
};

int main(int argc, char* argv[]) {
    qputenv("QT_SCALE_FACTOR", "2");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    HiDpiTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_hidpi.moc"
