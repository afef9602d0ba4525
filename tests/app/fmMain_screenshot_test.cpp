// Renders the main window after a real check run: two accounts, a scripted
// server holding five messages, a word list in the program's folder that
// catches a disguised spam word, and the general rules catching an empty
// subject. With SKIMLET_SCREENSHOT set to a file name (scripts/screenshot.sh
// does this) the picture is saved there, for the README.
#include "app/fmMain.h"

#include "FakePlatform.h"
#include "FakeServer.h"
#include "TempDir.h"
#include "ui/Paths.h"

#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Sample {
    std::string header;  // CR LF line ends
    int size;
};

std::vector<Sample> sampleMailbox() {
    const auto header = [](const std::vector<std::string>& lines) {
        std::string text;
        for (const std::string& line : lines) text += line + "\r\n";
        return text;
    };
    return {
        {header({"Return-Path: <anna@example.org>", "Received: from mx.example.org by pop.example.com",
                 "Date: Tue, 8 Dec 2026 09:14:02 +0100", "From: Anna Novak <anna@example.org>",
                 "To: office@example.com", "Subject: Minutes of Monday's meeting",
                 "Message-ID: <20261208091402.77@example.org>", "MIME-Version: 1.0",
                 "Content-Type: multipart/mixed; boundary=\"b1\""}),
         2841},
        {header({"Date: Tue, 8 Dec 2026 08:51:40 +0100", "From: Best Deals <deals@cheap-offers.example>",
                 "To: office@example.com", "Subject: =?ISO-8859-2?Q?V-i-=40-g-r-a_at_90=25_off?=",
                 "Message-ID: <a81f.3c@cheap-offers.example>"}),
         15320},
        {header({"Date: Mon, 7 Dec 2026 17:03:11 +0100", "From: scanner@example.com", "To: office@example.com",
                 "Subject: Scanned document", "Message-ID: <scan-0042@example.com>"}),
         482113},
        {header({"Date: Mon, 7 Dec 2026 12:40:55 +0100", "From: winner@lottery.example",
                 "To: undisclosed-recipients:;", "Subject: ", "Message-ID: <w1@lottery.example>"}),
         3904},
        {header({"Date: Sun, 6 Dec 2026 00:00:00 +0100", "From: Bob <bob@example.net>",
                 "To: office@example.com, Anna Novak <anna@example.org>", "Subject: Re: Invoice 2026/118",
                 "Message-ID: <b0b.118@example.net>"}),
         1207},
    };
}

void scriptMailbox(FakeServer& server, const std::vector<Sample>& mails) {
    server.send("+OK ready\r\n").exchange("USER office", "+OK\r\n").exchange("PASS secret", "+OK\r\n");
    std::string listing = "+OK\r\n";
    for (std::size_t i = 0; i < mails.size(); ++i) listing += std::to_string(i + 1) + " u" + std::to_string(i + 1) + "\r\n";
    server.exchange("UIDL", listing + ".\r\n").exchange("STAT", "+OK " + std::to_string(mails.size()) + " 505385\r\n");
    for (std::size_t i = 0; i < mails.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        server.exchange("TOP " + n + " 0", "+OK\r\n" + mails[i].header + "\r\n.\r\n")
            .exchange("LIST " + n, "+OK " + n + " " + std::to_string(mails[i].size) + "\r\n");
    }
    server.expect("QUIT").close();
}

// The first message whole, as "Download message" fetches it: the minutes
// as text, and two attachments.
void scriptDownload(FakeServer& server, const Sample& mail) {
    const std::string body =
        "--b1\r\nContent-Type: text/plain\r\n\r\nHello all,\r\n\r\nthe minutes and the budget are attached. The "
        "room plan: https://intranet.example.org/rooms; questions to anna@example.org.\r\n\r\nAnna\r\n--b1\r\n"
        "Content-Type: application/pdf; name=\"minutes-2026-12-07.pdf\"\r\nContent-Transfer-Encoding: base64\r\n"
        "\r\nJVBERi0xLjQK\r\n--b1\r\nContent-Type: application/vnd.oasis.opendocument.spreadsheet\r\nContent-"
        "Disposition: attachment; filename=\"budget 2027.ods\"\r\n\r\nPK\r\n--b1--\r\n";
    server.nextConnection().send("+OK ready\r\n").exchange("USER office", "+OK\r\n").exchange("PASS secret", "+OK\r\n");
    server.exchange("UIDL 1", "+OK 1 u1\r\n").exchange("RETR 1", "+OK\r\n" + mail.header + "\r\n" + body + ".\r\n");
}

TEST(Screenshot, MainWindowAfterACheckRun) {
    TempDir dir;
    ui::setProgramFolder(dir.path().string());
    ui::setSettingsFolder(dir.path().string());
    FakePlatformScope fake;
    dir.write("tolvanes.ini", "[SIZE]\nWIDTH=860\nHEIGHT=540\n[SPLIT]\nHORIZONTAL=160\n");
    dir.write("filters.dat", "Subject: %viagra\r\nAddress: %casino\r\n");
    FakeServer server;
    scriptMailbox(server, sampleMailbox());
    scriptDownload(server, sampleMailbox()[0]);
    server.start();
    {
        Tfmain w;
        w.AddAccountItem({"office@example.com", "127.0.0.1", "office", "secret", std::to_string(server.port())});
        w.AddAccountItem({"home@example.net", "mail.example.net", "home", "", "110"});
        w.SetSpamRules(true, 0, 0);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.poplist->item(0)->setSelected(true);
        w.mmCheck->trigger();
        EXPECT_TRUE(fake->errors.empty());
        ASSERT_EQ(w.headlist->topLevelItemCount(), 5);
        // The disguised word and the empty subject are ticked and marked.
        for (int i = 0; i < 5; ++i) {
            const bool spam = i == 1 || i == 3;
            EXPECT_EQ(w.headlist->topLevelItem(i)->checkState(0) == Qt::Checked, spam) << i;
            EXPECT_EQ(w.headlist->topLevelItem(i)->text(2).startsWith('!'), spam) << i;
        }
        EXPECT_EQ(w.barPanels[1]->text(), "  2 Number of selected messages");
        w.AdjustSubjectColumn();
        QCoreApplication::processEvents();
        const QImage picture = w.grab().toImage();
        EXPECT_EQ(picture.size(), w.size() * w.devicePixelRatio());
        if (const char* file = std::getenv("SKIMLET_SCREENSHOT")) {
            EXPECT_TRUE(picture.save(QString::fromLocal8Bit(file), "PNG")) << file;
        }
        // The same window after "Download message" on the first row.
        w.mmDownload->trigger();
        EXPECT_TRUE(fake->errors.empty() && w.memo->toPlainText().contains("MINUTES-2026-12-07.PDF"));
        if (const char* file = std::getenv("SKIMLET_SCREENSHOT_VIEW")) {
            EXPECT_TRUE(w.grab().toImage().save(QString::fromLocal8Bit(file), "PNG")) << file;
        }
    }
    EXPECT_TRUE(server.problems().empty());
    ui::setProgramFolder("");
    ui::setSettingsFolder("");
}

}  // namespace
