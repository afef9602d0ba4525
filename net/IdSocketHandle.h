#pragma once

#include "net/IdStack.h"

#include <cstddef>
#include <string>

// One IPv4 socket with its local and peer address. The address fields are
// set before Bind and Connect and read back from the system after them.
class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    // Closes any socket held, then creates a new one. Raises EIdInvalidSocket.
    void AllocateSocket(int type, int protocol = 0);
    // Binds to IP (empty: any) and Port, or to the first free port of the
    // range ClientPortMax down to ClientPortMin when a range is set and Port
    // is 0. Raises EIdCouldNotBindSocket, EIdInvalidPortRange,
    // EIdCanNotBindPortInRange or EIdSocketError.
    void Bind();
    // Connects to PeerIP:PeerPort; returns the result of the system call
    // (0, or -1 with the error in TIdStack::WSGetLastError()).
    int Connect();
    // Connects within `msec` milliseconds (non-blocking connect and a wait);
    // raises EIdConnectTimeout after closing the socket, or
    // EIdConnectException with the failure's message.
    void ConnectWithin(int msec);
    // Whether data (or the end of the stream) can be read within `msec`
    // milliseconds (-1: no limit). Raises EIdConnClosedGracefully when no
    // socket is allocated.
    [[nodiscard]] bool Readable(int msec = -1);
    // The system's send (without SIGPIPE) and recv: byte count, 0 at the
    // end of the stream, -1 on failure with the error recorded.
    int Send(const char* data, std::size_t size);
    int Recv(char* buffer, std::size_t size);
    // Receives, waiting up to `msec` milliseconds (-1: no limit) for data:
    // a byte count as Recv, or -2 when nothing arrived in time. The wait is
    // the blocking receive itself, bounded by a receive time-out, so a reply
    // costs one system call rather than a poll and a receive.
    int RecvWithin(char* buffer, std::size_t size, int msec);
    // Shuts down the sending direction, then closes; nothing when none.
    void CloseSocket();
    // Forgets the socket's addresses (the handle must be closed).
    void Reset();
    // Switches Nagle's algorithm off (true) or on.
    void SetNoDelay(bool noDelay);

private:
    // Sets SO_RCVTIMEO when it differs from the one in force (0: none).
    void setReceiveTimeout(int msec);
    int receiveTimeout_ = 0;
public:

    [[nodiscard]] bool HandleAllocated() const { return allocated_; }
    [[nodiscard]] int Handle() const { return handle_; }

    std::string IP;
    int Port = 0;
    int ClientPortMin = 0;
    int ClientPortMax = 0;
    std::string PeerIP;
    int PeerPort = 0;

private:
    bool tryBind(int port, int* error);
    void updateLocal();
    void updatePeer();

    TIdStackUsage stack_;
    int handle_ = -1;
    bool allocated_ = false;
};
