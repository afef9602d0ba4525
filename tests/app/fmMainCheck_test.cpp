// The check run and the header list, end to end: the main window against the
// scripted fake server, asserting the exact conversations.
#include "app/Settings.h"
#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "app/udmPOP3.h"

#include "FakePlatform.h"
#include "ScratchFolderTest.h"
#include "FakeServer.h"
#include "TempDir.h"
#include "ui/IniFile.h"
#include "ui/Paths.h"
#include "ui/TextCodec.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// One waiting message: its header lines (CR LF added) and the LIST reply's
// size text.
struct Mail {
    std::vector<std::string> header;
    std::string size = "100";
};

std::string headerText(const Mail& mail) {
    std::string text;
    for (const std::string& line : mail.header) text += line + "\r\n";
    return text;
}

Mail mail(std::string subject, std::string from = "ann@example.com", std::string id = "", std::string size = "100") {
    Mail m;
    m.header = {"From: " + from, "To: bob@example.com", "Subject: " + subject,
                "Date: Tue, 09 Dec 2025 10:20:30 +0000"};
    if (!id.empty()) m.header.push_back("Message-Id: " + id);
    m.size = std::move(size);
    return m;
}

// Greeting and login.
void scriptLogin(FakeServer& server) {
    server.send("+OK ready\r\n").exchange("USER bob", "+OK\r\n").exchange("PASS secret", "+OK\r\n");
}

// One TOP and LIST exchange per message.
void scriptMessages(FakeServer& server, const std::vector<Mail>& mails) {
    for (std::size_t i = 0; i < mails.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        server.exchange("TOP " + n + " 0", "+OK\r\n" + headerText(mails[i]) + "\r\n.\r\n")
            .exchange("LIST " + n, "+OK " + n + " " + mails[i].size + "\r\n");
    }
}

// A whole successful check run of the mailbox.
void scriptMailbox(FakeServer& server, const std::vector<Mail>& mails) {
    scriptLogin(server);
    std::string listing = "+OK\r\n";
    for (std::size_t i = 0; i < mails.size(); ++i)
        listing += std::to_string(i + 1) + " uid-" + std::to_string(i + 1) + "\r\n";
    server.exchange("UIDL", listing + ".\r\n").exchange("STAT", "+OK " + std::to_string(mails.size()) + " 999\r\n");
    scriptMessages(server, mails);
    server.expect("QUIT").close();
}

Lines conversation(int count) {
    Lines lines = {"USER bob", "PASS secret", "UIDL", "STAT"};
    for (int i = 1; i <= count; ++i) {
        lines.push_back("TOP " + std::to_string(i) + " 0");
        lines.push_back("LIST " + std::to_string(i));
    }
    lines.push_back("QUIT");
    return lines;
}

class CheckRun : public ScratchFolderTest {
protected:
    // Selects an account on the server and runs "Check Messages".
    void check(Tfmain& w, FakeServer& server) {
        server.start();
        if (w.poplist->count() == 0)
            w.AddAccountItem({"Office", "127.0.0.1", "bob", "secret", std::to_string(server.port())});
        else
            w.poplist->item(0)->setData(arPort, QByteArray::fromStdString(std::to_string(server.port())));
        w.poplist->item(0)->setSelected(true);
        w.mmCheck->trigger();
    }

    static QStringList column(const Tfmain& w, int c) {
        QStringList texts;
        for (int i = 0; i < w.headlist->topLevelItemCount(); ++i) texts << w.headlist->topLevelItem(i)->text(c);
        return texts;
    }

    static QString view(const Tfmain& w) { return w.memo->toPlainText(); }

};

// --- The main road

TEST_F(CheckRun, TwoMessagesExactConversationRowsAndStatus) {
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {mail("First", "ann@example.com", "<1@x>", "80"), mail("Second", "Carl <carl@example.com>", "<2@x>", "1200")});
    // Reading the headers steps the bar as an activity sign.
    int highest = 0;
    QObject::connect(w.progress, &QProgressBar::valueChanged, [&](int v) { highest = std::max(highest, v); });
    check(w, server);
    EXPECT_GT(highest, 1);

    EXPECT_EQ(server.waitAndLines(), conversation(2));
    EXPECT_EQ(server.problems(), Lines{});
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_EQ(w.headlist->topLevelItemCount(), 2);
    EXPECT_EQ(column(w, 1), (QStringList{"80", "1200"}));
    EXPECT_EQ(column(w, 2), (QStringList{"ann@example.com", "carl@example.com"}));
    EXPECT_EQ(column(w, 3), (QStringList{"bob@example.com", "bob@example.com"}));
    EXPECT_EQ(column(w, 4), (QStringList{"First", "Second"}));
    EXPECT_EQ(column(w, 5), (QStringList{"<1@x>", "<2@x>"}));
    EXPECT_EQ(w.headlist->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(w.barPanels[0]->text(), "  POP3 host: 127.0.0.1");
    EXPECT_EQ(w.barPanels[1]->text(), "  0 Number of selected messages");
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
    // The first row is selected and its header lines shown as received.
    EXPECT_EQ(w.FCurrentRow, 0);
    EXPECT_TRUE(w.headlist->topLevelItem(0)->isSelected());
    EXPECT_EQ(view(w), QString::fromStdString(headerText(mail("First", "ann@example.com", "<1@x>"))).replace("\r\n", "\n"));
    EXPECT_TRUE(w.tSpam->isEnabled());
    EXPECT_TRUE(w.tDelete->isEnabled());
    // The records keep number, size and the unique id listed for them.
    ASSERT_EQ(MessageHeaders().size(), 2u);
    EXPECT_EQ(MessageHeaders()[1]->Number, 2);
    EXPECT_EQ(MessageHeaders()[1]->Msg->Tag, 1200);
    EXPECT_EQ(MessageHeaders()[0]->UniqueId, "uid-1");
    EXPECT_EQ(MessageHeaders()[1]->UniqueId, "uid-2");
    EXPECT_FALSE(MessageHeaders()[0]->Client->IsConnected());
}

TEST_F(CheckRun, ProgressPanelShowsDuringTheRun) {
    Tfmain w;
    w.show();
    FakeServer server;
    scriptLogin(server);
    server.pause(200ms).exchange("UIDL", "-ERR no uidl\r\n").exchange("STAT", "+OK 0 0\r\n").expect("QUIT");
    QString shown;
    int maximum = 0;
    QTimer::singleShot(100, &w, [&] {
        if (w.inf->isVisible()) shown = w.inflabel->text();
        maximum = w.progress->maximum();
    });
    check(w, server);
    EXPECT_EQ(shown, "Check Messages Office");
    EXPECT_EQ(maximum, 8);
    EXPECT_FALSE(w.inf->isVisible());
    // A server without UIDL is no reason to stop.
    EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "UIDL", "STAT", "QUIT"}));
    EXPECT_TRUE(errors().isEmpty());
}

TEST_F(CheckRun, EmptyMailboxClearsTheListAndKeepsTheView) {
    Tfmain w;
    FakeServer first;
    scriptMailbox(first, {mail("Old")});
    check(w, first);
    ASSERT_EQ(w.headlist->topLevelItemCount(), 1);
    const QString shown = view(w);
    ASSERT_FALSE(shown.isEmpty());

    FakeServer second;
    scriptMailbox(second, {});
    check(w, second);
    EXPECT_EQ(second.waitAndLines(), conversation(0));
    EXPECT_EQ(w.headlist->topLevelItemCount(), 0);
    EXPECT_EQ(w.FCurrentRow, -1);
    EXPECT_EQ(view(w), shown);
    EXPECT_EQ(w.barPanels[0]->text(), "  POP3 host: 127.0.0.1");
    EXPECT_EQ(w.barPanels[1]->text(), "  0 Number of selected messages");
    EXPECT_FALSE(w.tDelete->isEnabled());
    EXPECT_FALSE(w.tAll->isEnabled());
    EXPECT_TRUE(MessageHeaders().empty());
}

// --- Failures

TEST_F(CheckRun, WrongPasswordKeepsRowsAndRecords) {
    Tfmain w;
    FakeServer first;
    scriptMailbox(first, {mail("Kept", "ann@example.com", "<k@x>")});
    check(w, first);
    ASSERT_EQ(w.headlist->topLevelItemCount(), 1);
    w.barPanels[0]->setText("before");

    FakeServer second;
    second.send("+OK ready\r\n").exchange("USER bob", "+OK\r\n").exchange("PASS secret", "-ERR invalid password\r\n")
        .expect("QUIT");
    check(w, second);
    EXPECT_EQ(second.waitAndLines(), (Lines{"USER bob", "PASS secret", "QUIT"}));
    EXPECT_EQ(errors(), QStringList{" invalid password\r\n"});
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
    EXPECT_EQ(w.barPanels[0]->text(), "before") << "the host text is not updated";
    ASSERT_EQ(w.headlist->topLevelItemCount(), 1);
    EXPECT_EQ(w.headlist->topLevelItem(0)->text(4), "Kept");
    // The row still finds its record.
    w.memo->clear();
    w.headlist->clearSelection();
    w.headlist->topLevelItem(0)->setSelected(true);
    EXPECT_TRUE(view(w).contains("Subject: Kept"));
}

TEST_F(CheckRun, ErrToSecondTopEndsTheRunAndClearsWhatNoLongerMatches) {
    Tfmain w;
    FakeServer first;
    scriptMailbox(first, {mail("Old")});
    check(w, first);
    ASSERT_EQ(w.headlist->topLevelItemCount(), 1);

    FakeServer second;
    scriptLogin(second);
    second.exchange("UIDL", "+OK\r\n.\r\n").exchange("STAT", "+OK 2 200\r\n");
    scriptMessages(second, {mail("One")});
    second.exchange("TOP 2 0", "-ERR no such message\r\n").expect("QUIT");
    check(w, second);
    EXPECT_EQ(second.waitAndLines(), (Lines{"USER bob", "PASS secret", "UIDL", "STAT", "TOP 1 0", "LIST 1",
                                            "TOP 2 0", "QUIT"}));
    EXPECT_EQ(errors(), QStringList{" no such message\r\n"});
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
    // The previous rows' records are gone, so the rows and the view go too.
    EXPECT_EQ(w.headlist->topLevelItemCount(), 0);
    EXPECT_TRUE(view(w).isEmpty());
    EXPECT_EQ(w.FCurrentRow, -1);
    EXPECT_EQ(MessageHeaders().size(), 1u);
}

// Once the new run has logged in, the old rows have no records behind them:
// they leave the list then, not after the last header.
TEST_F(CheckRun, OldRowsLeaveTheListOnceTheNewRunHasLoggedIn) {
    Tfmain w;
    FakeServer first;
    scriptMailbox(first, {mail("Old one"), mail("Old two"), mail("Old three")});
    check(w, first);
    ASSERT_EQ(w.headlist->topLevelItemCount(), 3);

    FakeServer second;
    scriptLogin(second);
    second.exchange("UIDL", "+OK\r\n1 uid-1\r\n.\r\n").expect("STAT").pause(std::chrono::milliseconds(400))
        .send("+OK 1 100\r\n");
    scriptMessages(second, {mail("New")});
    second.expect("QUIT");
    // Sampled while the server sits on its STAT reply.
    int rowsInThePause = -1;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const Lines received = second.lines();
        if (!received.empty() && received.back() == "STAT") rowsInThePause = w.headlist->topLevelItemCount();
    });
    sampler.start(20);
    check(w, second);
    sampler.stop();
    EXPECT_EQ(second.problems(), Lines{});
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(rowsInThePause, 0);
    EXPECT_EQ(column(w, 4), QStringList{"New"});
    EXPECT_EQ(MessageHeaders().size(), 1u);
    EXPECT_EQ(w.FCurrentRow, 0);
}

TEST_F(CheckRun, BadPortOrUnreadableWordListStopsBeforeAnyConnection) {
    {
        Tfmain w;
        FakeServer server;
        server.start();
        w.AddAccountItem({"Office", "127.0.0.1", "bob", "secret", "11o"})->setSelected(true);
        w.mmCheck->trigger();
        EXPECT_EQ(errors(), QStringList{"'11o' is not a valid integer value"});
        EXPECT_FALSE(w.inf->isVisibleTo(&w));
        EXPECT_EQ(server.connections(), 0);
    }
    fake->errors.clear();
    std::filesystem::create_directory(dir.path() / "filters.dat");
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {});
    check(w, server);
    EXPECT_EQ(errors().size(), 1);
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(w.barPanels[1]->text(), "  0 Number of selected messages");
}

// --- Spam verdict and columns

TEST_F(CheckRun, SecondOfThreeJudgedSpamIsTickedAndMarked) {
    dir.write("filters.dat", "Subject: %viagra\r\n");
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {mail("Hello"), mail("Cheap V-I-A-G-R-A", "spam@example.com"), mail("Bye", "cy@example.com")});
    check(w, server);
    EXPECT_EQ(server.waitAndLines(), conversation(3));
    ASSERT_EQ(w.headlist->topLevelItemCount(), 3);
    EXPECT_EQ(column(w, 4), (QStringList{"Hello", "Cheap V-I-A-G-R-A", "Bye"}));
    EXPECT_EQ(column(w, 2), (QStringList{"ann@example.com", "!spam@example.com", "cy@example.com"}));
    EXPECT_EQ(w.headlist->topLevelItem(0)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(w.headlist->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_EQ(w.headlist->topLevelItem(2)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(w.FCurrentRow, 0);
    EXPECT_TRUE(view(w).contains("Subject: Hello"));
    EXPECT_EQ(w.barPanels[1]->text(), "  1 Number of selected messages");
}

// Each verdict's reason is the sender's tool tip and heads the view; after
// "Always trust this sender" the next run leaves that sender unticked.
TEST_F(CheckRun, ReasonsShowAndATrustedSenderStaysUnticked) {
    dir.write("filters.dat", "Subject: %viagra\r\n");
    dir.write("friends.dat", "@friends.example\r\n");
    const std::vector<Mail> mails = {mail("Cheap V-i-a-g-r-a", "spam@example.com"), mail("Hello"),
                                     mail("viagra", "pal@Friends.example"), mail("viagra", "Spam@Example.com")};
    Tfmain w;
    FakeServer first;
    scriptMailbox(first, mails);
    check(w, first);
    const QString marked = R"(Marked as spam: Subject matches rule "Subject: %viagra": "V-i-a-g-r-a" reads as "VIAGRA")";
    const QString trusted = R"(Sender on the friends list as "@friends.example", never marked)";
    QStringList tips;
    for (int i = 0; i < 3; ++i) tips << w.headlist->topLevelItem(i)->data(2, Qt::ToolTipRole).toString();
    EXPECT_EQ(tips, (QStringList{marked, "", trusted}));
    EXPECT_EQ(column(w, 2), (QStringList{"!spam@example.com", "ann@example.com", "pal@Friends.example", "!Spam@Example.com"}));
    EXPECT_TRUE(view(w).startsWith(marked + "\nFrom: spam@example.com\n")) << view(w).toStdString();
    w.headlist->setCurrentItem(w.headlist->topLevelItem(2));
    EXPECT_TRUE(view(w).startsWith(trusted + "\nFrom: pal@Friends.example\n"));
    w.headlist->setCurrentItem(w.headlist->topLevelItem(1));
    EXPECT_TRUE(view(w).startsWith("From: ann@example.com\n"));

    w.headlist->setCurrentItem(w.headlist->topLevelItem(0));
    w.mTrust->trigger();
    w.headlist->setCurrentItem(w.headlist->topLevelItem(3));
    w.mTrust->trigger();
    EXPECT_EQ(dir.read("friends.dat"), "@friends.example\r\nspam@example.com\r\n");
    FakeServer second;
    scriptMailbox(second, mails);
    check(w, second);
    EXPECT_EQ(column(w, 2), (QStringList{"spam@example.com", "ann@example.com", "pal@Friends.example", "Spam@Example.com"}));
    EXPECT_EQ(w.barPanels[1]->text(), "  0 Number of selected messages");
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
}

// Subjects and names in three charsets: readable with "Decode all character
// sets" (the default), and then an accented word typed as UTF-8 catches
// each of them; as received with the item off, where the word catches none.
TEST_F(CheckRun, AllCharsetsGiveReadableColumnsAndFeedTheFilter) {
    dir.write("filters.dat", "Subject: %p\xC5\x99\xC3\xADli\xC5\xA1\r\n");
    std::vector<Mail> mails = {mail("=?UTF-8?B?UMWZw61sacWhIGRyYWjDqQ==?="),
                               mail("=?ISO-8859-2?Q?P=F8=EDli=B9_levn=E9?="),
                               mail("=?windows-1250?Q?P=F8=EDli=9A?= =?windows-1250?Q?_mnoho?="), mail("Hello")};
    mails[0].header[1] = "To: =?koi8-r?B?8NLJ18XU?= <bob@example.com>";
    for (const bool all : {true, false}) {
        Tfmain w;
        EXPECT_TRUE(w.mmAllCharsets->isChecked());
        if (!all) {
            w.mmAllCharsets->setChecked(false);
            w.mmAllCharsetsClick();
            EXPECT_EQ(ui::IniFile(dir.file("tolvanes.ini")).readInteger("DISPLAY", "ALL_CHARSETS", -1), 0);
        }
        FakeServer server;
        scriptMailbox(server, mails);
        check(w, server);
        EXPECT_EQ(server.waitAndLines(), conversation(4));
        ASSERT_EQ(w.headlist->topLevelItemCount(), 4);
        const QStringList readable = {u"Příliš drahé"_s, u"Příliš levné"_s, u"Příliš mnoho"_s, u"Hello"_s};
        const QStringList raw = {"=?UTF-8?B?UMWZw61sacWhIGRyYWjDqQ==?=", ui::toQString("P\xF8\xEDli\xB9 levn\xE9"),
                                 ui::toQString("P\xF8\xEDli\x9A  mnoho"), "Hello"};
        EXPECT_EQ(column(w, 4), all ? readable : raw);
        EXPECT_EQ(column(w, 3)[0], all ? u"\"Привет\" <bob@example.com>"_s : "=?koi8-r?B?8NLJ18XU?= <bob@example.com>");
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(w.headlist->topLevelItem(i)->checkState(0), all && i < 3 ? Qt::Checked : Qt::Unchecked) << i;
    }
}

TEST_F(CheckRun, GeneralRulesMarkRowsToo) {
    Tfmain w;
    w.SetSpamRules(false, 1, 1);
    FakeServer server;
    Mail many = mail("Many");
    many.header.push_back("Cc: c@example.com");
    scriptMailbox(server, {mail("Small", "a@example.com", "", "1024"), mail("Large", "b@example.com", "", "1025"), many});
    check(w, server);
    EXPECT_EQ(column(w, 2), (QStringList{"a@example.com", "!b@example.com", "!ann@example.com"}));
}

TEST_F(CheckRun, ReceiverAndIdColumns) {
    Tfmain w;
    FakeServer server;
    Mail noTo;
    noTo.header = {"From: a@example.com", "Subject: none"};
    Mail twoTo;
    twoTo.header = {"From: a@example.com", "To: Ann <ann@example.com>, bob@example.com", "Message-Id: <m@x>"};
    scriptMailbox(server, {noTo, twoTo});
    check(w, server);
    EXPECT_EQ(column(w, 3), (QStringList{"", "Ann <ann@example.com>, bob@example.com"}));
    EXPECT_EQ(column(w, 5), (QStringList{"", "<m@x>"}));
    // A text set on a row replaces the one made from what the row keeps;
    // the row's sort key stays.
    QTreeWidgetItem* row = w.headlist->topLevelItem(1);
    row->setText(3, "set");
    EXPECT_EQ(row->text(3), "set");
    EXPECT_EQ(row->data(3, rrSortKey).toByteArray(), "Ann <ann@example.com>, bob@example.com");
    EXPECT_EQ(row->text(5), "<m@x>");
}

TEST_F(CheckRun, DateColumnInTheLocaleWithFourDigitYears) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Tfmain w;
    FakeServer server;
    Mail a = mail("a");
    a.header[3] = "Date: " + QDateTime(QDate(2025, 12, 9), QTime(10, 20, 30)).toString(Qt::RFC2822Date).toStdString();
    Mail b = mail("b");
    b.header[3] = "Date: " + QDateTime(QDate(1999, 3, 1), QTime(0, 0)).toString(Qt::RFC2822Date).toStdString();
    scriptMailbox(server, {a, b});
    check(w, server);
    // The texts are made when the list shows them, in the locale of then.
    const QStringList dates = column(w, 0);
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(dates, (QStringList{"09.12.2025 10:20:30", "01.03.1999"}));
}

// --- Sorting

TEST_F(CheckRun, SortBySizeIsNumericWithMinusOneFirst) {
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {mail("a", "a@x", "", "25000"), mail("b", "b@x", "", "80"), mail("c", "c@x", "", "no number"),
                           mail("d", "d@x", "", "1000")});
    check(w, server);
    EXPECT_EQ(column(w, 1), (QStringList{"25000", "80", "-1", "1000"}));
    QTest::mouseClick(w.headlist->header()->viewport(), Qt::LeftButton, {},
                      QPoint(w.headlist->header()->sectionViewportPosition(1) + 5, 5));
    EXPECT_EQ(column(w, 1), (QStringList{"-1", "80", "1000", "25000"}));
}

TEST_F(CheckRun, SortByDateNewestFirstWhateverTheYearDigits) {
    // Two-digit years in the shown text would put 2001 before 1999 ("01" <
    // "99") if the text were parsed or compared.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Tfmain w;
    FakeServer server;
    std::vector<Mail> mails;
    for (const char* date : {"Mon, 01 Mar 1999 10:00:00 +0000", "Thu, 01 Mar 2001 10:00:00 +0000",
                             "Wed, 01 Mar 2000 10:00:00 +0000"}) {
        Mail m = mail(date);
        m.header[3] = std::string("Date: ") + date;
        mails.push_back(m);
    }
    scriptMailbox(server, mails);
    check(w, server);
    QLocale::setDefault(QLocale::c());
    const QStringList newestFirst = {"Thu, 01 Mar 2001 10:00:00 +0000", "Wed, 01 Mar 2000 10:00:00 +0000",
                                     "Mon, 01 Mar 1999 10:00:00 +0000"};
    w.headlistColumnClick(0);
    EXPECT_EQ(column(w, 4), newestFirst);
    w.headlistColumnClick(0);
    EXPECT_EQ(column(w, 4), newestFirst) << "a second click keeps the order";
}

TEST_F(CheckRun, SortBySenderMarkedFirstUpperBeforeLower) {
    dir.write("filters.dat", "Subject: %spam\r\n");
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {mail("hi", "zed@x"), mail("hi", "bob@x"), mail("spam", "yan@x"), mail("hi", "Zed@x")});
    check(w, server);
    w.headlistColumnClick(2);
    EXPECT_EQ(column(w, 2), (QStringList{"!yan@x", "Zed@x", "bob@x", "zed@x"}));
}

TEST_F(CheckRun, SortBySubjectComparesBytesAsUnsigned) {
    // 0xE9 (e acute in the 8-bit code page) sorts after every ASCII letter;
    // compared as signed char it would come first.
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {mail("\xE9t\xE9"), mail("zoo"), mail("Ab"), mail("ab")});
    check(w, server);
    w.headlistColumnClick(4);
    EXPECT_EQ(column(w, 4), (QStringList{"Ab", "ab", "zoo", ui::toQString("\xE9t\xE9")}));
}

TEST_F(CheckRun, ShownRowStaysCurrentAfterSorting) {
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {mail("big", "a@x", "", "300"), mail("middle", "b@x", "", "200"), mail("small", "c@x", "", "100")});
    check(w, server);
    w.headlist->topLevelItem(0)->setSelected(false);
    w.headlist->topLevelItem(1)->setSelected(true);
    ASSERT_EQ(w.FCurrentRow, 1);
    w.headlistColumnClick(1);
    EXPECT_EQ(column(w, 4), (QStringList{"small", "middle", "big"}));
    EXPECT_EQ(w.FCurrentRow, 1);
    w.headlistColumnClick(4);
    EXPECT_EQ(column(w, 4), (QStringList{"big", "middle", "small"}));
    EXPECT_EQ(w.FCurrentRow, 1);
    EXPECT_EQ(w.headlist->topLevelItem(w.FCurrentRow)->text(4), "middle");
    EXPECT_TRUE(view(w).contains("Subject: middle"));
}

// --- Ticking commands

TEST_F(CheckRun, SelectSpamTicksMarkedRowsAgainAndUntickesNothing) {
    dir.write("filters.dat", "Subject: %spam\r\n");
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {mail("spam one"), mail("ham"), mail("more spam"), mail("ham", "!bang@example.com")});
    check(w, server);
    ASSERT_EQ(column(w, 2)[0], "!ann@example.com");
    EXPECT_EQ(column(w, 2)[3], "!bang@example.com") << "an address that begins with the mark";
    w.headlist->topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    w.headlist->topLevelItem(1)->setCheckState(0, Qt::Checked);
    w.mmSpam->trigger();
    EXPECT_EQ(w.headlist->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(w.headlist->topLevelItem(1)->checkState(0), Qt::Checked);
    EXPECT_EQ(w.headlist->topLevelItem(2)->checkState(0), Qt::Checked);
    EXPECT_EQ(w.headlist->topLevelItem(3)->checkState(0), Qt::Unchecked) << "not judged spam";
    EXPECT_EQ(w.barPanels[1]->text(), "  3 Number of selected messages");

    w.mmUnsel->trigger();
    EXPECT_EQ(w.barPanels[1]->text(), "  0 Number of selected messages");
    w.mmAll->trigger();
    EXPECT_EQ(w.barPanels[1]->text(), "  4 Number of selected messages");
    EXPECT_EQ(w.FCurrentRow, 0) << "ticking leaves the shown row alone";
}

TEST_F(CheckRun, ClickOnACheckBoxRefreshesTheCount) {
    Tfmain w;
    w.show();
    FakeServer server;
    scriptMailbox(server, {mail("a"), mail("b")});
    check(w, server);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QTreeWidgetItem* row = w.headlist->topLevelItem(1);
    const QRect cell = w.headlist->visualItemRect(row);
    // The check box sits at the start of the first cell.
    QStyleOptionViewItem option;
    option.rect = cell;
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = w.headlist->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, w.headlist);
    QTest::mouseClick(w.headlist->viewport(), Qt::LeftButton, {}, box.center());
    EXPECT_EQ(row->checkState(0), Qt::Checked);
    EXPECT_EQ(w.barPanels[1]->text(), "  1 Number of selected messages");
}

// --- Rows and their own records

// A tick given with the Space key is no click; the count follows it all the
// same.
TEST_F(CheckRun, SpaceOnARowTicksItAndRefreshesTheCount) {
    Tfmain w;
    w.show();
    FakeServer server;
    scriptMailbox(server, {mail("a"), mail("b")});
    check(w, server);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    w.headlist->setCurrentItem(w.headlist->topLevelItem(1));
    w.headlist->setFocus();
    QTest::keyClick(w.headlist, Qt::Key_Space);
    ASSERT_EQ(w.headlist->topLevelItem(1)->checkState(0), Qt::Checked);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.barPanels[1]->text(), "  1 Number of selected messages");
    QTest::keyClick(w.headlist, Qt::Key_Space);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.barPanels[1]->text(), "  0 Number of selected messages");
}

TEST_F(CheckRun, EmptyAndRepeatedIdsShowTheirOwnMessages) {
    Tfmain w;
    FakeServer server;
    scriptMailbox(server, {mail("no id one"), mail("no id two"), mail("same one", "a@x", "<same@x>"),
                           mail("same two", "a@x", "<same@x>")});
    check(w, server);
    ASSERT_EQ(w.headlist->topLevelItemCount(), 4);
    for (int i = 0; i < 4; ++i) {
        QTreeWidgetItem* row = w.headlist->topLevelItem(i);
        w.headlist->setCurrentItem(row);
        EXPECT_EQ(w.FCurrentRow, i);
        EXPECT_TRUE(view(w).contains("Subject: " + row->text(4))) << i;
        EXPECT_EQ(Tfmain::RecordOfRow(row), MessageHeaders()[i].get()) << i;
    }
    EXPECT_EQ(FindHeaderById("<same@x>"), MessageHeaders()[2].get());
    EXPECT_EQ(FindHeaderById(""), MessageHeaders()[0].get());
    EXPECT_EQ(FindHeaderById("<none@x>"), nullptr);
}

// --- Hostile messages

TEST_F(CheckRun, HostileMessagesAreListedAndTheRunGoesOn) {
    Tfmain w;
    FakeServer server;
    Mail outside;
    outside.header = {"From: <a@example.com> b@example.com", "To: <c@example.com> d@example.com",
                      "Subject: outside", "Message-Id: <o@x>"};
    Mail badEscape;
    badEscape.header = {"From: e@example.com", "Subject: =?iso-8859-1?Q?bad=ZZescape?=", "Message-Id: <q@x>"};
    Mail longLine;
    longLine.header = {"From: f@example.com", "Subject: long", "X-Long: " + std::string(16376, 'x') + ".",
                       "X-After: kept", "Received: " + std::string(40000, 'y')};
    scriptMailbox(server, {mail("before"), outside, badEscape, longLine, mail("after")});
    check(w, server);

    EXPECT_EQ(server.waitAndLines(), conversation(5));
    EXPECT_EQ(server.problems(), Lines{});
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_EQ(w.headlist->topLevelItemCount(), 5);
    EXPECT_EQ(column(w, 4), (QStringList{"before", "outside", "=?iso-8859-1?Q?bad=ZZescape?=", "long", "after"}));
    EXPECT_EQ(column(w, 2)[1], "<a@example.com> b@example.com");
    EXPECT_EQ(column(w, 3)[1], "<c@example.com> d@example.com");
    EXPECT_EQ(column(w, 5)[1], "<o@x>");
    EXPECT_EQ(column(w, 2)[2], "e@example.com");
    EXPECT_EQ(column(w, 2)[3], "f@example.com");
    EXPECT_EQ(column(w, 1)[4], "100");
    EXPECT_EQ(MessageHeaders()[1]->HeaderError, "@ Outside address");
    EXPECT_EQ(MessageHeaders()[3]->HeaderError, "Max line length exceeded.");
    // Each over-long line is cut at the limit; the lines after it are read.
    const TIdHeaderList& cut = MessageHeaders()[3]->Msg->HeaderLines;
    ASSERT_EQ(cut.Count(), 5);
    EXPECT_EQ(cut[2], "X-Long: " + std::string(16376, 'x'));
    EXPECT_EQ(cut[3], "X-After: kept");
    EXPECT_EQ(cut[4].size(), 16384u);
    EXPECT_TRUE(MessageHeaders()[3]->HeaderCut);
}

// A sender cannot hide a subject from the filter behind one over-long line.
TEST_F(CheckRun, SpamWordAfterAnOverLongLineIsMarked) {
    dir.write("filters.dat", "Subject: %viagra\r\n");
    Tfmain w;
    FakeServer server;
    Mail hiding;
    hiding.header = {"X-Pad: " + std::string(20000, 'p'), "From: f@example.com", "Subject: cheap viagra"};
    scriptMailbox(server, {hiding});
    check(w, server);
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    ASSERT_EQ(w.headlist->topLevelItemCount(), 1);
    EXPECT_EQ(w.headlist->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(column(w, 2)[0], "!f@example.com");
}

TEST_F(CheckRun, TooLongStatusLineStillEndsTheRun) {
    Tfmain w;
    FakeServer server;
    scriptLogin(server);
    server.exchange("UIDL", "+OK\r\n.\r\n").exchange("STAT", "+OK 1 100\r\n")
        .exchange("TOP 1 0", "+OK " + std::string(20000, 'z') + "\r\n").expect("QUIT");
    check(w, server);
    EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "UIDL", "STAT", "TOP 1 0", "QUIT"}));
    EXPECT_EQ(errors(), QStringList{"Max line length exceeded."});
}

// --- Servers that fall silent

// Each wait ends: a status line with "-" in fourth place is one line, and
// silence past the read time-out ends the run with "Read Timeout", while a
// slow transfer that keeps sending never trips it.
TEST_F(CheckRun, NoWaitOnASilentServerIsEndless) {
    TPOP3::SetDefaultReadTimeout(400);
    const auto restore = qScopeGuard([] { TPOP3::SetDefaultReadTimeout(0); });
    const std::string header = headerText(mail("slow")) + "\r\n.\r\n";
    const struct {
        const char* name;
        std::function<void(FakeServer&)> script;
        Lines sent;
        QStringList errors;
    } cases[] = {
        {"greeting +OK-ready",
         [](FakeServer& s) {
             s.send("+OK-ready\r\n").exchange("USER bob", "+OK\r\n").exchange("PASS secret", "+OK\r\n")
                 .exchange("UIDL", "+OK\r\n.\r\n").exchange("STAT", "+OK 0 0\r\n").expect("QUIT").close();
         },
         {"USER bob", "PASS secret", "UIDL", "STAT", "QUIT"}, {}},
        {"UIDL answered +OK-x, then silence",
         [](FakeServer& s) {
             scriptLogin(s);
             s.exchange("UIDL", "+OK-x\r\n");  // and then silence
         },
         {"USER bob", "PASS secret", "UIDL", "QUIT"}, {"Read Timeout"}},
        {"empty greeting line, then silence", [](FakeServer& s) { s.send("\r\n"); }, {"QUIT"}, {"Read Timeout"}},
        {"a slow header that keeps coming",
         [&](FakeServer& s) {
             scriptLogin(s);
             s.exchange("UIDL", "+OK\r\n.\r\n").exchange("STAT", "+OK 1 100\r\n").expect("TOP 1 0")
                 .sendSlowly("+OK\r\n" + header, std::chrono::milliseconds(1000 / static_cast<int>(header.size() / 2)))
                 .exchange("LIST 1", "+OK 1 100\r\n").expect("QUIT").close();
         },
         conversation(1), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake->errors.clear();
        Tfmain w;
        FakeServer server;
        c.script(server);
        QElapsedTimer clock;
        clock.start();
        check(w, server);
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(errors(), c.errors);
        EXPECT_FALSE(w.inf->isVisibleTo(&w));
        EXPECT_EQ(server.waitAndLines(), c.sent);
    }
}

// --- A slow server

TEST_F(CheckRun, StalledServerKeepsTheWindowAliveAndClosingEndsTheRun) {
    Tfmain w;
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    FakeServer server;
    scriptLogin(server);
    server.expect("UIDL");  // and never a reply

    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++paints;
            return false;
        }
    } counter;
    int paintsWhileWaiting = 0;
    QTimer::singleShot(200, &w, [&] {
        w.memo->viewport()->installEventFilter(&counter);
        w.memo->setPlainText("typed while waiting");
        // A second command must not start another conversation.
        w.CheckAccClick();
    });
    QTimer::singleShot(500, &w, [&] {
        paintsWhileWaiting = counter.paints;
        w.close();
    });
    QElapsedTimer clock;
    clock.start();
    check(w, server);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_GT(paintsWhileWaiting, 0) << "the window repaints while the server is silent";
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
    EXPECT_EQ(server.connections(), 1);
    // The connection was closed without "QUIT".
    EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "UIDL"}));
}

// "Stop" and Esc end a run that waits on a stalled server at once, without
// "QUIT" and without an error; the rows go as after a failure of the run,
// and the window stays usable.
TEST_F(CheckRun, StopEndsARunWaitingOnAStalledServer) {
    for (const bool escape : {false, true}) {
        SCOPED_TRACE(escape ? "Esc" : "Stop");
        Tfmain w;
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        FakeServer first;
        scriptMailbox(first, {mail("old")});
        check(w, first);
        ASSERT_EQ(column(w, 4), QStringList{"old"});
        FakeServer server;
        scriptLogin(server);
        server.exchange("UIDL", "+OK\r\n.\r\n").exchange("STAT", "+OK 1 100\r\n");  // then silence
        QTimer::singleShot(300, &w, [&] {
            EXPECT_TRUE(w.bStop->isVisible());
            if (escape)
                QTest::keyClick(w.headlist, Qt::Key_Escape);
            else
                w.bStop->click();
        });
        QElapsedTimer clock;
        clock.start();
        check(w, server);
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
        EXPECT_FALSE(w.inf->isVisibleTo(&w));
        EXPECT_EQ(w.headlist->topLevelItemCount(), 0) << "the old rows went with their records";
        EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "UIDL", "STAT", "TOP 1 0"}));
    }
}

}  // namespace

namespace {

// The run started from the event loop, as the program does: closing the
// window during the wait ends the run and then the event loop.
TEST_F(CheckRun, ClosingDuringARunEndsTheProgramsEventLoop) {
    Tfmain w;
    w.show();
    FakeServer server;
    scriptLogin(server);
    server.expect("UIDL");
    QTimer::singleShot(0, &w, [&] { check(w, server); });
    QTimer::singleShot(300, &w, [&] { w.close(); });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    safety.start(10000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
    EXPECT_EQ(server.waitAndLines(), (Lines{"USER bob", "PASS secret", "UIDL"}));
}

// --- Fast check (pipelining)

// The same mailbox gives the same rows and verdicts with and without a fast
// check; a fast check asks "CAPA" first and, without PIPELINING in the
// answer (or with "-ERR" to it), goes on one command at a time.
TEST_F(CheckRun, FastCheckGivesTheSameRowsInEveryMode) {
    dir.write("filters.dat", "Subject: %viagra\r\n");
    const std::vector<Mail> mails = {mail("One", "ann@example.com", "<1@x>", "80"),
                                     mail("cheap v-i-a-g-r-a", "spam@example.com", "<2@x>", "5000"),
                                     mail("Three", "Carl <carl@example.com>", "<3@x>", "1200")};
    const struct {
        const char* name;
        bool fast;
        std::string capa;  // empty: none asked
    } modes[] = {
        {"sequential", false, ""},
        {"fast, server pipelines", true, "+OK\r\nTOP\r\nUIDL\r\nPIPELINING\r\n.\r\n"},
        {"fast, no PIPELINING listed", true, "+OK\r\nTOP\r\nUIDL\r\n.\r\n"},
        {"fast, CAPA refused", true, "-ERR unknown command\r\n"},
    };
    QStringList firstRows;
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.name);
        fake->errors.clear();
        Tfmain w;
        w.mmFastCheck->setChecked(mode.fast);
        w.mmFastCheckClick();
        FakeServer server;
        if (mode.capa.empty()) {
            scriptMailbox(server, mails);
        } else {
            server.send("+OK ready\r\n").exchange("CAPA", mode.capa);
            server.exchange("USER bob", "+OK\r\n").exchange("PASS secret", "+OK\r\n");
            server.exchange("UIDL", "+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n").exchange("STAT", "+OK 3 999\r\n");
            scriptMessages(server, mails);
            server.expect("QUIT").close();
        }
        check(w, server);
        Lines expected = conversation(3);
        if (!mode.capa.empty()) expected.insert(expected.begin(), "CAPA");
        EXPECT_EQ(server.waitAndLines(), expected);
        EXPECT_EQ(server.problems(), Lines{});
        EXPECT_TRUE(errors().isEmpty()) << errors().join("|").toStdString();
        QStringList rows;
        for (int i = 0; i < w.headlist->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = w.headlist->topLevelItem(i);
            rows << QStringList{row->text(1), row->text(2), row->text(4), row->text(5),
                                row->checkState(0) == Qt::Checked ? "ticked" : "-"}.join("|");
        }
        if (firstRows.isEmpty()) firstRows = rows;
        EXPECT_EQ(rows, firstRows);
        EXPECT_EQ(rows.size(), 3);
        EXPECT_EQ(w.barPanels[1]->text(), "  1 Number of selected messages");
    }
    ui::IniFile ini(ui::settingsFilePath(kSettingsFileName));
    EXPECT_TRUE(ini.readBool("CHECK", "PIPELINING", false)) << "the setting is written when chosen";
}

// In a window of commands a refused "TOP", the server's close and an
// over-long header line are met as in a run one command at a time: the
// first two end the run with their error, the last is cut and the run goes
// on. A stalled server leaves the window alive, and closing it ends the run.
TEST_F(CheckRun, FastCheckMeetsFailuresInTheMiddleOfAWindow) {
    Mail longLine = mail("long");
    longLine.header.insert(longLine.header.begin(), "X-Pad: " + std::string(20000, 'p'));
    const struct {
        const char* name;
        std::string secondTop;  // empty: the server stalls there
        bool closes;
        QStringList errors;
        int rows;
    } cases[] = {
        {"refused TOP", "-ERR no such message\r\n", false, {" no such message\r\n"}, 0},
        {"server closes", "+OK\r\nSubject: half", true, {"Connection Closed Gracefully."}, 0},
        {"over-long header line", "+OK\r\n" + headerText(longLine) + "\r\n.\r\n", false, {}, 3},
        {"stalled server, window closed", "", false, {}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake->errors.clear();
        Tfmain w;
        w.show();
        w.mmFastCheck->setChecked(true);
        w.mmFastCheckClick();
        FakeServer server;
        server.send("+OK ready\r\n").exchange("CAPA", "+OK\r\nPIPELINING\r\n.\r\n");
        server.exchange("USER bob", "+OK\r\n").exchange("PASS secret", "+OK\r\n");
        server.exchange("UIDL", "+OK\r\n.\r\n").exchange("STAT", "+OK 3 300\r\n");
        server.exchange("TOP 1 0", "+OK\r\n" + headerText(mail("one")) + "\r\n.\r\n").exchange("LIST 1", "+OK 1 100\r\n");
        if (c.secondTop.empty()) {
            QTimer::singleShot(300, &w, [&] { w.close(); });
        } else if (c.closes) {
            server.expect("TOP 2 0").send(c.secondTop).close();
        } else {
            server.exchange("TOP 2 0", c.secondTop);
            if (c.errors.isEmpty()) {
                server.exchange("LIST 2", "+OK 2 200\r\n").exchange("TOP 3 0", "+OK\r\n" + headerText(mail("three")) + "\r\n.\r\n")
                    .exchange("LIST 3", "+OK 3 300\r\n").expect("QUIT").close();
            }
        }
        QElapsedTimer clock;
        clock.start();
        check(w, server);
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(errors(), c.errors);
        EXPECT_EQ(w.headlist->topLevelItemCount(), c.rows);
        EXPECT_FALSE(w.inf->isVisibleTo(&w));
        server.waitDone(std::chrono::milliseconds(1000));
    }
}

}  // namespace
