#include "net/IdSocketHandle.h"

#include "net/IdExceptions.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace {

constexpr int kAddressInUse = 10048;

void checkPort(int port) {
    if (port < 0 || port > 65535) throw EIdInvalidPort(port);
}

// The socket address of a dotted IPv4 address (empty: any) and a port.
sockaddr_in makeAddress(const std::string& ip, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (ip.empty()) {
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        return address;
    }
    if (!TIdStack::IsIP(ip)) TIdStack::RaiseSocketError(10049);
    std::uint32_t value = 0;
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t dot = i < 3 ? ip.find('.', start) : ip.size();
        value = value << 8 | static_cast<std::uint32_t>(std::stoi(ip.substr(start, dot - start)));
        start = dot + 1;
    }
    address.sin_addr.s_addr = htonl(value);
    return address;
}

std::string addressText(const sockaddr_in& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

void setBlocking(int fd, bool blocking) {
    const int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
}

}  // namespace

TIdSocketHandle::~TIdSocketHandle() { CloseSocket(); }

void TIdSocketHandle::AllocateSocket(int type, int protocol) {
    CloseSocket();
    handle_ = ::socket(AF_INET, type | SOCK_CLOEXEC, protocol);
    if (handle_ < 0) {
        TIdStack::SetLastError(TIdStack::TranslateErrno(errno));
        throw EIdInvalidSocket();
    }
    allocated_ = true;
}

bool TIdSocketHandle::tryBind(int port, int* error) {
    const sockaddr_in address = makeAddress(IP, port);
    const int rc = ::bind(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (rc == 0) return true;
    *error = TIdStack::TranslateErrno(errno);
    TIdStack::SetLastError(*error);
    return false;
}

void TIdSocketHandle::Bind() {
    checkPort(Port);
    int error = 0;
    if (Port != 0 || (ClientPortMin == 0 && ClientPortMax == 0)) {
        if (!tryBind(Port, &error)) {
            if (error == kAddressInUse) throw EIdCouldNotBindSocket();
            TIdStack::RaiseSocketError(error);
        }
    } else {
        if (ClientPortMax < ClientPortMin || ClientPortMin < 0 || ClientPortMax > 65535)
            throw EIdInvalidPortRange(ClientPortMin, ClientPortMax);
        int port = ClientPortMax;
        while (port >= ClientPortMin && !tryBind(port, &error)) --port;
        if (port < ClientPortMin) throw EIdCanNotBindPortInRange(ClientPortMin, ClientPortMax);
    }
    updateLocal();
}

int TIdSocketHandle::Connect() {
    checkPort(PeerPort);
    const sockaddr_in address = makeAddress(PeerIP, PeerPort);
    int rc;
    do {
        rc = ::connect(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        TIdStack::SetLastError(TIdStack::TranslateErrno(errno));
        return -1;
    }
    updateLocal();
    updatePeer();
    return 0;
}

void TIdSocketHandle::ConnectWithin(int msec) {
    checkPort(PeerPort);
    const sockaddr_in address = makeAddress(PeerIP, PeerPort);
    setBlocking(handle_, false);
    int rc = ::connect(handle_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    int error = rc == 0 ? 0 : errno;
    if (error == EINPROGRESS || error == EINTR) {
        if (!TIdStack::WaitFor(handle_, POLLOUT, msec)) {
            CloseSocket();
            throw EIdConnectTimeout();
        }
        socklen_t size = sizeof error;
        getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &size);
    }
    setBlocking(handle_, true);
    if (error != 0) {
        const int number = TIdStack::TranslateErrno(error);
        TIdStack::SetLastError(number);
        throw EIdConnectException(TIdStack::SocketErrorMessage(number));
    }
    updateLocal();
    updatePeer();
}

bool TIdSocketHandle::Readable(int msec) {
    if (!allocated_) throw EIdConnClosedGracefully();
    return TIdStack::WaitFor(handle_, POLLIN, msec);
}

int TIdSocketHandle::Send(const char* data, std::size_t size) {
    ssize_t n;
    do {
        n = ::send(handle_, data, size, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    if (n < 0) TIdStack::SetLastError(TIdStack::TranslateErrno(errno));
    return n < 0 ? -1 : static_cast<int>(n);
}

int TIdSocketHandle::Recv(char* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = ::recv(handle_, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) TIdStack::SetLastError(TIdStack::TranslateErrno(errno));
    return n < 0 ? -1 : static_cast<int>(n);
}

int TIdSocketHandle::RecvWithin(char* buffer, std::size_t size, int msec) {
    if (!allocated_) throw EIdConnClosedGracefully();
    setReceiveTimeout(msec < 0 ? 0 : std::max(1, msec));
    ssize_t n;
    do {
        n = ::recv(handle_, buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -2;
    TIdStack::SetLastError(TIdStack::TranslateErrno(errno));
    return -1;
}

void TIdSocketHandle::setReceiveTimeout(int msec) {
    if (msec == receiveTimeout_) return;
    timeval limit{};
    limit.tv_sec = msec / 1000;
    limit.tv_usec = (msec % 1000) * 1000;
    TIdStack::CheckForSocketError(setsockopt(handle_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit));
    receiveTimeout_ = msec;
}

void TIdSocketHandle::CloseSocket() {
    if (!allocated_) return;
    allocated_ = false;
    receiveTimeout_ = 0;
    ::shutdown(handle_, SHUT_WR);
    ::close(handle_);
    handle_ = -1;
}

void TIdSocketHandle::Reset() {
    CloseSocket();
    IP.clear();
    Port = 0;
    PeerIP.clear();
    PeerPort = 0;
}

void TIdSocketHandle::SetNoDelay(bool noDelay) {
    const int value = noDelay ? 1 : 0;
    TIdStack::CheckForSocketError(setsockopt(handle_, IPPROTO_TCP, TCP_NODELAY, &value, sizeof value));
}

void TIdSocketHandle::updateLocal() {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        IP = addressText(address);
        Port = ntohs(address.sin_port);
    }
}

void TIdSocketHandle::updatePeer() {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    if (getpeername(handle_, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        PeerIP = addressText(address);
        PeerPort = ntohs(address.sin_port);
    }
}
