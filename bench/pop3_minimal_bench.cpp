// The yardstick of the check-run benchmark: a minimal blocking POP3 client
// (MinimalPop3Client.h) doing a whole check run against the private Dovecot,
// in messages per second. Needs a running server; scripts/bench.sh checkrun
// starts one with 2,000 messages and runs this beside Python's poplib:
//
//     eval "$(scripts/dovecot-test-server.sh start --messages 2000)"
//     build/dev/bench/pop3_minimal_bench
//     scripts/dovecot-test-server.sh stop "$SKIMLET_DOVECOT_DIR"
#include "MinimalPop3Client.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace {

struct Account {
    std::string host, user, password;
    int port = 0;
};

bool serverAccount(Account& account) {
    const char* port = std::getenv("SKIMLET_DOVECOT_PORT");
    const char* user = std::getenv("SKIMLET_DOVECOT_USER");
    const char* password = std::getenv("SKIMLET_DOVECOT_PASSWORD");
    if (!port || !user || !password) return false;
    const char* host = std::getenv("SKIMLET_DOVECOT_HOST");
    account = {host ? host : "127.0.0.1", user, password, std::atoi(port)};
    return true;
}

void BM_MinimalClientCheckRun(benchmark::State& state) {
    Account account;
    if (!serverAccount(account)) {
        state.SkipWithError("no server: run through scripts/bench.sh checkrun or dovecot-test-server.sh");
        return;
    }
    MinimalPop3 pop;
    // The first login after the mailbox was filled lets the server index it;
    // that run is not measured.
    if (minimal_pop3_check_run(&pop, account.host.c_str(), account.port, account.user.c_str(),
                               account.password.c_str()) < 0) {
        state.SkipWithError("the check run failed");
        return;
    }
    long messages = 0;
    for (auto _ : state) {
        const long n = minimal_pop3_check_run(&pop, account.host.c_str(), account.port, account.user.c_str(),
                                              account.password.c_str());
        if (n < 0) {
            state.SkipWithError("the check run failed");
            return;
        }
        messages += n;
    }
    state.counters["messages"] = static_cast<double>(messages) / static_cast<double>(state.iterations());
    state.counters["messages/s"] = benchmark::Counter(static_cast<double>(messages), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_MinimalClientCheckRun)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
