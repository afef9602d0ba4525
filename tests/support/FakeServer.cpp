#include "FakeServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

// One accepted connection with the bytes received but not yet split into
// lines.
struct FakeServer::Session {
    int fd = -1;
    std::string pending;

    void closeSocket() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

FakeServer::FakeServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error(std::string("FakeServer cannot listen: ") + std::strerror(errno));
    port_ = ntohs(address.sin_port);
    int wake[2];
    if (pipe2(wake, O_CLOEXEC) != 0) throw std::runtime_error("FakeServer cannot create its wake pipe");
    wakeRead_ = wake[0];
    wakeWrite_ = wake[1];
}

FakeServer::~FakeServer() {
    if (thread_.joinable()) {
        const char stop = 'x';
        [[maybe_unused]] const auto n = ::write(wakeWrite_, &stop, 1);
        thread_.join();
    }
    ::close(listener_);
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

FakeServer& FakeServer::add(Step step) {
    steps_.push_back(std::move(step));
    return *this;
}

FakeServer& FakeServer::send(std::string bytes) {
    return add([this, bytes = std::move(bytes)](Session& s) {
        if (s.fd < 0) return problem("send after the connection was closed");
        std::size_t done = 0;
        while (done < bytes.size()) {
            waitWritable(s.fd);
            const ssize_t n = ::send(s.fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) return problem("send failed: " + std::string(std::strerror(errno)));
            done += static_cast<std::size_t>(n);
        }
    });
}

FakeServer& FakeServer::sendSlowly(std::string bytes, std::chrono::milliseconds gap) {
    for (const char c : bytes) {
        send(std::string(1, c));
        pause(gap);
    }
    return *this;
}

FakeServer& FakeServer::expect(std::string line) {
    return add([this, line = std::move(line)](Session& s) {
        std::string got;
        if (!readLine(s, got)) return problem("expected '" + line + "', connection closed");
        if (got != line) problem("expected '" + line + "', got '" + got + "'");
    });
}

FakeServer& FakeServer::receive(int count) {
    return add([this, count](Session& s) {
        std::string got;
        for (int i = 0; i < count; ++i) {
            if (!readLine(s, got)) return problem("expected a line, connection closed");
        }
    });
}

FakeServer& FakeServer::exchange(std::string line, std::string reply) {
    return expect(std::move(line)).send(std::move(reply));
}

FakeServer& FakeServer::pause(std::chrono::milliseconds duration) {
    return add([this, duration](Session&) { waitReadable(-1, static_cast<int>(duration.count())); });
}

FakeServer& FakeServer::stall() {
    return add([this](Session&) { waitReadable(-1, -1); });
}

FakeServer& FakeServer::close() {
    return add([](Session& s) { s.closeSocket(); });
}

FakeServer& FakeServer::halfClose() {
    return add([](Session& s) { ::shutdown(s.fd, SHUT_WR); });
}

FakeServer& FakeServer::reset() {
    return add([](Session& s) {
        const linger abortive{1, 0};
        setsockopt(s.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        s.closeSocket();
    });
}

FakeServer& FakeServer::nextConnection() {
    return add([this](Session& s) { accept(s); });
}

FakeServer& FakeServer::custom(std::function<void(int fd)> step) {
    return add([step = std::move(step)](Session& s) { step(s.fd); });
}

FakeServer& FakeServer::start() {
    thread_ = std::thread([this] { run(); });
    return *this;
}

bool FakeServer::waitDone(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return doneChanged_.wait_for(lock, limit, [this] { return done_; });
}

std::vector<std::string> FakeServer::lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> FakeServer::waitAndLines() {
    if (!waitDone()) problem("server script did not finish in time");
    return lines();
}

std::vector<std::string> FakeServer::problems() const {
    const std::lock_guard lock(mutex_);
    return problems_;
}

int FakeServer::connections() const {
    const std::lock_guard lock(mutex_);
    return connections_;
}

void FakeServer::run() {
    Session session;
    try {
        accept(session);
        for (const Step& step : steps_) step(session);
        std::string line;
        while (session.fd >= 0 && readLine(session, line)) {
        }
    } catch (const Stopped&) {
    }
    session.closeSocket();
    const std::lock_guard lock(mutex_);
    done_ = true;
    doneChanged_.notify_all();
}

void FakeServer::accept(Session& session) {
    session.closeSocket();
    session.pending.clear();
    waitReadable(listener_, -1);
    session.fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (session.fd < 0) return problem("accept failed");
    const int yes = 1;
    setsockopt(session.fd, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    const std::lock_guard lock(mutex_);
    ++connections_;
}

void FakeServer::waitReadable(int fd, int msec) {
    pollfd entries[2] = {{wakeRead_, POLLIN, 0}, {fd, POLLIN, 0}};
    const int rc = poll(entries, fd >= 0 ? 2 : 1, msec);
    if (rc > 0 && entries[0].revents != 0) throw Stopped{};
}

void FakeServer::waitWritable(int fd) {
    pollfd entries[2] = {{wakeRead_, POLLIN, 0}, {fd, POLLOUT, 0}};
    poll(entries, 2, -1);
    if (entries[0].revents != 0) throw Stopped{};
}

bool FakeServer::readLine(Session& s, std::string& line) {
    for (;;) {
        const std::size_t lf = s.pending.find('\n');
        if (lf != std::string::npos) {
            line = s.pending.substr(0, lf > 0 && s.pending[lf - 1] == '\r' ? lf - 1 : lf);
            s.pending.erase(0, lf + 1);
            record(line);
            return true;
        }
        if (s.fd < 0) return false;
        waitReadable(s.fd, -1);
        char chunk[4096];
        const ssize_t n = ::recv(s.fd, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (!s.pending.empty()) record(std::exchange(s.pending, {}));
            s.closeSocket();
            return false;
        }
        s.pending.append(chunk, static_cast<std::size_t>(n));
    }
}

void FakeServer::record(std::string line) {
    const std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
}

void FakeServer::problem(std::string text) {
    const std::lock_guard lock(mutex_);
    problems_.push_back(std::move(text));
}
