// The image viewer: fitting, selection by mouse, drawing of the selection and the markers.
#include <QSignalSpy>
#include <QWheelEvent>
#include <cmath>
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

    void zoomKeepsThePictureUnderTheAnchorAndTheSelectionOnItsPixels() {
        viewer->SetImage(Grey(1500, 1000, 90));
        test::Drag(viewer, QPoint(103, 169), QPoint(503, 469));
        const int x1 = viewer->ImageX1(), y1 = viewer->ImageY1(), x2 = viewer->ImageX2(), y2 = viewer->ImageY2();
        const QPoint patch0 = viewer->PatchCentres().first();
        const QPointF patch0Picture = viewer->View().ToPicture(patch0);

        // The picture point under the anchor stays under it.
        const QPointF anchor(300, 250);
        const QPointF under = viewer->View().ToPicture(anchor);
        viewer->SetZoom(2.0, anchor);
        QVERIFY(!viewer->Fitted());
        QCOMPARE(viewer->Zoom(), 2.0);
        QVERIFY(std::abs(viewer->View().ToPicture(anchor).x() - under.x()) <= 0.5);
        QVERIFY(std::abs(viewer->View().ToPicture(anchor).y() - under.y()) <= 0.5);
        // The selection is still on the same picture pixels, and drawn where they are now.
        QVERIFY(viewer->HasSelection());
        QCOMPARE(viewer->ImageX1(), x1);
        QCOMPARE(viewer->ImageY1(), y1);
        QCOMPARE(viewer->ImageX2(), x2);
        QCOMPARE(viewer->ImageY2(), y2);
        QCOMPARE(viewer->ScreenToImageX(viewer->SelX1()), x1);
        QCOMPARE(viewer->ScreenToImageY(viewer->SelY2()), y2);
        const QPointF zoomedPatch0 = viewer->View().ToPicture(viewer->PatchCentres().first());
        QVERIFY(std::abs(zoomedPatch0.x() - patch0Picture.x()) < 1.5);
        QVERIFY(std::abs(zoomedPatch0.y() - patch0Picture.y()) < 1.5);
        QVERIFY(viewer->PatchCentres().first() != patch0);

        // A drag at this zoom selects picture pixels at twice the precision of the fitted view.
        const QPointF from = viewer->View().ToWidget(QPointF(400, 300));
        const QPointF to = viewer->View().ToWidget(QPointF(451, 333));
        test::Drag(viewer, from.toPoint(), to.toPoint());
        QCOMPARE(viewer->ImageX1(), 400);
        QCOMPARE(viewer->ImageY1(), 300);
        QCOMPARE(viewer->ImageX2(), 451);
        QCOMPARE(viewer->ImageY2(), 333);

        // Panning moves the picture, not the selection's pixels.
        const int selX = viewer->SelX1();
        viewer->Pan(QPointF(-40, 25));
        QCOMPARE(viewer->SelX1(), selX - 40);
        QCOMPARE(viewer->ImageX1(), 400);
        // The middle button pans as well.
        QTest::mousePress(viewer, Qt::MiddleButton, Qt::NoModifier, QPoint(500, 400));
        QMouseEvent move(QEvent::MouseMove, QPointF(520, 390), viewer->mapToGlobal(QPointF(520, 390)), Qt::NoButton,
                         Qt::MiddleButton, Qt::NoModifier);
        QApplication::sendEvent(viewer, &move);
        QTest::mouseRelease(viewer, Qt::MiddleButton, Qt::NoModifier, QPoint(520, 390));
        QCOMPARE(viewer->SelX1(), selX - 20);
        QVERIFY(viewer->HasSelection());

        // Back to the fitted layout: the fitted offsets and scale again.
        viewer->ZoomToFit();
        QCOMPARE(viewer->View().OriginX, 3.0);
        QCOMPARE(viewer->ScreenToImageX(103), 151);
        QCOMPARE(viewer->ImageX1(), 400);
    }

    void wheelZoomsAboutThePointerWithinLimits() {
        viewer->SetImage(Grey(400, 300, 90));
        const QPointF at(400, 350);
        const QPointF under = viewer->View().ToPicture(at);
        const double before = viewer->Zoom();
        QWheelEvent wheel(at, viewer->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewer, &wheel);
        QVERIFY(std::abs(viewer->Zoom() - before * 1.25 * 1.25) < 0.01);
        QVERIFY(std::abs(viewer->View().ToPicture(at).x() - under.x()) <= 0.5);
        for (int i = 0; i < 40; ++i) viewer->ZoomIn();
        QCOMPARE(viewer->Zoom(), TImageViewer::MaxZoom);
        for (int i = 0; i < 80; ++i) viewer->ZoomOut();
        QCOMPARE(viewer->Zoom(), TImageViewer::MinZoom);
        // The picture at 1:1 is drawn pixel for pixel (nearest, not filtered).
        TBitmap24 checker(40, 30);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x) {
                const std::uint8_t v = (x + y) % 2 ? 250 : 5;
                checker.SetPixel(x, y, v, v, v);
            }
        viewer->SetImage(checker);
        viewer->ZoomActualPixels();
        const QImage shot = test::Grab(viewer);
        const QPoint origin = viewer->View().ToWidget(QPointF(0, 0)).toPoint();
        for (int y = 0; y < 30; y += 3)
            for (int x = 0; x < 40; ++x)
                QCOMPARE(qRed(shot.pixel(origin.x() + x, origin.y() + y)), (x + y) % 2 ? 250 : 5);
    }

    void splitViewDividerIsDraggedNotASelection() {
        viewer->SetImage(Grey(400, 300, 90));
        viewer->DisplayBitmap().SetSizeAndFill(394, 294, 200);  // stands for the corrected view
        viewer->SetSplitView(true);
        QCOMPARE(viewer->SplitX(), 500);
        QImage shot = test::Grab(viewer);
        QCOMPARE(qRed(shot.pixel(400, 400)), 90);   // before, left of the divider
        QCOMPARE(qRed(shot.pixel(600, 400)), 200);  // after, right of it
        test::Drag(viewer, QPoint(501, 400), QPoint(350, 380));
        QVERIFY(!viewer->HasSelection());
        QCOMPARE(viewer->SplitX(), 350);
        shot = test::Grab(viewer);
        QCOMPARE(qRed(shot.pixel(400, 400)), 200);
        // Away from the divider a drag still selects.
        test::Drag(viewer, QPoint(420, 300), QPoint(600, 450));
        QVERIFY(viewer->HasSelection());
        viewer->SetSplitView(false);
        QCOMPARE(qRed(test::Grab(viewer).pixel(320, 270)), 200);
    }

    void cornerHandlesReshapeTheSelectionLiveAndRefuseFolds() {
        viewer->SetImage(Grey(1500, 1000, 90));
        int edits = 0;
        viewer->OnSelectionEdited = [&edits](TImageViewer*) { ++edits; };
        test::Drag(viewer, QPoint(100, 100), QPoint(800, 600));
        QCOMPARE(edits, 1);
        QVERIFY(!viewer->SelectionIsQuad());
        const QVector<QPointF> before = viewer->CornerHandles();
        QCOMPARE(before.size(), 4);
        QCOMPARE(before[0], QPointF(100, 100));
        QCOMPARE(before[2], QPointF(800, 600));
        const QVector<QPoint> markersBefore = viewer->PatchCentres();

        // Grab corner 3 a little off its point and pull it inwards: while the button is down the
        // markers already follow.
        QTest::mousePress(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(797, 603));
        QCOMPARE(viewer->DraggedCorner(), 2);
        QTest::mouseMove(viewer, QPoint(780, 590));
        QTest::mouseMove(viewer, QPoint(760, 570));
        QVERIFY(viewer->SelectionIsQuad());
        QVERIFY(viewer->HasSelection());
        QCOMPARE(edits, 1);
        const QVector<QPoint> live = viewer->PatchCentres();
        QCOMPARE(live.size(), 24);
        QVERIFY(live.last() != markersBefore.last());
        QVERIFY(live.last().x() < markersBefore.last().x() - 20);
        QVERIFY(live.last().y() < markersBefore.last().y() - 15);
        QTest::mouseRelease(viewer, Qt::LeftButton, Qt::NoModifier, QPoint(760, 570));
        QCOMPARE(edits, 1 + 1);
        QCOMPARE(viewer->DraggedCorner(), -1);

        const QVector<QPointF> after = viewer->CornerHandles();
        for (int k : {0, 1, 3})
            QVERIFY(std::abs(after[k].x() - before[k].x()) < 1 && std::abs(after[k].y() - before[k].y()) < 1);
        QVERIFY(std::abs(after[2].x() - 760) < 1 && std::abs(after[2].y() - 570) < 1);
        // The markers are the geometry's own centres, shown through the view.
        const TChartGeometry geometry = viewer->SelectionGeometry();
        QVERIFY(!geometry.IsRectangle());
        const TPointF last = geometry.PatchCenterPoint(5, 3);
        const QPointF shown = viewer->View().ToWidget(QPointF(last.X, last.Y));
        QVERIFY(std::abs(viewer->PatchCentres().last().x() - shown.x()) <= 0.5);
        QVERIFY(std::abs(viewer->PatchCentres().last().y() - shown.y()) <= 0.5);
        // Patch 1's marker stays near corner 1, untouched by the far corner (within the pull).
        QVERIFY(std::abs(viewer->PatchCentres().first().x() - markersBefore.first().x()) <= 5);

        // Corner 1 dragged across the opposite corner would fold the quadrilateral: refused,
        // nothing moves, the selection stays.
        const QVector<QPointF> unfolded = viewer->CornerHandles();
        QVERIFY(!viewer->MoveCorner(0, QPointF(790, 590)));
        QCOMPARE(viewer->CornerHandles(), unfolded);
        test::Drag(viewer, QPoint(100, 100), QPoint(790, 590));
        QCOMPARE(viewer->CornerHandles()[2], unfolded[2]);
        const QPointF stopped = viewer->CornerHandles()[0];
        QVERIFY(std::hypot(stopped.x() - 790, stopped.y() - 590) > 100);  // stayed before the fold
        QVERIFY(viewer->MoveCorner(0, QPointF(100, 100)));
        QVERIFY(viewer->HasSelection());
        QVERIFY(viewer->SelectionIsQuad());
        // Corners moved back where the rectangle had them give its markers again.
        QVERIFY(viewer->MoveCorner(0, QPointF(100, 100)));
        QVERIFY(viewer->MoveCorner(2, QPointF(800, 600)));
        for (int i = 0; i < 24; ++i) {
            QVERIFY(std::abs(viewer->PatchCentres()[i].x() - markersBefore[i].x()) <= 1);
            QVERIFY(std::abs(viewer->PatchCentres()[i].y() - markersBefore[i].y()) <= 1);
        }

        // A press away from every handle starts a new rectangle.
        test::Drag(viewer, QPoint(300, 300), QPoint(500, 450));
        QVERIFY(!viewer->SelectionIsQuad());
        QCOMPARE(viewer->CornerHandles()[0], QPointF(300, 300));
    }

    void cornerOfPatchOneIsMarkedWhereverTheDragStarted() {
        viewer->SetImage(Grey(1500, 1000, 90));
        const QImage plain = test::Grab(viewer);
        // A drag from bottom right: patch 1 and its filled mark are there.
        test::Drag(viewer, QPoint(800, 600), QPoint(100, 100));
        QImage shot = test::Grab(viewer);
        QVERIFY(shot.pixel(800, 600) != plain.pixel(800, 600));  // filled
        QVERIFY(shot.pixel(800 - 3, 600 + 2) != plain.pixel(800 - 3, 600 + 2));
        QCOMPARE(shot.pixel(100 + 1, 100 + 1), plain.pixel(100 + 1, 100 + 1));   // hollow inside
        QVERIFY(shot.pixel(100 - 4, 100 - 2) != plain.pixel(100 - 4, 100 - 2));  // its outline

        // Four corners placed from outside: edges drawn between them, patch 1 marked at corner 1.
        const TQuad quad{TPointF{900, 200}, TPointF{1300, 300}, TPointF{1250, 800}, TPointF{850, 700}};
        viewer->SetSelectionGeometry(TChartGeometry::FromCorners(quad, 6, 4));
        QVERIFY(viewer->HasSelection());
        QVERIFY(viewer->SelectionIsQuad());
        shot = test::Grab(viewer);
        const QPointF c1 = viewer->View().ToWidget(QPointF(900, 200));
        const QPointF c2 = viewer->View().ToWidget(QPointF(1300, 300));
        const QPoint first = c1.toPoint() + QPoint(-3, -3);  // inside the filled mark, off the edges
        QVERIFY(shot.pixel(first) != plain.pixel(first));
        QCOMPARE(shot.pixel(800, 600), plain.pixel(800, 600));  // the old rectangle is gone
        // The edge from corner 1 to corner 2 is dotted along its line.
        int changed = 0;
        for (int i = 20; i < 60; ++i) {
            const QPointF p = c1 + (c2 - c1) * (i / 100.0);
            for (int dy = -1; dy <= 1; ++dy)
                if (shot.pixel(qRound(p.x()), qRound(p.y()) + dy) != plain.pixel(qRound(p.x()), qRound(p.y()) + dy)) {
                    ++changed;
                    break;
                }
        }
        QVERIFY2(changed > 10 && changed < 40, qPrintable(QString::number(changed)));
        viewer->ClearSelection();
        QCOMPARE(test::Grab(viewer), plain);
    }
};

QTEST_MAIN(ViewerTest)
#include "test_viewer.moc"
