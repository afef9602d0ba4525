// Encoded-word decoding and address list parsing over realistic values, in
// values per second, and one long value with many words.
#include "message/IdCoderHeader.h"
#include "message/IdEMailAddress.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kValues = 100000;

std::vector<std::string> realisticSubjects() {
    static const char* const kShapes[] = {
        "Quarterly report for the sales desk",
        "Re: =?iso-8859-2?Q?P=F8=EDli=B9_drah=E9?= invoice %",
        "=?windows-1250?B?SGVsbG8gd29ybGQsIGhvdyBhcmUgeW91IHRvZGF5Pw==?=",
        "Fwd: =?ISO-8859-1?Q?Caf=E9_au_lait?= =?ISO-8859-1?Q?_et_cr=E8me?=",
        "=?UTF-8?B?w6nDqMOgIHN1YmplY3Q=?= left as it is",
        "Re: [list] meeting moved to Thursday, room %",
    };
    std::mt19937 random(3);
    std::vector<std::string> values;
    values.reserve(kValues);
    for (std::size_t i = 0; i < kValues; ++i) {
        std::string value = kShapes[random() % std::size(kShapes)];
        if (const std::size_t at = value.find('%'); at != std::string::npos) value.replace(at, 1, std::to_string(i));
        values.push_back(std::move(value));
    }
    return values;
}

std::vector<std::string> realisticAddressLists() {
    static const char* const kShapes[] = {
        "Sales Desk <box%@host.example>",
        "user%@host.example",
        "\"Desk, Sales\" <box%@host.example>, x@y.example, Another Name <another@z.example>",
        "box%@host.example (Sales Desk)",
        "Team: a%@b.example, c@d.example;",
        "=?ISO-8859-1?Q?Caf=E9?= <cafe%@host.example>, undisclosed-recipients:;",
    };
    std::mt19937 random(4);
    std::vector<std::string> values;
    values.reserve(kValues);
    for (std::size_t i = 0; i < kValues; ++i) {
        std::string value = kShapes[random() % std::size(kShapes)];
        value.replace(value.find('%'), 1, std::to_string(i));
        values.push_back(std::move(value));
    }
    return values;
}

void BM_DecodeHeaderText(benchmark::State& state) {
    const std::vector<std::string> values = realisticSubjects();
    std::size_t total = 0;
    for (auto _ : state) {
        for (const std::string& value : values) total += DecodeHeaderText(value).size();
    }
    benchmark::DoNotOptimize(total);
    state.counters["values/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(values.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeHeaderText)->Unit(benchmark::kMillisecond);

void BM_ParseAddressList(benchmark::State& state) {
    const std::vector<std::string> values = realisticAddressLists();
    std::size_t total = 0;
    TIdEMailAddressList list;
    for (auto _ : state) {
        for (const std::string& value : values) {
            list.ParseAddressList(value);
            total += static_cast<std::size_t>(list.Count());
        }
    }
    benchmark::DoNotOptimize(total);
    state.counters["values/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(values.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseAddressList)->Unit(benchmark::kMillisecond);

// About 1 MB holding 10,000 encoded words of both families and both
// encodings, with plain text between them.
void BM_DecodeMegabyteOf10000Words(benchmark::State& state) {
    std::string value;
    for (int i = 0; value.size() < (1u << 20); ++i) {
        value += i % 2 ? "=?iso-8859-2?Q?P=F8=EDli=B9_drah=E9_k=F9=F2_=FApl=ECl_=EF=E1belsk=E9_=F3dy?= "
                       : "=?windows-1250?B?SGVsbG8gd29ybGQsIGhvdyBhcmUgeW91IHRvZGF5PyBGaW5lLCB0aGFua3Mu?= ";
        value += std::string(20, 'x') + ' ';
    }
    std::size_t total = 0;
    for (auto _ : state) total += DecodeHeaderText(value).size();
    benchmark::DoNotOptimize(total);
    state.counters["bytes"] = static_cast<double>(value.size());
}
BENCHMARK(BM_DecodeMegabyteOf10000Words)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
