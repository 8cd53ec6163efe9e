// The tips window and its per-user setting, the About box and the Patches window.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/About.h"
#include "ui/PatchesForm.h"
#include "ui/ProdInfo.h"
#include "ui/TipsForm.h"
#include "ui/UiSupport.h"

using namespace tintavo;

namespace {

QSettings Settings() { return QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")); }

}  // namespace

class SmallFormsTest : public QObject {
    Q_OBJECT

private:
    QWidget* owner = nullptr;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init() {
        Settings().clear();
        owner = new QWidget;  // the tips and patches windows live as long as their owner
        owner->resize(800, 600);
        owner->show();
    }
    void cleanup() {
        delete owner;
        owner = nullptr;
        Settings().clear();
        UiHooks::OpenUrlHook = nullptr;
    }

    void tipsShowFirstPageUntilTurnedOff() {
        ShowTips(0, false, owner);
        TfrmTips* tips = TipsWindow();
        QVERIFY(tips != nullptr);
        QVERIFY(tips->isVisible());
        QCOMPARE(tips->PageControl->currentIndex(), 0);
        QCOMPARE(tips->PageControl->tabText(1), QStringLiteral("How to select an image region"));
        QVERIFY(tips->Memo1->toPlainText().startsWith(QStringLiteral("Please select the ColorShecker region.\n\n")));
        QVERIFY(tips->Memo2->toPlainText().endsWith(QStringLiteral("To deselect, just left click on the image.")));
        QVERIFY(!Settings().contains(DoNotShowTipsValue));  // absent until the box is clicked

        QTest::mouseClick(tips->cbxDoNotShow, Qt::LeftButton);
        QVERIFY(tips->cbxDoNotShow->isChecked());
        QCOMPARE(Settings().value(DoNotShowTipsValue).toInt(), 1);
        tips->hide();
        ShowTips(0, false, owner);
        QVERIFY(!tips->isVisible());
        ShowTips(1, true, owner);  // forced: shown all the same
        QVERIFY(tips->isVisible());
        QCOMPARE(tips->PageControl->currentIndex(), 1);

        QTest::keyClick(tips, Qt::Key_Escape);
        QVERIFY(!tips->isVisible());
        QTest::mouseClick(tips->cbxDoNotShow, Qt::LeftButton);
        QCOMPARE(Settings().value(DoNotShowTipsValue).toInt(), 0);
    }

    void settingPersistsIntoTheNextRun() {
        Settings().setValue(DoNotShowTipsValue, 1);
        ShowTips(0, false, owner);  // a new window (new owner): reads the stored value
        QVERIFY(TipsWindow() != nullptr);
        QVERIFY(TipsWindow()->cbxDoNotShow->isChecked());
        QVERIFY(!TipsWindow()->isVisible());
    }

    void storedValueOfWrongTypeIsAnError() {
        Settings().setValue(DoNotShowTipsValue, QStringLiteral("yes please"));
        Settings().sync();
        QString message;
        try {
            ShowTips(0, false, owner);
        } catch (const std::exception& e) {
            message = QString::fromUtf8(e.what());
        }
        QCOMPARE(message, QStringLiteral("Invalid data type for 'DoNotShowTips'"));
        QVERIFY(TipsWindow() == nullptr);
        // Through a command the message reaches the error box and the program goes on.
        test::TModalAnswers answers;
        QVERIFY(!RunCommand(owner, [&] { ShowTips(0, false, owner); }));
        QCOMPARE(answers.Errors, QStringList{QStringLiteral("Invalid data type for 'DoNotShowTips'")});
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    void aboutShowsTheRecordAndOpensLinks() {
        const TProductInfo& info = ProductInfo();
        TAboutForm about(info);
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.lblProduct->text(), QStringLiteral("Vorn Tintavo"));
        QCOMPARE(about.lblVersion->text(), QStringLiteral("Version: 1.00"));
        QCOMPARE(about.lblSite->text(), info.WebSite);
        QVERIFY(!about.Label2->isHidden());
        QList<QUrl> opened;
        UiHooks::OpenUrlHook = [&](const QUrl& url) { opened << url; };
        about.show();
        QTest::mouseClick(about.lblSite, Qt::LeftButton);
        QTest::mouseClick(about.lblMail, Qt::LeftButton);
        QCOMPARE(opened, (QList<QUrl>{QUrl(info.WebSite), QUrl(info.ContactPage)}));
        QCOMPARE(QUrl(info.WebSite).host(), QStringLiteral("www.example.com"));
        QTest::mouseClick(about.btnClose, Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }

    void aboutShrinksLongTitlesAndHidesEmptyContact() {
        TProductInfo info = ProductInfo();
        info.ProductTitle = QStringLiteral("A Product Title Much Too Long For The Box");
        info.ContactPage.clear();
        TAboutForm about(info);
        QVERIFY(about.lblProduct->font().pointSize() < 20);
        QVERIFY(about.lblProduct->sizeHint().width() <= 260);
        // One point larger would not fit.
        QFont larger = about.lblProduct->font();
        larger.setPointSize(larger.pointSize() + 1);
        QVERIFY(QFontMetrics(larger).horizontalAdvance(info.ProductTitle) > 260 - 4 ||
                QFontMetrics(larger).height() > 35);
        QVERIFY(about.Label2->isHidden());

        TAboutForm normal(ProductInfo());
        QCOMPARE(normal.lblProduct->font().pointSize(), 20);
    }

    void patchesTableRows() {
        TLutColor measured[140];
        for (int i = 0; i < 140; ++i) measured[i] = {i / 139.0, 0.5, 1.0 - i / 139.0};
        const TLutColor* reference = ChartReference(TChartType::DigitalSG);
        ShowPatches(measured, reference, 140, owner);
        TfrmPatches* patches = PatchesWindow();
        QVERIFY(patches != nullptr);
        QVERIFY(patches->isVisible());
        QCOMPARE(patches->StringGrid1->columnCount(), 4);
        QCOMPARE(patches->StringGrid1->rowCount(), 141);
        QCOMPARE(patches->StringGrid1->item(139, 2)->text(), QStringLiteral("139"));
        // 0.5 * 255 = 127.5 rounds to the even 128.
        QCOMPARE(patches->StringGrid1->item(0, 0)->text(), QString::number(0 + 256 * 128 + 65536 * 255));
        QCOMPARE(patches->CellColor(0, 0), QColor(0, 128, 255));
        QCOMPARE(patches->CellColor(5, 1),
                 QColor(ChannelTo8Bit(reference[5].R), ChannelTo8Bit(reference[5].G), ChannelTo8Bit(reference[5].B)));
        QVERIFY(!patches->CellColor(140, 0).isValid());
        QVERIFY(!patches->CellColor(3, 2).isValid());

        ShowPatches(measured, ChartReference(TChartType::Classic), 24, owner);
        QCOMPARE(PatchesWindow(), patches);  // reused
        QCOMPARE(patches->StringGrid1->rowCount(), 25);
        QVERIFY(patches->StringGrid1->item(30, 0) == nullptr);
    }
};

QTEST_MAIN(SmallFormsTest)
#include "test_smallforms.moc"
