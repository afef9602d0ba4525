#include "app/fmMain.h"
#include "message/IdTempFiles.h"
#include "ui/Application.h"

#include <QIcon>

int main(int argc, char** argv) {
    // Attachment files of a run that crashed go now; this run's own folder
    // goes at exit.
    RemoveStaleAttachmentFolders();
    ui::SkimletApplication application(argc, argv);
    // The desktop entry and the icon of an installed program.
    QGuiApplication::setDesktopFileName(QStringLiteral(SKIMLET_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("skimlet")));
    ui::closeWindowsOnTerminationSignals();
    Tfmain fmain;
    fmain.show();
    return application.exec();
}
