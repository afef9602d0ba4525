#include "app/udmAccountSecurity.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using Securities = std::vector<TAccountSecurity>;
constexpr TIdUseTLS kNone = TIdUseTLS::utNoTLS, kTLS = TIdUseTLS::utImplicitTLS, kStart = TIdUseTLS::utStartTLS;

TAccountFields account(const std::string& name, const std::string& port, TIdUseTLS mode, std::string trusted = {}) {
    return {name, "pop." + name + ".example", "u" + name, "secret", port, {mode, std::move(trusted)}};
}

// What each account gets from the file, in list order.
Securities loaded(const std::string& path, const std::vector<TAccountFields>& accounts) {
    std::vector<TAccountFields> blocks = ReadAccountSecurityFile(path);
    Securities result;
    for (const TAccountFields& a : accounts) result.push_back(TakeAccountSecurity(blocks, a));
    return result;
}

TEST(AccountSecurityFile, RoundTripsForTheOwnerOnlyWithoutPasswordOrPlainNames) {
    TempDir dir;
    const std::string path = dir.file(kAccountSecurityFileName);
    // Two accounts alike in every tying field keep their order.
    const std::vector<TAccountFields> accounts = {account("a", "110", kNone), account("b", "995", kTLS, "AB:CD"),
                                                  account("c", "110", kStart), account("c", "110", kTLS)};
    WriteAccountSecurityFile(path, accounts);
    EXPECT_EQ(loaded(path, accounts), (Securities{{kNone, ""}, {kTLS, "AB:CD"}, {kStart, ""}, {kTLS, ""}}));
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const std::string text = dir.read(kAccountSecurityFileName);
    EXPECT_EQ(text.find("secret"), std::string::npos);
    EXPECT_EQ(text.find("example"), std::string::npos);
}

TEST(AccountSecurityFile, WithoutFileOrBlockThePortDecides) {
    TempDir dir;
    EXPECT_EQ(loaded(dir.file("missing.dat"), {account("a", "995", kNone), account("b", "110", kStart)}),
              (Securities{{kTLS, ""}, {kNone, ""}}));
}

TEST(AccountSecurityFile, HandEditedBlocksAreReadAndBrokenOnesLeftOut) {
    TempDir dir;
    dir.write("s.dat",
              "[account]\nname=a\nhost=pop.a.example\nuser=ua\nport= 110 \nsecurity = starttls \ntrusted=ab:cd\n\n"
              "[account]\nname=b\nhost=pop.b.example\nuser=ub\nport=110\nsecurity=TLS maybe\n"
              "[account]\r\nname=.04x\r\nhost=pop.c.example\r\nuser=uc\r\nport=110\r\nsecurity=STARTTLS\r\n");
    EXPECT_EQ(loaded(dir.file("s.dat"), {account("a", "110", kNone), account("b", "110", kNone),
                                         account("c", "110", kNone)}),
              (Securities{{kStart, "ab:cd"}, {kNone, ""}, {kNone, ""}}));
}

TEST(AccountSecurityFile, RenamedAndRemovedAccountsLeaveTheOthersRight) {
    TempDir dir;
    const std::string path = dir.file(kAccountSecurityFileName);
    TAccountFields a = account("a", "110", kStart), b = account("b", "995", kTLS, "11:22"), c = account("c", "110", kStart);
    WriteAccountSecurityFile(path, {a, b, c});
    // accounts.dat edited by hand: b removed, c moved up, a renamed.
    TAccountFields renamed = a;
    renamed.Name = "a2";
    EXPECT_EQ(loaded(path, {c, renamed}), (Securities{c.Security, {kNone, ""}}));
    // Renamed in the program, the account carries its security to the file.
    WriteAccountSecurityFile(path, {renamed, c});
    EXPECT_EQ(loaded(path, {renamed, c}), (Securities{renamed.Security, c.Security}));
}

}  // namespace
