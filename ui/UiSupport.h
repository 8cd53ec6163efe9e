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
class QWidget;

namespace tintavo {

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
}  // namespace UiHooks

// Runs the dialog modally (or through UiHooks::ModalHook) and returns its result.
int ExecModal(QDialog& dialog);

// The error box: the message of a failed command. The window stays usable.
void ShowErrorBox(QWidget* parent, const QString& message);
// A plain message box.
void ShowMessageBox(QWidget* parent, const QString& message);

// Asks the desktop shell to open the address (the default browser for web addresses).
void OpenUrl(const QUrl& url);

// Runs `command`; an exception that escapes it is shown in the error box. Returns false then.
bool RunCommand(QWidget* parent, const std::function<void()>& command);

// Centres a tool window on its owner's window, kept on the owner's screen.
void CentreOn(QWidget* window, QWidget* owner);

}  // namespace tintavo
