#include "ui/Application.h"

#include "ui/CommandGuard.h"

namespace ui {

SkimletApplication::SkimletApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool SkimletApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

void processPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace ui
