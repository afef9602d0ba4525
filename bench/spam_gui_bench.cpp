// Spam verdicts per second: 10,000 generated messages against a word list
// of 1,000 rules, with the prepared word list (as a check run uses it) and
// with every line parsed and normalised anew for every message.
#include "app/udmSpam.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kMessages = 10000;
constexpr int kRules = 1000;

const std::vector<std::string> kVocabulary = {
    "meeting", "invoice", "project", "update", "report",  "weekly", "lunch",  "order",
    "shipped", "account", "password", "reset", "offer",   "free",   "cheap",  "winner",
    "lottery", "viagra",  "pharmacy", "deal",  "holiday", "photos", "family", "budget",
    "draft",   "review",  "release", "notes",  "agenda",  "ticket", "travel", "hotel",
    "newsletter", "sale", "discount", "urgent", "reply",  "question", "thanks", "tomorrow"};

class Corpus {
public:
    Corpus() : random_(20261208) {
        for (int i = 0; i < kRules; ++i) rules.push_back(rule());
        for (int i = 0; i < kMessages; ++i) {
            messages.push_back(message());
            // Mostly small mails, one in a hundred with a large attachment.
            sizes.push_back(random_() % 100 == 0 ? 5000000 : 2000 + random_() % 200000);
        }
    }

    std::vector<std::string> rules;
    std::vector<TSpamMessageView> messages;
    std::vector<std::int64_t> sizes;

private:
    std::string pick() { return kVocabulary[random_() % kVocabulary.size()]; }

    std::string made(std::size_t minLength, std::size_t maxLength) {
        std::string word(minLength + random_() % (maxLength - minLength + 1), 'a');
        for (char& c : word) c = static_cast<char>('a' + random_() % 26);
        return word;
    }

    // Mostly invented words (which rarely match), some common ones.
    std::string rule() {
        const unsigned kind = random_() % 20;
        const std::string word = random_() % 10 == 0 ? pick() + made(2, 4) : made(5, 10);
        if (kind < 14) return "Subject: %" + word;
        if (kind < 16) return "Subject: =" + word;
        if (kind < 19) return "Address: %" + word;
        return "Address: =" + word;
    }

    // A subject of three to eight words, now and then disguised.
    TSpamMessageView message() {
        TSpamMessageView m;
        const std::size_t words = 3 + random_() % 6;
        for (std::size_t i = 0; i < words; ++i) {
            if (i > 0) m.Subject += ' ';
            std::string word = pick();
            if (random_() % 15 == 0) word.insert(1, random_() % 2 ? "." : "-");
            m.Subject += word;
        }
        if (random_() % 4 == 0) m.Subject.insert(0, "Re: ");
        m.FromName = made(4, 8) + " " + made(5, 10);
        m.FromAddress = made(3, 8) + "." + made(4, 9) + "@" + made(4, 10) + ".com";
        m.RecipientCount = 1 + random_() % 4;
        return m;
    }

    std::mt19937 random_;
};

const Corpus& corpus() {
    static const Corpus instance;
    return instance;
}

const TSpamRules kRulesOn{true, 20, 2048};

void BM_VerdictPrepared(benchmark::State& state) {
    const Corpus& c = corpus();
    const TPreparedFilters prepared(c.rules);
    std::size_t spam = 0;
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i)
            spam += IsSpamMessage(c.messages[i], c.sizes[i], kRulesOn, prepared);
    }
    benchmark::DoNotOptimize(spam);
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.counters["spam_share"] =
        static_cast<double>(spam) / static_cast<double>(state.iterations() * kMessages);
}
BENCHMARK(BM_VerdictPrepared)->Unit(benchmark::kMillisecond);

void BM_VerdictLineByLine(benchmark::State& state) {
    const Corpus& c = corpus();
    std::size_t spam = 0;
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i)
            spam += IsSpamMessage(c.messages[i], c.sizes[i], kRulesOn, c.rules);
    }
    benchmark::DoNotOptimize(spam);
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(BM_VerdictLineByLine)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_PrepareWordList(benchmark::State& state) {
    const Corpus& c = corpus();
    for (auto _ : state) {
        TPreparedFilters prepared(c.rules);
        benchmark::DoNotOptimize(prepared);
    }
}
BENCHMARK(BM_PrepareWordList)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
