// Throughput of ReadLinesUntil over loopback (lines dropped: into_list:0;
// into a string list: into_list:1) beside a plain recv + memchr
// loop over the same data, both in MB/s.
#include "BenchSupport.h"
#include "net/IdTCPClient.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr std::size_t kTotal = 200u * 1024 * 1024;

// 76 characters and CR LF per line.
const std::string& block() {
    static const std::string lines = [] {
        std::string text;
        while (text.size() < 1024 * 1024) text += std::string(76, 'q') + "\r\n";
        return text;
    }();
    return lines;
}

// Listens on 127.0.0.1; one connection gets kTotal bytes of lines and ".".
struct Sender : bench::LoopbackSender {
    Sender()
        : bench::LoopbackSender([](int fd) {
              for (std::size_t sent = 0; sent < kTotal; sent += block().size())
                  if (!bench::sendAll(fd, block())) return;
              bench::sendAll(fd, ".\r\n");
          }) {}
};

void BM_ReadLinesUntil(benchmark::State& state) {
    for (auto _ : state) {
        Sender sender;
        TIdTCPClient client;
        client.Host = "127.0.0.1";
        client.Port = sender.port();
        client.MaxReadLinesSize = 0;
        client.Connect();
        int lines = 0;
        if (state.range(0) == 0) {
            lines = client.ReadLinesUntil(nullptr);
        } else {
            std::vector<std::string> list;
            lines = client.ReadLinesUntil(list);
        }
        benchmark::DoNotOptimize(lines);
        client.Disconnect();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
}

void BM_PlainRecvMemchr(benchmark::State& state) {
    for (auto _ : state) {
        Sender sender;
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(sender.port()));
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        std::string chunk(32768, '\0');
        std::size_t lines = 0;
        for (;;) {
            const ssize_t n = ::recv(fd, chunk.data(), chunk.size(), 0);
            if (n <= 0) break;
            const char* p = chunk.data();
            const char* end = p + n;
            while ((p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))))) {
                ++lines;
                ++p;
            }
        }
        benchmark::DoNotOptimize(lines);
        ::close(fd);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kTotal));
}

}  // namespace

BENCHMARK(BM_PlainRecvMemchr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLinesUntil)->Arg(0)->ArgName("into_list")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadLinesUntil)->Arg(1)->ArgName("into_list")->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
