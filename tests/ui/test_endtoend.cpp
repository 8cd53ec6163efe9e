// The whole road as a user takes it: open a chart photograph, drag over the chart, preview,
// save as "Cube 3D Davinci"; the file must be byte for byte what the command-line tool writes
// for the same picture and rectangle.
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "UiTestSupport.h"
#include "ui/ImageViewer.h"
#include "ui/MainForm.h"
#include "ui/TipsForm.h"

using namespace tintavo;

namespace {

QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")).setValue(DoNotShowTipsValue, 1);
    }

    void openSelectPreviewSaveMatchesTheCommandLine_data() {
        QTest::addColumn<QString>("photo");     // empty: a chart rendered here
        QTest::addColumn<QString>("chart");     // "classic" or "sg"
        QTest::addColumn<QRect>("selection");  // in working-image pixels
        const QString samples = QStringLiteral(TINTAVO_SOURCE_DIR "/samples/");
        // The selections of samples/README.md.
        QTest::newRow("samples/classic.jpg") << samples + "classic.jpg" << "classic" << QRect(QPoint(300, 200), QPoint(1200, 800));
        QTest::newRow("samples/sg.jpg") << samples + "sg.jpg" << "sg" << QRect(QPoint(300, 179), QPoint(1200, 821));
        // 1800 x 1200 with the chart at (300, 240)..(1499, 1039): (250, 200)..(1249, 866) once reduced.
        QTest::newRow("rendered") << QString() << "classic" << QRect(QPoint(254, 204), QPoint(1245, 862));
    }

    void openSelectPreviewSaveMatchesTheCommandLine() {
#ifndef TINTAVO_CLI
        QSKIP("the command-line tool is not part of this build");
#else
        QFETCH(QString, photo);
        QFETCH(QString, chart);
        QFETCH(QRect, selection);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        if (photo.isEmpty()) {
            photo = dir.filePath(QStringLiteral("chart photo.jpg"));
            test::SaveBitmap(test::RenderChart(1800, 1200, QRect(300, 240, 1200, 800), TChartType::Classic), photo);
        } else if (!QFile::exists(photo)) {
            QSKIP("sample photograph missing");
        }
        const QString saved = dir.filePath(QStringLiteral("window.cube"));
        const QString reference = dir.filePath(QStringLiteral("cli.cube"));

        test::TModalAnswers answers;
        TfrmMain form;
        form.resize(1200, 860);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        answers.QueueFileName(photo);
        QTest::mouseClick(form.findChild<QPushButton*>("sbnOpenCalibrationImage"), Qt::LeftButton);
        QCOMPARE(form.WorkBitmap().Width(), 1500);
        if (chart == QStringLiteral("sg"))
            QTest::mouseClick(form.findChild<QWidget*>("rbnColorCheckerSG"), Qt::LeftButton);

        // Drag over the patch grid, from its top-left to its bottom-right corner.
        TImageViewer* viewer = form.Viewer();
        auto toViewer = [&](QPoint p) {
            return QPoint(viewer->OffsetX() + int(std::lround(p.x() * viewer->ScaleX())),
                          viewer->OffsetY() + int(std::lround(p.y() * viewer->ScaleY())));
        };
        test::Drag(viewer, toViewer(selection.topLeft()), toViewer(selection.bottomRight()));
        QVERIFY(viewer->HasSelection());
        // The window hands the calibration the rectangle in working-image pixels (to within
        // the display's resolution).
        QVERIFY(qAbs(viewer->ImageX1() - selection.left()) <= 2);
        QVERIFY(qAbs(viewer->ImageY2() - selection.bottom()) <= 2);
        QTest::mouseClick(form.findChild<QPushButton*>("sbnPreview"), Qt::LeftButton);
        QVERIFY2(answers.Errors.isEmpty(), qPrintable(answers.Errors.join('\n')));
        QVERIFY(form.PreviewDone());

        answers.QueueSaveAsDavinciCube(saved);
        QTest::mouseClick(form.findChild<QPushButton*>("sbnSave3DLutFile"), Qt::LeftButton);
        QCOMPARE(answers.Pending(), 0);
        QVERIFY2(answers.Errors.isEmpty(), qPrintable(answers.Errors.join('\n')));
        QCOMPARE(answers.Messages.size(), 1);
        QVERIFY(QFile::exists(saved));

        const QString rect = QStringLiteral("%1,%2,%3,%4")
                                 .arg(viewer->ImageX1())
                                 .arg(viewer->ImageY1())
                                 .arg(viewer->ImageX2())
                                 .arg(viewer->ImageY2());
        QProcess cli;
        cli.start(QStringLiteral(TINTAVO_CLI),
                  {QStringLiteral("calibrate"), photo, QStringLiteral("--chart"), chart, QStringLiteral("--rect"), rect,
                   QStringLiteral("--profile"), QStringLiteral("Cube 3D Davinci"), QStringLiteral("-o"), reference});
        QVERIFY(cli.waitForFinished(60000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
        const QByteArray ours = ReadAll(saved);
        QVERIFY(ours.contains("LUT_3D_SIZE 33"));
        QCOMPARE(ours, ReadAll(reference));
#endif
    }
};

QTEST_MAIN(EndToEndTest)
#include "test_endtoend.moc"
