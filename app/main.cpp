// Dorvanelle: the viewer's entry point.
#include <QApplication>

#include "app/AppIcon.h"
#include "app/DorvanelleApp.h"
#include "document/ProgramNames.h"
#include "io/TemporaryFile.h"
#include "views/UnwaitedThreads.h"
#include "views/UserDialogs.h"

namespace {

// The viewer from start to the end of its event loop; its windows, documents and the
// application object have gone when it returns.
int RunViewer(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kProgramName));
    QApplication::setOrganizationName(QString::fromLatin1(kOrganisationName));
    QApplication::setApplicationVersion(QStringLiteral(DORVANELLE_VERSION));
    // Ties the windows to the installed desktop entry (its icon and name in task bars).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.davovadivir.Dorvanelle"));
    QApplication::setWindowIcon(AppIcon());
    CQtUserDialogs dialogs;
    CDorvanelleApp app(dialogs);
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    if (!app.InitInstance(arguments)) return 1;
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    // A save interrupted by Ctrl+C or a TERM signal leaves no temporary file.
    InstallTemporaryFileCleanup();
    // A range pass or header walk still running does not hold up the end.
    return EndWithoutWaiting(RunViewer(argc, argv));
}
