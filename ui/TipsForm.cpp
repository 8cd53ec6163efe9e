#include "ui/TipsForm.h"

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSettings>
#include <QTabWidget>
#include <QVBoxLayout>
#include <stdexcept>

#include "ui/ProdInfo.h"
#include "ui/UiSupport.h"

namespace tintavo {

namespace {

QPointer<TfrmTips> tipsWindow;

QSettings OpenSettingsKey() {
    const TProductInfo& info = ProductInfo();
    return QSettings(info.SettingsOrganization, info.SettingsApplication);
}

QPlainTextEdit* MakeMemo(QWidget* parent, const char* name, const QStringList& lines) {
    auto* memo = new QPlainTextEdit(parent);
    memo->setObjectName(QString::fromLatin1(name));
    memo->setReadOnly(true);
    memo->setFrameShape(QFrame::NoFrame);
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(10);
    memo->setFont(font);
    memo->setPlainText(lines.join(QLatin1Char('\n')));
    return memo;
}

}  // namespace

TfrmTips::TfrmTips(QWidget* owner) : QWidget(owner, Qt::Tool) {
    setObjectName(QStringLiteral("frmTips"));
    setWindowTitle(QStringLiteral("Tips"));
    resize(643, 385);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    const QString selectLine = QStringLiteral(
        "To select an image region, please press the left mouse button down over the image, move the mouse ");
    auto* tabSheet1 = new QWidget;
    tabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* sheet1Layout = new QVBoxLayout(tabSheet1);
    Memo1 = MakeMemo(tabSheet1, "Memo1",
                     {QStringLiteral("Please select the ColorShecker region."), QString(), selectLine,
                      QStringLiteral("and release the button.")});
    sheet1Layout->addWidget(Memo1);
    auto* tabSheet3 = new QWidget;
    tabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    auto* sheet3Layout = new QVBoxLayout(tabSheet3);
    Memo2 = MakeMemo(tabSheet3, "Memo2",
                     {selectLine, QStringLiteral("and release the button."), QString(),
                      QStringLiteral("To deselect, just left click on the image.")});
    sheet3Layout->addWidget(Memo2);
    PageControl->addTab(tabSheet1, QStringLiteral("ColorChecker region"));
    PageControl->addTab(tabSheet3, QStringLiteral("How to select an image region"));
    layout->addWidget(PageControl, 1);

    auto* bottom = new QWidget(this);
    bottom->setObjectName(QStringLiteral("Panel1"));
    auto* bottomLayout = new QHBoxLayout(bottom);
    cbxDoNotShow = new QCheckBox(QStringLiteral("Do not show tips"), bottom);
    cbxDoNotShow->setObjectName(QStringLiteral("cbxDoNotShow"));
    bottomLayout->addWidget(cbxDoNotShow);
    bottomLayout->addStretch(1);
    layout->addWidget(bottom);

    // FormCreate: take over the stored setting, if there is one.
    QSettings settings = OpenSettingsKey();
    if (settings.contains(QLatin1String(DoNotShowTipsValue))) {
        const QVariant value = settings.value(QLatin1String(DoNotShowTipsValue));
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok || value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QByteArray)
            throw std::runtime_error("Invalid data type for 'DoNotShowTips'");
        cbxDoNotShow->setChecked(number != 0);
    }
    connect(cbxDoNotShow, &QCheckBox::clicked, this, &TfrmTips::cbxDoNotShowClick);
}

void TfrmTips::cbxDoNotShowClick() {
    QSettings settings = OpenSettingsKey();
    settings.setValue(QLatin1String(DoNotShowTipsValue), cbxDoNotShow->isChecked() ? 1 : 0);
    settings.sync();
}

void TfrmTips::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The tips go away as soon as the user turns to another window.
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow()) hide();
}

void TfrmTips::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void ShowTips(int page, bool force, QWidget* owner) {
    if (tipsWindow.isNull()) tipsWindow = new TfrmTips(owner != nullptr ? owner->window() : nullptr);
    if (!force && tipsWindow->cbxDoNotShow->isChecked()) return;
    tipsWindow->PageControl->setCurrentIndex(page);
    if (!tipsWindow->isVisible()) CentreOn(tipsWindow, owner);
    tipsWindow->show();
    tipsWindow->raise();
    tipsWindow->activateWindow();
}

TfrmTips* TipsWindow() { return tipsWindow; }

}  // namespace tintavo
