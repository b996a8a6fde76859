// The desktop program: one main window for the program's whole life.

#include <QScreen>

#include "Application.h"
#include "ProcessSetup.h"
#include "ProgramIcon.h"
#include "StopSignals.h"
#include "UnitFrmMain.h"
#include "UnitGeneral.h"

int main(int argc, char** argv) {
    PrepareProcessForConversions();
    TApplication application(argc, argv);
    QCoreApplication::setApplicationName(TForm1::kApplicationTitle);
    QGuiApplication::setDesktopFileName("tovrela");
    QApplication::setWindowIcon(ProgramIcon());

    TSystemShutdown shutdown;
    TForm1 form(shutdown);
    if (!form.FormCreate()) return 1;
    if (const QScreen* screen = form.screen())
        form.move(screen->availableGeometry().center() - form.rect().center());
    form.show();
    // Files and folders named on the command line ("Open with" of a file
    // manager) are added as a drop adds them, once the window shows.
    if (const QStringList given = QCoreApplication::arguments().mid(1); !given.isEmpty())
        QMetaObject::invokeMethod(&form, [&form, given] { form.AddDropped(given); }, Qt::QueuedConnection);
    // SIGTERM and SIGHUP (a session ending) close the window without asking:
    // the file being converted is finished where it stands.
    TStopSignals stopSignals(
        [&form] { QMetaObject::invokeMethod(&form, [&form] { form.CloseWithoutAsking(); }, Qt::QueuedConnection); });
    return application.exec();
}
