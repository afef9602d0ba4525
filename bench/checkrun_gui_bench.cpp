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
//   BM_CheckMessagesOverTLS
//       the same check run of the window over plain POP3, over TLS from the
//       first byte (the server's TLS port) and over STARTTLS, taking turns
//       on the same server: each one's messages per second, and the median,
//       lowest and highest over the iterations of the TLS runs' rate in
//       percent of the plain run's beside it; /0 one command at a time,
//       /1 with "Fast check" (commands kept in flight)
//
// Against an in-process scripted server on 127.0.0.1 with 10,000 realistic
// headers (scripts/gen-mailbox.py; --headers-file=PATH gives a file,
// otherwise the program generates one):
//   BM_CheckMessagesScriptedOverTLS
//                             the same run over plain POP3 and over TLS
//                             (a certificate made for the run and trusted
//                             by its fingerprint), taking turns: the cost of
//                             TLS on the client's side alone, as this server
//                             does its TLS itself, without a relay process
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
#include "net/IdSSLIOHandlerSocket.h"
#include "ui/Application.h"
#include "ui/Paths.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

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
#include <functional>
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

// One account per way of securing the connection, in one window; a check run
// over each in turn, the order rotated every iteration, so that the runs of
// one iteration share the server's and the machine's load.
void BM_CheckMessagesOverTLS(benchmark::State& state) {
    bench::ServerAccount account;
    const char* tlsPort = std::getenv("SKIMLET_DOVECOT_TLS_PORT");
    const char* caFile = std::getenv("SKIMLET_DOVECOT_CA_FILE");
    if (!bench::serverAccount(account) || !tlsPort || !caFile) {
        state.SkipWithError("no server with TLS: run through scripts/bench.sh checkrun-tls");
        return;
    }
    TIdSSLIOHandlerSocket::SetCAFile(caFile);
    enum { kPlain, kTLS, kStartTLS, kModes };
    const TIdUseTLS modes[kModes] = {TIdUseTLS::utNoTLS, TIdUseTLS::utImplicitTLS, TIdUseTLS::utStartTLS};
    Tfmain w;
    prepareWindow(w, account.host, account.user, account.password, account.port);
    // Argument 1: "Fast check", commands kept in flight where the server
    // allows it.
    w.mmFastCheck->setChecked(state.range(0) != 0);
    w.mmFastCheckClick();
    for (int mode = kTLS; mode < kModes; ++mode) {
        const int port = mode == kTLS ? std::atoi(tlsPort) : account.port;
        w.AddAccountItem({"Bench", account.host, account.user, account.password, std::to_string(port),
                          {modes[mode], ""}});
    }
    std::string error;
    const auto run = [&](int mode) {
        w.poplist->clearSelection();
        w.poplist->item(mode)->setSelected(true);
        return checkRun(w, error);
    };
    // The first run of each lets the server index the mailbox; not measured.
    for (int mode = 0; mode < kModes; ++mode) {
        if (!run(mode)) {
            state.SkipWithError(error.c_str());
            return;
        }
    }
    double seconds[kModes] = {}, cpu[kModes] = {};
    long messages[kModes] = {};
    std::vector<double> tlsVsPlain, startTlsVsPlain;
    int rotation = 0;
    for (auto _ : state) {
        double rate[kModes] = {};
        for (int turn = 0; turn < kModes; ++turn) {
            const int mode = (turn + rotation) % kModes;
            const Clock::time_point start = Clock::now();
            const CpuSeconds cpuStart = processCpuSeconds();
            if (!run(mode)) {
                state.SkipWithError(error.c_str());
                return;
            }
            const double taken = std::chrono::duration<double>(Clock::now() - start).count();
            const CpuSeconds cpuEnd = processCpuSeconds();
            cpu[mode] += cpuEnd.user + cpuEnd.kernel - cpuStart.user - cpuStart.kernel;
            const long count = w.headlist->topLevelItemCount();
            seconds[mode] += taken;
            messages[mode] += count;
            rate[mode] = static_cast<double>(count) / taken;
        }
        rotation = (rotation + 1) % kModes;
        tlsVsPlain.push_back(rate[kTLS] / rate[kPlain]);
        startTlsVsPlain.push_back(rate[kStartTLS] / rate[kPlain]);
    }
    const auto perSecond = [&](int mode) { return static_cast<double>(messages[mode]) / seconds[mode]; };
    state.counters["messages"] = static_cast<double>(messages[kPlain]) / static_cast<double>(state.iterations());
    state.counters["plain_messages/s"] = perSecond(kPlain);
    state.counters["tls_messages/s"] = perSecond(kTLS);
    state.counters["starttls_messages/s"] = perSecond(kStartTLS);
    state.counters["tls_vs_plain_%"] = 100.0 * median(tlsVsPlain);
    state.counters["tls_vs_plain_min_%"] = 100.0 * *std::min_element(tlsVsPlain.begin(), tlsVsPlain.end());
    state.counters["tls_vs_plain_max_%"] = 100.0 * *std::max_element(tlsVsPlain.begin(), tlsVsPlain.end());
    state.counters["starttls_vs_plain_%"] = 100.0 * median(startTlsVsPlain);
    // The client's own processor time per message: what TLS adds on this
    // side, apart from what it adds on the server's.
    state.counters["plain_cpu_us/msg"] = 1e6 * cpu[kPlain] / static_cast<double>(messages[kPlain]);
    state.counters["tls_cpu_us/msg"] = 1e6 * cpu[kTLS] / static_cast<double>(messages[kTLS]);
}
BENCHMARK(BM_CheckMessagesOverTLS)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(10.0);

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
    // With `tls`, every connection is TLS from the first byte.
    explicit ScriptedPop3Server(const std::vector<std::string>& headers, SSL_CTX* tls = nullptr) : tls_(tls) {
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
        SSL* ssl = nullptr;
        if (tls_) {
            ssl = SSL_new(tls_);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) serve(fd, ssl);
            SSL_free(ssl);
            return;
        }
        serve(fd, ssl);
    }

    void serve(int fd, SSL* ssl) {
        const Sender put = [&](std::string_view bytes) {
            if (!ssl) return bench::sendAll(fd, bytes);
            return SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size())) == static_cast<int>(bytes.size());
        };
        if (!put("+OK scripted server ready\r\n")) return;
        std::string buffer;
        char chunk[4096];
        for (;;) {
            const std::size_t lf = buffer.find('\n');
            if (lf == std::string::npos) {
                if ((!ssl || SSL_has_pending(ssl) == 0) && !wait(fd)) return;
                const long n = ssl ? SSL_read(ssl, chunk, sizeof chunk) : ::recv(fd, chunk, sizeof chunk, 0);
                if (n <= 0) return;
                buffer.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            std::string line = buffer.substr(0, lf);
            buffer.erase(0, lf + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!answer(put, line)) return;
        }
    }

    using Sender = std::function<bool(std::string_view)>;

    // Answers one command; false when the connection is to end.
    bool answer(const Sender& put, const std::string& line) {
        const auto number = [&](std::size_t from) {
            const long n = std::strtol(line.c_str() + from, nullptr, 10);
            return n >= 1 && n <= static_cast<long>(tops_.size()) ? static_cast<std::size_t>(n - 1) : tops_.size();
        };
        if (line.compare(0, 4, "TOP ") == 0) {
            const std::size_t i = number(4);
            return put(i < tops_.size() ? std::string_view(tops_[i]) : "-ERR no such message\r\n");
        }
        if (line.compare(0, 5, "LIST ") == 0) {
            const std::size_t i = number(5);
            return put(i < lists_.size() ? std::string_view(lists_[i]) : "-ERR no such message\r\n");
        }
        if (line == "UIDL") return put(uidl_);
        if (line == "STAT") return put(stat_);
        if (line == "QUIT") {
            lastQuit_.store(Clock::now().time_since_epoch().count());
            put("+OK bye\r\n");
            return false;
        }
        return put("+OK\r\n");  // USER, PASS
    }

    SSL_CTX* tls_ = nullptr;
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

// A server context with a certificate made for the run; `fingerprint` gets
// its SHA-256 fingerprint, which the client trusts.
SSL_CTX* makeServerContext(std::string& fingerprint) {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    X509* certificate = X509_new();
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), 0);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
    X509_set_pubkey(certificate, key);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                               -1, 0);
    X509_set_issuer_name(certificate, name);
    X509_sign(certificate, key, EVP_sha256());
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    X509_digest(certificate, EVP_sha256(), digest, &size);
    for (unsigned int i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", digest[i]);
        fingerprint += pair;
    }
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate(context, certificate);
    SSL_CTX_use_PrivateKey(context, key);
    X509_free(certificate);
    EVP_PKEY_free(key);
    return context;
}

void BM_CheckMessagesScriptedOverTLS(benchmark::State& state) {
    std::string fingerprint;
    SSL_CTX* context = makeServerContext(fingerprint);
    {
        ScriptedPop3Server plain(headerBlocks());
        ScriptedPop3Server tls(headerBlocks(), context);
        if (plain.port() == 0 || tls.port() == 0) {
            state.SkipWithError("the scripted servers did not start");
            SSL_CTX_free(context);
            return;
        }
        Tfmain w;
        prepareWindow(w, "127.0.0.1", "bench", "secret", plain.port());
        w.AddAccountItem({"Bench", "127.0.0.1", "bench", "secret", std::to_string(tls.port()),
                          {TIdUseTLS::utImplicitTLS, fingerprint}});
        std::string error;
        double seconds[2] = {};
        long messages[2] = {};
        std::vector<double> ratios;
        int rotation = 0;
        for (auto _ : state) {
            double rate[2] = {};
            for (int turn = 0; turn < 2; ++turn) {
                const int account = (turn + rotation) % 2;
                w.poplist->clearSelection();
                w.poplist->item(account)->setSelected(true);
                const Clock::time_point start = Clock::now();
                if (!checkRun(w, error)) {
                    state.SkipWithError(error.c_str());
                    break;
                }
                const double taken = std::chrono::duration<double>(Clock::now() - start).count();
                seconds[account] += taken;
                messages[account] += w.headlist->topLevelItemCount();
                rate[account] = w.headlist->topLevelItemCount() / taken;
            }
            rotation = 1 - rotation;
            if (rate[0] > 0) ratios.push_back(rate[1] / rate[0]);
        }
        state.counters["plain_messages/s"] = messages[0] / std::max(seconds[0], 1e-9);
        state.counters["tls_messages/s"] = messages[1] / std::max(seconds[1], 1e-9);
        state.counters["tls_vs_plain_%"] = 100.0 * median(ratios);
    }
    SSL_CTX_free(context);
}
BENCHMARK(BM_CheckMessagesScriptedOverTLS)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(10.0);

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
    removeScratchFolder();
    return 0;
}
