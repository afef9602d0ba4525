// Body reception of a message with a 100 MiB attachment in Base64 (about
// 137 MB on the wire) from an in-process scripted server over loopback:
// ReceiveHeaderLines, then ReceiveMessageBody, as the whole-message fetch
// reads it. Reports MB/s of body bytes and the growth of the process's peak
// resident memory during reception (VmHWM against VmRSS before it, from
// /proc/self/status; the peak is reset first through /proc/self/clear_refs
// where the kernel allows). Target: growth at most 16 MiB, since attachment
// content goes straight to its file.
#include "BenchSupport.h"
#include "message/IdCoderMIME.h"
#include "message/IdMessageClient.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

constexpr std::size_t kLineBytes = 57;  // one 76-character Base64 line
constexpr std::size_t kBlockLines = 16 * 1024;
// Whole blocks of lines, just over 100 MiB.
constexpr std::size_t kBlocks = 100 * 1024 * 1024 / (kLineBytes * kBlockLines) + 1;
constexpr std::size_t kAttachmentBytes = kBlocks * kBlockLines * kLineBytes;

const std::string kHeader =
    "From: a@example.org\r\nSubject: big\r\nContent-Type: multipart/mixed; boundary=\"b0\"\r\n\r\n";
const std::string kBeforeAttachment =
    "preamble\r\n--b0\r\nContent-Type: text/plain\r\n\r\nSee the attachment.\r\n--b0\r\n"
    "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n"
    "Content-Disposition: attachment; filename=\"big.bin\"\r\n\r\n";
const std::string kAfterAttachment = "--b0--\r\n.\r\n";

std::string encodeLine(std::string_view bytes) {
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16 |
                                    static_cast<unsigned char>(bytes[i + 1]) << 8 |
                                    static_cast<unsigned char>(bytes[i + 2]);
        for (int k = 18; k >= 0; k -= 6) line += kBase64Alphabet[group >> k & 63];
    }
    return line + "\r\n";
}

// kBlockLines Base64 lines of random bytes, sent over and over: the sender
// holds one block, not the whole message.
const std::string& encodedBlock() {
    static const std::string block = [] {
        std::mt19937 random(5);
        std::string bytes(kLineBytes, '\0');
        std::string text;
        for (std::size_t i = 0; i < kBlockLines; ++i) {
            for (char& c : bytes) c = static_cast<char>(random());
            text += encodeLine(bytes);
        }
        return text;
    }();
    return block;
}

std::size_t bodySize() {
    return kBeforeAttachment.size() + kBlocks * encodedBlock().size() + kAfterAttachment.size();
}

void BM_ReceiveLargeAttachment(benchmark::State& state) {
    for (auto _ : state) {
        encodedBlock();
        bench::LoopbackSender sender([](int fd) {
            if (!bench::sendAll(fd, kHeader + kBeforeAttachment)) return;
            for (std::size_t i = 0; i < kBlocks; ++i)
                if (!bench::sendAll(fd, encodedBlock())) return;
            bench::sendAll(fd, kAfterAttachment);
        });
        TIdMessageClient client;
        client.Host = "127.0.0.1";
        client.Port = sender.port();
        client.Connect();
        TIdMessage msg;
        client.ReceiveHeaderLines(msg, "");

        std::ofstream("/proc/self/clear_refs") << "5";  // resets VmHWM to VmRSS
        const long before = bench::statusKiB("VmRSS:");
        const auto start = std::chrono::steady_clock::now();
        client.ReceiveMessageBody(msg, ".");
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long peak = bench::statusKiB("VmHWM:");
        state.SetIterationTime(seconds);

        msg.Parts.RecountParts();
        struct stat info {};
        const auto* file = msg.Parts.Count() == 2 ? dynamic_cast<TIdAttachment*>(&msg.Parts[1]) : nullptr;
        if (!file || ::stat(file->StoredPath.c_str(), &info) != 0 ||
            static_cast<std::size_t>(info.st_size) != kAttachmentBytes)
            state.SkipWithError("the attachment was not received whole");
        state.counters["MB/s"] = static_cast<double>(bodySize()) / 1e6 / seconds;
        state.counters["rss_growth_MiB"] = static_cast<double>(peak - before) / 1024;
        client.Disconnect();
    }
}
BENCHMARK(BM_ReceiveLargeAttachment)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);

}  // namespace

BENCHMARK_MAIN();
