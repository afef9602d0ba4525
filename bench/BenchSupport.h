// Pieces the benchmark programs share: the account of the private test
// server, a loopback listener and a one-connection sender on it, and the
// generated headers the header benchmarks feed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#ifndef SKIMLET_SOURCE_DIR
#error "SKIMLET_SOURCE_DIR must name the source tree"
#endif

namespace bench {

struct ServerAccount {
    std::string host, user, password;
    int port = 0;
};

// The private server's account, from the variables that
// scripts/dovecot-test-server.sh exports; false when none runs.
inline bool serverAccount(ServerAccount& account) {
    const char* port = std::getenv("SKIMLET_DOVECOT_PORT");
    const char* user = std::getenv("SKIMLET_DOVECOT_USER");
    const char* password = std::getenv("SKIMLET_DOVECOT_PASSWORD");
    if (!port || !user || !password) return false;
    const char* host = std::getenv("SKIMLET_DOVECOT_HOST");
    account = {host ? host : "127.0.0.1", user, password, std::atoi(port)};
    return true;
}

// A socket listening on 127.0.0.1 on a free port (written to `port`), or -1.
inline int listenOnLoopback(int& port, int backlog = 1) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 || ::listen(listener, backlog) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        ::close(listener);
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"), or -1.
inline long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(field)) return std::stol(line.substr(std::string_view(field).size()));
    return -1;
}

// Sends all of `data`; false when the connection failed.
inline bool sendAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Listens on 127.0.0.1 and hands the one connection it accepts to `feed`
// on a thread of its own, closing it afterwards.
class LoopbackSender {
public:
    explicit LoopbackSender(std::function<void(int fd)> feed) {
        listener_ = listenOnLoopback(port_);
        thread_ = std::thread([this, feed = std::move(feed)] {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) return;
            feed(fd);
            ::close(fd);
        });
    }
    ~LoopbackSender() {
        thread_.join();
        if (listener_ >= 0) ::close(listener_);
    }
    LoopbackSender(const LoopbackSender&) = delete;
    LoopbackSender& operator=(const LoopbackSender&) = delete;
    [[nodiscard]] int port() const { return port_; }

private:
    int listener_ = -1;
    int port_ = 0;
    std::thread thread_;
};

// Header blocks, each with its closing empty line, read from `path`, or
// generated (10,000 realistic headers, every tenth spam-like) when `path` is
// empty. Empty when generating or reading failed.
inline std::vector<std::string> loadHeaderBlocks(std::string path) {
    std::string generated;
    if (path.empty()) {
        char name[] = "/tmp/skimlet-headers-XXXXXX";
        const int fd = mkstemp(name);
        if (fd < 0) return {};
        ::close(fd);
        generated = name;
        const std::string command = "python3 '" SKIMLET_SOURCE_DIR "/scripts/gen-mailbox.py' --count 10000 --seed 1 "
                                    "--spam-every 10 --large-kb 1 --headers-file '" +
                                    generated + "' >/dev/null";
        if (std::system(command.c_str()) != 0) {
            std::remove(name);
            return {};
        }
        path = generated;
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    if (!generated.empty()) std::remove(generated.c_str());
    const std::string data = content.str();
    std::vector<std::string> blocks;
    std::size_t start = 0;
    while (start < data.size()) {
        const std::size_t end = data.find("\r\n\r\n", start);
        const std::size_t stop = end == std::string::npos ? data.size() : end + 4;
        if (stop > start + 4) blocks.push_back(data.substr(start, stop - start));
        start = stop;
    }
    return blocks;
}

}  // namespace bench
