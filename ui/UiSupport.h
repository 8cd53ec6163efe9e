// Small pieces every window of the program shares: the hourglass cursor, the error and message
// boxes, running a modal dialog, and opening addresses in the desktop's browser.
//
// The modal steps go through hooks so that tests can answer them without blocking: a test sets
// ModalHook (called instead of exec()) and reads the boxes' texts from the dialogs it is given.
#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QDialog;
class QProgressDialog;
class QWidget;

namespace tintavo {

class TJobProgress;

// Shows the hourglass cursor for the lifetime of the object; the cursor comes back on every
// path out of a command, also when an exception passes.
class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

namespace UiHooks {
// When set, modal dialogs (message boxes, file dialogs, the Save LUT dialog, the About box) are
// handed to this function instead of being executed; its result is taken as the dialog's.
extern std::function<int(QDialog&)> ModalHook;
// When set, addresses are handed to this function instead of the desktop shell.
extern std::function<void(const QUrl&)> OpenUrlHook;
// When set, called with every progress dialog of RunWithProgress right after it is made (before
// it shows), so that a test can watch it or press its Cancel button.
extern std::function<void(QProgressDialog&)> ProgressHook;
}  // namespace UiHooks

// Runs the dialog modally (or through UiHooks::ModalHook) and returns its result.
int ExecModal(QDialog& dialog);

// The error box: the message of a failed command. The window stays usable.
void ShowErrorBox(QWidget* parent, const QString& message);
// A plain message box.
void ShowMessageBox(QWidget* parent, const QString& message);

// A question with Yes and No (No is the default); true for Yes.
bool AskYesNo(QWidget* parent, const QString& question);

// Runs `job` on a worker thread while this thread keeps handling events, with a progress dialog
// (shown after a short moment) whose Cancel button cancels the job through its TJobProgress.
// An exception of the job is raised again here, on the calling thread; a cancelled job raises
// ECancelled. The job must not touch widgets.
void RunWithProgress(QWidget* parent, const QString& label, const std::function<void(TJobProgress&)>& job);

// Asks the desktop shell to open the address (the default browser for web addresses).
void OpenUrl(const QUrl& url);

// Runs `command`; an exception that escapes it is shown in the error box. Returns false then
// (also for a job the user cancelled, which shows nothing).
bool RunCommand(QWidget* parent, const std::function<void()>& command);

// Centres a tool window on its owner's window, kept on the owner's screen.
void CentreOn(QWidget* window, QWidget* owner);

}  // namespace tintavo
