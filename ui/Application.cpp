#include "ui/Application.h"

#include "ui/CommandGuard.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

namespace ui {
namespace {

int signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe.
extern "C" void onTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

void drainSignalPipe() {
    char buffer[64];
    while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

SkimletApplication::SkimletApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool SkimletApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        reportCurrentException();
        return false;
    }
}

void closeWindowsOnTerminationSignals() {
    if (signalPipe[0] >= 0) return;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("skimlet: signals end the program at once");
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        drainSignalPipe();
        QApplication::closeAllWindows();
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void processPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

}  // namespace ui
