#pragma once

#include <stdexcept>
#include <string>

// Root of every failure the network and message layers raise. The message
// text is what the user sees in the error dialog, so it is kept exactly.
class EIdException : public std::runtime_error {
public:
    explicit EIdException(const std::string& message) : std::runtime_error(message) {}

    [[nodiscard]] std::string Message() const { return what(); }
};
