#include "ui/ImageViewer.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "engine/ChartGeometry.h"
#include "lut/ImageResize2.h"

namespace tintavo {

namespace {

// The grey every selection pixel is XORed with (red = green = blue = 128): it changes every
// pixel by half the scale, so the drawing shows on dark and light parts of the image alike,
// and drawing it twice removes it.
constexpr QRgb SelectionXor = 0x00808080;
constexpr int MarkerHalf = 5;

}  // namespace

TImageViewer::TImageViewer(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Viewer"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TImageViewer::~TImageViewer() = default;

void TImageViewer::SetImage(const TBitmap24& bitmap) {
    sourceBitmap_.Assign(bitmap);
    uncorrectedBitmap_.Assign(bitmap);
    hasImage_ = true;
    UpdateLayout();
    update();
}

void TImageViewer::UpdateLayout() {
    const int cw = width();
    const int ch = height();
    if (cw == 0 || ch == 0) return;
    if (uncorrectedBitmap_.Empty()) return;
    int w = 0;
    int h = 0;
    FitSize(uncorrectedBitmap_.Width(), uncorrectedBitmap_.Height(), cw, ch, w, h);
    w -= 2 * margin_;
    h -= 2 * margin_;
    if (w <= 0 || h <= 0) {
        // A control too small to show anything: no displayed image, so no point of it maps to
        // the image and no selection can start.
        scaleX_ = 0.0;
        scaleY_ = 0.0;
        offsetX_ = cw / 2;
        offsetY_ = ch / 2;
        scaledBitmap_.Clear();
        displayBitmap_.Clear();
    } else {
        scaleX_ = static_cast<double>(w) / uncorrectedBitmap_.Width();
        scaleY_ = static_cast<double>(h) / uncorrectedBitmap_.Height();
        offsetX_ = (cw - w) / 2;
        offsetY_ = (ch - h) / 2;
        // Scaled from the uncorrected image, never from a corrected SourceBitmap.
        ResizeBitmap(w, h, rfLanczos3, 0.0f, uncorrectedBitmap_, scaledBitmap_);
        displayBitmap_.Assign(scaledBitmap_);
    }
    if (OnLayoutChange) OnLayoutChange(this);
}

void TImageViewer::RestoreDisplay() { displayBitmap_.Assign(scaledBitmap_); }

void TImageViewer::ClearSelection() {
    DrawSelection(true);
    SetHasSelection(false);
}

void TImageViewer::RestoreSelection() {
    if (hasSelection_) return;
    SetHasSelection(true);
    DrawSelection(false);
}

void TImageViewer::SetHasSelection(bool value) {
    if (!hasImage_ || value == hasSelection_) return;
    hasSelection_ = value;
    update();
    if (OnSelectionChange) OnSelectionChange(this);
}

void TImageViewer::SetGrid(int columns, int rows) {
    gridColumns_ = columns;
    gridRows_ = rows;
    update();
}

int TImageViewer::ScreenToImageX(int x) const {
    if (!hasImage_ || scaleX_ <= 0.0) return -1;
    const int c = static_cast<int>(std::nearbyint((x - offsetX_) / scaleX_));
    if (c >= sourceBitmap_.Width()) return -1;
    return c;
}

int TImageViewer::ScreenToImageY(int y) const {
    if (!hasImage_ || scaleY_ <= 0.0) return -1;
    const int c = static_cast<int>(std::nearbyint((y - offsetY_) / scaleY_));
    if (c >= sourceBitmap_.Height()) return -1;
    return c;
}

void TImageViewer::DrawSelection(bool erase) {
    if (erase && !selectionDrawn_) return;
    if (!hasSelection_) return;
    // The XOR drawing happens in paintEvent on a copy of the displayed pixels; here only the
    // state of the screen is recorded and a repaint of the image area requested.
    selectionDrawn_ = !erase;
    update();
}

QVector<QPoint> TImageViewer::PatchCentres() const {
    QVector<QPoint> centres;
    if (gridColumns_ <= 0 || gridRows_ <= 0) return centres;
    // The calibration's own patch-centre rule, applied to the control-coordinate corners.
    const TChartGeometry geometry({SelX1, SelY1, SelX2, SelY2}, gridColumns_, gridRows_);
    centres.reserve(gridColumns_ * gridRows_);
    for (int row = 0; row < gridRows_; ++row) {
        for (int column = 0; column < gridColumns_; ++column) {
            int x = 0;
            int y = 0;
            geometry.PatchCenter(column, row, x, y);
            centres.push_back(QPoint(x, y));
        }
    }
    return centres;
}

void TImageViewer::ClampX(int& x) const {
    if (!HasDisplay()) return;
    if (x < offsetX_) x = offsetX_;
    if (x > offsetX_ + displayBitmap_.Width() - 1) x = offsetX_ + displayBitmap_.Width() - 1;
}

void TImageViewer::ClampY(int& y) const {
    if (!HasDisplay()) return;
    if (y < offsetY_) y = offsetY_;
    if (y > offsetY_ + displayBitmap_.Height() - 1) y = offsetY_ + displayBitmap_.Height() - 1;
}

void TImageViewer::XorSelection(QImage& frame, QPoint origin) const {
    const int fw = frame.width();
    const int fh = frame.height();
    auto xorPixel = [&](int x, int y) {
        x -= origin.x();
        y -= origin.y();
        if (x < 0 || y < 0 || x >= fw || y >= fh) return;
        QRgb* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
        line[x] ^= SelectionXor;
    };
    // Dotted rectangle from corner 1 to corner 2, right and bottom edges exclusive. The dots
    // follow the outline, two on and two off.
    const int left = std::min(SelX1, SelX2);
    const int right = std::max(SelX1, SelX2) - 1;
    const int top = std::min(SelY1, SelY2);
    const int bottom = std::max(SelY1, SelY2) - 1;
    if (right >= left && bottom >= top) {
        int step = 0;
        auto dot = [&](int x, int y) {
            if ((step++ & 2) == 0) xorPixel(x, y);
        };
        for (int x = left; x <= right; ++x) dot(x, top);
        for (int y = top + 1; y <= bottom; ++y) dot(right, y);
        if (bottom > top)
            for (int x = right - 1; x >= left; --x) dot(x, bottom);
        if (right > left)
            for (int y = bottom - 1; y > top; --y) dot(left, y);
    }
    // Patch markers: the outline of a square from (x - 5, y - 5) to (x + 5, y + 5), right and
    // bottom edges exclusive.
    for (const QPoint& c : PatchCentres()) {
        const int x0 = c.x() - MarkerHalf;
        const int x1 = c.x() + MarkerHalf - 1;
        const int y0 = c.y() - MarkerHalf;
        const int y1 = c.y() + MarkerHalf - 1;
        for (int x = x0; x <= x1; ++x) {
            xorPixel(x, y0);
            xorPixel(x, y1);
        }
        for (int y = y0 + 1; y < y1; ++y) {
            xorPixel(x0, y);
            xorPixel(x1, y);
        }
    }
}

void TImageViewer::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QColor background = palette().color(QPalette::Base);
    if (!hasImage_) {
        painter.fillRect(rect(), background);
        QFont font(QStringLiteral("Arial"));
        font.setPointSize(14);
        painter.setFont(font);
        painter.setPen(QColor(128, 128, 128));
        const QString text = QStringLiteral("Please load a calibration image.");
        const QFontMetrics metrics(font);
        const int x = (width() - metrics.horizontalAdvance(text)) / 2;
        const int y = (height() - metrics.height()) / 2;
        painter.drawText(x, y + metrics.ascent(), text);
        return;
    }
    // Wrap the display pixels without copying them: rows of B, G, R bytes on 4-byte strides.
    const QImage display(displayBitmap_.Bits(), displayBitmap_.Width(), displayBitmap_.Height(),
                         static_cast<qsizetype>(displayBitmap_.Stride()), QImage::Format_BGR888);
    const QRect imageRect(offsetX_, offsetY_, displayBitmap_.Width(), displayBitmap_.Height());

    // Fill around the image only, so that the image area is painted once.
    const QRegion around = QRegion(rect()).subtracted(QRegion(imageRect));
    for (const QRect& r : around) painter.fillRect(r, background);

    const bool drawSelection = hasSelection_ && HasDisplay();
    selectionDrawn_ = drawSelection;
    if (!drawSelection) {
        if (HasDisplay()) painter.drawImage(imageRect.topLeft(), display);
        return;
    }
    // The selection is XORed into a copy of the image area (grown by the markers' reach), which
    // is then drawn in one go.
    const QRect area = imageRect.adjusted(-MarkerHalf - 1, -MarkerHalf - 1, MarkerHalf + 1, MarkerHalf + 1)
                           .intersected(rect());
    if (frame_.size() != area.size() || frame_.format() != QImage::Format_RGB32)
        frame_ = QImage(area.size(), QImage::Format_RGB32);
    {
        QPainter framePainter(&frame_);
        framePainter.setCompositionMode(QPainter::CompositionMode_Source);
        if (area != imageRect) framePainter.fillRect(frame_.rect(), background);
        framePainter.drawImage(imageRect.topLeft() - area.topLeft(), display);
    }
    XorSelection(frame_, area.topLeft());
    painter.drawImage(area.topLeft(), frame_);
}

void TImageViewer::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (hasImage_) {
        UpdateLayout();
        ClearSelection();
    }
}

void TImageViewer::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    DrawSelection(true);
    SetHasSelection(false);
    const QPoint p = event->position().toPoint();
    SelX1 = p.x();
    SelY1 = p.y();
    ClampX(SelX1);
    ClampY(SelY1);
    dragging_ = true;
}

void TImageViewer::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    if (!dragging_) return;
    if (event->buttons() != Qt::LeftButton) return;
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
    DrawSelection(true);
    const QPoint p = event->position().toPoint();
    SelX2 = p.x();
    SelY2 = p.y();
    ClampX(SelX2);
    ClampY(SelY2);
    DrawSelection(false);
    // Without a displayed image no point maps to the image, so there is nothing to select.
    if (HasDisplay()) SetHasSelection(true);
}

void TImageViewer::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) dragging_ = false;
    if (SelX1 == SelX2 || SelY1 == SelY2) ClearSelection();
}

void TImageViewer::contextMenuEvent(QContextMenuEvent* event) {
    if (popupMenu_) popupMenu_->popup(event->globalPos());
}

}  // namespace tintavo
