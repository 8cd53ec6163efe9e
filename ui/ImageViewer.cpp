#include "ui/ImageViewer.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "engine/ChartGeometry.h"
#include "lut/ImageResize2.h"

namespace tintavo {

namespace {

// The grey every selection pixel is XORed with (red = green = blue = 128): it changes every
// pixel by half the scale, so the drawing shows on dark and light parts of the image alike,
// and drawing it twice removes it.
constexpr QRgb SelectionXor = 0x00808080;
constexpr int MarkerHalf = 5;
// Corner handles: hollow squares this far round the corner; the corner of patch 1 a filled,
// larger one.
constexpr int HandleHalf = 4;
constexpr int FirstHandleHalf = 6;
// One wheel notch or zoom command changes the zoom by this factor.
constexpr double ZoomStep = 1.25;
// How close (widget units) a press must come to the split divider to grab it.
constexpr double DividerReach = 4.0;

// The pixels of a bitmap as an image, without copying them: rows of B, G, R bytes.
QImage Wrap(const TBitmap24& bitmap) {
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), static_cast<qsizetype>(bitmap.Stride()),
                  QImage::Format_BGR888);
}

int RoundToInt(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

TImageViewer::TImageViewer(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Viewer"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);  // the status bar follows the pointer
}

TImageViewer::~TImageViewer() = default;

void TImageViewer::SetImage(const TBitmap24& bitmap) {
    sourceBitmap_.Assign(bitmap);
    uncorrectedBitmap_.Assign(bitmap);
    hasImage_ = true;
    correctionShown_ = false;
    fitted_ = true;
    quad_.reset();  // corners belong to the picture they were placed on
    draggedCorner_ = -1;
    UpdateLayout();
    update();
    ZoomChanged();
}

void TImageViewer::UpdateLayout() {
    const int cw = width();
    const int ch = height();
    if (cw == 0 || ch == 0) return;
    if (uncorrectedBitmap_.Empty()) return;
    // The fitted picture is laid out in device pixels, so that it is drawn pixel for pixel also
    // on screens that scale the desktop.
    const double dpr = devicePixelRatioF();
    const int cwd = RoundToInt(cw * dpr);
    const int chd = RoundToInt(ch * dpr);
    const int margin = RoundToInt(margin_ * dpr);
    int w = 0;
    int h = 0;
    FitSize(uncorrectedBitmap_.Width(), uncorrectedBitmap_.Height(), cwd, chd, w, h);
    w -= 2 * margin;
    h -= 2 * margin;
    if (w <= 0 || h <= 0) {
        // A control too small to show anything: no displayed image, so no point of it maps to
        // the image and no selection can start.
        fit_ = TViewTransform{0.0, 0.0, cw / 2.0, ch / 2.0};
        fitDeviceOffset_ = QPointF(cwd / 2, chd / 2);
        scaledBitmap_.Clear();
        displayBitmap_.Clear();
    } else {
        const int offsetX = (cwd - w) / 2;
        const int offsetY = (chd - h) / 2;
        fitDeviceOffset_ = QPointF(offsetX, offsetY);
        fit_.ScaleX = static_cast<double>(w) / uncorrectedBitmap_.Width() / dpr;
        fit_.ScaleY = static_cast<double>(h) / uncorrectedBitmap_.Height() / dpr;
        fit_.OriginX = offsetX / dpr;
        fit_.OriginY = offsetY / dpr;
        // Scaled from the uncorrected image, never from a corrected SourceBitmap.
        ResizeBitmap(w, h, rfLanczos3, 0.0f, uncorrectedBitmap_, scaledBitmap_);
        displayBitmap_.Assign(scaledBitmap_);
    }
    if (OnLayoutChange) OnLayoutChange(this);
    if (fitted_ && OnZoomChange) OnZoomChange(this);  // the fitted scale follows the control
}

void TImageViewer::RestoreDisplay() { displayBitmap_.Assign(scaledBitmap_); }

void TImageViewer::SetCorrectionShown(bool shown) {
    if (correctionShown_ == shown) return;
    correctionShown_ = shown;
    update();
}

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

int TImageViewer::PictureToImage(double c, int size) {
    const int i = RoundToInt(c);
    return i >= size ? -1 : i;
}

int TImageViewer::ScreenToImageX(int x) const {
    const TViewTransform& view = View();
    if (!hasImage_ || !view.Valid()) return -1;
    return PictureToImage((x - view.OriginX) / view.ScaleX, sourceBitmap_.Width());
}

int TImageViewer::ScreenToImageY(int y) const {
    const TViewTransform& view = View();
    if (!hasImage_ || !view.Valid()) return -1;
    return PictureToImage((y - view.OriginY) / view.ScaleY, sourceBitmap_.Height());
}

QPoint TImageViewer::PictureAt(QPointF widget) const {
    const TViewTransform& view = View();
    if (!hasImage_ || !view.Valid()) return {-1, -1};
    const QPointF p = view.ToPicture(widget);
    // The pixel whose square holds the point.
    const int x = static_cast<int>(std::floor(p.x()));
    const int y = static_cast<int>(std::floor(p.y()));
    if (x < 0 || y < 0 || x >= sourceBitmap_.Width() || y >= sourceBitmap_.Height()) return {-1, -1};
    return {x, y};
}

int TImageViewer::SelX1() const {
    return View().Valid() ? RoundToInt(View().ToWidget(sel1_).x()) : RoundToInt(sel1_.x());
}
int TImageViewer::SelY1() const {
    return View().Valid() ? RoundToInt(View().ToWidget(sel1_).y()) : RoundToInt(sel1_.y());
}
int TImageViewer::SelX2() const {
    return View().Valid() ? RoundToInt(View().ToWidget(sel2_).x()) : RoundToInt(sel2_.x());
}
int TImageViewer::SelY2() const {
    return View().Valid() ? RoundToInt(View().ToWidget(sel2_).y()) : RoundToInt(sel2_.y());
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
    centres.reserve(gridColumns_ * gridRows_);
    if (quad_ && View().Valid()) {
        // Four corners: the calibration's own centres, shown through the view.
        const TChartGeometry geometry = SelectionGeometry();
        for (int row = 0; row < gridRows_; ++row)
            for (int column = 0; column < gridColumns_; ++column) {
                const TPointF c = geometry.PatchCenterPoint(column, row);
                const QPointF w = View().ToWidget(QPointF(c.X, c.Y));
                centres.push_back(QPoint(RoundToInt(w.x()), RoundToInt(w.y())));
            }
        return centres;
    }
    // The calibration's own patch-centre rule, applied to the corners as shown.
    const TChartGeometry geometry({SelX1(), SelY1(), SelX2(), SelY2()}, gridColumns_, gridRows_);
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

TChartGeometry TImageViewer::SelectionGeometry() const {
    if (quad_) return TChartGeometry::FromCorners(*quad_, gridColumns_, gridRows_);
    return TChartGeometry({ImageX1(), ImageY1(), ImageX2(), ImageY2()}, gridColumns_, gridRows_);
}

void TImageViewer::SetSelectionGeometry(const TChartGeometry& geometry) {
    if (!hasImage_) return;
    DrawSelection(true);
    if (geometry.IsRectangle()) {
        const TSelection& r = geometry.Rect();
        sel1_ = QPointF(r.X1, r.Y1);
        sel2_ = QPointF(r.X2, r.Y2);
        quad_.reset();
    } else {
        quad_ = geometry.Corners();
    }
    if (hasSelection_)
        update();
    else
        SetHasSelection(true);
    DrawSelection(false);
    if (OnSelectionEdited) OnSelectionEdited(this);
}

QVector<QPointF> TImageViewer::CornerHandles() const {
    QVector<QPointF> handles;
    if (quad_) {
        if (!View().Valid()) return handles;
        for (const TPointF& c : *quad_) handles.push_back(View().ToWidget(QPointF(c.X, c.Y)));
        return handles;
    }
    handles = {QPointF(SelX1(), SelY1()), QPointF(SelX2(), SelY1()), QPointF(SelX2(), SelY2()),
               QPointF(SelX1(), SelY2())};
    return handles;
}

QRectF TImageViewer::ImageRect() const {
    if (!HasDisplay()) return {};
    if (fitted_) {
        const double dpr = devicePixelRatioF();
        return {fitDeviceOffset_ / dpr, QSizeF(displayBitmap_.Width() / dpr, displayBitmap_.Height() / dpr)};
    }
    return {zoomView_.ToWidget({0.0, 0.0}),
            zoomView_.ToWidget(QPointF(sourceBitmap_.Width(), sourceBitmap_.Height()))};
}

QPointF TImageViewer::ClampToImage(QPointF p) const {
    // A corner outside the displayed image moves to its nearest edge (its last row or column).
    if (!HasDisplay()) return p;
    const QRectF r = ImageRect();
    const double last = 1.0 / devicePixelRatioF();
    return {std::clamp(p.x(), r.left(), std::max(r.left(), r.right() - last)),
            std::clamp(p.y(), r.top(), std::max(r.top(), r.bottom() - last))};
}

double TImageViewer::Zoom() const { return View().ScaleX * devicePixelRatioF(); }

void TImageViewer::ZoomChanged() {
    update();
    if (OnZoomChange) OnZoomChange(this);
}

void TImageViewer::SetZoom(double zoom, QPointF anchor) {
    if (!hasImage_ || !View().Valid()) return;
    zoom = std::clamp(zoom, MinZoom, MaxZoom);
    const QPointF picture = View().ToPicture(anchor);
    const double dpr = devicePixelRatioF();
    const double scale = zoom / dpr;
    // The origin on a device pixel: at whole zooms every picture pixel covers whole screen pixels.
    auto snap = [dpr](double v) { return std::nearbyint(v * dpr) / dpr; };
    zoomView_ = TViewTransform{scale, scale, snap(anchor.x() - picture.x() * scale),
                               snap(anchor.y() - picture.y() * scale)};
    fitted_ = false;
    ZoomChanged();
}

void TImageViewer::ZoomIn() { SetZoom(Zoom() * ZoomStep); }
void TImageViewer::ZoomOut() { SetZoom(Zoom() / ZoomStep); }

void TImageViewer::ZoomToFit() {
    fitted_ = true;
    ZoomChanged();
}

void TImageViewer::ZoomActualPixels() {
    if (!hasImage_) return;
    // The picture's centre stays where it is shown.
    const QPointF centre = View().Valid()
                               ? View().ToWidget(QPointF(sourceBitmap_.Width() / 2.0, sourceBitmap_.Height() / 2.0))
                               : QPointF(width() / 2.0, height() / 2.0);
    SetZoom(1.0, centre);
}

void TImageViewer::Pan(QPointF delta) {
    if (fitted_) return;  // a fitted picture is all in view
    const double dpr = devicePixelRatioF();
    zoomView_.OriginX = std::nearbyint((zoomView_.OriginX + delta.x()) * dpr) / dpr;
    zoomView_.OriginY = std::nearbyint((zoomView_.OriginY + delta.y()) * dpr) / dpr;
    update();
}

void TImageViewer::SetSplitView(bool on) {
    splitView_ = on;
    update();
}

void TImageViewer::SetSplitPosition(double fraction) {
    splitPosition_ = std::clamp(fraction, 0.0, 1.0);
    update();
}

int TImageViewer::SplitX() const { return RoundToInt(splitPosition_ * width()); }

bool TImageViewer::NearDivider(QPointF p) const {
    return splitView_ && hasImage_ && std::abs(p.x() - SplitX()) <= DividerReach;
}

void TImageViewer::XorSelection(QImage& frame, double dpr) const {
    const int fw = frame.width();
    const int fh = frame.height();
    auto xorPixel = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= fw || y >= fh) return;
        QRgb* line = reinterpret_cast<QRgb*>(frame.scanLine(y));
        line[x] ^= SelectionXor;
    };
    auto device = [dpr](int v) { return RoundToInt(v * dpr); };
    // Dotted rectangle from corner 1 to corner 2, right and bottom edges exclusive. The dots
    // follow the outline, two on and two off.
    const int x1 = device(SelX1());
    const int x2 = device(SelX2());
    const int y1 = device(SelY1());
    const int y2 = device(SelY2());
    const int left = std::min(x1, x2);
    const int right = std::max(x1, x2) - 1;
    const int top = std::min(y1, y2);
    const int bottom = std::max(y1, y2) - 1;
    if (quad_) {
        XorQuad(frame, dpr);
    } else if (right >= left && bottom >= top) {
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
    const int half = device(MarkerHalf);
    for (const QPoint& c : PatchCentres()) {
        const int cx = device(c.x());
        const int cy = device(c.y());
        const int mx0 = cx - half;
        const int mx1 = cx + half - 1;
        const int my0 = cy - half;
        const int my1 = cy + half - 1;
        for (int x = mx0; x <= mx1; ++x) {
            xorPixel(x, my0);
            xorPixel(x, my1);
        }
        for (int y = my0 + 1; y < my1; ++y) {
            xorPixel(mx0, y);
            xorPixel(mx1, y);
        }
    }
    // Corner handles; the corner of patch 1 filled, so the reading order shows at a glance.
    const QVector<QPointF> handles = CornerHandles();
    for (int k = 0; k < handles.size(); ++k) {
        const int cx = RoundToInt(handles[k].x() * dpr);
        const int cy = RoundToInt(handles[k].y() * dpr);
        const int h = device(k == 0 ? FirstHandleHalf : HandleHalf);
        for (int y = cy - h; y <= cy + h; ++y)
            for (int x = cx - h; x <= cx + h; ++x)
                if (k == 0 || y == cy - h || y == cy + h || x == cx - h || x == cx + h) xorPixel(x, y);
    }
}

void TImageViewer::XorQuad(QImage& frame, double dpr) const {
    // Dotted straight edges from corner to corner, two pixels on and two off.
    const QVector<QPointF> corners = CornerHandles();
    if (corners.size() != 4) return;
    const int fw = frame.width();
    const int fh = frame.height();
    int step = 0;
    for (int k = 0; k < 4; ++k) {
        const QPointF a = corners[k] * dpr;
        const QPointF b = corners[(k + 1) % 4] * dpr;
        const int n = std::max(1, RoundToInt(std::max(std::abs(b.x() - a.x()), std::abs(b.y() - a.y()))));
        for (int i = 0; i < n; ++i) {
            const int x = RoundToInt(a.x() + (b.x() - a.x()) * i / n);
            const int y = RoundToInt(a.y() + (b.y() - a.y()) * i / n);
            if ((step++ & 2) != 0 || x < 0 || y < 0 || x >= fw || y >= fh) continue;
            reinterpret_cast<QRgb*>(frame.scanLine(y))[x] ^= SelectionXor;
        }
    }
}

void TImageViewer::PaintPicture(QImage& frame, double dpr) const {
    QPainter painter(&frame);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const int splitX = RoundToInt(SplitX() * dpr);
    const QRect beforeClip(0, 0, splitX, frame.height());
    if (fitted_) {
        if (!HasDisplay()) return;
        // Pixel for pixel: the fitted copies are made at device resolution.
        const QPoint at = fitDeviceOffset_.toPoint();
        painter.drawImage(at, Wrap(displayBitmap_));
        if (splitView_) {
            painter.setClipRect(beforeClip);
            painter.drawImage(at, Wrap(scaledBitmap_));
        }
    } else {
        const TViewTransform& v = zoomView_;
        painter.setTransform(QTransform(v.ScaleX * dpr, 0, 0, v.ScaleY * dpr, v.OriginX * dpr, v.OriginY * dpr));
        // Reduced pictures are filtered; enlarged ones show their pixels as squares.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, Zoom() < 1.0);
        painter.drawImage(QPointF(0, 0), Wrap(correctionShown_ ? sourceBitmap_ : uncorrectedBitmap_));
        if (splitView_) {
            painter.resetTransform();
            painter.setClipRect(beforeClip);
            painter.setTransform(QTransform(v.ScaleX * dpr, 0, 0, v.ScaleY * dpr, v.OriginX * dpr, v.OriginY * dpr));
            painter.drawImage(QPointF(0, 0), Wrap(uncorrectedBitmap_));
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
    // Everything is composed in one device-resolution frame, then drawn in one go.
    const double dpr = devicePixelRatioF();
    const QSize deviceSize(RoundToInt(width() * dpr), RoundToInt(height() * dpr));
    if (frame_.size() != deviceSize || frame_.format() != QImage::Format_RGB32)
        frame_ = QImage(deviceSize, QImage::Format_RGB32);
    frame_.setDevicePixelRatio(1.0);
    frame_.fill(background);
    PaintPicture(frame_, dpr);

    const bool drawSelection = hasSelection_ && HasDisplay();
    selectionDrawn_ = drawSelection;
    if (drawSelection) XorSelection(frame_, dpr);
    if (splitView_) {
        // The divider: a light line with a dark edge, visible on any picture.
        QPainter divider(&frame_);
        const int x = RoundToInt(SplitX() * dpr);
        const int w = std::max(1, RoundToInt(dpr));
        divider.fillRect(QRect(x - w, 0, w, frame_.height()), QColor(20, 20, 20));
        divider.fillRect(QRect(x, 0, w, frame_.height()), QColor(240, 240, 240));
    }
    frame_.setDevicePixelRatio(dpr);
    painter.drawImage(QPointF(0, 0), frame_);
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
    const QPointF p = event->position();
    if (event->button() == Qt::MiddleButton) {
        panning_ = true;
        lastPan_ = p;
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (NearDivider(p)) {
        draggingDivider_ = true;
        return;
    }
    if (hasSelection_ && HasDisplay() && View().Valid() && gridColumns_ > 0 && gridRows_ > 0) {
        // A press on a corner handle takes that corner; anywhere else starts a new rectangle.
        const QPointF at = View().ToPicture(p);
        draggedCorner_ = SelectionGeometry().CornerNear({at.x(), at.y()}, HandleReach / View().ScaleX);
        if (draggedCorner_ >= 0) return;
    }
    DrawSelection(true);
    SetHasSelection(false);
    quad_.reset();
    const QPointF corner = ClampToImage(QPointF(std::trunc(p.x()), std::trunc(p.y())));
    sel1_ = View().Valid() ? View().ToPicture(corner) : corner;
    dragging_ = true;
}

void TImageViewer::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    const QPointF p = event->position();
    if (OnPointerMove) OnPointerMove(PictureAt(p));
    if (panning_) {
        Pan(p - lastPan_);
        lastPan_ = p;
        return;
    }
    if (draggingDivider_) {
        if (width() > 0) SetSplitPosition(p.x() / width());
        return;
    }
    if (draggedCorner_ >= 0) {
        if (!(event->buttons() & Qt::LeftButton)) return;
        MoveCorner(draggedCorner_, p);
        return;
    }
    setCursor(NearDivider(p) ? Qt::SplitHCursor : Qt::ArrowCursor);
    if (!dragging_) return;
    if (event->buttons() != Qt::LeftButton) return;
    if (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
    DrawSelection(true);
    const QPointF corner = ClampToImage(QPointF(std::trunc(p.x()), std::trunc(p.y())));
    sel2_ = View().Valid() ? View().ToPicture(corner) : corner;
    DrawSelection(false);
    // Without a displayed image no point maps to the image, so there is nothing to select.
    if (HasDisplay()) SetHasSelection(true);
}

void TImageViewer::mouseReleaseEvent(QMouseEvent* event) {
    QWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::MiddleButton) {
        panning_ = false;
        return;
    }
    bool edited = false;
    if (event->button() == Qt::LeftButton) {
        if (draggedCorner_ >= 0) {
            draggedCorner_ = -1;
            if (OnSelectionEdited) OnSelectionEdited(this);
            return;
        }
        edited = dragging_;
        dragging_ = false;
        if (draggingDivider_) {
            draggingDivider_ = false;
            return;
        }
    }
    if (quad_) return;
    if (sel1_.x() == sel2_.x() || sel1_.y() == sel2_.y()) ClearSelection();
    if (edited && hasSelection_ && OnSelectionEdited) OnSelectionEdited(this);
}

bool TImageViewer::MoveCorner(int corner, QPointF widget) {
    if (!View().Valid() || gridColumns_ <= 0 || gridRows_ <= 0) return false;
    QPointF at = View().ToPicture(widget);
    at.setX(std::clamp(at.x(), 0.0, static_cast<double>(sourceBitmap_.Width())));
    at.setY(std::clamp(at.y(), 0.0, static_cast<double>(sourceBitmap_.Height())));
    TChartGeometry moved = SelectionGeometry();
    try {
        moved = moved.WithCornerMovedTo(corner, {at.x(), at.y()});
    } catch (const std::invalid_argument&) {
        return false;  // the quadrilateral would fold: the corner stays where it was
    }
    if (moved.IsRectangle()) {
        const TSelection& r = moved.Rect();
        sel1_ = QPointF(r.X1, r.Y1);
        sel2_ = QPointF(r.X2, r.Y2);
        quad_.reset();
    } else {
        quad_ = moved.Corners();
    }
    update();
    return true;
}

void TImageViewer::wheelEvent(QWheelEvent* event) {
    const int notches = event->angleDelta().y();
    if (notches == 0 || !hasImage_) {
        QWidget::wheelEvent(event);
        return;
    }
    SetZoom(Zoom() * std::pow(ZoomStep, notches / 120.0), event->position());
    event->accept();
}

void TImageViewer::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (OnPointerMove) OnPointerMove(QPoint(-1, -1));
}

void TImageViewer::contextMenuEvent(QContextMenuEvent* event) {
    if (popupMenu_) popupMenu_->popup(event->globalPos());
}

}  // namespace tintavo
