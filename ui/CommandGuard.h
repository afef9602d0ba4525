#pragma once

#include <exception>
#include <functional>
#include <utility>

// Exceptions never unwind through Qt: every command handler runs inside
// runGuarded(), which hands any failure to the application's error handler
// (the main window's evException) and returns normally.
namespace ui {

using ExceptionHandler = std::function<void(const std::exception&)>;

// Installs the handler that shows errors; returns the previous one.
ExceptionHandler setExceptionHandler(ExceptionHandler handler);

// Hands an exception to the installed handler (or writes it to stderr when
// none is installed yet).
void reportException(const std::exception& error);

// Reports the exception currently being handled; for catch (...) blocks.
void reportCurrentException();

// Runs `command`; an exception it throws is reported, never propagated.
template <class F>
void runGuarded(F&& command) noexcept {
    try {
        std::forward<F>(command)();
    } catch (...) {
        reportCurrentException();
    }
}

// Wraps a handler for QObject::connect so that it runs guarded.
template <class F>
auto guarded(F command) {
    return [command = std::move(command)](auto&&...) mutable { runGuarded(command); };
}

// Marks a blocking operation that pumps events. Commands that talk to the
// server check busy() first, so a click during the pump cannot start a
// second conversation on top of the first.
class BusyScope {
public:
    BusyScope();
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

    [[nodiscard]] static bool busy();
};

}  // namespace ui
