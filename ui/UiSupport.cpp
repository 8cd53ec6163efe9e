#include "ui/UiSupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QEventLoop>
#include <QMessageBox>
#include <QProgressDialog>
#include <QRect>
#include <QScreen>
#include <QTimer>
#include <atomic>
#include <exception>
#include <limits>
#include <thread>

#include "common/Progress.h"
#include "engine/Calibration.h"
#include "ui/ProdInfo.h"

namespace tintavo {

namespace UiHooks {
std::function<int(QDialog&)> ModalHook;
std::function<void(const QUrl&)> OpenUrlHook;
std::function<void(QProgressDialog&)> ProgressHook;
}  // namespace UiHooks

TWaitCursor::TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

TWaitCursor::~TWaitCursor() { QApplication::restoreOverrideCursor(); }

int ExecModal(QDialog& dialog) {
    if (UiHooks::ModalHook) return UiHooks::ModalHook(dialog);
    return dialog.exec();
}

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& message) {
    QMessageBox box(icon, ProductInfo().ProductTitle, message, QMessageBox::Ok, parent);
    box.setObjectName(icon == QMessageBox::Critical ? QStringLiteral("ErrorBox") : QStringLiteral("MessageBox"));
    ExecModal(box);
}

}  // namespace

void ShowErrorBox(QWidget* parent, const QString& message) { ShowBox(parent, QMessageBox::Critical, message); }

void ShowMessageBox(QWidget* parent, const QString& message) {
    ShowBox(parent, QMessageBox::Information, message);
}

bool AskYesNo(QWidget* parent, const QString& question) {
    QMessageBox box(QMessageBox::Question, ProductInfo().ProductTitle, question, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setObjectName(QStringLiteral("QuestionBox"));
    box.setDefaultButton(QMessageBox::No);
    return ExecModal(box) == QMessageBox::Yes;
}

namespace {
constexpr int ProgressDialogDelay = 300;  // ms before the progress dialog shows
}  // namespace

void RunWithProgress(QWidget* parent, const QString& label, const std::function<void(TJobProgress&)>& job) {
    constexpr int Steps = 1000;
    TJobProgress progress;
    std::atomic<bool> finished{false};
    std::exception_ptr failure;
    QProgressDialog dialog(label, QStringLiteral("Cancel"), 0, Steps, parent);
    dialog.setObjectName(QStringLiteral("ProgressDialog"));
    dialog.setWindowTitle(ProductInfo().ProductTitle);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumWidth(360);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setMinimumDuration(std::numeric_limits<int>::max());  // shown below, not by setValue
    dialog.setValue(0);
    QObject::connect(&dialog, &QProgressDialog::canceled, [&progress] { progress.Cancel(); });
    if (UiHooks::ProgressHook) UiHooks::ProgressHook(dialog);

    std::thread worker([&] {
        try {
            job(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        finished.store(true, std::memory_order_release);
    });
    // The window keeps handling events (painting, the Cancel button) while the worker runs. For
    // the first moment only painting and timers: a quick job never flashes a dialog, and no
    // click can start a second command meanwhile. Then the dialog shows and takes the input.
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (finished.load(std::memory_order_acquire)) {
            loop.quit();
            return;
        }
        if (dialog.wasCanceled()) progress.Cancel();
        if (!progress.Cancelled()) dialog.setValue(static_cast<int>(progress.Fraction() * (Steps - 1)));
    });
    poll.start();
    QTimer::singleShot(ProgressDialogDelay, &loop, [&] {
        if (!finished.load(std::memory_order_acquire)) loop.exit(1);
    });
    if (!finished.load(std::memory_order_acquire) && loop.exec(QEventLoop::ExcludeUserInputEvents) == 1) {
        dialog.show();
        loop.exec();
    }
    poll.stop();
    worker.join();
    dialog.reset();
    if (failure) std::rethrow_exception(failure);
    // A cancel that came after the job's last check changes nothing: the job is done.
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
    } catch (const ECancelled&) {
        // The user stopped it; nothing to report.
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
