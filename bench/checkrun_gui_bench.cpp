// The check run of the main window, measured.
//
// Against the private Dovecot (the variables of scripts/dovecot-test-server.sh;
// scripts/bench.sh checkrun starts one with 2,000 messages):
//   BM_CheckMessagesTakingTurns
//       Tfmain::CheckMessages on a shown main window (login, UIDL, STAT,
//       TOP n 0 and LIST n for every message with header processing, then
//       the list fill and the spam verdicts) taking turns with the minimal
//       blocking client of MinimalPop3Client.h, the yardstick doing the same
//       exchanges and nothing else, and with Python's poplib: the rates in
//       messages per second, the medians over the iterations of Skimlet's
//       rate in percent of the minimal client's and as a multiple of
//       Python's, and the processor time per message of Skimlet and the
//       minimal client (in all, and the part in user space)
//
// Against an in-process scripted server on 127.0.0.1 with 10,000 realistic
// headers (scripts/gen-mailbox.py; --headers-file=PATH gives a file,
// otherwise the program generates one):
//   BM_CheckMessagesScripted  the whole run in messages per second, and
//                             fill_share: the part of the run spent after
//                             the connection ended (the server received
//                             "QUIT"), that is in filling the header list and
//                             judging every message, in percent
//
// The program works in a scratch program folder holding a filters.dat of a
// hundred rules, so that the verdicts do real work; settings go there too.
#include "BenchSupport.h"
#include "MinimalPop3Client.h"
#include "PythonPeer.h"
#include "WindowRunSupport.h"

#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "app/udmPOP3.h"
#include "ui/Application.h"
#include "ui/Paths.h"

#include <benchmark/benchmark.h>

#include <QListWidget>
#include <QTreeWidget>

#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

// The minimal client, Tfmain::CheckMessages and Python's poplib take turns,
// one whole check run each per iteration, the order rotated every time: the
// runs of one iteration share the server's and the machine's load, so the
// medians of their ratios stay steady where rates measured apart swing with
// the load. Without python3 the Python figures are left out.
void BM_CheckMessagesTakingTurns(benchmark::State& state) {
    bench::ServerAccount account;
    if (!bench::serverAccount(account)) {
        state.SkipWithError("no server: run through scripts/bench.sh checkrun or dovecot-test-server.sh");
        return;
    }
    MinimalPop3 pop;
    const auto minimalRun = [&] {
        return minimal_pop3_check_run(&pop, account.host.c_str(), account.port, account.user.c_str(),
                                      account.password.c_str());
    };
    Tfmain w;
    prepareWindow(w, account.host, account.user, account.password, account.port);
    bench::PythonPeer python(account);
    std::string error;
    long pythonCount = 0;
    // The first login after the mailbox was filled lets the server index
    // it; these runs are not measured.
    if (minimalRun() < 0 || !checkRun(w, error)) {
        state.SkipWithError(error.empty() ? "the minimal client's check run failed" : error.c_str());
        return;
    }
    bool withPython = python.run(pythonCount) >= 0;

    enum { kMinimal, kOurs, kPython, kClients };
    double seconds[kClients] = {};
    CpuSeconds cpu[kClients] = {};
    long messages[kClients] = {};
    std::vector<double> versusMinimal, versusPython;
    int rotation = 0;
    for (auto _ : state) {
        double taken[kClients] = {};
        long counts[kClients] = {};
        for (int turn = 0; turn < kClients; ++turn) {
            const int client = (turn + rotation) % kClients;
            if (client == kPython && !withPython) continue;
            const Clock::time_point start = Clock::now();
            const CpuSeconds cpuStart = processCpuSeconds();
            if (client == kMinimal) {
                counts[client] = minimalRun();
                if (counts[client] < 0) {
                    state.SkipWithError("the minimal client's check run failed");
                    return;
                }
            } else if (client == kOurs) {
                if (!checkRun(w, error)) {
                    state.SkipWithError(error.c_str());
                    return;
                }
                counts[client] = w.headlist->topLevelItemCount();
            }
            taken[client] = std::chrono::duration<double>(Clock::now() - start).count();
            const CpuSeconds cpuEnd = processCpuSeconds();
            cpu[client].user += cpuEnd.user - cpuStart.user;
            cpu[client].kernel += cpuEnd.kernel - cpuStart.kernel;
            if (client == kPython) {
                taken[client] = python.run(counts[client]);
                withPython = taken[client] > 0;
            }
        }
        rotation = (rotation + 1) % kClients;
        const auto rate = [&](int client) { return static_cast<double>(counts[client]) / taken[client]; };
        versusMinimal.push_back(rate(kOurs) / rate(kMinimal));
        if (withPython) versusPython.push_back(rate(kOurs) / rate(kPython));
        for (int client = 0; client < kClients; ++client) {
            seconds[client] += taken[client];
            messages[client] += counts[client];
        }
    }
    const auto perSecond = [&](int client) { return static_cast<double>(messages[client]) / seconds[client]; };
    const auto perMessage = [&](int client, double cpuSeconds) {
        return 1e6 * cpuSeconds / static_cast<double>(messages[client]);
    };
    const auto cpuPerMessage = [&](int client) { return perMessage(client, cpu[client].user + cpu[client].kernel); };
    state.counters["messages"] = static_cast<double>(messages[kOurs]) / static_cast<double>(state.iterations());
    state.counters["minimal_messages/s"] = perSecond(kMinimal);
    state.counters["skimlet_messages/s"] = perSecond(kOurs);
    state.counters["skimlet_vs_minimal_%"] = 100.0 * bench::median(versusMinimal);
    state.counters["minimal_cpu_us/msg"] = cpuPerMessage(kMinimal);
    state.counters["skimlet_cpu_us/msg"] = cpuPerMessage(kOurs);
    state.counters["minimal_user_us/msg"] = perMessage(kMinimal, cpu[kMinimal].user);
    state.counters["skimlet_user_us/msg"] = perMessage(kOurs, cpu[kOurs].user);
    if (withPython && versusPython.size() == static_cast<std::size_t>(state.iterations())) {
        state.counters["python_messages/s"] = perSecond(kPython);
        state.counters["skimlet_vs_python_x"] = bench::median(versusPython);
    }
}
BENCHMARK(BM_CheckMessagesTakingTurns)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(10.0);

// ---------------------------------------------------------------------------
// The in-process scripted server

std::vector<std::string>& headerBlocks() {
    static std::vector<std::string> blocks;
    return blocks;
}

bool loadHeaders(const std::string& path) {
    headerBlocks() = bench::loadHeaderBlocks(path);
    return !headerBlocks().empty();
}

// A POP3 server on 127.0.0.1 that answers a check run's commands from
// prepared replies, as fast as it can, one connection after the other. It
// notes when it received "QUIT".
class ScriptedPop3Server {
public:
    explicit ScriptedPop3Server(const std::vector<std::string>& headers) {
        std::string uidl = "+OK\r\n";
        long total = 0;
        for (std::size_t i = 0; i < headers.size(); ++i) {
            const std::string& block = headers[i];
            std::string top = "+OK\r\n";
            // Lines beginning with "." are stuffed, as a server does.
            for (std::size_t start = 0; start < block.size();) {
                const std::size_t end = block.find("\r\n", start) + 2;
                if (block[start] == '.') top += '.';
                top.append(block, start, end - start);
                start = end;
            }
            top += ".\r\n";
            tops_.push_back(std::move(top));
            // The messages tagged large by the generator weigh 3 MB, the
            // others a few kB.
            const long size = block.find("<spam-large.") != std::string::npos ? 3000000 : 1500 + long(i % 97) * 61;
            total += size;
            lists_.push_back("+OK " + std::to_string(i + 1) + " " + std::to_string(size) + "\r\n");
            uidl += std::to_string(i + 1) + " uid" + std::to_string(1000000 + i) + "\r\n";
        }
        uidl += ".\r\n";
        uidl_ = std::move(uidl);
        stat_ = "+OK " + std::to_string(headers.size()) + " " + std::to_string(total) + "\r\n";

        listener_ = bench::listenOnLoopback(port_, 4);
        if (listener_ < 0) {
            std::perror("scripted server");
            return;
        }
        if (::pipe(wake_) != 0) return;
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedPop3Server() {
        if (thread_.joinable()) {
            const char stop = 's';
            (void)!::write(wake_[1], &stop, 1);
            thread_.join();
        }
        for (int fd : {listener_, wake_[0], wake_[1]})
            if (fd >= 0) ::close(fd);
    }

    [[nodiscard]] int port() const { return port_; }
    [[nodiscard]] Clock::time_point lastQuit() const {
        return Clock::time_point(Clock::duration(lastQuit_.load()));
    }

private:
    // Waits until fd is readable; false when the server is to stop.
    bool wait(int fd) {
        pollfd p[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        for (;;) {
            const int n = ::poll(p, 2, -1);
            if (n < 0 && errno == EINTR) continue;
            return n > 0 && !(p[1].revents & POLLIN);
        }
    }

    void run() {
        while (wait(listener_)) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            serve(fd);
            ::close(fd);
        }
    }

    void serve(int fd) {
        if (!bench::sendAll(fd, "+OK scripted server ready\r\n")) return;
        std::string buffer;
        char chunk[4096];
        for (;;) {
            const std::size_t lf = buffer.find('\n');
            if (lf == std::string::npos) {
                if (!wait(fd)) return;
                const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0) return;
                buffer.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            std::string line = buffer.substr(0, lf);
            buffer.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!answer(fd, line)) return;
        }
    }

    // Answers one command; false when the connection is to end.
    bool answer(int fd, const std::string& line) {
        const auto number = [&](std::size_t from) {
            const long n = std::strtol(line.c_str() + from, nullptr, 10);
            return n >= 1 && n <= static_cast<long>(tops_.size()) ? static_cast<std::size_t>(n - 1) : tops_.size();
        };
        if (line.compare(0, 4, "TOP ") == 0) {
            const std::size_t i = number(4);
            return bench::sendAll(fd, i < tops_.size() ? std::string_view(tops_[i]) : "-ERR no such message\r\n");
        }
        if (line.compare(0, 5, "LIST ") == 0) {
            const std::size_t i = number(5);
            return bench::sendAll(fd, i < lists_.size() ? std::string_view(lists_[i]) : "-ERR no such message\r\n");
        }
        if (line == "UIDL") return bench::sendAll(fd, uidl_);
        if (line == "STAT") return bench::sendAll(fd, stat_);
        if (line == "QUIT") {
            lastQuit_.store(Clock::now().time_since_epoch().count());
            bench::sendAll(fd, "+OK bye\r\n");
            return false;
        }
        return bench::sendAll(fd, "+OK\r\n");  // USER, PASS
    }

    std::vector<std::string> tops_, lists_;
    std::string uidl_, stat_;
    int listener_ = -1;
    int wake_[2] = {-1, -1};
    int port_ = 0;
    std::thread thread_;
    std::atomic<Clock::rep> lastQuit_{0};
};

void BM_CheckMessagesScripted(benchmark::State& state) {
    ScriptedPop3Server server(headerBlocks());
    if (server.port() == 0) {
        state.SkipWithError("the scripted server did not start");
        return;
    }
    Tfmain w;
    prepareWindow(w, "127.0.0.1", "bench", "secret", server.port());
    std::string error;
    if (!checkRun(w, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    long messages = 0;
    double total = 0, fill = 0, marked = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        if (!checkRun(w, error)) {
            state.SkipWithError(error.c_str());
            return;
        }
        const Clock::time_point end = Clock::now();
        total += std::chrono::duration<double>(end - start).count();
        fill += std::chrono::duration<double>(end - server.lastQuit()).count();
        const int rows = w.headlist->topLevelItemCount();
        messages += rows;
        for (int i = 0; i < rows; ++i) marked += w.headlist->topLevelItem(i)->checkState(0) == Qt::Checked ? 1 : 0;
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["messages"] = static_cast<double>(messages) / runs;
    state.counters["marked"] = marked / runs;
    state.counters["messages/s"] = benchmark::Counter(static_cast<double>(messages), benchmark::Counter::kIsRate);
    state.counters["fill_share_%"] = 100.0 * fill / total;
    state.counters["fill_ms"] = 1000.0 * fill / runs;
}
BENCHMARK(BM_CheckMessagesScripted)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

}  // namespace

int main(int argc, char** argv) {
    std::string headersPath;
    if (const char* env = std::getenv("SKIMLET_HEADERS_FILE")) headersPath = env;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        constexpr std::string_view option = "--headers-file=";
        if (i > 0 && std::string_view(argv[i]).substr(0, option.size()) == option)
            headersPath = argv[i] + option.size();
        else
            rest.push_back(argv[i]);
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ui::SkimletApplication application(restCount, rest.data());
    if (!makeScratchFolder()) {
        std::cerr << "checkrun_gui_bench: cannot create a scratch folder\n";
        return 1;
    }
    if (!loadHeaders(headersPath)) {
        std::cerr << "checkrun_gui_bench: no headers (give --headers-file=PATH; generating needs python3)\n";
        return 1;
    }
    benchmark::AddCustomContext("scripted server headers", std::to_string(headerBlocks().size()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    AbandonMessageHeaders();
    std::error_code ec;
    std::filesystem::remove_all(scratchFolder(), ec);
    return 0;
}
