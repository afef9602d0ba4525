#pragma once
// A relay on 127.0.0.1 that passes every connection on to a server on
// 127.0.0.1 and holds each chunk of bytes back for a fixed delay in each
// direction, as a distant server would: with 10 ms each way every round trip
// takes 20 ms more, while bytes keep flowing in both directions at once (a
// chunk waits for its own delay only, never for the chunks before it to be
// delivered). Connections are relayed one after the other, each until both
// sides have closed. For the benchmarks only; it never uses another address.
#include "BenchSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <string>
#include <thread>

namespace bench {

class DelayRelay {
public:
    DelayRelay(int targetPort, std::chrono::milliseconds delay) : targetPort_(targetPort), delay_(delay) {
        listener_ = listenOnLoopback(port_, 4);
        if (listener_ >= 0) thread_ = std::thread([this] { run(); });
    }
    ~DelayRelay() {
        stop_ = true;
        if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        if (listener_ >= 0) ::close(listener_);
    }
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    // The relay's own port; 0 when it could not listen.
    [[nodiscard]] int port() const { return listener_ >= 0 ? port_ : 0; }

private:
    using Clock = std::chrono::steady_clock;

    void run() {
        while (!stop_) {
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0) return;
            // The relay stands for the network: it adds its delay and
            // nothing else, so neither of its sockets holds small writes
            // back for an acknowledgement.
            const int on = 1;
            ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            const int server = connectToTarget();
            if (server >= 0) {
                std::thread up([&] { pass(client, server); });
                pass(server, client);
                up.join();
                ::close(server);
            }
            ::close(client);
        }
    }

    [[nodiscard]] int connectToTarget() const {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        if (fd < 0) return -1;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(targetPort_));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        return fd;
    }

    // Reads from `from` and writes each chunk to `to` once its delay has
    // passed; at the end of `from` delivers what waits, then closes the
    // sending side of `to`.
    void pass(int from, int to) const {
        struct Chunk {
            Clock::time_point due;
            std::string bytes;
        };
        std::deque<Chunk> waiting;
        bool ended = false;
        char buffer[65536];
        while (!ended || !waiting.empty()) {
            int timeout = -1;
            if (!waiting.empty()) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(waiting.front().due - Clock::now());
                timeout = static_cast<int>(std::max<long long>(0, left.count()));
            }
            if (!ended) {
                pollfd p{from, POLLIN, 0};
                if (::poll(&p, 1, timeout) > 0) {
                    const ssize_t n = ::recv(from, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        ended = true;
                    else
                        waiting.push_back({Clock::now() + delay_, std::string(buffer, static_cast<std::size_t>(n))});
                }
            } else if (timeout > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(timeout));
            }
            while (!waiting.empty() && waiting.front().due <= Clock::now()) {
                if (!sendAll(to, waiting.front().bytes)) {
                    waiting.clear();
                    ended = true;
                    break;
                }
                waiting.pop_front();
            }
        }
        ::shutdown(to, SHUT_WR);
    }

    const int targetPort_;
    const std::chrono::milliseconds delay_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace bench
