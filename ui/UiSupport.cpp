#include "ui/UiSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QMessageBox>
#include <exception>

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
    } catch (const std::exception& e) {
        ShowErrorBox(parent, QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(parent, QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace tintavo
