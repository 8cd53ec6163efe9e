// Program entry of the desktop program: unit initialisation, the main window, the hidden
// Patches window, and the message loop. A picture given on the command line is opened at start
// as if chosen with Open; a LUT file is shown in the window's LUT preview.
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

#include "engine/ColorCheckersData.h"
#include "formats/LUTFormat.h"
#include "picture/PictureCodecs.h"
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
        // The desktop entry hands over pictures and LUT files alike. A file that is not named as
        // a picture goes to the window's LUT preview (a slot, so that this file does not depend
        // on when the window gains it); a window without one opens it as a picture, which
        // reports what it cannot read.
        const QString file = arguments.at(1);
        const bool picture = PictureCodecForFileName(QFile::encodeName(file).toStdString()) != nullptr;
        QTimer::singleShot(0, &mainForm, [&mainForm, file, picture] {
            if (picture || mainForm.metaObject()->indexOfMethod("OpenLutFile(QString)") < 0 ||
                !QMetaObject::invokeMethod(&mainForm, "OpenLutFile", Q_ARG(QString, file)))
                mainForm.OpenPicture(file);
        });
    }
    return QApplication::exec();
}
