// The Save LUT dialog: the profile list, the size box, the file choice and the writing.
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QToolButton>
#include <memory>

#include "UiTestSupport.h"
#include "common/FileIO.h"
#include "engine/CalibrationExport.h"
#include "formats/LUTFormat.h"
#include "formats/LutExport.h"
#include "ui/LutSaveForm.h"
#include "ui/UiSupport.h"

using namespace tintavo;

namespace {

const QStringList ThreeDProfiles = {
    "3DL Scratch, Autodesk, Blackmagic, Cine-tal",
    "3DL Fusion",
    "Autodesk Lustre 3D",
    "Clipster 3D",
    "Codex 3D",
    "Colorfront OSD 3D",
    "Cube 3D Iridas, Nuke, AfterEffects",
    "Cube 3D Davinci",
    "Cube 3D Truelight",
    "Davinci DAT 3D",
    "Dolby DD3",
    "FSI CFE (Flanders Scientific) 3D",
    "FSI DIT (Flanders Scientific) 3D",
    "Nucoda 3D",
    "Luther 3D",
    "Pandora 3D, Apple 3D m3d",
    "PixelFarm PFClean 3D",
    "Quantel 3D",
    "Technicolor 3D mga",
};

QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

}  // namespace

class SaveDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    std::unique_ptr<TLUT> lut;
    std::unique_ptr<TCalibrationMapping> mapping;
    TfrmSaveLut* dialog = nullptr;
    test::TModalAnswers* answers = nullptr;

    void SelectProfile(const QString& name) {
        const int index = dialog->cbxOutFormat->findText(name);
        QVERIFY(index >= 0);
        dialog->cbxOutFormat->setCurrentIndex(index);
        dialog->cbxOutFormatChange();
    }
    void ChooseFile(const QString& fileName) {
        answers->QueueFileName(fileName);
        QTest::mouseClick(dialog->btnSetLUTFile, Qt::LeftButton);
        QCOMPARE(answers->Pending(), 0);
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        // A real calibration of a rendered chart, as the main window would hand it over.
        const QRect area(40, 30, 600, 400);
        const TBitmap24 image = test::RenderChart(700, 480, area, TChartType::Classic);
        lut = std::make_unique<TLUT>();
        lut->LutKind = lk3D;
        lut->Size3D = 33;
        TMeasuredPatches measured;
        mapping = Calibrate(image, TSelection{area.left(), area.top(), area.right(), area.bottom()},
                            TChartType::Classic, true, *lut, measured);
    }
    void init() {
        answers = new test::TModalAnswers;
        dialog = new TfrmSaveLut(*lut, mapping.get());
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
    }
    void cleanup() {
        delete dialog;
        dialog = nullptr;
        QVERIFY2(answers->Unexpected.isEmpty(), qPrintable(answers->Unexpected.join(',')));
        delete answers;
        answers = nullptr;
    }

    void listsTheNineteen3DProfilesInOrder() {
        QStringList names;
        for (int i = 0; i < dialog->cbxOutFormat->count(); ++i) names << dialog->cbxOutFormat->itemText(i);
        QCOMPARE(names, ThreeDProfiles);
        QCOMPARE(dialog->cbxOutFormat->currentIndex(), -1);
        QVERIFY(dialog->cbxOutFormat->isEnabled());
        QVERIFY(!dialog->btnSetLUTFile->isEnabled());
        QVERIFY(!dialog->edtLUTFile->isEnabled());
        QVERIFY(!dialog->cbxDimSize->isEnabled());
        QVERIFY(!dialog->cbxBits->isEnabled());
        QVERIFY(!dialog->btnSave->isEnabled());
        QCOMPARE(dialog->cbxDimSize->currentText(), QStringLiteral("Default"));
        QCOMPARE(dialog->cbxBits->currentText(), QStringLiteral("Default"));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Save LUT file"));
    }

    void sizeIsSelectableOnlyWhereTheProfileAllows() {
        SelectProfile("Cube 3D Iridas, Nuke, AfterEffects");
        QVERIFY(!dialog->cbxDimSize->isEnabled());
        QCOMPARE(dialog->cbxDimSize->currentText(), QStringLiteral("Default"));
        QVERIFY(!dialog->cbxBits->isEnabled());
        QVERIFY(dialog->btnSetLUTFile->isEnabled());
        QCOMPARE(dialog->ResolvedSize(), 32);

        SelectProfile("Cube 3D Davinci");
        QVERIFY(dialog->cbxDimSize->isEnabled());
        QStringList items;
        for (int i = 0; i < dialog->cbxDimSize->count(); ++i) items << dialog->cbxDimSize->itemText(i);
        QCOMPARE(items, (QStringList{"Default", "17", "32", "33", "64"}));
        QCOMPARE(dialog->ResolvedSize(), 33);
        QCOMPARE(dialog->ResolvedBits(), 0);
        SelectProfile("Dolby DD3");
        QCOMPARE(dialog->ResolvedBits(), 12);
    }

    void sizeBoxTakesAtMostFiveDigits() {
        SelectProfile("Nucoda 3D");
        QLineEdit* edit = dialog->cbxDimSize->lineEdit();
        // Typed keys go to the box, which hands them on to its edit field.
        dialog->cbxDimSize->setFocus();
        QTest::keyClicks(dialog->cbxDimSize, "65");
        QCOMPARE(edit->text(), QStringLiteral("65"));
        QCOMPARE(dialog->ResolvedSize(), 65);
        QTest::keyClicks(dialog->cbxDimSize, "x1234");
        QCOMPARE(edit->text(), QStringLiteral("65123"));

        edit->clear();
        QTest::keyClicks(edit, "1a2-3 45.6");
        QCOMPARE(edit->text(), QStringLiteral("12345"));  // letters ignored, sixth digit ignored

        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("1234"));

        // Delete on "Default" empties the box; so does Backspace.
        dialog->cbxDimSize->setCurrentIndex(0);
        dialog->cbxDimSize->setEditText("Default");
        QTest::keyClick(edit, Qt::Key_Delete);
        QCOMPARE(edit->text(), QString());
        dialog->cbxDimSize->setEditText("Default");
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QString());

        // A list item can still be chosen.
        dialog->cbxDimSize->setCurrentIndex(4);
        QCOMPARE(dialog->ResolvedSize(), 64);
    }

    void fileDialogOffersOnlyTheProfile() {
        SelectProfile("Nucoda 3D");
        QStringList filters;
        QString suffix;
        bool confirm = true;
        answers->Queue([&](QDialog& d) {
            auto& files = static_cast<QFileDialog&>(d);
            filters = files.nameFilters();
            suffix = files.defaultSuffix();
            confirm = !files.testOption(QFileDialog::DontConfirmOverwrite);
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(dialog->btnSetLUTFile, Qt::LeftButton);
        QCOMPARE(filters, QStringList{QStringLiteral("Nucoda 3D (*.cms)")});
        QCOMPARE(suffix, QStringLiteral("cms"));
        QVERIFY(!confirm);
        // Cancelled: nothing changes.
        QVERIFY(dialog->edtLUTFile->text().isEmpty());
        QVERIFY(!dialog->btnSave->isEnabled());
    }

    void extensionFollowsTheProfileAndFolderIsRemembered() {
        TfrmSaveLut::LastLutFolder.clear();
        SelectProfile("Cube 3D Iridas, Nuke, AfterEffects");
        const QString sub = dir.filePath("luts");
        QVERIFY(QDir().mkpath(sub));
        ChooseFile(sub + "/a.cube");
        QCOMPARE(dialog->edtLUTFile->text(), sub + "/a.cube");
        QVERIFY(dialog->btnSave->isEnabled());
        QCOMPARE(TfrmSaveLut::LastLutFolder, sub);

        SelectProfile("Nucoda 3D");
        QCOMPARE(dialog->edtLUTFile->text(), sub + "/a.cms");
        QVERIFY(dialog->btnSave->isEnabled());
        SelectProfile("Technicolor 3D mga");
        QCOMPARE(dialog->edtLUTFile->text(), sub + "/a.mga");
        QCOMPARE(ChangeFileExt("/x.y/name", "cube"), QStringLiteral("/x.y/name.cube"));

        // A later opening of the dialog starts in the same folder.
        delete dialog;
        dialog = new TfrmSaveLut(*lut, mapping.get());
        SelectProfile("Cube 3D Davinci");
        QString startFolder;
        answers->Queue([&](QDialog& d) {
            startFolder = static_cast<QFileDialog&>(d).directory().absolutePath();
            return int(QDialog::Rejected);
        });
        QTest::mouseClick(dialog->btnSetLUTFile, Qt::LeftButton);
        QCOMPARE(startFolder, sub);
    }

    void saveWritesTheTableOfTheResolvedSize() {
        SelectProfile("Cube 3D Davinci");
        const QString file = dir.filePath("davinci.cube");
        ChooseFile(file);
        dialog->cbxDimSize->setCurrentIndex(1);  // 17
        QVERIFY(dialog->btnSaveClick());
        QCOMPARE(answers->Messages.size(), 1);
        QVERIFY(answers->Messages.first().contains(file));
        QCOMPARE(dialog->result(), int(QDialog::Accepted));

        // The same as the calibration evaluated on a 17-point grid and written directly.
        auto expected = std::make_unique<TLUT>();
        TabulateCalibration(*mapping, 17, *expected);
        const QString reference = dir.filePath("reference.cube");
        SaveThroughProfile(*GetOutputProfile(7), *expected, 0, reference.toStdString());
        QCOMPARE(ReadAll(file), ReadAll(reference));
        QVERIFY(ReadAll(file).contains("LUT_3D_SIZE 17"));
    }

    void sizesOutsideTheTableAreRefused() {
        SelectProfile("Nucoda 3D");
        const QString file = dir.filePath("refused.cms");
        ChooseFile(file);
        for (const char* typed : {"1", "102", "99999"}) {
            dialog->cbxDimSize->setEditText(QString::fromLatin1(typed));
            QVERIFY(!dialog->btnSaveClick());
        }
        dialog->cbxDimSize->setEditText(QString());
        QVERIFY(!dialog->btnSaveClick());
        QCOMPARE(answers->Messages.size(), 4);
        QVERIFY(answers->Messages.first().contains("2 to 101"));
        QVERIFY(!QFile::exists(file));
        dialog->cbxDimSize->setEditText("101");
        QVERIFY(dialog->btnSaveClick());
        QVERIFY(QFile::exists(file));
    }

    void writeErrorKeepsTheDialogOpen() {
        SelectProfile("Davinci DAT 3D");
        const QString file = dir.filePath("no-such-folder/x.dat");
        answers->QueueFileName(file);
        QTest::mouseClick(dialog->btnSetLUTFile, Qt::LeftButton);
        QCOMPARE(dialog->edtLUTFile->text(), file);
        QTest::mouseClick(dialog->btnSave, Qt::LeftButton);
        QCOMPARE(answers->Errors.size(), 1);
        QVERIFY(answers->Errors.first().contains("no-such-folder"));
        QVERIFY(answers->Messages.isEmpty());
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->cbxOutFormat->currentText(), QStringLiteral("Davinci DAT 3D"));
        QCOMPARE(dialog->edtLUTFile->text(), file);
        QVERIFY(dialog->btnSave->isEnabled());
    }

    void enterDoesNothingUntilAFileIsChosen() {
        SelectProfile("Davinci DAT 3D");
        QTest::keyClick(dialog, Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        QVERIFY(answers->Messages.isEmpty() && answers->Errors.isEmpty());
        QTest::keyClick(dialog, Qt::Key_Escape);
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
    }

    void tabOrderFollowsTheFieldsThenTheButtons() {
        // The keyboard path: format, its file ("..."), size, bits, Save, Cancel; the read-only
        // file name is skipped.
        QList<QWidget*> order;
        QWidget* w = dialog->cbxOutFormat;
        do {
            if ((w->focusPolicy() & Qt::TabFocus) && w->window() == dialog && !w->isHidden() &&
                w->focusProxy() == nullptr)
                order << w;
            w = w->nextInFocusChain();
        } while (w != dialog->cbxOutFormat && order.size() < 20);
        const QList<QWidget*> expected{dialog->cbxOutFormat, dialog->btnSetLUTFile, dialog->cbxDimSize,
                                       dialog->cbxBits,      dialog->btnSave,       dialog->btnCancel};
        QCOMPARE(order.mid(0, expected.size()), expected);
    }

    void replacingAFileAsksFirst() {
        SelectProfile("Cube 3D Davinci");
        const QString file = dir.filePath("existing.cube");
        {
            QFile existing(file);
            QVERIFY(existing.open(QIODevice::WriteOnly));
            existing.write("keep me\n");
        }
        ChooseFile(file);
        // No: nothing written, the dialog stays with its choices.
        answers->AnswerYes = false;
        QVERIFY(!dialog->btnSaveClick());
        QCOMPARE(answers->Questions.size(), 1);
        QVERIFY(answers->Questions.first().contains(file));
        QCOMPARE(ReadAll(file), QByteArray("keep me\n"));
        QVERIFY(answers->Messages.isEmpty());
        QVERIFY(dialog->btnSave->isEnabled());
        // Yes: replaced.
        answers->AnswerYes = true;
        QVERIFY(dialog->btnSaveClick());
        QCOMPARE(answers->Questions.size(), 2);
        QVERIFY(ReadAll(file).contains("LUT_3D_SIZE 33"));
        // A new file is written without a question.
        delete dialog;
        dialog = new TfrmSaveLut(*lut, mapping.get());
        SelectProfile("Cube 3D Davinci");
        ChooseFile(dir.filePath("new.cube"));
        QVERIFY(dialog->btnSaveClick());
        QCOMPARE(answers->Questions.size(), 2);
        // Every box carries the product title, nothing appended.
        for (const QString& title : answers->BoxTitles) QCOMPARE(title, QStringLiteral("Vorn Tintavo"));
    }

    void largeSavesRunBesideTheEventLoopAndCanBeCancelled() {
        SelectProfile("Nucoda 3D");
        const QString file = dir.filePath("large.cms");
        ChooseFile(file);
        dialog->cbxDimSize->setEditText("101");

        // While the 101-point table is computed and written, this thread keeps serving timers.
        QTimer tick;
        tick.setInterval(10);
        int ticks = 0;
        qint64 longestGap = 0;
        QElapsedTimer sinceTick;
        connect(&tick, &QTimer::timeout, [&] {
            if (sinceTick.isValid()) longestGap = std::max(longestGap, sinceTick.restart());
            else sinceTick.start();
            ++ticks;
        });
        int progressDialogs = 0;
        UiHooks::ProgressHook = [&](QProgressDialog&) { ++progressDialogs; };
        tick.start();
        QVERIFY(dialog->btnSaveClick());
        tick.stop();
        UiHooks::ProgressHook = nullptr;
        qInfo("save at 101 points: %d timer ticks, longest event-loop gap %lld ms", ticks, longestGap);
        QCOMPARE(progressDialogs, 1);
        QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
        QVERIFY(ReadAll(file).startsWith("NUCODA_3D_CUBE") || ReadAll(file).contains("101"));

        // Cancelled while it works: no file, no error, no success message, the dialog stays.
        delete dialog;
        dialog = new TfrmSaveLut(*lut, mapping.get());
        dialog->show();
        SelectProfile("Nucoda 3D");
        const QString cancelled = dir.filePath("cancelled.cms");
        ChooseFile(cancelled);
        dialog->cbxDimSize->setEditText("101");
        // Cancelled as the job starts, as the progress dialog's Cancel button does: a 101-point
        // save may now finish before the dialog would show, so a click on it could come too late.
        bool pressed = false;
        UiHooks::ProgressHook = [&pressed](QProgressDialog& progress) {
            pressed = true;
            progress.cancel();
        };
        const int messages = answers->Messages.size();
        QVERIFY(!dialog->btnSaveClick());
        UiHooks::ProgressHook = nullptr;
        QVERIFY(pressed);
        QVERIFY(!QFile::exists(cancelled));
        QVERIFY(answers->Errors.isEmpty());
        QCOMPARE(answers->Messages.size(), messages);
        QVERIFY(dialog->isVisible());
        QVERIFY(dialog->btnSave->isEnabled());
        QCOMPARE(QDir(dir.path()).entryList({"*.tmp*", ".*cancelled*"}, QDir::Files | QDir::Hidden), QStringList());
    }
};

QTEST_MAIN(SaveDialogTest)
#include "test_savedialog.moc"
