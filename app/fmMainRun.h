#pragma once

// What the main window's network commands share while they wait on a
// server: the scope that lets the transport's waits pump the window, and the
// silent failure that ends a command whose window was closed meanwhile.
#include "net/IdExceptions.h"
#include "net/IdStack.h"

#include <functional>
#include <utility>

// Ends a check run or a deletion whose window was closed while it waited.
class ERunAborted : public EIdSilentException {
public:
    ERunAborted() : EIdException("Check run ended.") {}
};

// Marks a network command under way and lets the transport's waits pump the
// window through the idle hook, for as long as it lives. A scope opened
// inside another (the refill after a deletion) leaves the outer one in
// charge: the hook and the flags stay until the outer scope ends.
class TRunScope {
public:
    TRunScope(bool& active, bool& aborted, std::function<void()> pump) : active_(active), nested_(active) {
        if (nested_) return;
        active_ = true;
        aborted = false;
        TIdStack::SetIdleHook(std::move(pump));
    }
    ~TRunScope() {
        if (nested_) return;
        TIdStack::SetIdleHook(nullptr);
        active_ = false;
    }
    TRunScope(const TRunScope&) = delete;
    TRunScope& operator=(const TRunScope&) = delete;

private:
    bool& active_;
    const bool nested_;
};
