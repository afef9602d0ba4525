#include "net/IdStack.h"

#include "net/IdExceptions.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>

namespace {

std::mutex stackLock;
int stackUsage = 0;
std::unique_ptr<TIdStack> stackInstance;
std::function<void()> idleHook;
thread_local int lastSocketError = 0;

struct ErrorRow {
    int number;
    const char* text;
};

constexpr ErrorRow kErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Cannot assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, cannot splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {11001, "Host not found."},
};

// POSIX errno values by meaning onto the numbers of the error texts. EPIPE
// is what Linux reports for a send on a connection whose sending side is
// gone, the meaning of "cannot send after shutdown".
struct ErrnoRow {
    int err;
    int number;
};

constexpr ErrnoRow kErrnoMap[] = {
    {EINTR, 10004}, {EBADF, 10009}, {EACCES, 10013}, {EPERM, 10013},
    {EFAULT, 10014}, {EINVAL, 10022}, {EMFILE, 10024}, {ENFILE, 10024},
    {EWOULDBLOCK, 10035}, {EINPROGRESS, 10036}, {EALREADY, 10037},
    {ENOTSOCK, 10038}, {EDESTADDRREQ, 10039}, {EMSGSIZE, 10040},
    {EPROTOTYPE, 10041}, {ENOPROTOOPT, 10042}, {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EOPNOTSUPP, 10045}, {EPFNOSUPPORT, 10046},
    {EAFNOSUPPORT, 10047}, {EADDRINUSE, 10048}, {EADDRNOTAVAIL, 10049},
    {ENETDOWN, 10050}, {ENETUNREACH, 10051}, {ENETRESET, 10052},
    {ECONNABORTED, 10053}, {ECONNRESET, 10054}, {ENOBUFS, 10055},
    {ENOMEM, 10055}, {EISCONN, 10056}, {ENOTCONN, 10057},
    {ESHUTDOWN, 10058}, {EPIPE, 10058}, {ETOOMANYREFS, 10059},
    {ETIMEDOUT, 10060}, {ECONNREFUSED, 10061}, {ELOOP, 10062},
    {ENAMETOOLONG, 10063}, {EHOSTDOWN, 10064}, {EHOSTUNREACH, 10065},
    {ENOTEMPTY, 10066},
};

// One piece of a dotted address: 1 to 3 decimal digits, value 0 to 255.
bool isAddressByte(std::string_view piece) {
    if (piece.empty() || piece.size() > 3) return false;
    int value = 0;
    for (const char c : piece) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value <= 255;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

void TIdStack::IncUsage() {
    const std::lock_guard guard(stackLock);
    // Linux needs no socket library start-up; the instance still marks the
    // lifetime in which network objects exist.
    if (stackUsage++ == 0) stackInstance.reset(new TIdStack());
}

void TIdStack::DecUsage() {
    const std::lock_guard guard(stackLock);
    if (stackUsage > 0 && --stackUsage == 0) stackInstance.reset();
}

TIdStack* TIdStack::Instance() {
    const std::lock_guard guard(stackLock);
    return stackInstance.get();
}

int TIdStack::UsageCount() {
    const std::lock_guard guard(stackLock);
    return stackUsage;
}

int TIdStack::WSGetLastError() { return lastSocketError; }

void TIdStack::SetLastError(int error) { lastSocketError = error; }

int TIdStack::TranslateErrno(int err) {
    for (const ErrnoRow& row : kErrnoMap) {
        if (row.err == err) return row.number;
    }
    return kUnmappedErrorBase + err;
}

std::string TIdStack::WSTranslateSocketErrorMsg(int error) {
    for (const ErrorRow& row : kErrorTexts) {
        if (row.number == error) return row.text;
    }
    return {};
}

std::string TIdStack::SocketErrorMessage(int error) {
    return "Socket Error # " + std::to_string(error) + "\r\n" + WSTranslateSocketErrorMsg(error);
}

void TIdStack::RaiseSocketError(int error) { throw EIdSocketError(error, SocketErrorMessage(error)); }

int TIdStack::CheckForSocketError(int result, std::initializer_list<int> tolerated) {
    if (result != -1) return result;
    const int error = TranslateErrno(errno);
    SetLastError(error);
    for (const int t : tolerated) {
        if (t == error) return error;
    }
    RaiseSocketError(error);
}

bool TIdStack::IsIP(std::string_view text) {
    for (int i = 0; i < 3; ++i) {
        const std::size_t dot = text.find('.');
        if (dot == std::string_view::npos || !isAddressByte(text.substr(0, dot))) return false;
        text.remove_prefix(dot + 1);
    }
    return isAddressByte(text);
}

std::string TIdStack::ResolveHost(const std::string& host) {
    if (equalsIgnoringCase(host, "localhost")) return "127.0.0.1";
    if (IsIP(host)) return host;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* answer = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &answer);
    if (rc != 0 || answer == nullptr) {
        // Every kind of lookup failure (unknown name, no address, no name
        // server reachable) means the same to the user: no such host.
        const int error = rc == EAI_MEMORY ? 10055 : kHostNotFound;
        SetLastError(error);
        RaiseSocketError(error);
    }
    char text[INET_ADDRSTRLEN] = {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(answer->ai_addr);
    inet_ntop(AF_INET, &address->sin_addr, text, sizeof text);
    freeaddrinfo(answer);
    return text;
}

void TIdStack::SetIdleHook(std::function<void()> hook) { idleHook = std::move(hook); }

bool TIdStack::HasIdleHook() { return static_cast<bool>(idleHook); }

void TIdStack::CallIdleHook() {
    if (idleHook) idleHook();
}

bool TIdStack::WaitFor(int fd, short events, int msec) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(msec < 0 ? 0 : msec);
    for (;;) {
        int slice = -1;
        if (msec >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            slice = static_cast<int>(std::max<long long>(0, left.count()));
        }
        if (HasIdleHook()) {
            CallIdleHook();
            slice = slice < 0 ? kIdleInterval : std::min(slice, kIdleInterval);
        }
        pollfd entry{fd, events, 0};
        const int rc = poll(&entry, 1, slice);
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) CheckForSocketError(-1);
        if (msec >= 0 && Clock::now() >= deadline) return false;
    }
}
