// Deleting messages on the server, end to end: the main window against the
// scripted fake server, asserting the exact conversations of the check run,
// the deletion and the refill.
#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "app/udmPOP3.h"

#include "FakePlatform.h"
#include "MailboxWindowTest.h"
#include "FakeServer.h"
#include "TempDir.h"
#include "ui/CommandGuard.h"
#include "ui/Paths.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

// One waiting message: its subject, Message-Id (none when empty) and the
// unique id the server lists for it.
struct Mail {
    std::string subject;
    std::string id;
    std::string uid;
    std::string size = "100";
};

std::string headerText(const Mail& mail) {
    std::string text = "Received: from relay by pop for <bob@example.com>; " + mail.uid + "\r\n" +
                       "From: ann@example.com\r\nTo: bob@example.com\r\nSubject: " + mail.subject + "\r\n";
    if (!mail.id.empty()) text += "Message-Id: " + mail.id + "\r\n";
    return text;
}

std::vector<Mail> mailbox(const std::vector<std::string>& subjects) {
    std::vector<Mail> mails;
    for (const std::string& s : subjects) mails.push_back({s, "<" + s + "@x>", "uid-" + s});
    return mails;
}

void scriptLogin(FakeServer& server) {
    server.send("+OK ready\r\n").exchange("USER bob", "+OK\r\n").exchange("PASS secret", "+OK\r\n");
}

// A whole check run of the mailbox on the current connection; without
// `uidl` the server answers "-ERR" to the listing.
void scriptCheck(FakeServer& server, const std::vector<Mail>& mails, bool uidl = true) {
    scriptLogin(server);
    std::string listing = "+OK\r\n";
    for (std::size_t i = 0; i < mails.size(); ++i) listing += std::to_string(i + 1) + " " + mails[i].uid + "\r\n";
    server.exchange("UIDL", uidl ? listing + ".\r\n" : "-ERR not supported\r\n")
        .exchange("STAT", "+OK " + std::to_string(mails.size()) + " 999\r\n");
    for (std::size_t i = 0; i < mails.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        server.exchange("TOP " + n + " 0", "+OK\r\n" + headerText(mails[i]) + "\r\n.\r\n")
            .exchange("LIST " + n, "+OK " + n + " " + mails[i].size + "\r\n");
    }
    server.expect("QUIT").close();
}

Lines checkLines(std::size_t count) {
    Lines lines = {"USER bob", "PASS secret", "UIDL", "STAT"};
    for (std::size_t i = 1; i <= count; ++i) {
        lines.push_back("TOP " + std::to_string(i) + " 0");
        lines.push_back("LIST " + std::to_string(i));
    }
    lines.push_back("QUIT");
    return lines;
}

// "UIDL n" confirming the unique id, then "DELE n" accepted.
void scriptDelete(FakeServer& server, int number, const std::string& uid) {
    const std::string n = std::to_string(number);
    server.exchange("UIDL " + n, "+OK " + n + " " + uid + "\r\n").exchange("DELE " + n, "+OK marked\r\n");
}

void scriptQuit(FakeServer& server) { server.exchange("QUIT", "+OK bye\r\n").close(); }

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class Deletion : public MailboxWindowTest {
protected:
    static void tick(Tfmain& w, std::initializer_list<int> rows) {
        for (int row : rows) w.headlist->topLevelItem(row)->setCheckState(0, Qt::Checked);
    }

    static QStringList subjects(const Tfmain& w) {
        QStringList texts;
        for (int i = 0; i < w.headlist->topLevelItemCount(); ++i) texts << w.headlist->topLevelItem(i)->text(4);
        return texts;
    }

};

const QString kMany = QStringLiteral("Delete selected Messages, Really?");
const QString kOne = QStringLiteral("Delete selected Message, Really?");
const QString kChanged = QStringLiteral(
    "The mailbox has changed since it was checked. Nothing more was deleted; the list is read again.");

// --- The main road

TEST_F(Deletion, ThreeTickedRowsBottomFirstThenQuitThenTheRefill) {
    Tfmain w;
    FakeServer server;
    const auto mails = mailbox({"A", "B", "C", "D"});
    scriptCheck(server, mails);
    server.nextConnection();
    scriptLogin(server);
    // The first confirmation waits a little, so the panel can be seen.
    server.expect("UIDL 4").pause(200ms).send("+OK 4 uid-D\r\n").exchange("DELE 4", "+OK marked\r\n");
    scriptDelete(server, 2, "uid-B");
    scriptDelete(server, 1, "uid-A");
    scriptQuit(server);
    server.nextConnection();
    scriptCheck(server, {mails[2]});
    check(w, server);
    tick(w, {0, 1, 3});

    QString shown;
    QTimer::singleShot(100, &w, [&] {
        if (w.inf->isVisibleTo(&w)) shown = w.inflabel->text();
    });
    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(4) +
                                         Lines{"USER bob", "PASS secret", "UIDL 4", "DELE 4", "UIDL 2", "DELE 2",
                                               "UIDL 1", "DELE 1", "QUIT"} +
                                         checkLines(1)));
    EXPECT_EQ(server.problems(), Lines{});
    EXPECT_EQ(fake->confirmations, std::vector<QString>{kMany});
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(shown, "Deleting...");
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
    EXPECT_EQ(subjects(w), QStringList{"C"});
    EXPECT_EQ(w.FCurrentRow, 0);
    EXPECT_EQ(w.barPanels[1]->text(), "  0 Number of selected messages");
}

TEST_F(Deletion, NothingTickedDeletesOnlyTheShownRow) {
    Tfmain w;
    FakeServer server;
    const auto mails = mailbox({"A", "B", "C"});
    scriptCheck(server, mails);
    server.nextConnection();
    scriptLogin(server);
    scriptDelete(server, 2, "uid-B");
    scriptQuit(server);
    server.nextConnection();
    scriptCheck(server, {mails[0], mails[2]});
    check(w, server);
    w.headlist->setCurrentItem(w.headlist->topLevelItem(1));
    ASSERT_EQ(w.FCurrentRow, 1);

    w.tDelete->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(3) + Lines{"USER bob", "PASS secret", "UIDL 2", "DELE 2", "QUIT"} + checkLines(2)));
    EXPECT_EQ(fake->confirmations, std::vector<QString>{kOne});
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(subjects(w), (QStringList{"A", "C"}));
}

// --- Nothing to do

TEST_F(Deletion, NothingTickedAndNoRowShownAsksNothing) {
    Tfmain w;
    w.show();
    // Rows without a shown one, and no connection at all.
    w.AddHeaderRow({"d", "1", "s", "r", "x", ""});
    w.AddHeaderRow({"d", "2", "s", "r", "y", ""});
    ASSERT_EQ(w.FCurrentRow, -1);
    w.mmDel->trigger();
    w.mDel->trigger();
    w.tDelete->trigger();
    QTest::mouseClick(w.lDelete, Qt::LeftButton);
    QTest::keyClick(w.headlist, Qt::Key_Delete);
    w.DeleteMessages();
    EXPECT_TRUE(fake->confirmations.empty());
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(w.headlist->topLevelItemCount(), 2);
}

TEST_F(Deletion, NoAtTheQuestionFromEveryControlSendsNothing) {
    Tfmain w;
    w.show();
    FakeServer server;
    scriptCheck(server, mailbox({"A", "B"}));
    check(w, server);
    tick(w, {1});
    fake->confirmAnswer = false;

    w.mmDel->trigger();
    w.mDel->trigger();
    w.tDelete->trigger();
    QTest::mouseClick(w.lDelete, Qt::LeftButton);
    QTest::keyClick(w.headlist, Qt::Key_Delete);

    EXPECT_EQ(fake->confirmations, std::vector<QString>(5, kMany));
    EXPECT_EQ(server.waitAndLines(), checkLines(2));
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(subjects(w), (QStringList{"A", "B"}));
    EXPECT_EQ(w.headlist->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_FALSE(MessageHeaders()[1]->Deleted);
}

TEST_F(Deletion, WhileAnotherCommandWaitsNothingHappens) {
    Tfmain w;
    FakeServer server;
    scriptCheck(server, mailbox({"A"}));
    check(w, server);
    {
        ui::BusyScope waiting;
        w.mmDel->trigger();
    }
    EXPECT_TRUE(fake->confirmations.empty());
    EXPECT_EQ(server.waitAndLines(), checkLines(1));
}

// --- Failures

TEST_F(Deletion, RefusedDeleKeepsTheMarksBeforeItAndQuitCommitsThem) {
    Tfmain w;
    FakeServer server;
    const auto mails = mailbox({"A", "B", "C"});
    scriptCheck(server, mails);
    server.nextConnection();
    scriptLogin(server);
    scriptDelete(server, 3, "uid-C");
    server.exchange("UIDL 2", "+OK 2 uid-B\r\n").exchange("DELE 2", "-ERR message locked\r\n");
    scriptQuit(server);
    server.nextConnection();
    scriptCheck(server, {mails[0], mails[1]});
    check(w, server);
    tick(w, {0, 1, 2});

    w.mmDel->trigger();

    // The top row is never reached; the accepted one is gone after QUIT.
    EXPECT_EQ(server.waitAndLines(), (checkLines(3) +
                                         Lines{"USER bob", "PASS secret", "UIDL 3", "DELE 3", "UIDL 2", "DELE 2",
                                               "QUIT"} +
                                         checkLines(2)));
    EXPECT_EQ(errors(), QStringList{" message locked\r\n"});
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
    EXPECT_EQ(subjects(w), (QStringList{"A", "B"}));
}

TEST_F(Deletion, RefusedFirstDeleStillEndsWithQuitAndKeepsTheList) {
    Tfmain w;
    FakeServer server;
    scriptCheck(server, mailbox({"A", "B"}));
    server.nextConnection();
    scriptLogin(server);
    server.exchange("UIDL 2", "+OK 2 uid-B\r\n").exchange("DELE 2", "-ERR no\r\n");
    scriptQuit(server);
    check(w, server);
    tick(w, {1});

    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(2) + Lines{"USER bob", "PASS secret", "UIDL 2", "DELE 2", "QUIT"}));
    EXPECT_EQ(errors(), QStringList{" no\r\n"});
    // Nothing was deleted, so nothing is read again.
    EXPECT_EQ(server.connections(), 2);
    EXPECT_EQ(subjects(w), (QStringList{"A", "B"}));
    EXPECT_FALSE(MessageHeaders()[1]->Deleted);
}

// The server may have marked a message whose "DELE" it answered with neither
// "+OK" nor "-ERR": "QUIT" commits whatever it did, and the list is read
// again so that no row of a removed message stays.
TEST_F(Deletion, UnrecognisedDeleReplyEndsWithQuitAndReadsTheListAgain) {
    Tfmain w;
    FakeServer server;
    const auto mails = mailbox({"A", "B"});
    scriptCheck(server, mails);
    server.nextConnection();
    scriptLogin(server);
    server.exchange("UIDL 2", "+OK 2 uid-B\r\n").exchange("DELE 2", "+MAYBE\r\n");
    scriptQuit(server);
    server.nextConnection();
    scriptCheck(server, {mails[0]});
    check(w, server);
    tick(w, {1});

    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(),
              (checkLines(2) + Lines{"USER bob", "PASS secret", "UIDL 2", "DELE 2", "QUIT"} + checkLines(1)));
    EXPECT_EQ(errors(), QStringList{"Unrecognized POP3 Response Header:\n\"BE\r\n\""});
    EXPECT_EQ(subjects(w), QStringList{"A"});
}

// Another program removed message A between the check and the deletion: the
// number 2 of row B now names C.
TEST_F(Deletion, ChangedMailboxDeletesNothingWrongAndReadsTheListAgain) {
    const struct {
        const char* name;
        std::string uidlReply;
    } cases[] = {
        {"number names another message", "+OK 2 uid-C\r\n"},
        {"number no longer exists", "-ERR no such message\r\n"},
    };
    const QString refused = QStringLiteral("The server refused to confirm which message it holds under that "
                                           "number (no such message). Nothing more was deleted; the list is "
                                           "read again.");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake->errors.clear();
        Tfmain w;
        FakeServer server;
        const auto mails = mailbox({"A", "B", "C"});
        scriptCheck(server, mails);
        server.nextConnection();
        scriptLogin(server);
        server.exchange("UIDL 2", c.uidlReply);
        scriptQuit(server);
        server.nextConnection();
        scriptCheck(server, {mails[1], mails[2]});
        check(w, server);
        tick(w, {0, 1});

        w.mmDel->trigger();

        EXPECT_EQ(server.waitAndLines(), (checkLines(3) + Lines{"USER bob", "PASS secret", "UIDL 2", "QUIT"} + checkLines(2)));
        EXPECT_EQ(errors(), QStringList{c.uidlReply.starts_with("-ERR") ? refused : kChanged});
        EXPECT_EQ(subjects(w), (QStringList{"B", "C"}));
    }
}

// A server without unique ids: the header and the size as the check run read
// them must come back for the number before it is deleted. B and C share a
// header (two copies of one message) and differ in size.
TEST_F(Deletion, WithoutUniqueIdsHeaderAndSizeConfirmTheMessage) {
    std::vector<Mail> mails = {{"A", "<a@x>", "uid-A"}, {"B", "<b@x>", "uid-B"}, {"B", "<b@x>", "uid-B", "200"}};
    const QString twins = QStringLiteral(
        "This server lists no unique ids and another message has the same header and size, so it cannot be told "
        "apart from that one. It was not deleted; nothing more was deleted.");
    const struct {
        const char* name;
        std::string sizeOfC;
        Mail nowNumberTwo;
        std::string sizeNowListed;  // empty: no "LIST 2" expected
        bool deleted;
        QString error;
    } cases[] = {
        {"mailbox unchanged", "200", mails[1], "100", true, {}},
        {"another header", "200", mails[0], "", false, kChanged},
        {"the copy of another size moved up", "200", mails[2], "200", false, kChanged},
        {"copies alike in size cannot be told apart", "100", mails[1], "", false, twins},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake->errors.clear();
        mails[2].size = c.sizeOfC;
        Tfmain w;
        FakeServer server;
        scriptCheck(server, mails, false);
        server.nextConnection();
        scriptLogin(server);
        Lines deletion = {"USER bob", "PASS secret"};
        if (c.error != twins) {
            server.exchange("TOP 2 0", "+OK\r\n" + headerText(c.nowNumberTwo) + "\r\n.\r\n");
            deletion.push_back("TOP 2 0");
        }
        if (!c.sizeNowListed.empty()) {
            server.exchange("LIST 2", "+OK 2 " + c.sizeNowListed + "\r\n");
            deletion.push_back("LIST 2");
        }
        if (c.deleted) {
            server.exchange("DELE 2", "+OK\r\n");
            deletion.push_back("DELE 2");
        }
        deletion.push_back("QUIT");
        scriptQuit(server);
        const bool refill = c.error != twins;
        if (refill) {
            server.nextConnection();
            scriptCheck(server, {mails[0], mails[2]}, false);
        }
        check(w, server);
        ASSERT_TRUE(MessageHeaders()[1]->UniqueId.empty());
        tick(w, {1});

        w.mmDel->trigger();

        EXPECT_EQ(server.waitAndLines(), checkLines(3) + deletion + (refill ? checkLines(2) : Lines{}));
        EXPECT_EQ(errors(), c.error.isEmpty() ? QStringList{} : QStringList{c.error});
        EXPECT_EQ(MessageHeaders().size(), refill ? 2u : 3u);
    }
}

// Without unique ids, a header cut at an over-long line cannot single its
// message out: nothing is sent for it.
TEST_F(Deletion, WithoutUniqueIdsACutHeaderIsNotDeleted) {
    Tfmain w;
    FakeServer server;
    std::vector<Mail> mails = mailbox({"A", "B"});
    mails[1].subject = std::string(20000, 'x');
    scriptCheck(server, mails, false);
    server.nextConnection();
    scriptLogin(server);
    scriptQuit(server);
    check(w, server);
    ASSERT_TRUE(MessageHeaders()[1]->HeaderCut);
    tick(w, {1});

    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(2) + Lines{"USER bob", "PASS secret", "QUIT"}));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith("This server lists no unique ids")) << errors()[0].toStdString();
    EXPECT_EQ(subjects(w).size(), 2);
}

TEST_F(Deletion, RowsWithEmptyAndRepeatedIdsDeleteTheirOwnMessages) {
    Tfmain w;
    FakeServer server;
    const std::vector<Mail> mails = {
        {"A", "<same@x>", "uid-A"}, {"B", "", "uid-B"}, {"C", "<same@x>", "uid-C"}, {"D", "", "uid-D"}};
    scriptCheck(server, mails);
    server.nextConnection();
    scriptLogin(server);
    scriptDelete(server, 3, "uid-C");
    scriptDelete(server, 2, "uid-B");
    scriptQuit(server);
    server.nextConnection();
    scriptCheck(server, {mails[0], mails[3]});
    server.nextConnection();
    scriptLogin(server);
    scriptDelete(server, 2, "uid-D");
    scriptQuit(server);
    server.nextConnection();
    scriptCheck(server, {mails[0]});
    check(w, server);
    tick(w, {1, 2});

    w.mmDel->trigger();
    ASSERT_EQ(subjects(w), (QStringList{"A", "D"}));
    // The shown row with an empty id, nothing ticked.
    w.headlist->setCurrentItem(w.headlist->topLevelItem(1));
    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(4) +
                                         Lines{"USER bob", "PASS secret", "UIDL 3", "DELE 3", "UIDL 2", "DELE 2",
                                               "QUIT"} +
                                         checkLines(2) +
                                         Lines{"USER bob", "PASS secret", "UIDL 2", "DELE 2", "QUIT"} +
                                         checkLines(1)));
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(subjects(w), QStringList{"A"});
}

// --- Connections

// A connection left open after the check (as a download leaves it) that the
// server logged out while the program sat idle is opened again once.
TEST_F(Deletion, IdleClosedConnectionIsOpenedAgainOnce) {
    const struct {
        const char* name;
        std::function<void(FakeServer&)> logout;
    } cases[] = {
        {"closed", [](FakeServer& s) { s.close(); }},
        {"answered -ERR and closed", [](FakeServer& s) { s.send("-ERR Disconnected for inactivity.\r\n").close(); }},
        {"reset", [](FakeServer& s) { s.reset(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake->errors.clear();
        Tfmain w;
        FakeServer server;
        const auto mails = mailbox({"A", "B"});
        scriptCheck(server, mails);
        server.nextConnection();
        scriptLogin(server);
        c.logout(server);
        server.nextConnection();
        scriptLogin(server);
        scriptDelete(server, 2, "uid-B");
        scriptQuit(server);
        server.nextConnection();
        scriptCheck(server, {mails[0]});
        check(w, server);
        MessageHeaders()[0]->Client->Connect(-1);
        QTest::qWait(100);
        tick(w, {1});

        w.mmDel->trigger();

        EXPECT_EQ(server.waitAndLines(), (checkLines(2) + Lines{"USER bob", "PASS secret"} +
                                             Lines{"USER bob", "PASS secret", "UIDL 2", "DELE 2", "QUIT"} +
                                             checkLines(1)));
        EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
        EXPECT_EQ(subjects(w), QStringList{"A"});
    }
}

// Marks made on a connection die with it: it is not opened again behind the
// user's back, the failure is shown and the list read again.
TEST_F(Deletion, ConnectionLostAfterAMarkIsNotOpenedAgain) {
    Tfmain w;
    FakeServer server;
    const auto mails = mailbox({"A", "B", "C"});
    scriptCheck(server, mails);
    server.nextConnection();
    scriptLogin(server);
    scriptDelete(server, 3, "uid-C");
    server.expect("UIDL 2").close();
    server.nextConnection();
    scriptCheck(server, mails);
    check(w, server);
    tick(w, {1, 2});

    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(3) + Lines{"USER bob", "PASS secret", "UIDL 3", "DELE 3", "UIDL 2"} + checkLines(3)));
    EXPECT_EQ(errors(), QStringList{"Connection Closed Gracefully."});
    // The server kept every message, and the list says so.
    EXPECT_EQ(subjects(w), (QStringList{"A", "B", "C"}));
}

// Closing the window while a deletion waits ends it as the program's end
// would: the connection closed without "QUIT", nothing shown.
TEST_F(Deletion, ClosingTheWindowDuringADeletionEndsIt) {
    Tfmain w;
    w.show();
    FakeServer server;
    scriptCheck(server, mailbox({"A", "B"}));
    server.nextConnection();
    scriptLogin(server);
    server.expect("UIDL 2");  // and never a reply
    check(w, server);
    tick(w, {1});
    QTimer::singleShot(300, &w, [&] { w.close(); });

    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(2) + Lines{"USER bob", "PASS secret", "UIDL 2"}));
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
    EXPECT_FALSE(MessageHeaders()[1]->Deleted);
}

// "Stop" after one accepted "DELE" closes the connection without "QUIT": the
// server keeps every message, and the list stays as it was.
TEST_F(Deletion, StopAfterAnAcceptedDeleCommitsNothing) {
    Tfmain w;
    w.show();
    FakeServer server;
    scriptCheck(server, mailbox({"A", "B", "C"}));
    server.nextConnection();
    scriptLogin(server);
    scriptDelete(server, 3, "uid-C");
    server.expect("UIDL 2");  // and never a reply
    check(w, server);
    tick(w, {1, 2});
    QTimer::singleShot(300, &w, [&] { w.bStop->click(); });

    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(3) + Lines{"USER bob", "PASS secret", "UIDL 3", "DELE 3", "UIDL 2"}));
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
    EXPECT_EQ(subjects(w), (QStringList{"A", "B", "C"}));
    EXPECT_FALSE(MessageHeaders()[2]->Deleted) << "the mark was not committed";
}

TEST_F(Deletion, WithNoAccountSelectedTheDeletionIsStillCommitted) {
    Tfmain w;
    FakeServer server;
    scriptCheck(server, mailbox({"A", "B"}));
    server.nextConnection();
    scriptLogin(server);
    scriptDelete(server, 1, "uid-A");
    scriptQuit(server);
    check(w, server);
    w.poplist->clearSelection();
    tick(w, {0});

    w.mmDel->trigger();

    EXPECT_EQ(server.waitAndLines(), (checkLines(2) + Lines{"USER bob", "PASS secret", "UIDL 1", "DELE 1", "QUIT"}));
    EXPECT_EQ(server.connections(), 2);
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(w.headlist->topLevelItemCount(), 0);
    EXPECT_TRUE(w.memo->toPlainText().isEmpty());
    EXPECT_EQ(w.FCurrentRow, -1);
}

// A record sends "DELE" once; the flag stays set.
TEST_F(Deletion, DeleteRowSendsDeleOnceAndKeepsTheConnectionOpen) {
    Tfmain w;
    FakeServer server;
    scriptCheck(server, mailbox({"A", "B"}));
    server.nextConnection();
    scriptLogin(server);
    scriptDelete(server, 2, "uid-B");
    scriptQuit(server);
    check(w, server);

    EXPECT_TRUE(w.DeleteRow(1));
    EXPECT_TRUE(w.DeleteRow(1));
    EXPECT_FALSE(w.DeleteRow(2));
    EXPECT_FALSE(w.DeleteRow(-1));
    TMessageHeader& record = *MessageHeaders()[1];
    EXPECT_TRUE(record.Deleted);
    EXPECT_FALSE(MessageHeaders()[0]->Deleted);
    EXPECT_EQ(record.Client->MarksOnConnection(), 1);
    ASSERT_TRUE(record.Client->IsConnected());
    record.Client->Quit();
    EXPECT_TRUE(record.Deleted);
    EXPECT_EQ(server.waitAndLines(), (checkLines(2) + Lines{"USER bob", "PASS secret", "UIDL 2", "DELE 2", "QUIT"}));
}

}  // namespace
