#pragma once

#include <QApplication>
#include <QEvent>

namespace ui {

// The progress notification: posted to the main window, numbered 1152
// (QEvent::User + 152), carrying the bytes read so far in the current step.
inline constexpr auto kProgressEvent = static_cast<QEvent::Type>(QEvent::User + 152);

class ProgressEvent : public QEvent {
public:
    ProgressEvent(int wParam, long long lParam)
        : QEvent(kProgressEvent), wParam_(wParam), lParam_(lParam) {}
    [[nodiscard]] int wParam() const { return wParam_; }
    [[nodiscard]] long long lParam() const { return lParam_; }

private:
    int wParam_;
    long long lParam_;
};

// The application object. Its notify() is the backstop of the command
// guard: an exception that still reaches the event loop is reported to the
// error handler instead of ending the program.
class SkimletApplication : public QApplication {
public:
    SkimletApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Makes SIGTERM, SIGINT and SIGHUP close every window, as the user closing
// them would (the main window saves its settings), so that the program ends
// normally. The signal only wakes the event loop; the windows close there.
void closeWindowsOnTerminationSignals();

// Processes pending events once (the pump used during network waits).
void processPendingEvents();

}  // namespace ui
