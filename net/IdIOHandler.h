#pragma once

#include "net/IdComponent.h"

#include <cstddef>
#include <string>

// The transport of a connection: opens, connects, waits for data, sends,
// receives and closes.
class TIdIOHandler : public TIdComponent {
public:
    // Prepares a fresh socket for the next connect.
    virtual void Open() = 0;
    virtual void Close() = 0;
    // Whether the transport holds an open socket.
    [[nodiscard]] virtual bool Connected() = 0;
    // Connects to `host`:`port` after binding to `boundIP`:`boundPort`
    // (empty and 0 for any); `timeout` in milliseconds, -1 or 0 for none.
    virtual void ConnectClient(const std::string& host, int port, const std::string& boundIP, int boundPort,
                               int boundPortMin, int boundPortMax, int timeout) = 0;
    // Whether data (or the end of the stream) arrives within `msec` (-1: no
    // limit).
    [[nodiscard]] virtual bool Readable(int msec) = 0;
    // Byte count, 0 when the peer has closed, -1 on failure (the error in
    // TIdStack::WSGetLastError()). Raise EIdClosedSocket when not connected.
    virtual int Send(const char* data, std::size_t size) = 0;
    virtual int Recv(char* buffer, std::size_t size) = 0;
    // Waits up to `msec` (-1: no limit) for data and receives it: a byte
    // count as Recv, or kRecvTimedOut when nothing arrived in time. It never
    // runs the idle hook: the connection does, between waits, where a hook
    // that closes the connection cannot pull the transport from under it.
    static constexpr int kRecvTimedOut = -2;
    virtual int RecvWithin(char* buffer, std::size_t size, int msec) = 0;
};
