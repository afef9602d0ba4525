// The download of one large message, measured beside peers. Against the
// private Dovecot whose second user's mailbox holds one message with a
// 100 MiB random binary attachment in Base64, about 143 MB on the wire
// (scripts/bench.sh download fills it with scripts/gen-attachments.py --set
// big and names the generator's manifest in SKIMLET_BENCH_MANIFEST).
//
// Every iteration lets four clients fetch the message in turn, the order
// rotated from one iteration to the next, so that they share the machine's
// and the server's load alike:
//   skimlet  "Download message" on a shown main window after a check run
//            (TMessageHeader::Retrieve: RETR, header and body reception, the
//            attachment decoded into its file as it comes), then a click on
//            the attachment's link saving it to a file (the save dialog
//            faked)
//   minimal  the minimal blocking client of MinimalPop3Client.h, which only
//            reads the RETR reply to its end
//   poplib   Python's poplib and the email package parsing the whole message
//            and writing the attachment (bench/python/download_peer.py)
//   stream   Python reading the reply line by line and decoding the
//            attachment's lines with binascii into a file (the same script)
// Each client's seconds and the growth of its process's peak resident
// memory in MiB (ours from /proc/self/status, the peak first reset through
// /proc/self/clear_refs; Python's from its own getrusage), and the saved
// files checked against the generator's SHA-256. Targets: Skimlet's growth
// at most 16 MiB, Skimlet at least 3 times as fast as the streaming Python
// client and within twice the minimal client's plain read.
#include "BenchSupport.h"
#include "MinimalPop3Client.h"
#include "WindowRunSupport.h"

#include "app/FakePlatform.h"
#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "ui/Application.h"

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

enum Client { kSkimlet, kMinimal, kPoplib, kStream, kClients };
const char* const kNames[kClients] = {"skimlet", "minimal", "poplib", "stream"};

struct Run {
    double seconds = -1;
    double growthMiB = 0;
};

// The peak resident memory set back to what is resident now; returns that.
long resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
    return statusKiB("VmRSS:");
}

std::string fileSha256(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0)
        EVP_DigestUpdate(context, buffer.data(), static_cast<std::size_t>(in.gcount()));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(context, digest, &size);
    EVP_MD_CTX_free(context);
    return QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(size)).toHex().toStdString();
}

// The attachment's SHA-256 from the generator's manifest.
std::string expectedSha256() {
    const char* path = std::getenv("SKIMLET_BENCH_MANIFEST");
    if (!path) return {};
    std::ifstream in(path);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const QJsonArray messages = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object()["messages"].toArray();
    if (messages.isEmpty()) return {};
    return messages[0].toObject()["attachments"].toArray()[0].toObject()["sha256"].toString().toStdString();
}

// "Download message" on a fresh window after its check run, then the
// attachment saved through its link.
Run runSkimlet(const ServerAccount& account, const std::string& out, std::string& error) {
    FakePlatformScope fake;
    Tfmain w;
    prepareWindow(w, account.host, account.user, account.password, account.port);
    if (!checkRun(w, error)) return {};
    w.headlist->setCurrentItem(w.headlist->topLevelItem(0));
    fake->saveAnswer = QString::fromStdString(out);
    const long before = resetPeak();
    const Clock::time_point start = Clock::now();
    w.mmDownload->trigger();
    for (const ui::TextLink& link : w.memo->links())
        if (link.target.startsWith(QStringLiteral("http://localhost/"))) emit w.memo->linkClicked(link.target);
    Run run{std::chrono::duration<double>(Clock::now() - start).count(),
            static_cast<double>(statusKiB("VmHWM:") - before) / 1024};
    if (!fake->errors.empty()) {
        error = fake->errors.front().text.toStdString();
        return {};
    }
    return run;
}

Run runMinimal(const ServerAccount& account, std::string& error) {
    const auto pop = std::make_unique<MinimalPop3>();
    const long before = resetPeak();
    const Clock::time_point start = Clock::now();
    char reply[256] = "connection failed";
    const bool read = minimal_pop3_connect(pop.get(), account.host.c_str(), account.port) == 0 &&
                      minimal_pop3_command(pop.get(), ("USER " + account.user).c_str(), reply, sizeof reply) == 1 &&
                      minimal_pop3_command(pop.get(), ("PASS " + account.password).c_str(), reply, sizeof reply) == 1 &&
                      minimal_pop3_command(pop.get(), "RETR 1", reply, sizeof reply) == 1 &&
                      minimal_pop3_read_multiline(pop.get()) > 0;
    minimal_pop3_quit(pop.get());
    if (!read) {
        error = reply;
        return {};
    }
    return {std::chrono::duration<double>(Clock::now() - start).count(),
            static_cast<double>(statusKiB("VmHWM:") - before) / 1024};
}

Run runPython(const ServerAccount& account, const char* mode, const std::string& out, std::string& error) {
    const std::string command = "python3 '" SKIMLET_SOURCE_DIR "/bench/python/download_peer.py' --mode " +
                                std::string(mode) + " --port " + std::to_string(account.port) + " --user '" +
                                account.user + "' --password '" + account.password + "' --out '" + out + "'";
    Run run;
    double kib = 0;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe || std::fscanf(pipe, "%lf %lf", &run.seconds, &kib) != 2) run.seconds = -1;
    if (pipe && ::pclose(pipe) != 0) run.seconds = -1;
    if (run.seconds < 0) error = std::string("the Python peer failed: ") + mode;
    run.growthMiB = kib / 1024;
    return run;
}

void BM_DownloadTakingTurns(benchmark::State& state) {
    ServerAccount account;
    const char* user = std::getenv("SKIMLET_DOVECOT_USER2");
    const char* password = std::getenv("SKIMLET_DOVECOT_PASSWORD2");
    const std::string sha = expectedSha256();
    if (!serverAccount(account) || !user || !password || sha.empty()) {
        state.SkipWithError("no server or manifest: run through scripts/bench.sh download");
        return;
    }
    account.user = user;
    account.password = password;
    static int rotation = 0;
    const std::string out = scratchFolder() + "/saved.bin";
    // The first login after the mailbox was filled lets the server index it.
    std::string warmUp;
    if (rotation == 0 && runMinimal(account, warmUp).seconds < 0) {
        state.SkipWithError(warmUp.c_str());
        return;
    }
    for (auto _ : state) {
        Run runs[kClients];
        std::string error;
        for (int turn = 0; turn < kClients && error.empty(); ++turn) {
            const auto client = static_cast<Client>((turn + rotation) % kClients);
            std::filesystem::remove(out);
            switch (client) {
            case kSkimlet: runs[client] = runSkimlet(account, out, error); break;
            case kMinimal: runs[client] = runMinimal(account, error); break;
            default: runs[client] = runPython(account, client == kPoplib ? "poplib" : "stream", out, error); break;
            }
            if (error.empty() && client != kMinimal && fileSha256(out) != sha)
                error = std::string(kNames[client]) + " saved other bytes than the attachment";
        }
        rotation = (rotation + 1) % kClients;
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            return;
        }
        state.SetIterationTime(runs[kSkimlet].seconds);
        for (int client = 0; client < kClients; ++client) {
            state.counters[std::string(kNames[client]) + "_s"] = runs[client].seconds;
            state.counters[std::string(kNames[client]) + "_rss_growth_MiB"] = runs[client].growthMiB;
        }
        state.counters["stream_vs_skimlet_x"] = runs[kStream].seconds / runs[kSkimlet].seconds;
        state.counters["skimlet_vs_minimal_x"] = runs[kSkimlet].seconds / runs[kMinimal].seconds;
    }
    std::filesystem::remove(out);
}
BENCHMARK(BM_DownloadTakingTurns)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) { return bench::runWindowBenchmarks(argc, argv, "download_gui_bench"); }
