#include "ui/CommandGuard.h"

#include <cstdio>
#include <stdexcept>

namespace ui {
namespace {

ExceptionHandler& handlerSlot() {
    static ExceptionHandler handler;
    return handler;
}

int& busyDepth() {
    static int depth = 0;
    return depth;
}

}  // namespace

ExceptionHandler setExceptionHandler(ExceptionHandler handler) {
    auto previous = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return previous;
}

void reportException(const std::exception& error) {
    if (handlerSlot()) {
        // The handler shows a dialog; a failure inside it must not escape.
        try {
            handlerSlot()(error);
            return;
        } catch (...) {
        }
    }
    std::fprintf(stderr, "skimlet: %s\n", error.what());
}

void reportCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        reportException(error);
    } catch (...) {
        reportException(std::runtime_error("Unknown error"));
    }
}

BusyScope::BusyScope() { ++busyDepth(); }
BusyScope::~BusyScope() { --busyDepth(); }
bool BusyScope::busy() { return busyDepth() > 0; }

}  // namespace ui
