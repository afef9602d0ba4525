#pragma once

#include "net/IdException.h"

#include <string>

// The message of the EIdException that `action` raises, or "no exception".
template <typename Action>
std::string messageOf(Action&& action) {
    try {
        action();
    } catch (const EIdException& e) {
        return e.what();
    }
    return "no exception";
}
