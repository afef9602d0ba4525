#pragma once

#include "net/IdTCPConnection.h"

#include <cstddef>
#include <string>
#include <string_view>

// A stream view of a connection for the readers of message parts: reads
// take exact byte counts, writes send the bytes, lines come straight from
// the connection's line reader. It cannot seek.
class TIdTCPStream {
public:
    explicit TIdTCPStream(TIdTCPConnection& connection) : connection_(connection) {}

    // Exactly `count` bytes from the connection.
    [[nodiscard]] std::string Read(int count);
    void Write(std::string_view bytes) { connection_.WriteText(bytes); }
    // One line, terminator LF (a CR before it removed), default limits.
    [[nodiscard]] std::string ReadLine() { return connection_.ReadLine("\n"); }
    [[nodiscard]] TIdTCPConnection& Connection() { return connection_; }

private:
    TIdTCPConnection& connection_;
};
