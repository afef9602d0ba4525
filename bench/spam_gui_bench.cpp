// Spam verdicts per second: 10,000 generated messages against a word list
// of 1,000 rules, with the prepared word list (as a check run uses it) and
// with every line parsed and normalised anew for every message; and the
// verdict with its reason as a check run now makes it, without friends and
// with a friends list of 1,000 entries. Run with
//   --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
// so that the peers take turns in the same run.
#include "app/udmSpam.h"
#include "app/udmSpamReason.h"

#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kMessages = 10000;
constexpr int kRules = 1000;
constexpr int kFriends = 1000;

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
        addFriends();
    }

    std::vector<std::string> rules;
    std::vector<std::string> friends;
    std::vector<TSpamMessageView> messages;
    std::vector<std::int64_t> sizes;

private:
    // One message in 40 from a friend by address, in other letter case,
    // one in 100 by domain; the rest of the list names nobody who writes.
    void addFriends() {
        for (std::size_t i = 0; i < messages.size(); i += 40) {
            std::string address = messages[i].FromAddress;
            address[0] = static_cast<char>(address[0] - 'a' + 'A');
            friends.push_back(address);
        }
        for (std::size_t i = 7; i < messages.size(); i += 100)
            friends.push_back(messages[i].FromAddress.substr(messages[i].FromAddress.find('@')));
        while (friends.size() < kFriends)
            friends.push_back(random_() % 3 == 0 ? "@" + made(4, 10) + ".org" : made(3, 8) + "@" + made(4, 10) + ".net");
    }

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

// The verdict with its reason, as the check run makes it.
void judgeAll(benchmark::State& state, const TSpamJudge& judge) {
    const Corpus& c = corpus();
    std::size_t spam = 0;
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i) spam += judge.Judge(c.messages[i], c.sizes[i]).Spam;
    }
    benchmark::DoNotOptimize(spam);
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.counters["spam_share"] =
        static_cast<double>(spam) / static_cast<double>(state.iterations() * kMessages);
}

void BM_VerdictWithReasons(benchmark::State& state) { judgeAll(state, TSpamJudge(corpus().rules, kRulesOn)); }
BENCHMARK(BM_VerdictWithReasons)->Unit(benchmark::kMillisecond);

void BM_VerdictWithReasonsAndFriends(benchmark::State& state) {
    judgeAll(state, TSpamJudge(corpus().rules, kRulesOn, TFriendsList(corpus().friends)));
}
BENCHMARK(BM_VerdictWithReasonsAndFriends)->Unit(benchmark::kMillisecond);

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
