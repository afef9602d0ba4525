#include "app/udmPOP3.h"

#include "FakeServer.h"

#include "message/IdGlobal.h"
#include "message/IdMessage.h"
#include "net/IdExceptions.h"
#include "net/IdStack.h"
#include "ui/Application.h"

#include <QCoreApplication>
#include <QLocale>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

double at(int year, int month, int day, int hour, int minute, int second) {
    return *TryEncodeDate(year, month, day) + *TryEncodeTime(hour, minute, second);
}

// Sets the default locale for the lifetime of the object.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(QLocale::c()); }
};

TEST(FormatMessageDate, ShortDateLongTimeFourDigitYears) {
    struct Row {
        const char* name;
        QLocale locale;
        double value;
        QString text;
    };
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const Row rows[] = {
        {"German date and time", german, at(2025, 12, 9, 10, 20, 30), "09.12.2025 10:20:30"},
        {"midnight leaves the time out", german, at(2025, 12, 9, 0, 0, 0), "09.12.2025"},
        {"one second after midnight keeps it", german, at(2025, 12, 9, 0, 0, 1), "09.12.2025 00:00:01"},
        {"two-digit year of the locale widened", us, at(1999, 3, 1, 0, 0, 0), "3/1/1999"},
        {"day zero", german, 0, "30.12.1899"},
        {"outside the calendar", german, 1e9, ""},
    };
    for (const Row& row : rows) {
        LocaleScope scope(row.locale);
        EXPECT_EQ(FormatMessageDate(row.value), row.text) << row.name;
    }
    LocaleScope scope(us);
    const QString withTime = FormatMessageDate(at(2001, 3, 1, 13, 5, 9));
    EXPECT_TRUE(withTime.startsWith("3/1/2001 1:05:09")) << withTime.toStdString();
    EXPECT_TRUE(withTime.endsWith("PM")) << "no time zone after the time: " << withTime.toStdString();
}

// Counts the progress notifications it receives and keeps the last count.
class ProgressCounter : public QObject {
public:
    int events = 0;
    long long last = 0;
    bool event(QEvent* e) override {
        if (e->type() != ui::kProgressEvent) return QObject::event(e);
        ++events;
        last = static_cast<ui::ProgressEvent*>(e)->lParam();
        return true;
    }
};

// Every header line raises OnWork; a notification still waiting stands for
// the ones after it, so the window gets one per pump, not one per line.
TEST(POP3Notify, OneNotificationWaitsAtATime) {
    ProgressCounter window;
    auto client = TPOP3::CreateClient(TPOP3Rec{}, &window);
    TIdStack::SetIdleHook([] {});  // a run's hook that does not pump now
    for (int line = 1; line <= 100; ++line) client->POP3Notify(*client, wmRead, 1000 + line);
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.events, 1);
    EXPECT_EQ(window.last, 1001);
    client->POP3Notify(*client, wmRead, 5000);
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.events, 2);
    EXPECT_EQ(window.last, 5000);
    // A notification that outlives its client is delivered all the same.
    client->POP3Notify(*client, wmRead, 6000);
    TIdStack::SetIdleHook(nullptr);
    client.reset();
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.events, 3);
}

// A client logged in as "u" with password "p" on the started server.
std::shared_ptr<TPOP3> connectedClient(const FakeServer& server) {
    TPOP3Rec rec;
    rec.Host = "127.0.0.1";
    rec.Port = server.port();
    rec.UserName = "u";
    rec.Password = "p";
    auto client = TPOP3::CreateClient(rec, nullptr);
    client->Connect();
    return client;
}

TEST(TPOP3SendAhead, AnotherCommandFirstDropsTheWaitingReply) {
    FakeServer server;
    server.send("+OK ready\r\n")
        .exchange("USER u", "+OK\r\n")
        .exchange("PASS p", "+OK\r\n")
        .exchange("LIST 1", "+OK 1 120\r\n")
        .exchange("STAT", "+OK 3 900\r\n")
        .exchange("LIST 2", "+OK 2 340\r\n")
        .expect("QUIT")
        .start();
    auto client = connectedClient(server);
    // The reply to a command sent ahead belongs to that command only: a
    // different command reads it away first, the same one takes it.
    client->SendAhead("LIST 1");
    EXPECT_EQ(client->MessageCount(), 3);
    client->SendAhead("LIST 2");
    EXPECT_EQ(client->MessageSize(2), 340);
    client->Disconnect();
    EXPECT_TRUE(server.waitDone());
    EXPECT_EQ(server.problems(), std::vector<std::string>{});
}

// "LIST n" follows "TOP n 0" exactly once, whether the header arrives whole
// (it then goes out before the lines are stored), in pieces, or with a line
// over the limit.
TEST(TMessageHeaderExchange, ListFollowsTopOnceHoweverTheReplyArrives) {
    const std::string longLine = "X-Long: " + std::string(16376, 'x') + "\r\n";
    struct Case {
        const char* name;
        std::string header;
        bool slowly;
        bool cut;
    } cases[] = {
        {"whole", "Subject: hi\r\nFrom: a@example.com\r\n", false, false},
        {"empty", "", false, false},
        {"in pieces", "Subject: hi\r\nFrom: a@example.com\r\n", true, false},
        {"line over the limit", "Subject: hi\r\n" + longLine + "From: a@example.com\r\n", false, true},
        {"dot-stuffed line", "Subject: hi\r\n..\r\n.x\r\n", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer server;
        server.send("+OK ready\r\n").exchange("USER u", "+OK\r\n").exchange("PASS p", "+OK\r\n").expect("TOP 1 0");
        const std::string reply = "+OK\r\n" + c.header + ".\r\n";
        if (c.slowly)
            server.sendSlowly(reply, std::chrono::milliseconds(1));
        else
            server.send(reply);
        server.exchange("LIST 1", "+OK 1 321\r\n").expect("QUIT").start();
        auto client = connectedClient(server);
        TMessageHeader header(client, 1);
        EXPECT_EQ(header.Msg->Tag, 321);
        EXPECT_EQ(header.HeaderCut, c.cut);
        EXPECT_TRUE(client->SentAhead().empty());
        client->Disconnect();
        EXPECT_TRUE(server.waitDone());
        EXPECT_EQ(server.problems(), std::vector<std::string>{});
    }
}

// The next message's "TOP" goes out once "LIST n" is answered, and the next
// record takes that reply; a refused "LIST" ends the exchanges there, with
// nothing sent ahead for the connection's "QUIT" to trip over.
TEST(TMessageHeaderExchange, NextTopFollowsAnsweredListOnly) {
    {
        SCOPED_TRACE("answered");
        FakeServer server;
        server.send("+OK ready\r\n")
            .exchange("USER u", "+OK\r\n")
            .exchange("PASS p", "+OK\r\n")
            .exchange("TOP 1 0", "+OK\r\nSubject: one\r\n.\r\n")
            .exchange("LIST 1", "+OK 1 100\r\n")
            .exchange("TOP 2 0", "+OK\r\nSubject: two\r\n.\r\n")
            .exchange("LIST 2", "+OK 2 200\r\n")
            .expect("QUIT")
            .start();
        auto client = connectedClient(server);
        TMessageHeader first(client, 1, "TOP 2 0");
        EXPECT_EQ(first.Msg->Tag, 100);
        EXPECT_EQ(client->SentAhead(), "TOP 2 0");
        TMessageHeader second(client, 2);
        EXPECT_EQ(second.Msg->Tag, 200);
        EXPECT_EQ(second.Msg->Subject, "two");
        EXPECT_TRUE(client->SentAhead().empty());
        client->Disconnect();
        EXPECT_TRUE(server.waitDone());
        EXPECT_EQ(server.problems(), std::vector<std::string>{});
    }
    {
        SCOPED_TRACE("refused");
        FakeServer server;
        server.send("+OK ready\r\n")
            .exchange("USER u", "+OK\r\n")
            .exchange("PASS p", "+OK\r\n")
            .exchange("TOP 1 0", "+OK\r\nSubject: one\r\n.\r\n")
            .exchange("LIST 1", "-ERR no such message\r\n")
            .exchange("QUIT", "+OK\r\n")
            .start();
        auto client = connectedClient(server);
        EXPECT_THROW(TMessageHeader(client, 1, "TOP 2 0"), EIdProtocolReplyError);
        EXPECT_TRUE(client->SentAhead().empty());
        client->Disconnect();
        EXPECT_TRUE(server.waitDone());
        EXPECT_EQ(server.problems(), std::vector<std::string>{});
    }
}

// The exchanges of the second of three messages, with its "TOP" and its
// "LIST" both sent ahead: the next command goes out once the reply is known
// to be positive, before or after its status line is read depending on how
// plainly positive it is, and never after a refusal or a faulty line.
TEST(TMessageHeaderExchange, CommandsSentAheadOnlyAfterPositiveReplies) {
    const std::string longStatus = "+OK " + std::string(16400, '1') + "\r\n";
    struct Case {
        const char* name;
        std::string topReply;
        std::string listReply;
        bool slowly;
        const char* error;  // nullptr: the record is read, "TOP 3 0" goes out
    } cases[] = {
        {"plain replies", "+OK\r\nSubject: two\r\n.\r\n", "+OK 2 200\r\n", false, nullptr},
        {"plain replies in pieces", "+OK 3 octets\r\nSubject: two\r\n.\r\n", "+OK 2 200\r\n", true, nullptr},
        {"empty header", "+OK\r\n.\r\n", "+OK 2 200\r\n", false, nullptr},
        {"lower case", "+ok\r\nSubject: two\r\n.\r\n", "+ok 2 200\r\n", false, nullptr},
        {"blank line first", "\r\n+OK\r\nSubject: two\r\n.\r\n", "\r\n+OK 2 200\r\n", false, nullptr},
        {"TOP refused", "-ERR no such message\r\n", "", false, "no such message"},
        {"LIST refused", "+OK\r\nSubject: two\r\n.\r\n", "-ERR gone\r\n", false, "gone"},
        {"LIST status too long", "+OK\r\nSubject: two\r\n.\r\n", longStatus, false, "Max line length exceeded."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeServer server;
        server.send("+OK ready\r\n")
            .exchange("USER u", "+OK\r\n")
            .exchange("PASS p", "+OK\r\n")
            .exchange("TOP 1 0", "+OK\r\nSubject: one\r\n.\r\n")
            .exchange("LIST 1", "+OK 1 100\r\n")
            .expect("TOP 2 0");
        const auto reply = [&](const std::string& text) {
            if (c.slowly)
                server.sendSlowly(text, std::chrono::milliseconds(1));
            else
                server.send(text);
        };
        reply(c.topReply);
        if (!c.listReply.empty()) {
            server.expect("LIST 2");
            reply(c.listReply);
        }
        if (!c.error) server.exchange("TOP 3 0", "+OK\r\nSubject: three\r\n.\r\n").exchange("LIST 3", "+OK 3 300\r\n");
        server.expect("QUIT").start();
        auto client = connectedClient(server);
        TMessageHeader first(client, 1, "TOP 2 0");
        ASSERT_EQ(client->SentAhead(), "TOP 2 0");
        if (c.error) {
            try {
                TMessageHeader second(client, 2, "TOP 3 0");
                ADD_FAILURE() << "no error";
            } catch (const EIdException& error) {
                EXPECT_NE(std::string(error.what()).find(c.error), std::string::npos) << error.what();
            }
            EXPECT_TRUE(client->SentAhead().empty());
        } else {
            TMessageHeader second(client, 2, "TOP 3 0");
            EXPECT_EQ(second.Msg->Tag, 200);
            EXPECT_EQ(second.Msg->Subject, c.topReply.find("two") != std::string::npos ? "two" : "");
            EXPECT_EQ(client->SentAhead(), "TOP 3 0");
            TMessageHeader third(client, 3);
            EXPECT_EQ(third.Msg->Tag, 300);
        }
        client->Disconnect();
        EXPECT_TRUE(server.waitDone());
        EXPECT_EQ(server.problems(), std::vector<std::string>{});
    }
}

TEST(ParseUniqueIdListing, NumbersAndIds) {
    const std::vector<std::string> lines = {
        "1 abc",  "2   def  trailing", "3",    "x ghi", "-4 neg", "5\tjkl",
        "1 again", "  6 mno",          "0 zero", "99999999999 big", "",
    };
    const TUniqueIds expected = {{1, "abc"}, {2, "def"}, {5, "jkl"}, {6, "mno"}};
    EXPECT_EQ(ParseUniqueIdListing(lines), expected);
}

// A listing out of order still gives ids by number, the first line of a
// repeated number winning wherever it stands; lookups find only listed
// numbers.
TEST(ParseUniqueIdListing, OutOfOrderAndRepeatedNumbers) {
    const std::vector<std::string> lines = {"7 g", "3 c", "7 again", "1 a", "3 again", "5 e"};
    const TUniqueIds ids = ParseUniqueIdListing(lines);
    const TUniqueIds expected = {{1, "a"}, {3, "c"}, {5, "e"}, {7, "g"}};
    EXPECT_EQ(ids, expected);
    for (const auto& [number, id] : expected) {
        ASSERT_NE(FindUniqueId(ids, number), nullptr) << number;
        EXPECT_EQ(*FindUniqueId(ids, number), id);
    }
    for (std::int32_t missing : {0, 2, 4, 6, 8}) EXPECT_EQ(FindUniqueId(ids, missing), nullptr) << missing;
    EXPECT_EQ(FindUniqueId(TUniqueIds{}, 1), nullptr);
}

// Header lines in, the fields the header list and the verdict read out.
TEST(ReadHeaderFieldsLeniently, FailingFieldsKeepTheirRawText) {
    struct Row {
        const char* name;
        std::vector<std::string> lines;
        std::string subject;
        std::string fromAddress;
        std::string recipients;
        int recipientCount;
        std::string messageId;
    };
    const Row rows[] = {
        {"ordinary header as processing gives it",
         {"From: Ann <ann@x>", "To: b@x, c@x", "Subject: =?iso-8859-1?Q?caf=E9?=", "Message-Id: <1@x>"},
         "caf\xE9", "ann@x", "b@x, c@x", 2, "<1@x>"},
        {"address outside the brackets in From",
         {"From: <a@x> b@x", "To: c@x", "Subject: s", "Message-Id: <2@x>"},
         "s", "<a@x> b@x", "c@x", 1, "<2@x>"},
        {"address outside the brackets in To",
         {"From: a@x", "To: <c@x> d@x", "Subject: s", "Cc: e@x"},
         "s", "a@x", "<c@x> d@x", 1, ""},
        {"bad escape in the subject",
         {"From: a@x", "Subject: =?iso-8859-1?Q?=ZZ?=", "Message-Id: <3@x>"},
         "=?iso-8859-1?Q?=ZZ?=", "a@x", "", 0, "<3@x>"},
        {"folded failing field loses its continuation in processing only",
         {"Subject: =?iso-8859-1?Q?=ZZ?=", "\tmore", "From: a@x"},
         "=?iso-8859-1?Q?=ZZ?= more", "a@x", "", 0, ""},
    };
    for (const Row& row : rows) {
        TIdMessage msg;
        for (const std::string& line : row.lines) msg.HeaderLines.Add(line);
        ReadHeaderFieldsLeniently(msg);
        EXPECT_EQ(msg.Subject, row.subject) << row.name;
        EXPECT_EQ(msg.From.Address(), row.fromAddress) << row.name;
        EXPECT_EQ(msg.Recipients.Count(), row.recipientCount) << row.name;
        if (row.recipientCount == 1 && row.recipients.find('<') != std::string::npos)
            EXPECT_EQ(msg.Recipients[0].Address(), row.recipients) << row.name;
        else
            EXPECT_EQ(msg.Recipients.AddressListText(), row.recipients) << row.name;
        EXPECT_EQ(msg.MessageId, row.messageId) << row.name;
        EXPECT_EQ(msg.HeaderLines.Lines(), row.lines) << row.name << ": the lines stay as received";
    }
}

}  // namespace
