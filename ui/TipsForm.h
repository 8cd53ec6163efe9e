// TfrmTips: the tips window shown after a picture is opened or pasted, with the per-user
// "Do not show tips" setting (value "DoNotShowTips": 1 = tips off, absent until first changed).
#pragma once

#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QTabWidget;

namespace tintavo {

class TfrmTips : public QWidget {
    Q_OBJECT

public:
    // Reads the setting; raises std::runtime_error when the stored value is not a 32-bit
    // integer ("Invalid data type for 'DoNotShowTips'").
    explicit TfrmTips(QWidget* owner);

    QTabWidget* PageControl = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QCheckBox* cbxDoNotShow = nullptr;

    void cbxDoNotShowClick();

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Creates the tips window on first use; unless forced, does nothing while tips are turned off;
// otherwise shows the page without blocking.
void ShowTips(int page, bool force, QWidget* owner);
// The tips window, or nullptr before its first use.
TfrmTips* TipsWindow();

// The per-user setting (QSettings organisation "vornsoft", application "Tintavo").
constexpr const char* DoNotShowTipsValue = "DoNotShowTips";

}  // namespace tintavo
