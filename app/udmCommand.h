#pragma once

#include "net/IdExceptions.h"

#include <cstdint>

// A network command of the main window (a check run, a deletion, a
// download) waits on the server on the window's own thread. This is what
// such commands share: whether one is under way, the user's wish to stop it
// (Stop, Esc, closing the window), and the pump that keeps the window alive
// while the transport waits.

// Ends a command that the user stopped while it waited; nobody is told.
class ERunAborted : public EIdSilentException {
public:
    ERunAborted() : EIdException("Check run ended.") {}
};

class TCommandPump {
public:
    // Whether a command is under way.
    [[nodiscard]] bool Active() const { return active_; }
    // The command under way ends at its next pump; nothing happens when
    // none is.
    void RequestStop() {
        if (active_) stopRequested_ = true;
    }
    [[nodiscard]] bool StopRequested() const { return stopRequested_; }

    // Lets pending events run, at most every kPumpIntervalMs; throws
    // ERunAborted when a stop was asked for, before and after.
    void Pump();

    // Marks a command under way for as long as it lives and lets the
    // transport's waits pump the window. A scope opened inside another (the
    // refill after a deletion) leaves the outer one in charge.
    class TScope {
    public:
        explicit TScope(TCommandPump& pump);
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        TCommandPump& pump_;
        const bool nested_;
    };

    // Pending events run at most this often while a command waits: 20
    // repaints a second keep the window live, and each pump repaints the
    // progress bar, which costs more than reading a header.
    static constexpr std::int64_t kPumpIntervalMs = 50;

private:
    bool active_ = false;
    bool stopRequested_ = false;
    // When pending events last ran (coarse monotonic milliseconds), or -1.
    std::int64_t lastPumpMs_ = -1;
};
