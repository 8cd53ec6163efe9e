#include "ui/AppSettings.h"

#include <QFileInfo>
#include <QSettings>

#include "engine/CalibrationModel.h"
#include "ui/ProdInfo.h"

namespace tintavo {

namespace {

const QString RecentKey = QStringLiteral("RecentFiles");
const QString ModelKey = QStringLiteral("CalibrationModel");

QSettings Store() {
    const TProductInfo& info = ProductInfo();
    return QSettings(info.SettingsOrganization, info.SettingsApplication);
}

QString FolderKey(const char* kind) { return QStringLiteral("LastFolder/") + QLatin1String(kind); }

}  // namespace

QStringList RecentFiles() {
    QStringList files;
    for (const QString& file : Store().value(RecentKey).toStringList())
        if (QFileInfo::exists(file) && files.size() < MaxRecentFiles) files << file;
    return files;
}

void AddRecentFile(const QString& fileName) {
    const QString path = QFileInfo(fileName).absoluteFilePath();
    QStringList files = Store().value(RecentKey).toStringList();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > MaxRecentFiles) files.removeLast();
    QSettings settings = Store();
    settings.setValue(RecentKey, files);
}

void ClearRecentFiles() {
    QSettings settings = Store();
    settings.remove(RecentKey);
}

QString LastFolder(const char* kind) { return Store().value(FolderKey(kind)).toString(); }

void SetLastFolder(const char* kind, const QString& folder) {
    QSettings settings = Store();
    settings.setValue(FolderKey(kind), folder);
}

QString CalibrationModelName() {
    const QString stored = Store().value(ModelKey).toString();
    for (const TCalibrationModelEntry& entry : CalibrationModels())
        if (SameModelName(entry.Name, stored.toStdString())) return QString::fromLatin1(entry.Name);
    return {};
}

void SetCalibrationModelName(const QString& name) {
    QSettings settings = Store();
    settings.setValue(ModelKey, name);
}

}  // namespace tintavo
