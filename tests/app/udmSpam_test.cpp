#include "app/udmSpam.h"
#include "app/udmSpamReason.h"
#include "message/IdMessage.h"

#include "TempDir.h"
#include "net/IdException.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <random>

#include <csignal>

#include <sys/resource.h>

namespace {

TSpamMessageView subject(std::string text) {
    TSpamMessageView m;
    m.Subject = std::move(text);
    return m;
}

TSpamMessageView sender(std::string address, std::string name) {
    TSpamMessageView m;
    m.FromAddress = std::move(address);
    m.FromName = std::move(name);
    return m;
}

TEST(SpamSeparators, ExactlyTheTwentyNineBytes) {
    std::string found;
    for (int b = 0; b < 256; ++b) {
        if (IsSpamSeparator(static_cast<unsigned char>(b))) found.push_back(static_cast<char>(b));
    }
    EXPECT_EQ(found, std::string(SpamSeparators));
    EXPECT_EQ(found.size(), 29u);
    for (const char outside : std::string(" '=`~09aZ\t\x1F\x80\xFE"))
        EXPECT_FALSE(IsSpamSeparator(static_cast<unsigned char>(outside))) << int(outside);
}

struct NormalizeRow {
    const char* name;
    std::string input;
    std::string expected;
};

TEST(NormalizeSpamText, Table) {
    const NormalizeRow rows[] = {
        // Disguises
        {"dots between letters", "Cheap V.i.a.g.r.a now!", "CHEAPVIAGRANOWI"},
        {"at reads as A", "Vi@gra", "VIAGRA"},
        {"one reads as I", "V1agra", "VIAGRA"},
        {"bang reads as I", "V!agra", "VIAGRA"},
        {"spaces vanish", "v i a g r a", "VIAGRA"},
        {"percent dropped, one mapped", "100 % FREE", "I00FREE"},
        {"only separators", "---", ""},
        {"every separator but @ and !", "\"#$%&()*+,-./:;<>?[\\]^_{|}\xFF", ""},
        // What stays
        {"zero is not mapped", "l0ttery", "L0TTERY"},
        {"tab is kept", "via\tgra", "VIA\tGRA"},
        {"line break is kept", "a\r\nb", "A\r\nB"},
        {"apostrophe equals grave tilde kept", "a'=`~b", "A'=`~B"},
        {"accented bytes not folded", "p\xF8\xEDli\x9A", "P\xF8\xEDLI\x9A"},
        {"NUL byte kept", std::string("a\0b", 3), std::string("A\0B", 3)},
        {"empty", "", ""},
    };
    for (const auto& row : rows) EXPECT_EQ(NormalizeSpamText(row.input), row.expected) << row.name;
}

struct ParseRow {
    const char* name;
    std::string line;
    TFilterKind kind;
    bool contains;
    std::string text;
};

TEST(ParseMailFilter, Table) {
    const ParseRow rows[] = {
        {"subject contains", "Subject: %viagra", fkSubject, true, "viagra"},
        {"address begins with", "Address: =lottery", fkAddress, false, "lottery"},
        {"word kept untrimmed", "Subject: % a b ", fkSubject, true, " a b "},
        {"any other marker is begins-with", "Subject: viagra", fkSubject, false, "iagra"},
        {"prefix alone", "Subject: ", fkSubject, false, ""},
        {"address prefix alone", "Address: ", fkAddress, false, ""},
        {"lower-case prefix not recognised", "subject: %viagra", fkSubject, true,
         "subject: %viagra"},
        {"prefix without its space", "Subject:%viagra", fkSubject, true, "Subject:%viagra"},
        {"empty line", "", fkSubject, true, ""},
        {"short line", "Sub", fkSubject, true, "Sub"},
    };
    for (const auto& row : rows) {
        const TMailFilter rule = ParseMailFilter(row.line);
        EXPECT_EQ(rule.Kind, row.kind) << row.name;
        EXPECT_EQ(rule.Contains, row.contains) << row.name;
        EXPECT_EQ(rule.FilterText, row.text) << row.name;
    }
}

struct MatchRow {
    const char* name;
    std::string line;
    TSpamMessageView message;
    bool expected;
};

std::vector<MatchRow> matchRows() {
    return {
        // Disguised words
        {"dotted word", "Subject: %viagra", subject("Cheap V.i.a.g.r.a now!"), true},
        {"at sign", "Subject: %viagra", subject("Vi@gra"), true},
        {"digit one", "Subject: %viagra", subject("V1agra"), true},
        {"spaced letters", "Subject: %viagra", subject("v i a g r a"), true},
        {"no word boundaries", "Subject: %sale", subject("Wholesale prices"), true},
        {"percent word", "Subject: %100% free", subject("100 % FREE"), true},
        // Begins-with
        {"begins-with needs the start", "Subject: =viagra", subject("Re: viagra"), false},
        {"begins-with at the start", "Subject: =viagra", subject("V-I-A-G-R-A!!"), true},
        {"marker always taken: word iagra", "Subject: viagra", subject("iagra pills"), true},
        {"marker always taken: not viagra", "Subject: viagra", subject("viagra"), false},
        {"begins-with longer than text", "Subject: =viagras", subject("viagra"), false},
        // Never matching
        {"separators-only word", "Subject: %---", subject("--- anything"), false},
        {"prefix alone", "Subject: ", subject("anything"), false},
        {"empty line", "", subject("anything"), false},
        {"empty subject", "Subject: %a", subject(""), false},
        // Lines without a prefix
        {"lower-case prefix is part of the word", "subject: %viagra", subject("viagra"), false},
        {"lower-case prefix word found", "subject: %viagra", subject("Subject: viagra"), true},
        {"short line is a contains word", "abc", subject("xxABCxx"), true},
        // What is not seen through
        {"zero is not o", "Subject: %l0ttery", subject("lottery"), false},
        {"accents not folded", "Subject: %p\xF8\xEDli\x9A", subject("P\xD8\xCDLI\x8A"), false},
        {"accents equal bytes", "Subject: %p\xF8\xEDli\x9A", subject("P\xF8\xEDli\x9A!"), true},
        {"tab stays", "Subject: %viagra", subject("via\tgra"), false},
        // Sender rules
        {"display name", "Address: %lottery", sender("win@example.com", "Lottery Office"), true},
        {"address dots", "Address: %lottery.office", sender("x@lottery.office.com", ""), true},
        {"dotted word meets name", "Address: %lottery.office", sender("a@b.c", "Lottery Office"),
         true},
        {"address and name run together", "Address: =bobsmith", sender("bob", "Smith"), true},
        {"begins with address", "Address: =lottery", sender("lottery@x.org", ""), true},
        {"address not at start", "Address: =lottery", sender("win.lottery@x.org", ""), false},
        {"no sender", "Address: %lottery", sender("", ""), false},
        {"subject rule ignores sender", "Subject: %lottery", sender("lottery@x", "Lottery"), false},
        {"sender rule ignores subject", "Address: %lottery", subject("lottery"), false},
    };
}

TEST(MatchMailFilter, Table) {
    for (const auto& row : matchRows())
        EXPECT_EQ(MatchMailFilter(row.line, row.message), row.expected) << row.name;
}

TEST(TPreparedFilters, SingleRuleEqualsMatchMailFilter) {
    for (const auto& row : matchRows()) {
        const TPreparedFilters prepared({row.line});
        EXPECT_EQ(prepared.Matches(row.message), row.expected) << row.name;
    }
}

TEST(TPreparedFilters, WholeListEqualsLineByLine) {
    std::vector<std::string> lines;
    for (const auto& row : matchRows()) lines.push_back(row.line);
    // Drop the rows one at a time so that every rule decides some verdicts.
    for (std::size_t skip = 0; skip < lines.size(); ++skip) {
        std::vector<std::string> list = lines;
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(skip));
        const TPreparedFilters prepared(list);
        for (const auto& row : matchRows()) {
            const bool byLine = IsSpamMessage(row.message, 0, TSpamRules{}, list);
            EXPECT_EQ(prepared.Matches(row.message), byLine) << row.name << " without " << skip;
        }
    }
}

// Overlapping words over a tiny alphabet reach every corner of the
// automaton (suffix links, begins-with after a failure edge).
TEST(TPreparedFilters, RandomListsEqualLineByLine) {
    std::mt19937 random(1152);
    const std::string alphabet = "abAB1!@ -.x";
    const auto text = [&](std::size_t maxLength) {
        std::string s(random() % (maxLength + 1), ' ');
        for (char& c : s) c = alphabet[random() % alphabet.size()];
        return s;
    };
    const char* prefixes[] = {"Subject: %", "Subject: =", "Address: %", "Address: =", ""};
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> list;
        for (std::size_t n = random() % 6; n > 0; --n) list.push_back(prefixes[random() % 5] + text(4));
        const TPreparedFilters prepared(list);
        for (int m = 0; m < 20; ++m) {
            TSpamMessageView message;
            message.Subject = text(10);
            message.FromAddress = text(6);
            message.FromName = text(6);
            int first = -1;
            for (std::size_t i = list.size(); i-- > 0;) first = MatchMailFilter(list[i], message) ? int(i) : first;
            ASSERT_EQ(prepared.FirstMatch(message), first);
            const bool byLine = first >= 0;
            ASSERT_EQ(prepared.Matches(message), byLine)
                << "subject '" << message.Subject << "' from '" << message.FromAddress << "' '"
                << message.FromName << "'";
        }
    }
}

// Words over nearly every byte value make the dense table too large; the
// prepared list then tests the words one by one, with the same answers.
TEST(TPreparedFilters, HugeAlphabetListEqualsLineByLine) {
    std::mt19937 random(40);
    const auto byte = [&] { return static_cast<char>(0x80 + random() % 0x7F); };
    std::vector<std::string> list;
    for (int i = 0; i < 30000; ++i) {  // 180,000 bytes x 131 columns
        std::string word(6, ' ');
        for (char& c : word) c = byte();
        list.push_back((i % 2 ? "Subject: %" : "Subject: =") + word);
    }
    list.push_back("Address: %hit");
    const TPreparedFilters prepared(list);
    const TSpamMessageView messages[] = {
        subject("x" + list[1].substr(10) + "y"),  // contains-word inside
        subject(list[2].substr(10) + "tail"),     // begins-with word at the start
        subject("x" + list[2].substr(10)),        // begins-with word not at the start
        sender("h.i.t@x", ""),
        subject("nothing here"),
    };
    const bool expected[] = {true, true, false, true, false};
    for (std::size_t i = 0; i < std::size(messages); ++i) {
        bool byLine = false;
        for (const auto& line : list) byLine = byLine || MatchMailFilter(line, messages[i]);
        EXPECT_EQ(byLine, expected[i]) << i;
        EXPECT_EQ(prepared.Matches(messages[i]), expected[i]) << i;
        EXPECT_EQ(prepared.FirstMatch(messages[i]) >= 0, expected[i]) << i;
    }
}

struct GeneralRow {
    const char* name;
    TSpamRules rules;
    TSpamMessageView message;
    std::int64_t size;
    bool expected;
};

TSpamMessageView recipients(std::int64_t count) {
    TSpamMessageView m = subject("Hello");
    m.RecipientCount = count;
    return m;
}

std::vector<GeneralRow> generalRows() {
    const TSpamRules emptyOn{true, 0, 0};
    return {
        // Empty subject
        {"defaults mark nothing", TSpamRules{}, subject(""), 1 << 30, false},
        {"empty", emptyOn, subject(""), 0, true},
        {"spaces", emptyOn, subject("   "), 0, true},
        {"Re:", emptyOn, subject("Re:"), 0, true},
        {"RE: with spaces", emptyOn, subject("RE:  "), 0, true},
        {"re dash", emptyOn, subject("re -"), 0, true},
        {"separators only", emptyOn, subject("-- ?"), 0, true},
        {"question marks", emptyOn, subject("??"), 0, true},
        {"Re: hi", emptyOn, subject("Re: hi"), 0, false},
        {"one reads as I", emptyOn, subject("1"), 0, false},
        {"Fwd:", emptyOn, subject("Fwd:"), 0, false},
        {"Re: Re:", emptyOn, subject("Re: Re:"), 0, false},
        {"R alone", emptyOn, subject("R"), 0, false},
        {"tab is not empty", emptyOn, subject("\t"), 0, false},
        {"rule off", TSpamRules{false, 0, 0}, subject("Re:"), 0, false},
        // Recipients
        {"three allowed, four", TSpamRules{false, 3, 0}, recipients(4), 0, true},
        {"three allowed, three", TSpamRules{false, 3, 0}, recipients(3), 0, false},
        {"one allowed, two", TSpamRules{false, 1, 0}, recipients(2), 0, true},
        {"one allowed, one", TSpamRules{false, 1, 0}, recipients(1), 0, false},
        {"zero switches off", TSpamRules{false, 0, 0}, recipients(1000), 0, false},
        {"negative switches off", TSpamRules{false, -1, 0}, recipients(1000), 0, false},
        // Size
        {"100 kB exactly", TSpamRules{false, 0, 100}, subject("x"), 102400, false},
        {"100 kB plus one", TSpamRules{false, 0, 100}, subject("x"), 102401, true},
        {"1 kB exactly", TSpamRules{false, 0, 1}, subject("x"), 1024, false},
        {"1 kB plus one", TSpamRules{false, 0, 1}, subject("x"), 1025, true},
        {"2 GB limit exactly", TSpamRules{false, 0, 2097152}, subject("x"), 2147483648LL, false},
        {"2 GB limit plus one", TSpamRules{false, 0, 2097152}, subject("x"), 2147483649LL, true},
        {"2 GB limit, small message", TSpamRules{false, 0, 2097152}, subject("x"), 5000, false},
        {"largest limit exactly", TSpamRules{false, 0, INT_MAX}, subject("x"),
         std::int64_t{INT_MAX} * 1024, false},
        {"largest limit plus one", TSpamRules{false, 0, INT_MAX}, subject("x"),
         std::int64_t{INT_MAX} * 1024 + 1, true},
        {"size zero switches off", TSpamRules{false, 0, 0}, subject("x"), 1LL << 40, false},
        {"size negative switches off", TSpamRules{false, 0, -5}, subject("x"), 1LL << 40, false},
    };
}

TEST(CheckGeneralRules, Table) {
    for (const auto& row : generalRows())
        EXPECT_EQ(CheckGeneralRules(row.message, row.size, row.rules), row.expected) << row.name;
}

struct VerdictRow {
    const char* name;
    TSpamRules rules;
    TSpamMessageView message;
    std::vector<std::string> list;
    bool expected;
};

std::vector<VerdictRow> verdictRows() {
    const std::vector<std::string> words = {"Subject: %viagra", "Address: =lottery"};
    return {
        {"defaults and no words", TSpamRules{}, subject(""), {}, false},
        {"general rule without words", TSpamRules{true, 0, 0}, subject(""), {}, true},
        {"word list", TSpamRules{}, subject("V!@gra"), words, true},
        {"second line", TSpamRules{}, sender("lottery@x", ""), words, true},
        {"nothing holds", TSpamRules{true, 5, 10}, subject("Hello"), words, false},
    };
}

TEST(IsSpamMessage, GeneralRulesThenWordList) {
    for (const auto& row : verdictRows()) {
        EXPECT_EQ(IsSpamMessage(row.message, 100, row.rules, row.list), row.expected) << row.name;
        EXPECT_EQ(IsSpamMessage(row.message, 100, row.rules, TPreparedFilters(row.list)),
                  row.expected)
            << row.name;
    }
}

// The verdict of a received message reads its subject, sender and the
// addresses of To, Cc and Bcc; the size comes from the caller.
std::unique_ptr<TIdMessage> receivedMessage() {
    auto received = std::make_unique<TIdMessage>();
    TIdMessage& msg = *received;
    msg.Subject = "Hello";
    msg.From.SetAddress("win@lottery.example");
    msg.From.SetName("Big Prize");
    msg.Recipients.Add("a@example.com");
    msg.Recipients.Add("b@example.com");
    msg.CCList.Add("c@example.com");
    msg.BccList.Add("d@example.com");
    return received;
}

struct ReceivedRow {
    const char* name;
    TSpamRules rules;
    std::int64_t size;
    std::vector<std::string> words;
    bool expected;
};

std::vector<ReceivedRow> receivedRows() {
    return {
        {"nothing holds", TSpamRules{true, 4, 1}, 1024, {"Subject: %viagra"}, false},
        {"To, Cc and Bcc counted together", TSpamRules{false, 3, 0}, 0, {}, true},
        {"size from the caller", TSpamRules{false, 0, 1}, 1025, {}, true},
        {"sender's name is matched", TSpamRules{}, 0, {"Address: %bigprize"}, true},
    };
}

TEST(IsSpamMessage, ReceivedMessage) {
    const auto received = receivedMessage();
    const TIdMessage& msg = *received;
    const TSpamMessageView view = SpamViewOf(msg);
    EXPECT_EQ(view.Subject, "Hello");
    EXPECT_EQ(view.FromAddress, "win@lottery.example");
    EXPECT_EQ(view.FromName, "Big Prize");
    EXPECT_EQ(view.RecipientCount, 4);
    for (const ReceivedRow& row : receivedRows()) {
        EXPECT_EQ(IsSpamMessage(msg, row.size, row.rules, row.words), row.expected) << row.name;
        EXPECT_EQ(IsSpamMessage(msg, row.size, row.rules, TPreparedFilters(row.words)), row.expected) << row.name;
    }
    EXPECT_TRUE(CheckGeneralRules(msg, 0, TSpamRules{false, 3, 0}));
    EXPECT_FALSE(CheckGeneralRules(msg, 0, TSpamRules{false, 4, 0}));
}

struct SplitRow {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(SplitFilterLines, Table) {
    const SplitRow rows[] = {
        {"empty file", "", {}},
        {"no final break", "a", {"a"}},
        {"final CR LF adds no line", "a\r\n", {"a"}},
        {"CR, LF and CR LF end lines", "a\rb\nc\r\nd", {"a", "b", "c", "d"}},
        {"empty line in the middle", "a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"one line break", "\r\n", {""}},
        {"LF LF", "a\n\n", {"a", ""}},
        {"CR then CR LF", "a\r\r\n", {"a", ""}},
        {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
    };
    for (const auto& row : rows) EXPECT_EQ(SplitFilterLines(row.bytes), row.lines) << row.name;
}

TEST(FilterFile, MissingFileIsEmptyList) {
    TempDir dir;
    EXPECT_TRUE(ReadFilterFile(dir.file("filters.dat")).empty());
}

TEST(FilterFile, WritesEveryLineWithCrLfAndReplacesTheFile) {
    TempDir dir;
    dir.write("filters.dat", "old line that is long\r\nsecond\r\nthird\r\n");
    WriteFilterFile(dir.file("filters.dat"), {"Subject: %a", "", "Address: =b"});
    EXPECT_EQ(dir.read("filters.dat"), "Subject: %a\r\n\r\nAddress: =b\r\n");
    EXPECT_EQ(ReadFilterFile(dir.file("filters.dat")),
              (std::vector<std::string>{"Subject: %a", "", "Address: =b"}));
    WriteFilterFile(dir.file("filters.dat"), {});
    EXPECT_EQ(dir.read("filters.dat"), "");
    // Nothing is left beside the file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// A file size limit makes the write fail half way, for any user.
TEST(FilterFile, FailedWriteKeepsThePreviousFile) {
    TempDir dir;
    dir.write("filters.dat", "Subject: %kept\r\n");
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::vector<std::string> many(100, "Subject: %a long enough rule line");
    EXPECT_THROW(WriteFilterFile(dir.file("filters.dat"), many), EIdException);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);
    EXPECT_EQ(dir.read("filters.dat"), "Subject: %kept\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(FilterFile, UnreadableFileRaises) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("filters.dat"));
    EXPECT_THROW((void)ReadFilterFile(dir.file("filters.dat")), EIdException);
}

// --- Verdicts with their reasons

// The companions give IsSpamMessage's verdict on every verdict table, with a
// reason exactly for spam; no friends, or an empty friends file, change
// nothing.
TEST(JudgeSpamMessage, SameVerdictAsIsSpamMessageOnEveryTable) {
    TempDir dir;
    const TFriendsList noFriends(ReadFilterFile(dir.file("friends.dat")));
    ASSERT_TRUE(noFriends.Empty());
    const auto same = [&](const char* name, const TSpamMessageView& m, std::int64_t size, const TSpamRules& rules,
                          const std::vector<std::string>& list) {
        const bool expected = IsSpamMessage(m, size, rules, list);
        const TSpamVerdict byLine = JudgeSpamMessage(m, size, rules, list);
        for (const TSpamVerdict& v : {byLine, TSpamJudge(list, rules).Judge(m, size),
                                      TSpamJudge(list, rules, TFriendsList({"", " \t", "@"})).Judge(m, size),
                                      JudgeSpamMessage(m, size, rules, list, noFriends)}) {
            EXPECT_EQ(v.Spam, expected) << name;
            EXPECT_FALSE(v.Friend) << name;
            EXPECT_EQ(v.Reason, byLine.Reason) << name;
        }
        EXPECT_EQ(byLine.Reason.empty(), !expected) << name;
    };
    std::vector<std::string> all;
    for (const auto& row : matchRows()) all.push_back(row.line);
    for (const auto& row : matchRows()) {
        same(row.name, row.message, 0, {}, {row.line});
        same(row.name, row.message, 0, {}, all);
    }
    for (const auto& row : generalRows()) same(row.name, row.message, row.size, row.rules, {});
    for (const auto& row : verdictRows()) same(row.name, row.message, 100, row.rules, row.list);
    for (const auto& row : receivedRows()) same(row.name, SpamViewOf(*receivedMessage()), row.size, row.rules, row.words);
}

TEST(JudgeSpamMessage, ReasonTexts) {
    const struct {
        const char* name;
        TSpamRules rules;
        TSpamMessageView message;
        std::int64_t size;
        std::vector<std::string> words;
        std::string reason;
    } rows[] = {
        {"empty subject", {true, 0, 0}, subject("Re:"), 0, {"Subject: %re"}, "Empty subject"},
        {"recipients", {false, 3, 0}, recipients(5), 0, {}, "5 recipients, more than 3"},
        {"size in kB", {false, 0, 200}, subject("x"), 256000, {}, "250 kB, more than 200 kB"},
        {"size rounded up", {false, 0, 200}, subject("x"), 204801, {}, "201 kB, more than 200 kB"},
        {"disguised word", {}, subject("Cheap V.i.a.g.r.a now!"), 0, {"Subject: %viagra"},
         R"(Subject matches rule "Subject: %viagra": "V.i.a.g.r.a" reads as "VIAGRA")"},
        {"first matching line", {}, subject("Vi@gra sale"), 0, {"Subject: %no", "Subject: %sale", "Subject: %gra"},
         R"(Subject matches rule "Subject: %sale": "sale" reads as "SALE")"},
        {"address and name", {}, sender("bob", "Smith"), 0, {"Address: =bobsmith"},
         R"(Sender matches rule "Address: =bobsmith": "bobSmith" reads as "BOBSMITH")"},
        {"control bytes as spaces", {}, subject("xa\tb"), 0, {"Subject: %a\tb"},
         "Subject matches rule \"Subject: %a b\": \"a b\" reads as \"A B\""},
        {"long texts cut", {}, subject(std::string(150, 'x')), 0, {"Subject: %" + std::string(120, 'x')},
         "Subject matches rule \"Subject: %" + std::string(90, 'x') + "...\": \"" + std::string(100, 'x') +
             "...\" reads as \"" + std::string(100, 'X') + "...\""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(JudgeSpamMessage(row.message, row.size, row.rules, row.words).Reason, row.reason) << row.name;
        const TSpamVerdict v = TSpamJudge(row.words, row.rules).Judge(row.message, row.size);
        EXPECT_EQ(SpamReasonLine(v), "Marked as spam: " + row.reason) << row.name;
    }
}

TSpamMessageView from(std::string address) { return sender(std::move(address), "Lottery"); }

TEST(TFriendsList, AddressesAndDomainsInAnyCaseOverrideEveryRule) {
    const TFriendsList friends({"Anna@Example.org", "  @lists.example.NET ", "", "@", "bob", "anna@example.org"});
    const struct {
        const char* name;
        std::string address;
        const char* entry;
    } lookups[] = {
        {"address, other case", "anna@EXAMPLE.ORG", "Anna@Example.org"},
        {"domain, other case", "x@Lists.Example.Net", "  @lists.example.NET "},
        {"long address in the domain", std::string(300, 'a') + "@lists.example.net", "  @lists.example.NET "},
        {"the last @ starts the domain", "\"a@b\"@lists.example.net", "  @lists.example.NET "},
        {"address without a domain", "BOB", "bob"},
        {"subdomain is another domain", "x@a.lists.example.net", nullptr},
        {"an address entry names no domain", "ann@example.org", nullptr},
        {"bare @ names nobody", "x@", nullptr},
        {"no sender", "", nullptr},
    };
    for (const auto& row : lookups) {
        const std::string* entry = friends.Find(row.address);
        EXPECT_EQ(entry ? entry->c_str() : "(none)", std::string(row.entry ? row.entry : "(none)")) << row.name;
    }
    const std::vector<std::string> words = {"Subject: %hello", "Address: %lottery"};
    const struct {
        const char* name;
        TSpamRules rules;
        TSpamMessageView message;
        std::int64_t size;
    } rules[] = {
        {"empty subject", {true, 0, 0}, from("anna@example.org"), 0},
        {"recipients", {false, 1, 0}, [] { TSpamMessageView m = from("x@lists.example.net"); m.RecipientCount = 9; return m; }(), 0},
        {"size", {false, 0, 1}, from("BOB"), 5000},
        {"word rules", {}, [] { TSpamMessageView m = from("ANNA@example.org"); m.Subject = "hello"; return m; }(), 0},
    };
    for (const auto& row : rules) {
        ASSERT_TRUE(IsSpamMessage(row.message, row.size, row.rules, words)) << row.name;
        for (const TSpamVerdict& v : {JudgeSpamMessage(row.message, row.size, row.rules, words, friends),
                                      TSpamJudge(words, row.rules, friends).Judge(row.message, row.size)}) {
            EXPECT_FALSE(v.Spam) << row.name;
            EXPECT_TRUE(v.Friend) << row.name;
            EXPECT_TRUE(SpamReasonLine(v).starts_with("Sender on the friends list as \"")) << row.name;
            EXPECT_TRUE(SpamReasonLine(v).ends_with("\", never marked")) << row.name;
        }
    }
}

TEST(FriendsFile, AddFriendAppendsOnceAndRefusesNoAddress) {
    TempDir dir;
    const std::string path = dir.file("friends.dat");
    EXPECT_TRUE(AddFriend(path, "Anna@Example.org"));
    EXPECT_FALSE(AddFriend(path, "anna@example.ORG"));
    dir.write("friends.dat", "@x.org\n anna@example.org \n");
    EXPECT_FALSE(AddFriend(path, "ANNA@example.org"));
    EXPECT_TRUE(AddFriend(path, "carl@x.org"));
    EXPECT_EQ(dir.read("friends.dat"), "@x.org\r\n anna@example.org \r\ncarl@x.org\r\n");
    EXPECT_THROW(AddFriend(path, " "), EIdException);
    EXPECT_THROW(AddFriend(path, "a@x.org\r\n@gmail.com"), EIdException);
    EXPECT_EQ(ReadFilterFile(path).size(), 3u);
}

}  // namespace
