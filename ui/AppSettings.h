// What the program remembers between runs besides the tips setting: the recent files, the
// folders the file dialogs last looked in and the calibration model. Stored with QSettings under
// the product's organisation and application names, next to "DoNotShowTips".
#pragma once

#include <QString>
#include <QStringList>

namespace tintavo {

constexpr int MaxRecentFiles = 8;

// Most recent first; files that no longer exist are left out.
QStringList RecentFiles();
// Puts the file first (absolute path), drops an older entry of it, keeps MaxRecentFiles.
void AddRecentFile(const QString& fileName);
void ClearRecentFiles();

// The folder a file dialog of this kind last looked in ("" when none): "Picture", "LutOpen",
// "LutSave".
QString LastFolder(const char* kind);
void SetLastFolder(const char* kind, const QString& folder);

// The calibration model the user chose last (a registered name), or "" when none was chosen or
// the stored name is no registered model.
QString CalibrationModelName();
void SetCalibrationModelName(const QString& name);

}  // namespace tintavo
