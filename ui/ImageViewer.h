// TImageViewer: shows the calibration image scaled to fit, lets the user drag a rectangle over
// the colour chart, marks the patch centres inside it and hands the rectangle's corners out in
// image pixel coordinates.
//
// Three bitmaps: SourceBitmap (full size; after a preview the main window puts the corrected
// image here), ScaledBitmap (the uncorrected image scaled to the control at the last layout)
// and DisplayBitmap (what is painted). The viewer also keeps the uncorrected full-size image it
// was given, so that a resize after a preview rebuilds ScaledBitmap from the uncorrected image:
// "Hide" then still shows the uncorrected picture and "Show" corrects it exactly once.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

#include "lut/Bitmap.h"

class QMenu;

namespace tintavo {

class TImageViewer : public QWidget {
    Q_OBJECT

public:
    explicit TImageViewer(QWidget* parent = nullptr);
    ~TImageViewer() override;

    // Copies the bitmap into SourceBitmap (and the uncorrected copy), lays it out and repaints.
    void SetImage(const TBitmap24& bitmap);
    // Recomputes scale and offsets and rebuilds ScaledBitmap and DisplayBitmap.
    void UpdateLayout();
    // Copies ScaledBitmap into DisplayBitmap (the uncorrected view); no repaint.
    void RestoreDisplay();
    void ClearSelection();
    // Brings back the last selection (same corners) when there is none.
    void RestoreSelection();
    void SetHasSelection(bool value);

    int ScreenToImageX(int x) const;
    int ScreenToImageY(int y) const;
    int ImageX1() const { return ScreenToImageX(SelX1); }
    int ImageX2() const { return ScreenToImageX(SelX2); }
    int ImageY1() const { return ScreenToImageY(SelY1); }
    int ImageY2() const { return ScreenToImageY(SelY2); }

    // Marks the selection and the patch markers for drawing (erase = false) or removal.
    void DrawSelection(bool erase);

    TBitmap24& SourceBitmap() { return sourceBitmap_; }
    TBitmap24& DisplayBitmap() { return displayBitmap_; }
    const TBitmap24& ScaledBitmap() const { return scaledBitmap_; }
    const TBitmap24& UncorrectedBitmap() const { return uncorrectedBitmap_; }

    bool HasImage() const { return hasImage_; }
    bool HasSelection() const { return hasSelection_; }
    bool SelectionDrawn() const { return selectionDrawn_; }
    bool Dragging() const { return dragging_; }
    int Margin() const { return margin_; }
    double ScaleX() const { return scaleX_; }
    double ScaleY() const { return scaleY_; }
    int OffsetX() const { return offsetX_; }
    int OffsetY() const { return offsetY_; }
    int SelX1 = 0;
    int SelX2 = 0;
    int SelY1 = 0;
    int SelY2 = 0;

    int GridColumns() const { return gridColumns_; }
    int GridRows() const { return gridRows_; }
    void SetGrid(int columns, int rows);

    void SetPopupMenu(QMenu* menu) { popupMenu_ = menu; }
    QMenu* PopupMenu() const { return popupMenu_; }

    // Called with the viewer whenever HasSelection changes while an image is present.
    std::function<void(TImageViewer*)> OnSelectionChange;
    // Called after every layout that rebuilt the scaled copies (the display is uncorrected then).
    std::function<void(TImageViewer*)> OnLayoutChange;

    // The patch centres of the current selection in control coordinates, row by row.
    QVector<QPoint> PatchCentres() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ClampX(int& x) const;
    void ClampY(int& y) const;
    bool HasDisplay() const { return !displayBitmap_.Empty(); }
    void XorSelection(QImage& frame, QPoint frameOrigin) const;

    TBitmap24 sourceBitmap_;
    TBitmap24 displayBitmap_;
    TBitmap24 scaledBitmap_;
    TBitmap24 uncorrectedBitmap_;
    bool hasImage_ = false;
    int margin_ = 3;
    double scaleY_ = 0.0;
    double scaleX_ = 0.0;
    int offsetY_ = 0;
    int offsetX_ = 0;
    bool hasSelection_ = false;
    bool selectionDrawn_ = false;
    bool dragging_ = false;
    int gridColumns_ = 0;
    int gridRows_ = 0;
    QMenu* popupMenu_ = nullptr;
    QImage frame_;  // reused composition buffer for painting the selection
};

}  // namespace tintavo
