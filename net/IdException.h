#pragma once

#include <stdexcept>
#include <string>

// Root of every failure the network and message layers raise. The message
// text is what the user sees in the error dialog, so it is kept exactly.
//
// The kinds that callers tell apart have bases of their own below; they are
// virtual bases of the classes that belong to two kinds, so every class that
// derives from one of them gives EIdException its text itself.
class EIdException : public std::runtime_error {
public:
    explicit EIdException(const std::string& message) : std::runtime_error(message), message_(message) {}

    // The whole text, every byte kept: what() ends at a NUL byte, and a
    // text taken from a file or the wire may hold one.
    [[nodiscard]] const std::string& Message() const { return message_; }

private:
    std::string message_;
};

// A text from the wire or from a file that could not be taken apart: an
// address, a number, a date. Header processing raises only these, so a
// header that fails is one catch away from being read leniently.
class EIdParseError : public EIdException {
public:
    using EIdException::EIdException;
};
