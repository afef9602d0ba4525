// The check run with and without "Fast check (pipelining)", against the
// private Dovecot (scripts/bench.sh fastcheck starts one, the first user's
// mailbox holding 2,000 messages and the second user's 500):
//
//   BM_FastCheckLoopback   the first user's mailbox on loopback
//   BM_FastCheckRelay      the second user's through a relay on loopback that
//                          holds every chunk back 10 ms each way, as a
//                          mailbox far away would (bench/DelayRelay.h)
//
// Each iteration lets four clients do one whole check run each, the order
// rotated every time, so that they share the server's and the machine's load:
// the minimal blocking client of MinimalPop3Client.h (the same exchanges and
// nothing else, one command at a time), Tfmain::CheckMessages as written
// (one command at a time), Tfmain::CheckMessages with the fast check on
// (CAPA, then TOP and LIST commands in flight), and Python's poplib. Reported:
// each client's messages per second, and the medians over the iterations of
// the fast run's rate as a multiple of the others'.
#include "BenchSupport.h"
#include "DelayRelay.h"
#include "MinimalPop3Client.h"
#include "PythonPeer.h"
#include "WindowRunSupport.h"

#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "ui/Application.h"

#include <benchmark/benchmark.h>

#include <QAction>
#include <QTreeWidget>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

enum Client { kMinimal, kSequential, kFast, kPython, kClients };
const char* const kNames[kClients] = {"minimal", "sequential", "fast", "python"};

// The second user of the private server, from its variables.
bool secondAccount(ServerAccount& account) {
    if (!serverAccount(account)) return false;
    const char* user = std::getenv("SKIMLET_DOVECOT_USER2");
    const char* password = std::getenv("SKIMLET_DOVECOT_PASSWORD2");
    if (!user || !password) return false;
    account.user = user;
    account.password = password;
    return true;
}

void setFastCheck(Tfmain& w, bool on) {
    w.mmFastCheck->setChecked(on);
    w.mmFastCheckClick();
}

// One whole check run of the client; the message count, or -1 on failure.
class Clients {
public:
    explicit Clients(const ServerAccount& account)
        : account_(account), python_(account) {
        prepareWindow(sequential_, account.host, account.user, account.password, account.port);
        setFastCheck(sequential_, false);
        prepareWindow(fast_, account.host, account.user, account.password, account.port);
        setFastCheck(fast_, true);
    }

    // Seconds the run took, or -1 on failure; `count` gets the messages.
    double run(Client client, long& count) {
        const Clock::time_point start = Clock::now();
        switch (client) {
        case kMinimal:
            count = minimal_pop3_check_run(&pop_, account_.host.c_str(), account_.port, account_.user.c_str(),
                                           account_.password.c_str());
            break;
        case kSequential:
        case kFast: {
            Tfmain& w = client == kFast ? fast_ : sequential_;
            count = checkRun(w, error_) ? w.headlist->topLevelItemCount() : -1;
            break;
        }
        case kPython:
            return python_.run(count);
        default:
            return -1;
        }
        if (count < 0) return -1;
        return std::chrono::duration<double>(Clock::now() - start).count();
    }

    [[nodiscard]] const std::string& error() const { return error_; }

private:
    ServerAccount account_;
    MinimalPop3 pop_;
    Tfmain sequential_;
    Tfmain fast_;
    PythonPeer python_;
    std::string error_;
};

void takeTurns(benchmark::State& state, const ServerAccount& account) {
    Clients clients(account);
    long count = 0;
    // The first login after the mailbox was filled lets the server index it.
    bool withPython = clients.run(kPython, count) >= 0;
    if (clients.run(kMinimal, count) < 0 || clients.run(kFast, count) < 0) {
        state.SkipWithError(clients.error().empty() ? "the first check run failed" : clients.error().c_str());
        return;
    }
    double seconds[kClients] = {};
    long messages[kClients] = {};
    std::vector<double> versus[kClients];
    int rotation = 0;
    for (auto _ : state) {
        double taken[kClients] = {};
        long counts[kClients] = {};
        for (int turn = 0; turn < kClients; ++turn) {
            const auto client = static_cast<Client>((turn + rotation) % kClients);
            if (client == kPython && !withPython) continue;
            taken[client] = clients.run(client, counts[client]);
            if (taken[client] <= 0) {
                if (client == kPython) {
                    withPython = false;
                    continue;
                }
                state.SkipWithError(clients.error().empty() ? kNames[client] : clients.error().c_str());
                return;
            }
        }
        rotation = (rotation + 1) % kClients;
        const auto rate = [&](int client) { return static_cast<double>(counts[client]) / taken[client]; };
        for (int client = 0; client < kClients; ++client) {
            if (client == kPython && !withPython) continue;
            seconds[client] += taken[client];
            messages[client] += counts[client];
            if (client != kFast) versus[client].push_back(rate(kFast) / rate(client));
        }
    }
    state.counters["messages"] = static_cast<double>(messages[kFast]) / static_cast<double>(state.iterations());
    for (int client = 0; client < kClients; ++client) {
        if (messages[client] == 0) continue;
        state.counters[std::string(kNames[client]) + "_messages/s"] = static_cast<double>(messages[client]) / seconds[client];
        if (client != kFast && versus[client].size() == static_cast<std::size_t>(state.iterations()))
            state.counters[std::string("fast_vs_") + kNames[client] + "_x"] = median(versus[client]);
    }
}

void BM_FastCheckLoopback(benchmark::State& state) {
    ServerAccount account;
    if (!serverAccount(account)) {
        state.SkipWithError("no server: run through scripts/bench.sh fastcheck");
        return;
    }
    takeTurns(state, account);
}
BENCHMARK(BM_FastCheckLoopback)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FastCheckRelay(benchmark::State& state) {
    ServerAccount account;
    if (!secondAccount(account)) {
        state.SkipWithError("no server: run through scripts/bench.sh fastcheck");
        return;
    }
    DelayRelay relay(account.port, std::chrono::milliseconds(10));
    if (relay.port() == 0) {
        state.SkipWithError("the relay did not start");
        return;
    }
    account.port = relay.port();
    takeTurns(state, account);
}
BENCHMARK(BM_FastCheckRelay)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return bench::runWindowBenchmarks(argc, argv, "fastcheck_gui_bench"); }
