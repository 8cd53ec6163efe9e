#include "ui/UiSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <QRect>
#include <QScreen>
#include <exception>

#include "engine/Calibration.h"

namespace tintavo {

namespace UiHooks {
std::function<int(QDialog&)> ModalHook;
std::function<void(const QUrl&)> OpenUrlHook;
}  // namespace UiHooks

TWaitCursor::TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

TWaitCursor::~TWaitCursor() { QApplication::restoreOverrideCursor(); }

int ExecModal(QDialog& dialog) {
    if (UiHooks::ModalHook) return UiHooks::ModalHook(dialog);
    return dialog.exec();
}

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& message) {
    QMessageBox box(icon, QApplication::applicationDisplayName(), message, QMessageBox::Ok, parent);
    box.setObjectName(icon == QMessageBox::Critical ? QStringLiteral("ErrorBox") : QStringLiteral("MessageBox"));
    ExecModal(box);
}

}  // namespace

void ShowErrorBox(QWidget* parent, const QString& message) { ShowBox(parent, QMessageBox::Critical, message); }

void ShowMessageBox(QWidget* parent, const QString& message) {
    ShowBox(parent, QMessageBox::Information, message);
}

void OpenUrl(const QUrl& url) {
    if (UiHooks::OpenUrlHook) {
        UiHooks::OpenUrlHook(url);
        return;
    }
    QDesktopServices::openUrl(url);
}

bool RunCommand(QWidget* parent, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const ECalibrationError& e) {
        // A fit the selection made impossible: the message and what to do about it.
        ShowErrorBox(parent, QString::fromLocal8Bit(e.UserMessage("\n\n")));
    } catch (const std::exception& e) {
        ShowErrorBox(parent, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(parent, QStringLiteral("Unknown error"));
    }
    return false;
}

void CentreOn(QWidget* window, QWidget* owner) {
    if (owner == nullptr) return;
    const QRect area = owner->window()->frameGeometry();
    QPoint topLeft = area.center() - QPoint(window->width() / 2, window->height() / 2);
    // Kept on the screen when the owner is smaller than the window.
    if (const QScreen* screen = owner->screen()) {
        const QRect available = screen->availableGeometry();
        topLeft.setX(qBound(available.left(), topLeft.x(), qMax(available.left(), available.right() - window->width())));
        topLeft.setY(qBound(available.top(), topLeft.y(), qMax(available.top(), available.bottom() - window->height())));
    }
    window->move(topLeft);
}

}  // namespace tintavo
