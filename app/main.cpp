// Program entry of the desktop program: unit initialisation, the main window, the hidden
// Patches window, and the message loop. An image path given on the command line is opened at
// start as if chosen with Open.
#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include "engine/ColorCheckersData.h"
#include "formats/LUTFormat.h"
#include "ui/MainForm.h"
#include "ui/PatchesForm.h"
#include "ui/ProdInfo.h"

int main(int argc, char* argv[]) {
    using namespace tintavo;
    // Unit initialisation: chart reference tables, the format registry, the product record.
    (void)Charts();
    (void)LutFormats();
    const TProductInfo& info = InitProductInfo();

    QApplication application(argc, argv);
    QApplication::setOrganizationName(info.SettingsOrganization);
    QApplication::setApplicationName(info.SettingsApplication);

    // The application icon: a small ColorChecker Classic.
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    {
        QPainter painter(&icon);
        const QPixmap chart = ChartPicture(TChartType::Classic, 4);
        painter.drawPixmap((32 - chart.width()) / 2, (32 - chart.height()) / 2, chart);
    }
    QApplication::setWindowIcon(QIcon(icon));

    TfrmMain mainForm;
    CreatePatchesWindow(&mainForm);
    // A normal geometry inside the screen (for un-maximising, and for desktops that do not
    // maximise windows), then maximised.
    mainForm.PlaceOnScreen();
    mainForm.showMaximized();

    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1) {
        const QString picture = arguments.at(1);
        QTimer::singleShot(0, &mainForm, [&mainForm, picture] { mainForm.OpenPicture(picture); });
    }
    return QApplication::exec();
}
