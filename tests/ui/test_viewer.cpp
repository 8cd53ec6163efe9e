// The image viewer: fitting, selection by mouse, drawing of the selection and the markers.
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"
#include "lut/ImageResize2.h"
#include "ui/ImageViewer.h"

using namespace tintavo;

namespace {

TBitmap24 Grey(int width, int height, std::uint8_t value) {
    TBitmap24 b;
    b.SetSizeAndFill(width, height, value);
    return b;
}

}  // namespace

class ViewerTest : public QObject {
    Q_OBJECT

private:
    TImageViewer* viewer = nullptr;
    int selectionChanges = 0;

private slots:
    void init() {
        viewer = new TImageViewer;
        viewer->resize(1000, 800);
        viewer->SetGrid(6, 4);
        selectionChanges = 0;
        viewer->OnSelectionChange = [this](TImageViewer*) { ++selectionChanges; };
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
    }
    void cleanup() {
        delete viewer;
        viewer = nullptr;
    }

    void fitsLargeImageInsideMargin() {
        viewer->SetImage(Grey(1500, 1000, 90));
        QCOMPARE(viewer->DisplayBitmap().Width(), 994);
        QCOMPARE(viewer->DisplayBitmap().Height(), 661);
        QCOMPARE(viewer->OffsetX(), 3);
        QCOMPARE(viewer->OffsetY(), 69);
        QCOMPARE(viewer->ScaledBitmap().Width(), 994);
        QVERIFY(qAbs(viewer->ScaleX() - 994.0 / 1500) < 1e-12);
        QVERIFY(qAbs(viewer->ScaleY() - 661.0 / 1000) < 1e-12);
    }

    void neverEnlargesSmallImage() {
        viewer->SetImage(Grey(400, 300, 90));
        QCOMPARE(viewer->DisplayBitmap().Width(), 394);
        QCOMPARE(viewer->DisplayBitmap().Height(), 294);
        QCOMPARE(viewer->OffsetX(), 303);
        QCOMPARE(viewer->OffsetY(), 253);
    }

    void tinyControlShowsNothingAndSelectsNothing() {
        viewer->resize(5, 5);
        viewer->SetImage(Grey(400, 300, 90));
        QVERIFY(viewer->DisplayBitmap().Empty());
        QCOMPARE(viewer->ScreenToImageX(2), -1);
        test::Drag(viewer, QPoint(0, 0), QPoint(4, 4));
        QVERIFY(!viewer->HasSelection());
        QCOMPARE(selectionChanges, 0);
        Q_UNUSED(test::Grab(viewer));  // painting must cope as well
    }

    void withoutImageDragsNeverSelect() {
        test::Drag(viewer, QPoint(100, 100), QPoint(300, 300));
        QVERIFY(!viewer->HasSelection());
        QCOMPARE(selectionChanges, 0);
        QCOMPARE(viewer->ScreenToImageX(100), -1);
    }

    void dragSelectsAndConvertsToImagePixels() {
        viewer->SetImage(Grey(1500, 1000, 90));  // scale 994/1500, offsets (3, 69)
        test::Drag(viewer, QPoint(103, 169), QPoint(503, 469));
        QVERIFY(viewer->HasSelection());
        QCOMPARE(selectionChanges, 1);
        QVERIFY(!viewer->Dragging());
        QCOMPARE(viewer->SelX1(), 103);
        QCOMPARE(viewer->SelY2(), 469);
        // (x - 3) / (994 / 1500), rounded: 100 -> 151 (150.9), 500 -> 755 (754.5 -> ties to even: 754)
        QCOMPARE(viewer->ImageX1(), 151);
        QCOMPARE(viewer->ImageY1(), static_cast<int>(std::nearbyint(100 / (661.0 / 1000))));
        QCOMPARE(viewer->ImageX2(), static_cast<int>(std::nearbyint(500 / (994.0 / 1500))));
    }

    void dragBeyondEdgesStopsAtTheImage() {
        viewer->SetImage(Grey(1500, 1000, 90));
        // From the lower right, beyond the image, to the upper left, beyond it too.
        test::Drag(viewer, QPoint(999, 799), QPoint(-40, -40));
        QVERIFY(viewer->HasSelection());
        QCOMPARE(viewer->SelX1(), 3 + 994 - 1);
        QCOMPARE(viewer->SelY1(), 69 + 661 - 1);
        QCOMPARE(viewer->SelX2(), 3);
        QCOMPARE(viewer->SelY2(), 69);
        // Corner 1 stays where the drag started, and the image corners are in range.
        // The last displayed column maps to 993 / (994 / 1500) = 1498.49 -> 1498.
        QCOMPARE(viewer->ImageX1(), 1498);
        QCOMPARE(viewer->ImageY1(), 998);
        QCOMPARE(viewer->ImageX2(), 0);
        QCOMPARE(viewer->ImageY2(), 0);
    }

    void releaseOnThePressRowLeavesNoSelection() {
        viewer->SetImage(Grey(1500, 1000, 90));
        QTest::mousePress(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(200, 300));
        QTest::mouseMove(viewer, QPoint(400, 500));
        QVERIFY(viewer->HasSelection());
        QTest::mouseMove(viewer, QPoint(450, 300));
        QTest::mouseRelease(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(450, 300));
        QVERIFY(!viewer->HasSelection());
        QCOMPARE(selectionChanges, 2);

        // A plain click: no movement, no selection.
        QTest::mouseClick(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
        QVERIFY(!viewer->HasSelection());
    }

    void pressRemovesSelectionAtOnce() {
        viewer->SetImage(Grey(1500, 1000, 90));
        test::Drag(viewer, QPoint(100, 100), QPoint(400, 400));
        QCOMPARE(selectionChanges, 1);
        QTest::mousePress(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(500, 500));
        QVERIFY(!viewer->HasSelection());
        QCOMPARE(selectionChanges, 2);
        QTest::mouseRelease(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(500, 500));
        // The right button never starts a selection.
        QTest::mousePress(viewer, Qt::RightButton, Qt::NoModifier, QPoint(100, 100));
        QTest::mouseMove(viewer, QPoint(300, 300));
        QTest::mouseRelease(viewer, Qt::RightButton, Qt::NoModifier, QPoint(300, 300));
        QVERIFY(!viewer->HasSelection());
    }

    void resizeClearsSelectionAndRelays() {
        viewer->SetImage(Grey(1500, 1000, 90));
        test::Drag(viewer, QPoint(100, 100), QPoint(400, 400));
        QVERIFY(viewer->HasSelection());
        const int imageX1 = viewer->ImageX1();
        const int imageY2 = viewer->ImageY2();
        viewer->resize(700, 700);
        QTRY_VERIFY(!viewer->HasSelection());
        QCOMPARE(viewer->DisplayBitmap().Width(), 694);
        QCOMPARE(viewer->DisplayBitmap().Height(), 461);
        QCOMPARE(selectionChanges, 2);
        // RestoreSelection brings the kept corners back, on the same picture pixels.
        viewer->RestoreSelection();
        QVERIFY(viewer->HasSelection());
        QCOMPARE(viewer->ImageX1(), imageX1);
        QCOMPARE(viewer->ImageY2(), imageY2);
        QVERIFY(qAbs(viewer->SelX1() - (viewer->OffsetX() + imageX1 * viewer->ScaleX())) <= 1.0);
    }

    void selectionAndMarkersAreXoredOnTheImage() {
        // Dark and light halves: the drawing must change both.
        TBitmap24 image(400, 300);
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                const std::uint8_t v = x < 200 ? 20 : 235;
                image.SetPixel(x, y, v, v, v);
            }
        viewer->SetImage(image);  // 394 x 294 at (303, 253)
        const QImage before = test::Grab(viewer);
        test::Drag(viewer, QPoint(310, 260), QPoint(670, 520));
        QVERIFY(viewer->HasSelection());
        const QImage after = test::Grab(viewer);
        QVERIFY(viewer->SelectionDrawn());

        // Every marker's outline is the image XOR grey 128, on dark and light pixels alike.
        const QVector<QPoint> centres = viewer->PatchCentres();
        QCOMPARE(centres.size(), 24);
        int dark = 0;
        int light = 0;
        for (const QPoint& c : centres) {
            const QPoint corner(c.x() - 5, c.y() + 2);  // left edge of the marker square
            const QRgb was = before.pixel(corner);
            const QRgb now = after.pixel(corner);
            QCOMPARE(now & 0xFFFFFF, (was ^ 0x808080) & 0xFFFFFF);
            (qRed(was) < 128 ? dark : light)++;
            // Inside the square the image is untouched.
            QCOMPARE(after.pixel(c), before.pixel(c));
        }
        QVERIFY(dark > 0 && light > 0);
        // The rectangle's top edge is dotted: some pixels changed, some did not.
        int changed = 0;
        for (int x = 320; x < 360; ++x)
            if (after.pixel(x, 260) != before.pixel(x, 260)) ++changed;
        QVERIFY(changed > 10 && changed < 30);

        // Clearing removes every trace.
        viewer->ClearSelection();
        QCOMPARE(test::Grab(viewer), before);
    }

    void markersFollowTheGrid() {
        viewer->SetImage(Grey(1500, 1000, 90));
        test::Drag(viewer, QPoint(100, 100), QPoint(800, 600));
        QCOMPARE(viewer->PatchCentres().size(), 24);
        // Patch 0 at corner 1 plus half a cell: 700 / 6 = 116 -> 58; 500 / 4 = 125 -> 62.
        QCOMPARE(viewer->PatchCentres().first(), QPoint(158, 162));
        viewer->SetGrid(14, 10);
        QCOMPARE(viewer->PatchCentres().size(), 140);
    }

    void paintingUsesTheDisplayBitmapAsItIs() {
        viewer->SetImage(Grey(400, 300, 90));
        // The main window corrects DisplayBitmap in place; a repaint shows it without rescaling.
        viewer->DisplayBitmap().SetSizeAndFill(394, 294, 200);
        const QImage shot = test::Grab(viewer);
        QCOMPARE(shot.pixel(303 + 10, 253 + 10) & 0xFFFFFF, 0xC8C8C8u);
        viewer->RestoreDisplay();
        QCOMPARE(test::Grab(viewer).pixel(313, 263) & 0xFFFFFF, 0x5A5A5Au);
    }

    void noImageText() {
        const QImage shot = test::Grab(viewer);
        // The grey text is somewhere around the middle; the corners are the window colour.
        bool grey = false;
        for (int x = 300; x < 700 && !grey; ++x)
            for (int y = 380; y < 420 && !grey; ++y)
                grey = qRed(shot.pixel(x, y)) < 200;
        QVERIFY(grey);
        QCOMPARE(shot.pixel(5, 5), viewer->palette().color(QPalette::Base).rgb());
    }
};

QTEST_MAIN(ViewerTest)
#include "test_viewer.moc"
