// The POP3 client and the message model against a real server: the private
// Dovecot of scripts/dovecot-test-server.sh. The first user's mailbox (300
// generated messages and the hand-made ones of tests/data/dovecot) is only
// read; deletions work on the second user's mailbox, which each such test
// fills itself.
#include "DovecotSupport.h"

#include "message/IdCoderHeader.h"
#include "message/IdMessage.h"
#include "message/IdMessageClient.h"
#include "net/IdExceptions.h"
#include "net/IdPOP3.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using dovecot::server;

class DovecotTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!dovecot::available()) {
            GTEST_SKIP() << "no test server: run through scripts/dovecot-test-server.sh";
        }
    }
};

std::vector<std::string> uidList(TIdPOP3& pop) {
    std::vector<std::string> list;
    EXPECT_TRUE(pop.ListUniqueIds(list));
    return list;
}

// Login

TEST_F(DovecotTest, UserAndPassLogInAndTheSameClientConnectsAgain) {
    auto pop = dovecot::client(server().user, server().password);
    const dovecot::SessionLog log(server().user);
    for (int round = 0; round < 3; ++round) {
        const int before = log.count();
        pop->Connect();
        EXPECT_TRUE(pop->IsConnected());
        EXPECT_EQ(pop->LastReply().NumericCode(), 1);
        EXPECT_EQ(pop->MessageCount(), static_cast<int>(dovecot::mailFiles(server().maildir).size()));
        pop->Disconnect();
        EXPECT_FALSE(pop->IsConnected());
        // Disconnect sent QUIT: the server ends the session as logged out.
        EXPECT_NE(log.waitForMore(before).find("Logged out"), std::string::npos) << "round " << round;
    }
}

TEST_F(DovecotTest, RefusedLoginsRaiseTheServersTextAndClose) {
    const struct {
        const char* name;
        std::string user, password;
    } rows[] = {
        {"wrong password", server().user, "not-" + server().password},
        {"password of the other user", server().user, server().password2},
        {"unknown user", "nobody-here", server().password},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto pop = dovecot::client(row.user, row.password);
        try {
            pop->Connect();
            ADD_FAILURE() << "the login was accepted";
        } catch (const EIdProtocolReplyError& e) {
            // The text after "-ERR", its leading blank kept, and CR LF.
            const std::string text = e.what();
            EXPECT_EQ(text.substr(0, 1), " ");
            EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
            EXPECT_NE(text.find("Authentication failed"), std::string::npos) << text;
        }
        EXPECT_FALSE(pop->IsConnected());
        // The same object logs in once the password is right.
        pop->Username = server().user;
        pop->Password = server().password;
        pop->Connect();
        EXPECT_GT(pop->MessageCount(), 0);
        pop->Disconnect();
    }
}

TEST_F(DovecotTest, ApopLogsInWithTheDigestOfTheGreetingsTimestamp) {
    auto pop = dovecot::client(server().user, server().password);
    pop->APOP = true;
    const dovecot::SessionLog log(server().user);
    const int before = log.count();
    pop->Connect();
    EXPECT_GT(pop->MessageCount(), 0);
    pop->Disconnect();
    EXPECT_NE(log.waitForMore(before).find("Logged out"), std::string::npos);

    // The server's own log names the mechanism of the login.
    EXPECT_TRUE(dovecot::waitForLogLine("Login: user=<" + server().user + ">, method=APOP"));

    auto wrong = dovecot::client(server().user, "not-" + server().password);
    wrong->APOP = true;
    EXPECT_THROW(wrong->Connect(), EIdProtocolReplyError);
    EXPECT_FALSE(wrong->IsConnected());
}

// Listing

TEST_F(DovecotTest, StatAndUidlListEveryMessageOnce) {
    const std::size_t files = dovecot::mailFiles(server().maildir).size();
    auto pop = dovecot::client(server().user, server().password);
    pop->Connect();
    const std::vector<std::string> list = uidList(*pop);
    // The listing was read up to its end: the next reply is STAT's own.
    EXPECT_EQ(pop->MessageCount(), static_cast<int>(files));
    ASSERT_EQ(list.size(), files);
    std::set<std::string> ids;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const std::string prefix = std::to_string(i + 1) + " ";
        ASSERT_EQ(list[i].substr(0, prefix.size()), prefix) << list[i];
        ids.insert(list[i].substr(prefix.size()));
    }
    EXPECT_EQ(ids.size(), files) << "unique ids repeat";

    std::vector<std::string> one{"left over"};
    EXPECT_TRUE(pop->ListUniqueIds(one, 3));
    EXPECT_EQ(one, std::vector<std::string>{list[2]});
    // A number beyond the mailbox is a "-ERR", which is a false result.
    EXPECT_FALSE(pop->ListUniqueIds(one, static_cast<int>(files) + 1));
    EXPECT_EQ(pop->MessageSize(1), dovecot::wireSize(dovecot::readFile(dovecot::mailFiles(server().maildir)[0])));
    pop->Disconnect();
}

TEST_F(DovecotTest, CommandsForAMissingMessageRaiseAndTheSessionGoesOn) {
    auto pop = dovecot::client(server().user, server().password);
    pop->Connect();
    const int count = pop->MessageCount();
    TIdMessage msg;
    EXPECT_THROW(pop->FetchHeader(count + 1, msg), EIdProtocolReplyError);
    EXPECT_THROW((void)pop->MessageSize(count + 1), EIdProtocolReplyError);
    EXPECT_TRUE(pop->IsConnected());
    EXPECT_EQ(pop->MessageCount(), count);
    pop->Disconnect();
}

// Headers: every message's TOP n 0 and LIST n, as a check run does them.

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

std::vector<std::string> addresses(const TIdEMailAddressList& list) {
    std::vector<std::string> out;
    for (const TIdEMailAddressItem& item : list) out.push_back(item.Address());
    return out;
}

// Compares the fields of a fetched header with those of the stored file's
// header parsed here, and with the generator's facts; returns what differs.
std::string differences(const TIdMessage& got, const TIdMessage& stored, const dovecot::Expected* facts) {
    std::ostringstream out;
    auto compare = [&out](const char* what, const auto& a, const auto& b) {
        if (!(a == b)) out << "  " << what << " differs\n";
    };
    compare("header lines", got.HeaderLines.Lines(), stored.HeaderLines.Lines());
    compare("subject", got.Subject, stored.Subject);
    compare("sender", got.From.Text(), stored.From.Text());
    compare("receivers", got.Recipients.AddressListText(), stored.Recipients.AddressListText());
    compare("copies", got.CCList.AddressListText(), stored.CCList.AddressListText());
    compare("reply-to", got.ReplyTo.AddressListText(), stored.ReplyTo.AddressListText());
    compare("date", got.Date, stored.Date);
    compare("message id", got.MessageId, stored.MessageId);
    compare("content type", got.ContentType, stored.ContentType);
    compare("priority", got.Priority, stored.Priority);
    if (!facts) return out.str();
    if (got.MessageId != facts->messageId) out << "  message id " << got.MessageId << " != " << facts->messageId << "\n";
    // The sender's field is decoded before it is split into name and
    // address, so an "@" in an encoded display name ("c@sino") ends up in
    // the address; such senders are compared with the stored file only.
    const std::string from = DecodeHeaderText(stored.HeaderLines.GetFieldValue("From"));
    const bool atInName = from.find('@') < from.find('<');
    if (!atInName && got.From.Address() != facts->from) {
        out << "  sender " << got.From.Address() << " != " << facts->from << "\n";
    }
    if (addresses(got.Recipients) != facts->to) out << "  receivers: " << got.Recipients.AddressListText() << "\n";
    if (addresses(got.CCList) != facts->cc) out << "  copies: " << got.CCList.AddressListText() << "\n";
    // With the zone at UTC the local date is the instant itself.
    const double seconds = (got.Date - 25569.0) * 86400.0;
    if (std::fabs(seconds - static_cast<double>(facts->date)) > 0.5) {
        out << "  date " << static_cast<long long>(std::llround(seconds)) << " != " << facts->date << "\n";
    }
    if (facts->subjectKnown && got.Subject != facts->subject) {
        out << "  subject " << hex(got.Subject) << " != " << hex(facts->subject) << "\n";
    }
    return out.str();
}

class DovecotHeaderTest : public DovecotTest {
protected:
    void SetUp() override {
        DovecotTest::SetUp();
        // Dates become local time; at UTC they can be compared with the
        // generator's instants directly.
        const char* zone = std::getenv("TZ");
        savedZone_ = zone ? zone : "";
        hadZone_ = zone != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        if (hadZone_) {
            setenv("TZ", savedZone_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

private:
    std::string savedZone_;
    bool hadZone_ = false;
};

TEST_F(DovecotHeaderTest, EveryHeaderAndSizeArrivesIntact) {
    const std::vector<std::filesystem::path> files = dovecot::mailFiles(server().maildir);
    const std::vector<dovecot::Expected> facts = dovecot::manifest();
    ASSERT_GE(files.size(), 300u);
    ASSERT_EQ(facts.size(), 300u) << "the generated messages' manifest";

    auto pop = dovecot::client(server().user, server().password);
    pop->Connect();
    std::vector<std::string> ignored;
    pop->ListUniqueIds(ignored);
    const int count = pop->MessageCount();
    ASSERT_EQ(count, static_cast<int>(files.size()));
    int failed = 0;
    std::size_t manyReceivers = 0, foldedLines = 0, encodedWords = 0;
    for (int n = 1; n <= count; ++n) {
        const std::string content = dovecot::readFile(files[static_cast<std::size_t>(n - 1)]);
        TIdMessage got;
        EXPECT_TRUE(pop->FetchHeader(n, got));
        got.Tag = pop->MessageSize(n);

        TIdMessage stored;
        for (const std::string& line : dovecot::headerLines(content)) stored.HeaderLines.Add(line);
        TIdMessageClient::ReadHeaderFields(stored);

        const std::string name = files[static_cast<std::size_t>(n - 1)].filename().string();
        const dovecot::Expected* expected = nullptr;
        if (static_cast<std::size_t>(n) <= facts.size()) {
            expected = &facts[static_cast<std::size_t>(n - 1)];
            EXPECT_EQ(name.substr(0, expected->file.size()), expected->file);
        }
        std::string diff = differences(got, stored, expected);
        if (got.Tag != dovecot::wireSize(content)) diff += "  size " + std::to_string(got.Tag) + "\n";
        if (!diff.empty() && ++failed <= 10) ADD_FAILURE() << "message " << n << " (" << name << "):\n" << diff;

        manyReceivers += got.Recipients.Count() >= 3;
        encodedWords += got.HeaderLines.Text().find("=?") != std::string::npos;
        for (const std::string& line : got.HeaderLines.Lines()) foldedLines += line[0] == '\t' || line[0] == ' ';
    }
    EXPECT_EQ(failed, 0);
    // The mailbox exercises what it is meant to.
    EXPECT_GT(manyReceivers, 50u);
    EXPECT_GT(encodedWords, 250u);
    EXPECT_GT(foldedLines, 1000u);
    // The reply to the last LIST was the last thing on the wire.
    EXPECT_EQ(pop->MessageCount(), count);
    pop->Disconnect();
}

TEST_F(DovecotHeaderTest, HandMadeMessagesArriveAsStored) {
    const std::vector<std::filesystem::path> files = dovecot::mailFiles(server().maildir);
    auto pop = dovecot::client(server().user, server().password);
    pop->Connect();
    const int count = pop->MessageCount();
    ASSERT_EQ(count, static_cast<int>(files.size()));
    ASSERT_GT(count, 300);
    for (int n = 301; n <= count; ++n) {
        const std::string content = dovecot::readFile(files[static_cast<std::size_t>(n - 1)]);
        SCOPED_TRACE(files[static_cast<std::size_t>(n - 1)].filename().string());
        TIdMessage got;
        pop->FetchHeader(n, got);
        EXPECT_EQ(got.HeaderLines.Lines(), dovecot::headerLines(content));
        EXPECT_EQ(pop->MessageSize(n), dovecot::wireSize(content));
    }
    // Spot checks of the hand-made fields: the message ids name the files.
    TIdMessage dots, folded;
    pop->FetchHeader(302, dots);
    EXPECT_EQ(dots.MessageId, "<dot-lines.2@example.net>");
    EXPECT_EQ(dots.From.Name(), "Dot, Daniel");
    ASSERT_EQ(dots.Recipients.Count(), 3);
    EXPECT_EQ(dots.Recipients[1].Name(), "Smith, John");
    EXPECT_EQ(dots.Recipients[2].Name(), "Pavel \xA9" "karda");
    pop->FetchHeader(303, folded);
    EXPECT_EQ(folded.Recipients.Count(), 30);
    EXPECT_EQ(folded.From.Name(), "\x8A" "imon \x8E" "elezn\xFD");
    EXPECT_EQ(folded.HeaderLines.GetFieldValue("X-Long"), std::string(3000, 'x'));
    pop->Disconnect();
}

// Deletion, on the second user's mailbox.

std::vector<std::string> deletionMailbox(int count) {
    std::vector<std::string> messages;
    for (int i = 1; i <= count; ++i) {
        messages.push_back("From: Tester <tester@example.com>\nTo: bob@example.com\nSubject: deletion test " +
                           std::to_string(i) + "\nMessage-ID: <del-" + std::to_string(i) +
                           "@skimlet.test>\n\nbody " + std::to_string(i) + "\n");
    }
    return messages;
}

std::vector<std::string> messageIds(TIdPOP3& pop) {
    std::vector<std::string> ids;
    const int count = pop.MessageCount();
    for (int n = 1; n <= count; ++n) {
        TIdMessage msg;
        pop.FetchHeader(n, msg);
        ids.push_back(msg.MessageId);
    }
    return ids;
}

// The unique id of a listing line "n uid".
std::string uidOf(const std::string& line) { return line.substr(line.find(' ') + 1); }

std::vector<std::string> idsExcept(int count, const std::set<int>& gone) {
    std::vector<std::string> ids;
    for (int i = 1; i <= count; ++i) {
        if (!gone.count(i)) ids.push_back("<del-" + std::to_string(i) + "@skimlet.test>");
    }
    return ids;
}

TEST_F(DovecotTest, DeleteThenQuitRemovesExactlyTheDeletedMessages) {
    dovecot::refillMaildir(server().maildir2, deletionMailbox(10));
    const dovecot::SessionLog log(server().user2);
    auto pop = dovecot::client(server().user2, server().password2);
    pop->Connect();
    ASSERT_EQ(messageIds(*pop), idsExcept(10, {}));
    const std::vector<std::string> uids = uidList(*pop);
    for (const int n : {2, 5, 9}) EXPECT_TRUE(pop->DeleteMessage(n));
    // Deleted messages are gone for the rest of the session.
    EXPECT_THROW((void)pop->MessageSize(5), EIdProtocolReplyError);
    EXPECT_THROW(pop->DeleteMessage(5), EIdProtocolReplyError);
    EXPECT_EQ(pop->MessageCount(), 7);
    const int before = log.count();
    pop->Disconnect();
    const std::string ended = log.waitForMore(before);
    EXPECT_NE(ended.find("Logged out"), std::string::npos) << ended;
    EXPECT_NE(ended.find("del=3/10"), std::string::npos) << ended;

    // A fresh login of the same client: the others keep their order.
    pop->Connect();
    EXPECT_EQ(pop->MessageCount(), 7);
    EXPECT_EQ(messageIds(*pop), idsExcept(10, {2, 5, 9}));
    // The unique ids of the others are those they had.
    std::vector<std::string> expected;
    for (const int keep : {1, 3, 4, 6, 7, 8, 10}) expected.push_back(uidOf(uids[static_cast<std::size_t>(keep - 1)]));
    std::vector<std::string> now;
    for (const std::string& line : uidList(*pop)) now.push_back(uidOf(line));
    EXPECT_EQ(now, expected);
    pop->Disconnect();
    EXPECT_EQ(dovecot::mailFiles(server().maildir2).size(), 7u);
}

TEST_F(DovecotTest, DeleteWithoutQuitRemovesNothing) {
    dovecot::refillMaildir(server().maildir2, deletionMailbox(6));
    const dovecot::SessionLog log(server().user2);
    auto pop = dovecot::client(server().user2, server().password2);
    pop->Connect();
    ASSERT_EQ(pop->MessageCount(), 6);
    for (const int n : {1, 3, 6}) EXPECT_TRUE(pop->DeleteMessage(n));
    const int before = log.count();
    // The connection ends without QUIT, as when the program is stopped.
    pop->TIdTCPConnection::Disconnect();
    const std::string ended = log.waitForMore(before);
    EXPECT_NE(ended.find("Connection closed"), std::string::npos) << ended;

    pop->Connect();
    EXPECT_EQ(messageIds(*pop), idsExcept(6, {}));
    pop->Disconnect();
    EXPECT_EQ(dovecot::mailFiles(server().maildir2).size(), 6u);
}

}  // namespace
