// Header reception: 10,000 realistic headers (about 25 lines each: trace
// lines, folded fields, encoded words, several addresses) arrive over a
// loopback connection as the replies of "TOP n 0" do, and each is read with
// ReceiveHeaderLines into a new message, which runs ReadHeaderFields. In
// headers per second. BM_ReceiveHeaderLines decodes as written (encoded
// words of ISO and WINDOWS charsets, bytes unconverted);
// BM_ReceiveHeaderLinesAllCharsets decodes every charset to UTF-8, as the
// main window does by default.
//
// Python's email parser is measured on the same file by
// bench/python/header_parse_peer.py; scripts/bench.sh headers runs both in
// one go and prints the ratios.
//
// The headers come from scripts/gen-mailbox.py --headers-file; give a file
// with --headers-file=PATH (or SKIMLET_HEADERS_FILE), otherwise the program
// generates one with the generator's benchmark settings.
#include "BenchSupport.h"
#include "message/IdMessage.h"
#include "message/IdMessageClient.h"

#include <benchmark/benchmark.h>


#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// The header blocks of the benchmark, each with its closing empty line.
std::vector<std::string>& blocks() {
    static std::vector<std::string> all;
    return all;
}

bool loadBlocks(const std::string& path) {
    blocks() = bench::loadHeaderBlocks(path);
    return !blocks().empty();
}

// Every block followed by the line "." as in a reply to "TOP n 0"; lines
// that begin with "." are stuffed as a server would.
const std::string& wireData() {
    static const std::string data = [] {
        std::string text;
        for (const std::string& block : blocks()) {
            std::size_t start = 0;
            while (start < block.size()) {
                const std::size_t end = block.find("\r\n", start) + 2;
                if (block[start] == '.') text += '.';
                text.append(block, start, end - start);
                start = end;
            }
            text += ".\r\n";
        }
        return text;
    }();
    return data;
}

// Listens on 127.0.0.1 and sends the wire data to one connection.
struct Sender : bench::LoopbackSender {
    Sender() : bench::LoopbackSender([](int fd) { bench::sendAll(fd, wireData()); }) {}
};

void receiveHeaders(benchmark::State& state, TIdCharsetDecoding charsets) {
    const std::size_t count = blocks().size();
    std::size_t checksum = 0;
    for (auto _ : state) {
        Sender sender;
        TIdMessageClient client;
        client.CharsetDecoding = charsets;
        client.Host = "127.0.0.1";
        client.Port = sender.port();
        client.Connect();
        for (std::size_t i = 0; i < count; ++i) {
            TIdMessage msg;
            client.ReceiveHeaderLines(msg, ".");
            checksum += msg.Subject.size() + msg.From.Address().size() + msg.Recipients.Count() +
                        static_cast<std::size_t>(msg.Date > 0);
        }
        client.Disconnect();
    }
    benchmark::DoNotOptimize(checksum);
    state.counters["headers/s"] = benchmark::Counter(static_cast<double>(state.iterations() * count),
                                                     benchmark::Counter::kIsRate);
}
void BM_ReceiveHeaderLines(benchmark::State& state) { receiveHeaders(state, TIdCharsetDecoding::Written); }
BENCHMARK(BM_ReceiveHeaderLines)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

void BM_ReceiveHeaderLinesAllCharsets(benchmark::State& state) {
    receiveHeaders(state, TIdCharsetDecoding::AllToUtf8);
}
BENCHMARK(BM_ReceiveHeaderLinesAllCharsets)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);


}  // namespace

int main(int argc, char** argv) {
    std::string path;
    if (const char* env = std::getenv("SKIMLET_HEADERS_FILE")) path = env;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        constexpr std::string_view option = "--headers-file=";
        if (i > 0 && std::string_view(argv[i]).substr(0, option.size()) == option) {
            path = argv[i] + option.size();
        } else {
            rest.push_back(argv[i]);
        }
    }
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
    if (!loadBlocks(path)) {
        std::cerr << "header_recv_bench: no headers (give --headers-file=PATH; generating needs python3)\n";
        return 1;
    }
    benchmark::AddCustomContext("headers", std::to_string(blocks().size()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
