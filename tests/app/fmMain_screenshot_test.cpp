// Renders the main window with sample content. With SKIMLET_SCREENSHOT set
// to a file name (scripts/screenshot.sh does this) the picture is saved
// there, for the README.
#include "app/fmMain.h"

#include "FakePlatform.h"
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

namespace {

void fillSample(Tfmain& w) {
    w.AddAccountItem({"office@example.com", "pop.example.com", "office", "", "110"});
    w.AddAccountItem({"home@example.net", "mail.example.net", "home", "", "110"});
    w.poplist->item(0)->setSelected(true);
    const QStringList rows[] = {
        {"08.12.2026 09:14:02", "2841", "anna@example.org", "office@example.com",
         "Minutes of Monday's meeting", "<20261208091402.77@example.org>"},
        {"08.12.2026 08:51:40", "15320", "!deals@cheap-offers.example", "office@example.com",
         "V-i-@-g-r-a at 90% off", "<a81f.3c@cheap-offers.example>"},
        {"07.12.2026 17:03:11", "482113", "scanner@example.com", "office@example.com",
         "Scanned document", "<scan-0042@example.com>"},
        {"07.12.2026 12:40:55", "3904", "!winner@lottery.example", "undisclosed-recipients:;",
         "", "<w1@lottery.example>"},
        {"06.12.2026", "1207", "bob@example.net", "office@example.com, anna@example.org",
         "Re: Invoice 2026/118", "<b0b.118@example.net>"},
    };
    for (const QStringList& texts : rows) {
        QTreeWidgetItem* row = w.AddHeaderRow(texts);
        if (texts[2].startsWith('!')) row->setCheckState(0, Qt::Checked);
    }
    w.headlist->setCurrentItem(w.headlist->topLevelItem(0));
    w.FCurrentRow = 0;
    w.UpdateDownloadCommands(false);
    w.UpdateCommands();
    w.memo->setPlainText(
        "Return-Path: <anna@example.org>\nReceived: from mx.example.org by pop.example.com\n"
        "Date: Tue, 8 Dec 2026 09:14:02 +0100\nFrom: Anna Novak <anna@example.org>\n"
        "To: office@example.com\nSubject: Minutes of Monday's meeting\n"
        "Message-ID: <20261208091402.77@example.org>\nMIME-Version: 1.0\n"
        "Content-Type: multipart/mixed; boundary=\"b1\"\n");
    w.barPanels[0]->setText("pop.example.com");
    w.barPanels[1]->setText("  2 Number of selected messages");
}

TEST(Screenshot, MainWindowRenders) {
    TempDir dir;
    ui::setProgramFolder(dir.path().string());
    ui::setSettingsFolder(dir.path().string());
    FakePlatformScope fake;
    dir.write("tolvanes.ini", "[SIZE]\nWIDTH=860\nHEIGHT=540\n[SPLIT]\nHORIZONTAL=160\n");
    {
        Tfmain w;
        fillSample(w);
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        w.AdjustSubjectColumn();
        QCoreApplication::processEvents();
        const QImage picture = w.grab().toImage();
        EXPECT_EQ(picture.size(), w.size() * w.devicePixelRatio());
        if (const char* file = std::getenv("SKIMLET_SCREENSHOT")) {
            EXPECT_TRUE(picture.save(QString::fromLocal8Bit(file), "PNG")) << file;
        }
    }
    ui::setProgramFolder("");
    ui::setSettingsFolder("");
}

}  // namespace
