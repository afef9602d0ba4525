#include "app/udmCommand.h"

#include "net/IdStack.h"
#include "ui/Application.h"

#include <ctime>

namespace {

// A monotonic clock of a few milliseconds' resolution, which is plenty for
// spacing pumps and costs a fraction of the precise one: a check run asks
// it for every header line.
std::int64_t coarseMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

void TCommandPump::Pump() {
    if (stopRequested_) throw ERunAborted();
    if (lastPumpMs_ >= 0 && coarseMilliseconds() - lastPumpMs_ < kPumpIntervalMs) return;
    ui::processPendingEvents();
    // Counted from the end of the pump: a slow repaint cannot take the
    // whole command.
    lastPumpMs_ = coarseMilliseconds();
    if (stopRequested_) throw ERunAborted();
}

TCommandPump::TScope::TScope(TCommandPump& pump) : pump_(pump), nested_(pump.active_) {
    if (nested_) return;
    pump_.active_ = true;
    pump_.stopRequested_ = false;
    pump_.lastPumpMs_ = -1;
    TIdStack::SetIdleHook([&pump] { pump.Pump(); });
}

TCommandPump::TScope::~TScope() {
    if (nested_) return;
    TIdStack::SetIdleHook(nullptr);
    pump_.active_ = false;
}
