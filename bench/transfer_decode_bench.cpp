// The content transfer decoders over 64 MiB of encoded input each (Base64
// in 76-character lines, quoted-printable prose with escapes and soft line
// breaks, uuencode lines), one received line at a time as body reception
// feeds them, into the memory sink and into a file. Rates are in bytes of
// encoded input per second.
//
//     transfer_decode_bench --write-inputs=DIR
//         writes DIR/<kind>.txt (encoded, CR LF lines) and DIR/<kind>.raw (the
//         bytes it encodes) for kind base64, qp and uu, checks that the
//         decoders give back the raw bytes, and exits
//     transfer_decode_bench [--inputs=DIR] [benchmark options]
//         runs the benchmarks over DIR's inputs (generated in memory without
//         --inputs)
//
// scripts/bench.sh decode runs it beside coreutils base64 -d and Python's
// binascii on the same files.
#include "message/IdByteSink.h"
#include "message/IdCoderMIME.h"
#include "message/IdCoderQuotedPrintable.h"
#include "message/IdCoderUUE.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t kEncodedSize = 64 * 1024 * 1024;

struct Input {
    std::string encoded;
    std::string raw;
};

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Three bytes at a time as four characters of `alphabet`; "=" pads.
std::string encodeGroups(std::string_view bytes, std::string_view alphabet, bool pad) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 3; ++k)
            group = group << 8 | (i + k < bytes.size() ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        const std::size_t chars = std::min<std::size_t>(4, (bytes.size() - i) * 4 / 3 + 1);
        for (std::size_t k = 0; k < 4; ++k)
            out += k < chars || !pad ? alphabet[group >> (18 - 6 * k) & 63] : '=';
    }
    return out;
}

Input base64Input() {
    Input input;
    input.raw = randomBytes(kEncodedSize / 78 * 57, 1);
    for (std::size_t i = 0; i < input.raw.size(); i += 57)
        input.encoded += encodeGroups(std::string_view(input.raw).substr(i, 57), kBase64Alphabet, true) + "\r\n";
    return input;
}

Input uuInput() {
    Input input;
    input.raw = randomBytes(kEncodedSize / 63 * 45 + 20, 2);
    for (std::size_t i = 0; i < input.raw.size(); i += 45) {
        const std::string_view line = std::string_view(input.raw).substr(i, 45);
        input.encoded += kUUEAlphabet[line.size()] + encodeGroups(line, kUUEAlphabet, false) + "\r\n";
    }
    return input;
}

// Prose with some 8-bit letters and equals signs, in paragraphs, encoded
// with soft line breaks at 76 characters and "=20" for a blank that ends a
// line.
Input qpInput() {
    static const char* const kWords[] = {"the", "quarterly", "report", "caf\xE9", "na\xEFve", "a=b", "for",
                                         "Stra\xDF" "e", "desk", "meeting", "moved", "to", "Thursday,", "room"};
    std::mt19937 random(3);
    Input input;
    std::string line;
    const auto endLine = [&](std::string_view lineEnd) {
        input.encoded += line;
        input.encoded += lineEnd;
        line.clear();
    };
    while (input.encoded.size() < kEncodedSize - 200) {
        const std::string word = kWords[random() % std::size(kWords)];
        const bool paragraphEnds = random() % 12 == 0;
        std::string text = word + (paragraphEnds && random() % 3 != 0 ? "" : " ");
        input.raw += text;
        std::string encoded;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            char escape[4];
            std::snprintf(escape, sizeof escape, "=%02X", byte);
            encoded += byte == '=' || byte >= 0x80 ? std::string(escape) : std::string(1, c);
        }
        if (line.size() + encoded.size() > 75) endLine("=\r\n");
        line += encoded;
        if (paragraphEnds) {
            if (line.back() == ' ') line.replace(line.size() - 1, 1, "=20");
            endLine("\r\n");
            input.raw += "\r\n";
        }
    }
    // The last paragraph closes like the others.
    if (!line.empty() && line.back() == ' ') line.replace(line.size() - 1, 1, "=20");
    endLine("\r\n");
    input.raw += "\r\n";
    return input;
}

std::map<std::string, Input>& inputs() {
    static std::map<std::string, Input> all;
    return all;
}

// Calls `decodeLine` for every line of `encoded`, a text of CR LF lines,
// with the line without its CR LF and the line with it.
template <typename DecodeLine>
void forEachLine(std::string_view encoded, DecodeLine&& decodeLine) {
    while (!encoded.empty()) {
        const void* lf = std::memchr(encoded.data(), '\n', encoded.size());
        const std::size_t size = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - encoded.data()) + 1
                                    : encoded.size();
        const std::string_view withBreak = encoded.substr(0, size);
        decodeLine(withBreak.substr(0, withBreak.size() - 2), withBreak);
        encoded.remove_prefix(size);
    }
}

// Decodes `kind`'s input line by line into `sink` as the part readers pass
// the lines: Base64 when not empty, quoted-printable followed by CR LF (the
// reader appends it to the line it read, in place), uuencode as it is.
void decodeAll(const std::string& kind, ByteSink& sink) {
    const std::string& encoded = inputs().at(kind).encoded;
    if (kind == "base64") {
        TIdDecoderMIME decoder;
        forEachLine(encoded, [&](std::string_view line, std::string_view) {
            if (!line.empty()) decoder.DecodeToStream(line, sink);
        });
    } else if (kind == "qp") {
        TIdDecoderQuotedPrintable decoder;
        forEachLine(encoded,
                    [&](std::string_view, std::string_view withBreak) { decoder.DecodeToStream(withBreak, sink); });
    } else {
        TIdDecoderUUE decoder;
        forEachLine(encoded, [&](std::string_view line, std::string_view) { decoder.DecodeToStream(line, sink); });
    }
}

void countRate(benchmark::State& state, const std::string& kind) {
    const double bytes = static_cast<double>(inputs().at(kind).encoded.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["MB/s"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeToMemory(benchmark::State& state, const std::string& kind) {
    for (auto _ : state) {
        MemorySink sink;
        decodeAll(kind, sink);
        if (sink.Size() != inputs().at(kind).raw.size()) state.SkipWithError("decoded size differs");
        benchmark::DoNotOptimize(sink.Data().data());
    }
    countRate(state, kind);
}

void BM_DecodeToFile(benchmark::State& state, const std::string& kind) {
    char path[] = "/tmp/skimlet-decode-XXXXXX";
    const int probe = ::mkstemp(path);
    if (probe < 0) return state.SkipWithError("no temporary file");
    ::close(probe);
    for (auto _ : state) {
        FileSink sink(::open(path, O_WRONLY | O_TRUNC));
        decodeAll(kind, sink);
        sink.Close();
        if (sink.Size() != inputs().at(kind).raw.size()) state.SkipWithError("decoded size differs");
    }
    ::unlink(path);
    countRate(state, kind);
}

void registerAll() {
    for (const char* kind : {"base64", "qp", "uu"}) {
        benchmark::RegisterBenchmark((std::string("BM_Memory_") + kind).c_str(), BM_DecodeToMemory, kind)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(2);
        benchmark::RegisterBenchmark((std::string("BM_File_") + kind).c_str(), BM_DecodeToFile, kind)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(2);
    }
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// Generates the inputs, or reads them from `dir`; with `write`, writes them
// there and checks our decoding against the raw bytes.
bool loadInputs(const std::string& dir, bool write) {
    if (dir.empty() || write) {
        inputs()["base64"] = base64Input();
        inputs()["qp"] = qpInput();
        inputs()["uu"] = uuInput();
    } else {
        for (const char* kind : {"base64", "qp", "uu"})
            inputs()[kind] = {readFile(dir + "/" + kind + ".txt"), readFile(dir + "/" + kind + ".raw")};
    }
    for (const auto& [kind, input] : inputs()) {
        if (write) {
            std::ofstream(dir + "/" + kind + ".txt", std::ios::binary) << input.encoded;
            std::ofstream(dir + "/" + kind + ".raw", std::ios::binary) << input.raw;
        }
        MemorySink sink;
        decodeAll(kind, sink);
        if (input.encoded.empty() || sink.Data() != input.raw) {
            std::cerr << "transfer_decode_bench: " << kind << " does not decode to its raw bytes\n";
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir;
    bool write = false;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i > 0 && arg.starts_with("--inputs=")) {
            dir = arg.substr(9);
        } else if (i > 0 && arg.starts_with("--write-inputs=")) {
            dir = arg.substr(15);
            write = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (!loadInputs(dir, write)) return 1;
    if (write) return 0;
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
