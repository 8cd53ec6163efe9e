#include "ui/PatchesForm.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>
#include <functional>

#include "engine/CrossValidation.h"
#include "ui/UiSupport.h"

namespace tintavo {

namespace {

QPointer<TfrmPatches> patchesWindow;

QColor SwatchColor(const TLutColor& c) {
    return QColor(ChannelTo8Bit(c.R), ChannelTo8Bit(c.G), ChannelTo8Bit(c.B));
}

// Draws the swatches of the cells that have one; the other cells are drawn as usual.
class TSwatchDelegate : public QStyledItemDelegate {
public:
    TSwatchDelegate(QObject* parent, std::function<QColor(int row, int column)> colourOf)
        : QStyledItemDelegate(parent), colourOf_(std::move(colourOf)) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const QColor colour = colourOf_(index.row(), index.column());
        if (colour.isValid()) {
            painter->fillRect(option.rect, colour);
            return;
        }
        QStyledItemDelegate::paint(painter, option, index);
    }

private:
    std::function<QColor(int, int)> colourOf_;
};

constexpr int SortRole = Qt::UserRole;        // the number a column sorts by
constexpr int SwatchRole = Qt::UserRole + 1;  // the colour a swatch cell shows
constexpr int WorstRole = Qt::UserRole + 2;   // set on the patch cell of a highlighted row
const QColor WorstRowColour(255, 214, 200);

// A cell that sorts by its number, not by its text.
class TNumberItem : public QTableWidgetItem {
public:
    TNumberItem(const QString& text, double value) : QTableWidgetItem(text) { setData(SortRole, value); }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(SortRole).toDouble() < other.data(SortRole).toDouble();
    }
};

QTableWidgetItem* DeltaEItem(double value) { return new TNumberItem(QString::number(value, 'f', 2), value); }

QTableWidgetItem* SwatchItem(const TLutColor& colour) {
    // Sorted by luma, so that a swatch column orders from dark to light.
    auto* item = new TNumberItem(QString(), 0.299 * colour.R + 0.587 * colour.G + 0.114 * colour.B);
    item->setData(SwatchRole, SwatchColor(colour));
    item->setToolTip(QStringLiteral("%1 %2 %3")
                         .arg(ChannelTo8Bit(colour.R))
                         .arg(ChannelTo8Bit(colour.G))
                         .arg(ChannelTo8Bit(colour.B)));
    return item;
}

QTableWidget* MakeTable(QWidget* parent, const char* name, const QStringList& headers) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(QString::fromLatin1(name));
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->setVisible(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    return table;
}

QString ValidationText(const TFoldPlan& folds) {
    if (folds.LeaveOneOut) return QStringLiteral("leave one out");
    return QStringLiteral("grouped %1-fold").arg(folds.FoldCount);
}

void SetStatsRow(QTableWidget* table, int row, const QString& name, const TDeltaEStats& stats) {
    table->setItem(row, 0, new QTableWidgetItem(name));
    const double values[] = {stats.Mean, stats.Median, stats.P95, stats.Max};
    for (int i = 0; i < 4; ++i) table->setItem(row, i + 1, DeltaEItem(values[i]));
}

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
    StringGrid1->setItemDelegate(
        new TSwatchDelegate(this, [this](int row, int column) { return CellColor(row, column); }));
    layout->addWidget(StringGrid1);

    const QString deltaE = QString::fromUtf8("\u0394E");
    lblReport = new QLabel(this);
    lblReport->setObjectName(QStringLiteral("lblReport"));
    lblReport->setWordWrap(true);
    lblReport->setContentsMargins(6, 6, 6, 0);
    layout->addWidget(lblReport);
    tblPatches = MakeTable(this, "tblPatches",
                           {QStringLiteral("Patch"), QStringLiteral("Measured"), QStringLiteral("Reference"),
                            QStringLiteral("Corrected"), deltaE + QStringLiteral(" before"),
                            deltaE + QStringLiteral(" after (in-sample)"), deltaE + QStringLiteral(" held out")});
    tblPatches->setItemDelegate(
        new TSwatchDelegate(this, [this](int row, int column) { return ReportCellColor(row, column); }));
    for (int column : {rcPatch, rcMeasured, rcReference, rcCorrected}) tblPatches->setColumnWidth(column, 64);
    for (int column : {rcBefore, rcAfter, rcHeldOut}) tblPatches->setColumnWidth(column, 130);
    layout->addWidget(tblPatches, 1);
    tblSummary = MakeTable(this, "tblSummary",
                           {QStringLiteral("All patches (%1 2000)").arg(deltaE), QStringLiteral("Mean"),
                            QStringLiteral("Median"), QStringLiteral("95th pct."), QStringLiteral("Max")});
    tblSummary->setRowCount(3);
    tblSummary->setColumnWidth(0, 260);
    tblSummary->setFixedHeight(tblSummary->horizontalHeader()->sizeHint().height() +
                               3 * tblSummary->verticalHeader()->defaultSectionSize() + 4);
    layout->addWidget(tblSummary);

    auto* compareRow = new QHBoxLayout;
    compareRow->setContentsMargins(6, 0, 6, 0);
    auto* lblModels = new QLabel(QStringLiteral("Every model, held out on the same folds:"), this);
    lblModels->setObjectName(QStringLiteral("lblModels"));
    btnCompareModels = new QPushButton(QStringLiteral("Compare Models"), this);
    btnCompareModels->setObjectName(QStringLiteral("btnCompareModels"));
    btnCompareModels->setAutoDefault(false);
    btnCompareModels->setToolTip(
        QStringLiteral("Refit every model without each fold and measure the patches it left out"));
    compareRow->addWidget(lblModels);
    compareRow->addStretch(1);
    compareRow->addWidget(btnCompareModels);
    layout->addLayout(compareRow);
    tblModels = MakeTable(this, "tblModels",
                          {QStringLiteral("Model"), QStringLiteral("Mean"), QStringLiteral("Median"),
                           QStringLiteral("95th pct."), QStringLiteral("Max"), QStringLiteral("Choices")});
    tblModels->horizontalHeader()->setStretchLastSection(true);
    // Room for every model's row, and no more: the patches take the rest.
    tblModels->setFixedHeight(
        tblModels->horizontalHeader()->sizeHint().height() +
        static_cast<int>(CalibrationModels().size()) * tblModels->verticalHeader()->defaultSectionSize() + 4);
    layout->addWidget(tblModels);
    connect(btnCompareModels, &QPushButton::clicked, this, [this] { RunCommand(this, [this] { CompareModels(); }); });
    reportWidgets_ = {lblReport, tblPatches, tblSummary, lblModels, btnCompareModels, tblModels};
    ShowReportView(false);
}

void TfrmPatches::ShowReportView(bool on) {
    reportShown_ = on;
    StringGrid1->setVisible(!on);
    for (QWidget* w : reportWidgets_) w->setVisible(on);
}

void TfrmPatches::Fill(const TLutColor* measured, const TLutColor* reference, int count) {
    ShowReportView(false);
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

void TfrmPatches::FillReport(const TCalibrationReport& report, const TMeasuredPatches& measured) {
    report_ = report;
    measured_ = measured;
    ShowReportView(true);
    const TChartInfo& chart = ChartInfo(report.Chart);
    QString model = QString::fromStdString(report.Model);
    if (!report.ModelDetails.empty()) model += QStringLiteral(" (%1)").arg(QString::fromStdString(report.ModelDetails));
    lblReport->setText(QStringLiteral("%1, model %2%3. In-sample: the fit judged on the patches it was fitted on. "
                                      "Held out: %4, each patch judged by a fit made without it.")
                           .arg(QString::fromUtf8(chart.DisplayName), model,
                                report.ColorsOnly ? QStringLiteral(", colors only") : QString(),
                                ValidationText(report.Folds)));

    tblPatches->setSortingEnabled(false);
    tblPatches->clearContents();
    const int count = static_cast<int>(report.Patches.size());
    tblPatches->setRowCount(count);
    const std::vector<int> order = WorstPatchesFirst(report);
    const int worst = WorstPatchCount(report);
    for (int row = 0; row < count; ++row) {
        const TPatchQuality& p = report.Patches[static_cast<std::size_t>(order[static_cast<std::size_t>(row)])];
        auto* patch = new TNumberItem(QString::number(p.Index), p.Index);
        patch->setToolTip(QStringLiteral("Column %1, row %2%3")
                              .arg(p.Column + 1)
                              .arg(p.Row + 1)
                              .arg(p.ControlPoint ? QString() : QStringLiteral("; not a control point of the fit")));
        tblPatches->setItem(row, rcPatch, patch);
        tblPatches->setItem(row, rcMeasured, SwatchItem(p.Measured));
        tblPatches->setItem(row, rcReference, SwatchItem(p.Reference));
        tblPatches->setItem(row, rcCorrected, SwatchItem(p.Corrected));
        tblPatches->setItem(row, rcBefore, DeltaEItem(p.DeltaEBefore));
        tblPatches->setItem(row, rcAfter, DeltaEItem(p.DeltaEAfter));
        tblPatches->setItem(row, rcHeldOut, DeltaEItem(p.DeltaECrossValidated));
        if (row < worst) {
            patch->setData(WorstRole, true);
            for (int column : {rcPatch, rcBefore, rcAfter, rcHeldOut})
                tblPatches->item(row, column)->setBackground(WorstRowColour);
        }
    }
    // Worst first; a click on a column header sorts by that column instead.
    tblPatches->horizontalHeader()->setSortIndicator(rcHeldOut, Qt::DescendingOrder);
    tblPatches->setSortingEnabled(true);
    tblPatches->scrollToTop();

    SetStatsRow(tblSummary, 0, QStringLiteral("Before correction"), report.All.Before);
    SetStatsRow(tblSummary, 1, QStringLiteral("After, in-sample"), report.All.After);
    SetStatsRow(tblSummary, 2, QStringLiteral("After, held out (%1)").arg(ValidationText(report.Folds)),
                report.All.CrossValidated);
    tblModels->setSortingEnabled(false);
    tblModels->setRowCount(0);
}

void TfrmPatches::CompareModels() {
    if (!reportShown_) return;
    TCalibrationReport compared;
    RunWithProgress(this, QStringLiteral("Comparing the calibration models"), [&](TJobProgress& progress) {
        compared = ComputeCalibrationReport(measured_, report_.Chart, report_.ColorsOnly, report_.Model, true, &progress);
    });
    report_.Comparison = compared.Comparison;
    tblModels->setSortingEnabled(false);
    tblModels->setRowCount(static_cast<int>(report_.Comparison.size()));
    for (int row = 0; row < tblModels->rowCount(); ++row) {
        const TModelComparison& c = report_.Comparison[static_cast<std::size_t>(row)];
        const QString name = QString::fromStdString(c.Name);
        if (c.Error.empty()) {
            SetStatsRow(tblModels, row, name, c.CrossValidated);
            tblModels->setItem(row, 5, new QTableWidgetItem(QString::fromStdString(c.Details)));
        } else {
            tblModels->setItem(row, 0, new QTableWidgetItem(name));
            tblModels->setItem(
                row, 5, new QTableWidgetItem(QStringLiteral("cannot be fitted: ") + QString::fromStdString(c.Error)));
        }
        if (c.Name == report_.Model) {
            QTableWidgetItem* item = tblModels->item(row, 0);
            QFont bold = item->font();
            bold.setBold(true);
            item->setFont(bold);
            item->setToolTip(QStringLiteral("The model of this calibration"));
        }
    }
    // In the registry's order until a header is clicked.
    tblModels->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    tblModels->setSortingEnabled(true);
}

int TfrmPatches::PatchOfRow(int row) const {
    const QTableWidgetItem* item = tblPatches->item(row, rcPatch);
    return item != nullptr ? item->data(SortRole).toInt() : -1;
}

bool TfrmPatches::RowHighlighted(int row) const {
    const QTableWidgetItem* item = tblPatches->item(row, rcPatch);
    return item != nullptr && item->data(WorstRole).toBool();
}

QColor TfrmPatches::ReportCellColor(int row, int column) const {
    const QTableWidgetItem* item = tblPatches->item(row, column);
    return item != nullptr ? item->data(SwatchRole).value<QColor>() : QColor();
}

void TfrmPatches::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The plain table closes as soon as it loses the focus; the report stays beside the main
    // window, which the user looks at while reading it.
    if (event->type() == QEvent::ActivationChange && !reportShown_ && isVisible() && !isActiveWindow()) close();
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

void ShowPatchReport(const TCalibrationReport& report, const TMeasuredPatches& measured, QWidget* owner) {
    TfrmPatches* form = CreatePatchesWindow(owner);
    form->FillReport(report, measured);
    if (!form->isVisible()) {
        form->resize(form->size().expandedTo(QSize(760, 720)));
        CentreOn(form, owner);
    }
    form->show();
    form->raise();
    form->activateWindow();
}

TfrmPatches* PatchesWindow() { return patchesWindow; }

}  // namespace tintavo
