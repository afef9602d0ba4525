#include "app/udmAccounts.h"

#include "TempDir.h"
#include "message/IdGlobal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// --- Scrambling

TEST(ScrambleText, RoundTripsEveryByteAndTheEmptyText) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(UnscrambleText(ScrambleText(all)), all);
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        EXPECT_EQ(UnscrambleText(ScrambleText(one)), one) << b;
    }
    EXPECT_EQ(ScrambleText(""), ".");
    EXPECT_EQ(UnscrambleText(ScrambleText("")), "");
}

TEST(ScrambleText, GroupsHoldRotatedDigitsAndRandomCharacters) {
    const std::string s = ScrambleText("abc");
    ASSERT_EQ(s.size(), 19u);
    EXPECT_EQ(s[0], '.');
    EXPECT_EQ(s.substr(1, 3), "044");
    EXPECT_EQ(s.substr(7, 3), "076");
    EXPECT_EQ(s.substr(13, 3), "108");
    for (std::size_t g = 1; g < s.size(); g += 6) {
        EXPECT_TRUE(s[g + 3] >= 'A' && s[g + 3] <= 'T') << s;
        EXPECT_TRUE(s[g + 4] >= 'a' && s[g + 4] <= 'r') << s;
        EXPECT_TRUE(s[g + 5] >= '0' && s[g + 5] <= '8') << s;
    }
}

TEST(ScrambleText, TwoScramblingsDifferOnlyInRandomCharacters) {
    const std::string text(64, 'x');
    const std::string a = ScrambleText(text);
    const std::string b = ScrambleText(text);
    ASSERT_EQ(a.size(), b.size());
    bool differ = false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const bool randomPlace = i > 0 && (i - 1) % 6 >= 3;
        if (!randomPlace) {
            EXPECT_EQ(a[i], b[i]) << i;
        }
        differ = differ || a[i] != b[i];
    }
    // 192 random characters agreeing by chance is out of the question.
    EXPECT_TRUE(differ);
}

TEST(UnscrambleText, Lines) {
    struct Row {
        const char* name;
        std::string line;
        std::string expected;
    };
    const Row rows[] = {
        {"dot alone is empty", ".", ""},
        {"empty line is empty", "", ""},
        {"dot and two digits is too short for a group", ".04", ""},
        {"040 is the capital A", ".040", "A"},
        {"random characters are ignored", ".040Zz9", "A"},
        {"a last group of three characters reads", ".040Ab0041", "AI"},
        {"a remainder of two characters is ignored", ".040Ab004", "A"},
        {"plain text comes back as it is", "pop.example.com", "pop.example.com"},
        {"group value uses its low 8 bits", ".296", "A"},
    };
    for (const Row& row : rows) EXPECT_EQ(UnscrambleText(row.line), row.expected) << row.name;
}

TEST(UnscrambleText, NonDigitsRaiseTheConversionError) {
    using namespace std::string_literals;
    const struct {
        const char* name;
        std::string line;
        std::string message;
    } rows[] = {
        {"letters", ".040Ab0x41Cd1", "'x41' is not a valid integer value"},
        {"a NUL byte keeps the bytes after it", ".040Ab0\0" "41Cd1"s, "'\0" "41' is not a valid integer value"s},
    };
    for (const auto& row : rows) {
        try {
            (void)UnscrambleText(row.line);
            ADD_FAILURE() << row.name << ": no error";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), row.message) << row.name;
        }
    }
}

TEST(RecOf, PortThatIsNotANumberFailsOnlyWhenUsed) {
    const TAccountFields fields{"office", "pop", "joe", "pw", "abc"};
    EXPECT_THROW((void)RecOf(fields), EConvertError);
    EXPECT_EQ(RecOf({"o", "h", "u", "p", "995"}).Port, 995);
    EXPECT_EQ(FieldsOf(TPOP3Rec{}).Port, "110");
}

// --- The file

std::vector<TAccountFields> readAll(const std::string& path, std::string* error = nullptr) {
    std::vector<TAccountFields> out;
    try {
        ReadAccountsFile(path, [&](const TAccountFields& f) { out.push_back(f); });
    } catch (const std::exception& e) {
        if (!error) throw;
        *error = e.what();
    }
    return out;
}

TEST(AccountsFile, PlainTextLoadsAndIsWrittenBackScrambled) {
    TempDir dir;
    dir.write("accounts.dat", "office\r\npop.example.com\r\njoe\r\nsecret\r\n110\r\n");
    const auto accounts = readAll(dir.file("accounts.dat"));
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].Name, "office");
    EXPECT_EQ(accounts[0].Host, "pop.example.com");
    EXPECT_EQ(accounts[0].UserName, "joe");
    EXPECT_EQ(accounts[0].Password, "secret");
    EXPECT_EQ(accounts[0].Port, "110");

    WriteAccountsFile(dir.file("accounts.dat"), accounts);
    const std::string text = dir.read("accounts.dat");
    EXPECT_EQ(text.find("secret"), std::string::npos);
    std::size_t lines = 0;
    for (std::size_t at = 0; at < text.size(); ++lines) {
        const std::size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        EXPECT_EQ(text[at], '.');
        at = end + 2;
    }
    EXPECT_EQ(lines, 5u);
    const auto again = readAll(dir.file("accounts.dat"));
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].Password, "secret");
}

TEST(AccountsFile, LineFeedsAloneAlsoEndLines) {
    TempDir dir;
    dir.write("accounts.dat", "a\nb\nc\nd\n1\n");
    const auto accounts = readAll(dir.file("accounts.dat"));
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(accounts[0].Port, "1");
}

TEST(AccountsFile, TruncatedLastAccountGetsEmptyFields) {
    TempDir dir;
    dir.write("accounts.dat", "a\r\nb\r\nc\r\nd\r\n110\r\nsecond\r\nhost2\r\n");
    const auto accounts = readAll(dir.file("accounts.dat"));
    ASSERT_EQ(accounts.size(), 2u);
    EXPECT_EQ(accounts[1].Name, "second");
    EXPECT_EQ(accounts[1].Host, "host2");
    EXPECT_EQ(accounts[1].UserName, "");
    EXPECT_EQ(accounts[1].Port, "");
}

TEST(AccountsFile, BadGroupStopsLoadingAndKeepsEarlierAccounts) {
    TempDir dir;
    dir.write("accounts.dat", "a\r\nb\r\nc\r\nd\r\n110\r\nsecond\r\n.0a0Ab1\r\nc\r\nd\r\n1\r\nthird\r\n");
    std::string error;
    const auto accounts = readAll(dir.file("accounts.dat"), &error);
    EXPECT_EQ(error, "'0a0' is not a valid integer value");
    ASSERT_EQ(accounts.size(), 1u) << "no half-read account";
    EXPECT_EQ(accounts[0].Name, "a");
}

TEST(AccountsFile, EmptyListGivesEmptyFileReadableByOwnerOnly) {
    TempDir dir;
    const mode_t old = ::umask(0);
    WriteAccountsFile(dir.file("accounts.dat"), {});
    ::umask(old);
    EXPECT_EQ(dir.read("accounts.dat"), "");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("accounts.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AccountsFile, ReplacingAnOpenFileMakesItPrivate) {
    TempDir dir;
    dir.write("accounts.dat", "x\r\n");
    std::filesystem::permissions(dir.file("accounts.dat"), std::filesystem::perms(0644));
    WriteAccountsFile(dir.file("accounts.dat"), {{"a", "b", "c", "d", "110"}});
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("accounts.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AccountsFile, FailedWriteKeepsTheOldFile) {
    TempDir dir;
    const std::string old = "old\r\nh\r\nu\r\np\r\n110\r\n";
    dir.write("accounts.dat", old);
    // A file size limit makes the write fail half way, even for root.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    ::setrlimit(RLIMIT_FSIZE, &small);
    const std::vector<TAccountFields> many(20, TAccountFields{"name", "host", "user", "pw", "110"});
    EXPECT_THROW(WriteAccountsFile(dir.file("accounts.dat"), many), EIdException);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(dir.read("accounts.dat"), old);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u) << "no temporary file left behind";
}

TEST(AccountsFile, MissingFolderIsAnError) {
    TempDir dir;
    EXPECT_THROW(WriteAccountsFile(dir.file("no/such/accounts.dat"), {}), EIdException);
    EXPECT_THROW(readAll(dir.file("none.dat")), EIdException);
}

}  // namespace
