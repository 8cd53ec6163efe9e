#include "ui/PatchesForm.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "ui/UiSupport.h"

namespace tintavo {

namespace {

QPointer<TfrmPatches> patchesWindow;

QColor SwatchColor(const TLutColor& c) {
    return QColor(ChannelTo8Bit(c.R), ChannelTo8Bit(c.G), ChannelTo8Bit(c.B));
}

// Draws the swatches of the first two columns; the other cells are drawn as usual.
class TSwatchDelegate : public QStyledItemDelegate {
public:
    explicit TSwatchDelegate(TfrmPatches* form) : QStyledItemDelegate(form), form_(form) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QColor colour = form_->CellColor(index.row(), index.column());
        if (colour.isValid()) {
            painter->fillRect(option.rect, colour);
            return;
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    TfrmPatches* form_;
};

}  // namespace

int ChannelTo8Bit(double value) {
    const double scaled = std::nearbyint(value * 255.0);
    // Stored in 8 bits: the low byte of the rounded value.
    return static_cast<int>(static_cast<long long>(scaled) & 0xFF);
}

TfrmPatches::TfrmPatches(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setObjectName(QStringLiteral("frmPatches"));
    setWindowTitle(QStringLiteral("Patches"));
    resize(220, 503);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    StringGrid1 = new QTableWidget(1, 4, this);
    StringGrid1->setObjectName(QStringLiteral("StringGrid1"));
    StringGrid1->horizontalHeader()->setVisible(false);
    StringGrid1->verticalHeader()->setVisible(false);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(40);
    StringGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    StringGrid1->setShowGrid(true);
    StringGrid1->setSelectionMode(QAbstractItemView::ContiguousSelection);
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGrid1->setItemDelegate(new TSwatchDelegate(this));
    layout->addWidget(StringGrid1);
}

void TfrmPatches::Fill(const TLutColor* measured, const TLutColor* reference, int count) {
    StringGrid1->clearContents();
    StringGrid1->setRowCount(1);
    PatchCount = count;
    for (int i = 0; i < 140; ++i) ReferenceColors[i] = reference[i];
    for (int k = 0; k < count; ++k) {
        const int r = ChannelTo8Bit(measured[k].R);
        const int g = ChannelTo8Bit(measured[k].G);
        const int b = ChannelTo8Bit(measured[k].B);
        const int last = StringGrid1->rowCount() - 1;
        // The measured colour is kept as the cell's text (r + 256 g + 65536 b) and read back
        // when the cell is drawn.
        StringGrid1->setItem(last, 0, new QTableWidgetItem(QString::number(r + 256 * g + 65536 * b)));
        StringGrid1->setItem(last, 2, new QTableWidgetItem(QString::number(last)));
        StringGrid1->setRowCount(last + 2);
    }
}

QColor TfrmPatches::CellColor(int row, int column) const {
    if (row >= PatchCount) return {};
    if (column == 0) {
        const QTableWidgetItem* item = StringGrid1->item(row, 0);
        bool ok = false;
        const int value = item != nullptr ? item->text().toInt(&ok) : 0;
        if (!ok) return {};
        return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
    }
    if (column == 1) return SwatchColor(ReferenceColors[row]);
    return {};
}

void TfrmPatches::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) close();
}

TfrmPatches* CreatePatchesWindow(QWidget* owner) {
    if (patchesWindow.isNull()) patchesWindow = new TfrmPatches(owner != nullptr ? owner->window() : nullptr);
    return patchesWindow;
}

void ShowPatches(const TLutColor* measured, const TLutColor* reference, int count, QWidget* owner) {
    TfrmPatches* form = CreatePatchesWindow(owner);
    form->Fill(measured, reference, count);
    if (!form->isVisible()) CentreOn(form, owner);
    form->show();
    form->raise();
    form->activateWindow();
}

TfrmPatches* PatchesWindow() { return patchesWindow; }

}  // namespace tintavo
