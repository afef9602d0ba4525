#pragma once

#include "net/IdException.h"

#include <cstdint>
#include <string>

// The failures of the socket layer and of the TCP connection. Each class
// carries its fixed text so that callers can catch by kind and show the
// message unchanged.

// A failure that the application may pass over without a dialog.
class EIdSilentException : public virtual EIdException {
public:
    explicit EIdSilentException(const std::string& message) : EIdException(message) {}

protected:
    // For a class that is also of another kind and names the text itself.
    EIdSilentException() : EIdException(std::string()) {}
};

// The connection failed or is gone: a socket call failed, the peer closed
// it, or it was closed here. A caller that may open a new connection and
// try again catches this kind.
class EIdConnectionLost : public virtual EIdException {
protected:
    EIdConnectionLost() : EIdException(std::string()) {}
};

// The peer has closed the connection and nothing buffered is left to read.
class EIdConnClosedGracefully : public EIdSilentException, public EIdConnectionLost {
public:
    EIdConnClosedGracefully() : EIdException("Connection Closed Gracefully.") {}
};

// A failed socket call: "Socket Error # %d\r\n%s" with the error's text.
class EIdSocketError : public EIdConnectionLost {
public:
    EIdSocketError(int error, const std::string& message) : EIdException(message), error_(error) {}
    [[nodiscard]] int LastError() const { return error_; }

private:
    int error_;
};

class EIdInvalidSocket : public EIdException {
public:
    EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

class EIdCouldNotBindSocket : public EIdException {
public:
    EIdCouldNotBindSocket()
        : EIdException("Could not bind socket. Address and port are already in use.") {}
};

class EIdInvalidPortRange : public EIdException {
public:
    EIdInvalidPortRange(int min, int max)
        : EIdException("Invalid Port Range (" + std::to_string(min) + " - " + std::to_string(max) + ")") {}
};

class EIdCanNotBindPortInRange : public EIdException {
public:
    EIdCanNotBindPortInRange(int min, int max)
        : EIdException("Can not bind in port range (" + std::to_string(min) + " - " + std::to_string(max) +
                       ")") {}
};

// A port outside what a 16-bit port field holds (a server port must also not
// be 0); refused before any connect, since the conversion would otherwise
// wrap it silently onto another port (65646 onto 110).
class EIdInvalidPort : public EIdException {
public:
    explicit EIdInvalidPort(std::int64_t port) : EIdException("Invalid port number " + std::to_string(port) + ".") {}
};

class EIdConnectTimeout : public EIdException {
public:
    EIdConnectTimeout() : EIdException("Connect timed out.") {}
};

// A connect with a time limit failed; the message is that of the failure.
class EIdConnectException : public EIdException {
public:
    using EIdException::EIdException;
};

// The transport was asked to send or receive after its socket was closed.
class EIdClosedSocket : public EIdConnectionLost {
public:
    EIdClosedSocket() : EIdException("Disconnected.") {}
};

class EIdAlreadyConnected : public EIdException {
public:
    EIdAlreadyConnected() : EIdException("Already connected.") {}
};

class EIdNotConnected : public EIdConnectionLost {
public:
    EIdNotConnected() : EIdException("Not Connected") {}
};

class EIdReadTimeout : public EIdException {
public:
    EIdReadTimeout() : EIdException("Read Timeout") {}
};

class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
    EIdReadLnMaxLineLengthExceeded() : EIdException("Max line length exceeded.") {}
};

class EIdObjectTypeNotSupported : public EIdException {
public:
    EIdObjectTypeNotSupported() : EIdException("Object type not supported.") {}
};

class EIdNotEnoughDataInBuffer : public EIdException {
public:
    EIdNotEnoughDataInBuffer() : EIdException("Not enough data in buffer.") {}
};

// The server answered with a code the command does not allow; the message
// is the reply text, every line followed by CR LF.
class EIdProtocolReplyError : public EIdException {
public:
    EIdProtocolReplyError(int code, const std::string& message) : EIdException(message), code_(code) {}
    [[nodiscard]] int ReplyErrorCode() const { return code_; }

private:
    int code_;
};

// A line to send as a command holds CR or LF, which would let its text end
// the command early and start another one on the server.
class EIdLineBreakInCommand : public EIdException {
public:
    EIdLineBreakInCommand() : EIdException("A command line must not contain CR or LF.") {}
};

// A multi-line read gathered more than its limit; stops a hostile or broken
// server from filling memory with a listing that never ends.
class EIdReadLinesLimitExceeded : public EIdException {
public:
    explicit EIdReadLinesLimitExceeded(std::int64_t limit)
        : EIdException("Multi-line reply exceeds the limit of " + std::to_string(limit) + " bytes.") {}
};
