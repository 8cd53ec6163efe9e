// Program entry of the desktop program: unit initialisation, the main window, the hidden
// Patches window, and the message loop. An image path given on the command line is opened at
// start as if chosen with Open.
#include <QApplication>
#include <QTimer>

#include "app/ProdInfo.h"
#include "engine/Calibration.h"
#include "formats/LUTFormat.h"
#include "ui/MainForm.h"
#include "ui/PatchesForm.h"

int main(int argc, char* argv[]) {
    using namespace tintavo;
    // Unit initialisation: chart reference tables, the format registry, the product record.
    (void)ChartReference(TChartType::Classic);
    (void)LutFormats();
    const TProductInfo& info = InitProductInfo();

    QApplication application(argc, argv);
    QApplication::setOrganizationName(info.SettingsOrganization);
    QApplication::setApplicationName(info.SettingsApplication);

    TfrmMain mainForm;
    CreatePatchesWindow(&mainForm);
    mainForm.showMaximized();

    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString picture = arguments.at(1);
        QTimer::singleShot(0, &mainForm, [&mainForm, picture] { mainForm.OpenPicture(picture); });
    }
    return QApplication::exec();
}
