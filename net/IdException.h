#pragma once

#include <stdexcept>
#include <string>

// Root of every failure the network and message layers raise. The message
// text is what the user sees in the error dialog, so it is kept exactly.
class EIdException : public std::runtime_error {
public:
    explicit EIdException(const std::string& message) : std::runtime_error(message), message_(message) {}

    // The whole text, every byte kept: what() ends at a NUL byte, and a
    // text taken from a file or the wire may hold one.
    [[nodiscard]] const std::string& Message() const { return message_; }

private:
    std::string message_;
};
