#include "UiTestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "picture/Picture.h"
#include "ui/ImageViewer.h"
#include "ui/LutSaveForm.h"
#include "ui/TipsForm.h"
#include "ui/UiSupport.h"

namespace tintavo::test {

TBitmap24 RenderChart(int width, int height, QRect chart, TChartType type) {
    TBitmap24 bitmap;
    bitmap.SetSizeAndFill(width, height, 40);
    const int columns = ChartColumns(type);
    const int rows = ChartRows(type);
    const TLutColor* reference = ChartReference(type);
    auto cast = [](double v, double gain, double offset) {
        const double x = std::clamp(v * gain + offset, 0.0, 1.0);
        return static_cast<std::uint8_t>(std::lround(255.0 * x));
    };
    for (int y = chart.top(); y <= chart.bottom(); ++y) {
        for (int x = chart.left(); x <= chart.right(); ++x) {
            const int column = (x - chart.left()) * columns / chart.width();
            const int row = (y - chart.top()) * rows / chart.height();
            const int cellLeft = chart.left() + column * chart.width() / columns;
            const int cellTop = chart.top() + row * chart.height() / rows;
            if (x - cellLeft < 2 || y - cellTop < 2) {
                bitmap.SetPixel(x, y, 10, 10, 10);
                continue;
            }
            const int index = type == TChartType::Classic ? row * columns + column : column * rows + row;
            const TLutColor& c = reference[index];
            bitmap.SetPixel(x, y, cast(c.R, 0.85, 0.06), cast(c.G, 0.95, 0.02), cast(c.B, 0.8, 0.1));
        }
    }
    return bitmap;
}

void SaveBitmap(const TBitmap24& bitmap, const QString& fileName) {
    SavePicture(QFile::encodeName(fileName).toStdString(), bitmap);
}

TModalAnswers::TModalAnswers() {
    UiHooks::ModalHook = [this](QDialog& dialog) -> int {
        if (auto* box = qobject_cast<QMessageBox*>(&dialog)) {
            BoxTitles.append(box->windowTitle());
            if (box->icon() == QMessageBox::Question) {
                Questions.append(box->text());
                return AnswerYes ? QMessageBox::Yes : QMessageBox::No;
            }
            (box->icon() == QMessageBox::Critical ? Errors : Messages).append(box->text());
            return QMessageBox::Ok;
        }
        if (handlers_.empty()) {
            Unexpected.append(dialog.objectName());
            return QDialog::Rejected;
        }
        auto handler = std::move(handlers_.front());
        handlers_.erase(handlers_.begin());
        return handler(dialog);
    };
}

TModalAnswers::~TModalAnswers() { UiHooks::ModalHook = nullptr; }

void TModalAnswers::QueueFileName(const QString& fileName) {
    Queue([fileName](QDialog& dialog) -> int {
        auto* files = qobject_cast<QFileDialog*>(&dialog);
        if (files == nullptr) return QDialog::Rejected;
        files->selectFile(fileName);
        return QDialog::Accepted;
    });
}

void TModalAnswers::QueueSaveAsDavinciCube(const QString& fileName) {
    Queue([this, fileName](QDialog& d) -> int {
        auto* dialog = qobject_cast<TfrmSaveLut*>(&d);
        if (dialog == nullptr) return QDialog::Rejected;
        dialog->show();
        dialog->cbxOutFormat->setFocus();
        // Typing picks "Cube 3D Iridas, Nuke, AfterEffects"; the next item is the Davinci one.
        QTest::keyClicks(dialog->cbxOutFormat, QStringLiteral("Cube"));
        QTest::keyClick(dialog->cbxOutFormat, Qt::Key_Down);
        if (dialog->cbxOutFormat->currentText() != QStringLiteral("Cube 3D Davinci")) return QDialog::Rejected;
        QueueFileName(fileName);
        QTest::mouseClick(dialog->btnSetLUTFile, Qt::LeftButton);
        QTest::mouseClick(dialog->btnSave, Qt::LeftButton);
        return dialog->result();
    });
}

void Drag(QWidget* widget, QPoint from, QPoint to) {
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    const int steps = 4;
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        QTest::mouseMove(widget, p);
    }
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
}

QImage Grab(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

bool TMainWindowFixture::Start() {
    QSettings(QStringLiteral("vornsoft"), QStringLiteral("Tintavo")).setValue(DoNotShowTipsValue, 1);
    Answers = new TModalAnswers;
    Form = new TfrmMain;
    Form->resize(1100, 800);
    Form->show();
    return QTest::qWaitForWindowExposed(Form);
}

QString TMainWindowFixture::Stop() {
    delete Form;
    Form = nullptr;
    QStringList problems;
    if (Answers != nullptr && !Answers->Unexpected.isEmpty())
        problems << QStringLiteral("unexpected dialogs: ") + Answers->Unexpected.join(',');
    delete Answers;
    Answers = nullptr;
    if (QApplication::overrideCursor() != nullptr) problems << QStringLiteral("a cursor left on");
    return problems.join(QStringLiteral("; "));
}

QPoint TMainWindowFixture::ViewerPoint(int x, int y) const {
    const TImageViewer* v = Form->Viewer();
    return {v->OffsetX() + static_cast<int>(x * v->ScaleX()), v->OffsetY() + static_cast<int>(y * v->ScaleY())};
}

void TMainWindowFixture::SelectArea(QRect area) const {
    Drag(Form->Viewer(), ViewerPoint(area.left(), area.top()), ViewerPoint(area.right(), area.bottom()));
}

}  // namespace tintavo::test
