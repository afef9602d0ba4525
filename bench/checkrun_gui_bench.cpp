// The check run of the main window, measured.
//
// Against the private Dovecot (the variables of scripts/dovecot-test-server.sh;
// scripts/bench.sh checkrun starts one with 2,000 messages):
//   BM_CheckMessagesVersusMinimalClient
//       Tfmain::CheckMessages on a shown main window (login, UIDL, STAT,
//       TOP n 0 and LIST n for every message with header processing, then
//       the list fill and the spam verdicts) taking turns with the minimal
//       blocking client of MinimalPop3Client.h, the yardstick doing the same
//       exchanges and nothing else: both rates in messages per second, and
//       the median over the pairs of Skimlet's rate in percent of the
//       minimal client's
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

#include "app/fmMain.h"
#include "app/udmPOP3.h"
#include "ui/Application.h"
#include "ui/Paths.h"

#include <benchmark/benchmark.h>

#include <QListWidget>
#include <QTreeWidget>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
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

using Clock = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
// Scratch folder and word list

std::string& scratchFolder() {
    static std::string folder;
    return folder;
}

// A hundred rules: the disguised words of the generator's spam (which
// match) and invented ones (which do not), both kinds and both markers.
std::string filterFile() {
    std::string text;
    int rules = 0;
    for (const char* word : {"viagra", "casino", "free m0ney", "rol3x", "w!nner", "ch3ap"}) {
        text += "Subject: %" + std::string(word) + "\r\n";
        text += "Address: %" + std::string(word) + "\r\n";
        rules += 2;
    }
    for (int i = 0; rules < 100; ++i, ++rules) {
        std::string word = "qz" + std::to_string(i * 7919 % 100003) + "offer";
        text += (i % 4 == 0 ? "Address: " : "Subject: ") + std::string(i % 3 == 0 ? "=" : "%") + word + "\r\n";
    }
    return text;
}

bool makeScratchFolder() {
    char name[] = "/tmp/skimlet-checkrun-bench-XXXXXX";
    if (!mkdtemp(name)) return false;
    scratchFolder() = name;
    std::ofstream(scratchFolder() + "/filters.dat", std::ios::binary) << filterFile();
    ui::setProgramFolder(scratchFolder());
    ui::setSettingsFolder(scratchFolder());
    return true;
}

// The general rules as a user would set them: empty subject, more than 50
// recipients, more than 2 MB.
void setRules(Tfmain& w) { w.SetSpamRules(true, 50, 2048); }

// ---------------------------------------------------------------------------
// Dovecot

// A shown main window with one selected account.
void prepareWindow(Tfmain& w, const std::string& host, const std::string& user, const std::string& password,
                   int port) {
    w.AddAccountItem({"Bench", host, user, password, std::to_string(port)})->setSelected(true);
    setRules(w);
    w.show();
    QCoreApplication::processEvents();
}

// One check run; false (with the reason in `error`) when it failed.
bool checkRun(Tfmain& w, std::string& error) {
    try {
        w.CheckMessages();
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

// The minimal client and Tfmain::CheckMessages take turns, one whole check
// run each per iteration, the order swapped every time: a pair shares the
// server's and the machine's load, so the median of the pairs' ratios stays
// steady where the two rates measured apart swing with the load.
void BM_CheckMessagesVersusMinimalClient(benchmark::State& state) {
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
    std::string error;
    // The first login after the mailbox was filled lets the server index
    // it; these runs are not measured.
    if (minimalRun() < 0 || !checkRun(w, error)) {
        state.SkipWithError(error.empty() ? "the minimal client's check run failed" : error.c_str());
        return;
    }
    double minimalSeconds = 0, ourSeconds = 0;
    long minimalMessages = 0, ourMessages = 0;
    std::vector<double> ratios;
    bool minimalFirst = true;
    for (auto _ : state) {
        double pair[2] = {0, 0};  // minimal, ours
        long counts[2] = {0, 0};
        for (int turn = 0; turn < 2; ++turn) {
            const bool minimal = (turn == 0) == minimalFirst;
            const Clock::time_point start = Clock::now();
            if (minimal) {
                counts[0] = minimalRun();
                if (counts[0] < 0) {
                    state.SkipWithError("the minimal client's check run failed");
                    return;
                }
            } else {
                if (!checkRun(w, error)) {
                    state.SkipWithError(error.c_str());
                    return;
                }
                counts[1] = w.headlist->topLevelItemCount();
            }
            pair[minimal ? 0 : 1] = std::chrono::duration<double>(Clock::now() - start).count();
        }
        minimalFirst = !minimalFirst;
        minimalSeconds += pair[0];
        ourSeconds += pair[1];
        minimalMessages += counts[0];
        ourMessages += counts[1];
        ratios.push_back((static_cast<double>(counts[1]) / pair[1]) / (static_cast<double>(counts[0]) / pair[0]));
    }
    std::sort(ratios.begin(), ratios.end());
    const std::size_t n = ratios.size();
    const double median = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
    state.counters["messages"] = static_cast<double>(ourMessages) / static_cast<double>(state.iterations());
    state.counters["minimal_messages/s"] = static_cast<double>(minimalMessages) / minimalSeconds;
    state.counters["skimlet_messages/s"] = static_cast<double>(ourMessages) / ourSeconds;
    state.counters["skimlet_vs_minimal_%"] = 100.0 * median;
}
BENCHMARK(BM_CheckMessagesVersusMinimalClient)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(8.0);

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

    static bool sendAll(int fd, std::string_view data) {
        while (!data.empty()) {
            const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
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
        if (!sendAll(fd, "+OK scripted server ready\r\n")) return;
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
            return sendAll(fd, i < tops_.size() ? std::string_view(tops_[i]) : "-ERR no such message\r\n");
        }
        if (line.compare(0, 5, "LIST ") == 0) {
            const std::size_t i = number(5);
            return sendAll(fd, i < lists_.size() ? std::string_view(lists_[i]) : "-ERR no such message\r\n");
        }
        if (line == "UIDL") return sendAll(fd, uidl_);
        if (line == "STAT") return sendAll(fd, stat_);
        if (line == "QUIT") {
            lastQuit_.store(Clock::now().time_since_epoch().count());
            sendAll(fd, "+OK bye\r\n");
            return false;
        }
        return sendAll(fd, "+OK\r\n");  // USER, PASS
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
