// TImageViewer: shows the calibration image, lets the user drag a rectangle over the colour
// chart, marks the patch centres inside it and hands the rectangle's corners out in image pixel
// coordinates.
//
// Three bitmaps: SourceBitmap (full size; after a preview the main window puts the corrected
// image here), ScaledBitmap (the uncorrected image scaled to fit the control at the last layout)
// and DisplayBitmap (what is painted when the picture is fitted). The viewer also keeps the
// uncorrected full-size image it was given, so that a resize after a preview rebuilds
// ScaledBitmap from the uncorrected image: "Hide" then still shows the uncorrected picture and
// "Show" corrects it exactly once.
//
// The picture is shown fitted (the scaled copies, drawn pixel for pixel at the screen's device
// resolution) or at any zoom (the full-size picture drawn through the view transform). Every
// point of the selection is kept in picture coordinates, so the rectangle and its markers stay
// on the same patches at every zoom; the one place that maps picture to widget coordinates and
// back is TViewTransform.
#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <optional>

#include "engine/ChartGeometry.h"
#include "lut/Bitmap.h"

class QMenu;

namespace tintavo {

// Picture pixel coordinates <-> widget (logical) coordinates: widget = Origin + picture * Scale.
struct TViewTransform {
    double ScaleX = 0.0;
    double ScaleY = 0.0;
    double OriginX = 0.0;
    double OriginY = 0.0;

    QPointF ToWidget(QPointF picture) const {
        return {OriginX + picture.x() * ScaleX, OriginY + picture.y() * ScaleY};
    }
    QPointF ToPicture(QPointF widget) const {
        return {(widget.x() - OriginX) / ScaleX, (widget.y() - OriginY) / ScaleY};
    }
    bool Valid() const { return ScaleX > 0.0 && ScaleY > 0.0; }
};

class TImageViewer : public QWidget {
    Q_OBJECT

public:
    explicit TImageViewer(QWidget* parent = nullptr);
    ~TImageViewer() override;

    // Copies the bitmap into SourceBitmap (and the uncorrected copy), fits it and repaints.
    void SetImage(const TBitmap24& bitmap);
    // Recomputes the fitted scale and offsets and rebuilds ScaledBitmap and DisplayBitmap.
    void UpdateLayout();
    // Copies ScaledBitmap into DisplayBitmap (the uncorrected view); no repaint.
    void RestoreDisplay();
    void ClearSelection();
    // Brings back the last selection (same picture corners) when there is none.
    void RestoreSelection();
    void SetHasSelection(bool value);

    int ScreenToImageX(int x) const;
    int ScreenToImageY(int y) const;
    int ImageX1() const { return ImageOf(sel1_.x(), sourceBitmap_.Width()); }
    int ImageX2() const { return ImageOf(sel2_.x(), sourceBitmap_.Width()); }
    int ImageY1() const { return ImageOf(sel1_.y(), sourceBitmap_.Height()); }
    int ImageY2() const { return ImageOf(sel2_.y(), sourceBitmap_.Height()); }
    // The selection corners in widget coordinates under the current view (corner 1 where the
    // button went down, corner 2 where the pointer was last dragged to; not reordered).
    int SelX1() const;
    int SelY1() const;
    int SelX2() const;
    int SelY2() const;
    // The corners in picture coordinates (fractions of a pixel kept).
    QPointF SelectionCorner1() const { return sel1_; }
    QPointF SelectionCorner2() const { return sel2_; }

    // The selection as the calibration reads it, in picture pixels: the dragged rectangle, or
    // the four corners the handles or a detection gave. Needs a grid.
    TChartGeometry SelectionGeometry() const;
    // Places a selection (a detected chart, a suggested reading) and shows it.
    void SetSelectionGeometry(const TChartGeometry& geometry);
    // Whether the selection is four corners rather than the dragged rectangle.
    bool SelectionIsQuad() const { return quad_.has_value(); }
    // The selection's corners in widget coordinates, chart order (corner 1 holds patch 1).
    QVector<QPointF> CornerHandles() const;
    // Moves selection corner `corner` (0..3) to a widget point, as dragging its handle does.
    // False, and nothing changes, when the move would fold the quadrilateral.
    bool MoveCorner(int corner, QPointF widget);
    // The corner being dragged (0..3), or -1.
    int DraggedCorner() const { return draggedCorner_; }
    // Widget units around a corner within which a press grabs its handle.
    static constexpr double HandleReach = 7.0;

    // Marks the selection and the patch markers for drawing (erase = false) or removal.
    void DrawSelection(bool erase);

    TBitmap24& SourceBitmap() { return sourceBitmap_; }
    TBitmap24& DisplayBitmap() { return displayBitmap_; }
    const TBitmap24& ScaledBitmap() const { return scaledBitmap_; }
    const TBitmap24& UncorrectedBitmap() const { return uncorrectedBitmap_; }

    // Whether the picture shown is the corrected one (SourceBitmap at full size, DisplayBitmap
    // when fitted). The main window says so whenever it corrects or restores the display.
    void SetCorrectionShown(bool shown);
    bool CorrectionShown() const { return correctionShown_; }

    bool HasImage() const { return hasImage_; }
    bool HasSelection() const { return hasSelection_; }
    bool SelectionDrawn() const { return selectionDrawn_; }
    bool Dragging() const { return dragging_; }
    int Margin() const { return margin_; }
    // The fitted layout, in widget (logical) units.
    double ScaleX() const { return fit_.ScaleX; }
    double ScaleY() const { return fit_.ScaleY; }
    int OffsetX() const { return static_cast<int>(fit_.OriginX); }
    int OffsetY() const { return static_cast<int>(fit_.OriginY); }

    // The transform of the view as it is shown now (fitted or zoomed).
    const TViewTransform& View() const { return fitted_ ? fit_ : zoomView_; }
    // Zoom: device pixels per picture pixel (1 = "1:1"); while fitted, the fitted scale.
    double Zoom() const;
    bool Fitted() const { return fitted_; }
    // Sets the zoom, keeping the picture point under `anchor` (widget coordinates) in place.
    void SetZoom(double zoom, QPointF anchor);
    void SetZoom(double zoom) { SetZoom(zoom, QPointF(width() / 2.0, height() / 2.0)); }
    void ZoomIn();
    void ZoomOut();
    void ZoomToFit();
    void ZoomActualPixels();
    // Moves the zoomed picture by (dx, dy) widget units.
    void Pan(QPointF delta);
    static constexpr double MinZoom = 1.0 / 16;
    static constexpr double MaxZoom = 32.0;

    // Split view: the uncorrected picture left of the divider, the shown picture right of it.
    void SetSplitView(bool on);
    bool SplitView() const { return splitView_; }
    // The divider as a fraction of the widget's width (0..1).
    void SetSplitPosition(double fraction);
    double SplitPosition() const { return splitPosition_; }
    int SplitX() const;

    int GridColumns() const { return gridColumns_; }
    int GridRows() const { return gridRows_; }
    void SetGrid(int columns, int rows);

    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    QMenu* PopupMenu() const { return popupMenu_; }

    // Called with the viewer whenever HasSelection changes while an image is present.
    std::function<void(TImageViewer*)> OnSelectionChange;
    // Called when the user finished changing the selection (a drag or a handle released) and
    // when a selection was placed.
    std::function<void(TImageViewer*)> OnSelectionEdited;
    // Called after every layout that rebuilt the scaled copies (the display is uncorrected then).
    std::function<void(TImageViewer*)> OnLayoutChange;
    // Called with the picture pixel under the pointer ((-1, -1) when it is off the picture).
    std::function<void(QPoint)> OnPointerMove;
    // Called when the zoom changes (also on fitting).
    std::function<void(TImageViewer*)> OnZoomChange;

    // The picture pixel under a widget point, or (-1, -1) off the picture.
    QPoint PictureAt(QPointF widget) const;
    // The patch centres of the current selection in widget coordinates, row by row.
    QVector<QPoint> PatchCentres() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    static int PictureToImage(double c, int size);
    // A picture coordinate as an image column or row: rounded, -1 beyond the image or without one.
    int ImageOf(double c, int size) const { return hasImage_ && View().Valid() ? PictureToImage(c, size) : -1; }
    // The displayed picture's rectangle in widget coordinates, right and bottom exclusive.
    QRectF ImageRect() const;
    QPointF ClampToImage(QPointF widget) const;
    bool HasDisplay() const { return !displayBitmap_.Empty(); }
    bool NearDivider(QPointF widget) const;
    void PaintPicture(QImage& frame, double dpr) const;
    void XorSelection(QImage& frame, double dpr) const;
    void XorQuad(QImage& frame, double dpr) const;
    void ZoomChanged();

    TBitmap24 sourceBitmap_;
    TBitmap24 displayBitmap_;
    TBitmap24 scaledBitmap_;
    TBitmap24 uncorrectedBitmap_;
    bool hasImage_ = false;
    bool correctionShown_ = false;
    int margin_ = 3;
    TViewTransform fit_;       // the fitted layout
    TViewTransform zoomView_;  // the view while not fitted
    bool fitted_ = true;
    QPointF fitDeviceOffset_;  // top-left of the fitted picture in device pixels
    QPointF sel1_;
    QPointF sel2_;
    std::optional<TQuad> quad_;  // four corners in picture pixels, chart order; else the rectangle
    int draggedCorner_ = -1;
    bool hasSelection_ = false;
    bool selectionDrawn_ = false;
    bool dragging_ = false;
    bool panning_ = false;
    bool draggingDivider_ = false;
    QPointF lastPan_;
    bool splitView_ = false;
    double splitPosition_ = 0.5;
    int gridColumns_ = 0;
    int gridRows_ = 0;
    QMenu* popupMenu_ = nullptr;
    QImage frame_;  // reused composition buffer, in device pixels
};

}  // namespace tintavo
