// "Download message" end to end: the main window against the scripted fake
// server, asserting the exact conversations, the view's text and format,
// and what a click on a link in it does.
#include "app/MessageView.h"
#include "app/fmAbout.h"
#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "app/udmPOP3.h"
#include "message/IdTempFiles.h"

#include "MailboxWindowTest.h"

#include <QDir>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextList>
#include <QTimer>
#include <QTreeWidget>

#include <filesystem>
#include <functional>

namespace {

using Lines = std::vector<std::string>;

struct Mail {
    std::string header, body;  // CR LF lines: header fields after the common ones, what follows the blank line
    std::string size = "100";
};

const std::string kMixed = "Content-Type: multipart/mixed; boundary=\"b\"\r\n";
const std::string kTextPart = "--b\r\nContent-Type: text/plain\r\n\r\none\r\n";

std::string headerOf(const Mail& mail, std::size_t n) {
    return "From: ann@example.com\r\nSubject: S\r\nMessage-Id: <" + std::to_string(n) + "@x>\r\n" + mail.header;
}
std::string retrReply(const Mail& mail, std::size_t n) {
    return "+OK\r\n" + headerOf(mail, n) + "\r\n" + mail.body + ".\r\n";
}
QString lf(const std::string& text) { return QString::fromStdString(text).replace("\r\n", "\n"); }

void scriptLogin(FakeServer& server) {
    server.send("+OK ready\r\n").exchange("USER bob", "+OK\r\n").exchange("PASS secret", "+OK\r\n");
}

// A check run of the mailbox (unique ids u1, u2, ...), then, unless it is
// the last, a new connection.
void scriptCheck(FakeServer& server, const std::vector<Mail>& mails, bool last = false) {
    scriptLogin(server);
    std::string listing = "+OK\r\n";
    for (std::size_t i = 1; i <= mails.size(); ++i) listing += std::to_string(i) + " u" + std::to_string(i) + "\r\n";
    server.exchange("UIDL", listing + ".\r\n").exchange("STAT", "+OK " + std::to_string(mails.size()) + " 9\r\n");
    for (std::size_t i = 1; i <= mails.size(); ++i) {
        const std::string n = std::to_string(i), size = mails[i - 1].size;
        server.exchange("TOP " + n + " 0", "+OK\r\n" + headerOf(mails[i - 1], i) + "\r\n.\r\n")
            .exchange("LIST " + n, "+OK " + n + (size.empty() ? "" : " " + size) + "\r\n");
    }
    server.expect("QUIT").close();
    if (!last) server.nextConnection();
}

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The lines of a check run of `count` messages, a login and `more`.
Lines after(int count, const Lines& more) {
    Lines lines = {"USER bob", "PASS secret", "UIDL", "STAT"};
    for (int i = 1; i <= count; ++i) lines = lines + Lines{"TOP " + std::to_string(i) + " 0", "LIST " + std::to_string(i)};
    return lines + Lines{"QUIT", "USER bob", "PASS secret"} + more;
}

int attachmentFiles() {
    std::error_code error;
    const auto files = std::filesystem::directory_iterator(AttachmentFolder::Process().Path(), error);
    return error ? 0 : static_cast<int>(std::distance(begin(files), end(files)));
}

class Download : public MailboxWindowTest {
protected:
    static void download(Tfmain& w, int row) {
        w.headlist->setCurrentItem(w.headlist->topLevelItem(row));
        w.mmDownload->trigger();
    }
    static Lines lines(FakeServer& server) {  // once the download's connection ended
        MessageHeaders()[0]->Client->Abandon();
        return server.waitAndLines();
    }
};

const std::string kSection = "\r\n" + std::string(S_body) + "\r\none\r\n";
const std::string kHead = "\r\n\r\n" + std::string(S_head) + "\r\n";

TEST_F(Download, ViewAfterTheDownload) {
    const struct {
        const char* name;
        Mail mail;
        std::string uidl, retr;  // replies; retr empty: the whole message
        Lines sent;              // after the login
        std::string view;        // a view with sections ends with the header; empty: the header alone
        QString error;
        bool retrieved, connected;
    } rows[] = {
        {"a plain message of no given size shows its body alone", {"", "Hello\r\n..dot\r\n", ""}, "+OK 1 u1", "",
         {"UIDL 1", "RETR 1"}, "Hello\r\n.dot\r\n", {}, true, true},
        {"two text parts, no attachment list",
         {"Content-Type: multipart/alternative; boundary=\"b\"\r\n",
          kTextPart + "--b\r\nContent-Type: text/html\r\n\r\n<p>two</p>\r\n--b--\r\n"},
         "+OK 1 u1", "", {"UIDL 1", "RETR 1"}, kSection + "\r\n<p>two</p>\r\n" + kHead, {}, true, true},
        {"a malformed part: what came before it and why the rest is missing",
         {kMixed, kTextPart + "--b\r\nContent-Type: application/pdf; name=\"a.pdf\"\r\n"
                              "Content-Transfer-Encoding: base64\r\n\r\nabc\r\n--b--\r\n"},
         "+OK 1 u1", "", {"UIDL 1", "RETR 1"},
         kSection + "\r\nThe rest of the message could not be read: Uneven size in DecodeToStream.\r\n" + kHead, {},
         true, true},
        {"a message that is one attachment lists it",
         {"Content-Type: application/pdf; name=\"a.pdf\"\r\nContent-Transfer-Encoding: base64\r\n", "AAAA\r\n"},
         "+OK 1 u1", "", {"UIDL 1", "RETR 1"},
         "\r\n" + std::string(S_att) + "\r\n\r\nhttp://localhost/a.pdf/ID=0 A.PDF ()\r\n\r\n" + std::string(S_body) +
             "\r\n" + kHead, {}, true, true},
        {"all charsets (the default): a Latin-2 text part and an extended file name shown readable",
         {kMixed, "--b\r\nContent-Type: text/plain; charset=iso-8859-2\r\nContent-Transfer-Encoding: quoted-printable"
                  "\r\n\r\nP=F8=EDli=B9\r\n--b\r\nContent-Type: a/b; name*=utf-8''%C5%BElu.pdf\r\n\r\nx\r\n--b--\r\n"},
         "+OK 1 u1", "", {"UIDL 1", "RETR 1"},
         "\r\n" + std::string(S_att) + "\r\n\r\nhttp://localhost/žlu.pdf/ID=1 žLU.PDF (a/b; name*=utf-8''%C5%BElu.pdf)"
         "\r\n\r\n" + std::string(S_body) + "\r\nPříliš\r\n" + kHead, {}, true, true},
        {"RETR refused", {}, "+OK 1 u1", "-ERR no such message\r\n", {"UIDL 1", "RETR 1"}, "",
         "The server refused to send the message: no such message", false, true},
        {"another message under the number", {}, "+OK 1 u7", "", {"UIDL 1"}, "",
         "The mailbox has changed since it was checked: the server holds another message under this number now. "
         "Check the mailbox again to download it.",
         false, true},
        {"the connection lost after an attachment", {kMixed, "", "100"}, "+OK 1 u1",
         "+OK\r\n" + headerOf({kMixed, "", ""}, 1) + "\r\n--b\r\nContent-Type: image/png; name=\"a.png\"\r\n"
                                                 "Content-Transfer-Encoding: base64\r\n\r\nAAAA\r\n" + kTextPart,
         {"UIDL 1", "RETR 1"}, "", "Connection Closed Gracefully.", false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fake->errors.clear();
        Tfmain w;
        FakeServer server;
        scriptCheck(server, {row.mail});
        scriptLogin(server);
        server.exchange("UIDL 1", row.uidl + "\r\n");
        if (row.sent.size() > 1) server.exchange("RETR 1", row.retr.empty() ? retrReply(row.mail, 1) : row.retr);
        if (!row.retr.empty() && !row.retr.ends_with(".\r\n") && !row.retr.starts_with("-ERR")) server.close();
        check(w, server);
        const QString header = lf(headerOf(row.mail, 1));
        ASSERT_EQ(w.memo->toPlainText(), header);

        download(w, 0);

        EXPECT_EQ(MessageHeaders()[0]->Client->IsConnected(), row.connected);
        EXPECT_EQ(lines(server), after(1, row.sent));
        EXPECT_EQ(errors(), row.error.isEmpty() ? QStringList{} : QStringList{row.error});
        const QString view = row.view.empty() ? header : lf(row.view) + (row.view.ends_with(kHead) ? header : "");
        EXPECT_EQ(w.memo->toPlainText(), view);
        EXPECT_EQ(MessageHeaders()[0]->Retrieved, row.retrieved);
        EXPECT_EQ(w.mmDownload->isEnabled(), !row.retrieved);
        TIdMessageParts& parts = MessageHeaders()[0]->Msg->Parts;
        parts.RecountParts();
        EXPECT_EQ(attachmentFiles(), parts.AttachmentTotal) << "a file for each attachment kept, none else";
        EXPECT_FALSE(w.inf->isVisibleTo(&w));
    }
}

// Parts: text with links, then two attachments, the second with a name
// meant to climb out of the folder.
const Mail kWithAttachments = {
    kMixed, "--b\r\nContent-Type: text/plain\r\n\r\nhttps://example.org/a, ann@example.org; file:///etc/passwd\r\n"
            "--b\r\nContent-Type: application/pdf; name=\"report.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
            "\r\nAP8lUERGLTEuNA0KAQ==\r\n--b\r\nContent-Type: text/x-sh\r\n"
            "Content-Disposition: attachment; filename=\"../../.bashrc\"\r\n\r\nx\r\n--b--\r\n"};
const std::string kPdf("\0\xff%PDF-1.4\r\n\x01", 13);

TEST_F(Download, AttachmentLinesTheirFormatAndTheClicksOnLinks) {
    Tfmain w;
    FakeServer server;
    scriptCheck(server, {kWithAttachments, {"", "Hi\r\n"}});
    scriptLogin(server);
    server.exchange("UIDL 1", "+OK 1 u1\r\n").exchange("RETR 1", retrReply(kWithAttachments, 1));
    check(w, server);
    download(w, 0);
    const QString shown = w.memo->toPlainText();
    w.headlist->setCurrentItem(w.headlist->topLevelItem(1));
    w.headlist->setCurrentItem(w.headlist->topLevelItem(0));

    EXPECT_EQ(shown, w.memo->toPlainText()) << "shown again from memory";
    EXPECT_EQ(shown, lf("\r\n" + std::string(S_att) + "\r\n\r\nhttp://localhost/report.pdf/ID=1 REPORT.PDF ("
                         "application/pdf; name=\"report.pdf\")\r\nhttp://localhost/bashrc/ID=2 BASHRC (text/x-sh)\r\n\r\n" +
                         std::string(S_body) + "\r\nhttps://example.org/a, ann@example.org; file:///etc/passwd\r\n" +
                         kHead + headerOf(kWithAttachments, 1)));
    const QTextDocument& document = *w.memo->document();
    for (const std::string_view section : {S_att, S_body, S_head}) {
        const QTextCharFormat format = document.find(QString::fromLatin1(section)).charFormat();
        EXPECT_TRUE(format.fontFamilies().toStringList().contains("Courier New") && format.fontPointSize() == 12 &&
                    format.fontWeight() == QFont::Bold && format.foreground().color() == Qt::red)
            << section;
    }
    for (const char* line : {"REPORT.PDF", "BASHRC", "https:"}) {  // two bulleted bold lines, then the body
        const QTextCursor at = document.find(line);
        EXPECT_EQ(at.block().textList() != nullptr && at.charFormat().fontWeight() == QFont::Bold, line[0] != 'h');
    }
    EXPECT_TRUE(w.memo->textCursor().position() == 0 && !w.memo->textCursor().hasSelection());

    // Saved, replaced on the dialog's confirmation, kept on "Cancel" and
    // when the copy fails; the next proposal is in the folder chosen last.
    const QString out = QString::fromStdString(dir.file("out.pdf"));
    const auto click = [&](const QString& target, std::optional<QString> answer) {
        fake->saveAnswer = answer;
        emit w.memo->linkClicked(target);
        return dir.read("out.pdf");
    };
    const QString pdf = w.memo->links()[0].target;
    EXPECT_EQ(click(pdf, out), kPdf);
    dir.write("out.pdf", "old");
    EXPECT_EQ(click(pdf, out), kPdf);
    dir.write("out.pdf", "old");
    EXPECT_EQ(click(pdf, std::nullopt), "old");
    std::filesystem::remove(dynamic_cast<TIdAttachment&>(MessageHeaders()[0]->Msg->Parts[1]).StoredPath);
    EXPECT_EQ(click(pdf, out), "old");
    EXPECT_EQ(errors(), QStringList{"Error saving attachment."});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "out.pdf alone";
    click(w.memo->links()[1].target, std::nullopt);
    const QString inDir = QDir(dir.path()).filePath("report.pdf");
    EXPECT_EQ(fake->saveSuggestions, (std::vector<QString>{QDir::home().filePath("report.pdf"), inDir, inDir, inDir,
                                                           QDir(dir.path()).filePath("bashrc")}));
    // Web and mail links go to the desktop, any other scheme nowhere.
    for (const char* link : {"https://example.org/a", "mailto:ann@example.org", "file:///etc/passwd", "javascript:x()"})
        click(QString::fromLatin1(link), std::nullopt);
    EXPECT_EQ(fake->opened, (std::vector<QString>{"https://example.org/a", "mailto:ann@example.org"}));
    EXPECT_EQ(lines(server), after(2, {"UIDL 1", "RETR 1"}));
}

// A connection left open that the server logged out while the program sat
// idle is opened again once; a deletion after the download uses it.
TEST_F(Download, IdleClosedConnectionIsOpenedAgainOnceAndADeletionUsesIt) {
    const std::function<void(FakeServer&)> logouts[] = {
        [](FakeServer& s) { s.close(); },
        [](FakeServer& s) { s.send("-ERR Disconnected for inactivity.\r\n").close(); },
    };
    const std::vector<Mail> mails = {{"", "A\r\n"}, {"", "B\r\n"}};
    for (const auto& logout : logouts) {
        Tfmain w;
        FakeServer server;
        scriptCheck(server, mails);
        scriptLogin(server);
        logout(server);
        server.nextConnection();
        scriptLogin(server);
        server.exchange("UIDL 2", "+OK 2 u2\r\n").exchange("RETR 2", retrReply(mails[1], 2));
        server.exchange("UIDL 2", "+OK 2 u2\r\n").exchange("DELE 2", "+OK\r\n").exchange("QUIT", "+OK\r\n").close();
        server.nextConnection();
        scriptCheck(server, {mails[0]}, true);
        check(w, server);
        MessageHeaders()[0]->Client->Connect(-1);
        QTest::qWait(100);
        download(w, 1);
        EXPECT_EQ(w.memo->toPlainText(), "B\n");
        w.mmDel->trigger();
        EXPECT_EQ(errors(), QStringList{});
        const Lines refill = after(1, {});
        EXPECT_EQ(server.waitAndLines(), after(2, {"USER bob", "PASS secret", "UIDL 2", "RETR 2", "UIDL 2", "DELE 2",
                                                   "QUIT"}) + Lines(refill.begin(), refill.end() - 2));
    }
}

// Closing the window while the message comes ends the download as the
// program's end would: no "QUIT", nothing shown, no attachment file left.
TEST_F(Download, ClosingTheWindowDuringADownloadEndsIt) {
    Tfmain w;
    w.show();
    FakeServer server;
    scriptCheck(server, {kWithAttachments});
    scriptLogin(server);
    const std::string reply = retrReply(kWithAttachments, 1);
    server.exchange("UIDL 1", "+OK 1 u1\r\n").expect("RETR 1").send(reply.substr(0, reply.find("--b\r\nContent-Type: t")));
    check(w, server);
    QTimer::singleShot(300, &w, [&] { w.close(); });
    download(w, 0);
    EXPECT_EQ(server.waitAndLines(), after(1, {"UIDL 1", "RETR 1"}));
    EXPECT_EQ(errors(), QStringList{});
    EXPECT_FALSE(MessageHeaders()[0]->Retrieved);
    EXPECT_EQ(attachmentFiles(), 0);
    EXPECT_FALSE(w.inf->isVisibleTo(&w));
}

TEST_F(Download, AboutBoxClosesOnEnterAndEscAndHandsOnItsLinks) {
    Tfmain w;
    w.About1->trigger();
    EXPECT_EQ(fake->dialogs, std::vector<QString>{"AboutBox"});
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        TAboutBox box;
        box.show();
        QTest::keyClick(&box, key);
        EXPECT_FALSE(box.isVisible()) << key;
    }
    TAboutBox box;
    QTest::mouseClick(box.www, Qt::LeftButton);
    QTest::mouseClick(box.eml, Qt::LeftButton);
    EXPECT_EQ(fake->opened, (std::vector<QString>{"https://skimlet.example.org/", "mailto:skimlet@example.org"}));
    EXPECT_TRUE(QRegularExpression("^Version [0-9.]+ EN build [0-9]{6}-\\S+\n").match(box.Comments->text()).hasMatch())
        << box.Comments->text().toStdString();
}

TEST(SafeFileName, ProposesOnlyANameInTheChosenFolder) {
    const std::pair<std::string, std::string> rows[] = {
        {"report 2026.pdf", "report 2026.pdf"},  {"C:\\x\\y.exe", "y.exe"},        {"\x01\r\n\x7f", "attachment"},
        {" .. ", "attachment"}, {std::string(300, 'a') + ".txt", std::string(196, 'a') + ".txt"},
    };
    for (const auto& [given, proposed] : rows) EXPECT_EQ(SafeFileName(given), proposed) << given;
}

}  // namespace
