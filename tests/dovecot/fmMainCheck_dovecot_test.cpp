// The check run of the main window against a real server: the private
// Dovecot of scripts/dovecot-test-server.sh, first user's mailbox, read only.
#include "DovecotSupport.h"

#include "app/FakePlatform.h"
#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "app/udmPOP3.h"
#include "TempDir.h"
#include "ui/Paths.h"
#include "ui/TextCodec.h"

#include <QListWidget>
#include <QTextBrowser>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(DovecotCheckRun, EveryMessageListedWithSizeIdAndUniqueId) {
    if (!dovecot::available()) GTEST_SKIP() << "no test server: run through scripts/dovecot-test-server.sh";
    const dovecot::Server& server = dovecot::server();
    // The generated messages come first, in manifest order.
    const std::vector<dovecot::Expected> facts = dovecot::manifest();

    TempDir dir;
    ui::setProgramFolder(dir.path().string());
    ui::setSettingsFolder(dir.path().string());
    // The expected subjects are the bytes of the narrow decoding.
    dir.write("tolvanes.ini", "[DISPLAY]\nALL_CHARSETS=0\n");
    FakePlatformScope fake;
    {
        Tfmain w;
        w.AddAccountItem({"Dovecot", server.host, server.user, server.password, std::to_string(server.port)})
            ->setSelected(true);
        w.mmCheck->trigger();
        // The server moves a message's file on its first login: look now.
        const auto files = dovecot::mailFiles(server.maildir);
        EXPECT_TRUE(fake->errors.empty()) << (fake->errors.empty() ? "" : fake->errors[0].text.toStdString());
        ASSERT_EQ(w.headlist->topLevelItemCount(), static_cast<int>(files.size()));
        ASSERT_EQ(MessageHeaders().size(), files.size());
        ASSERT_LE(facts.size(), files.size());
        std::set<std::string> uids;
        for (std::size_t i = 0; i < files.size(); ++i) {
            const TMessageHeader& record = *MessageHeaders()[i];
            const QTreeWidgetItem* row = w.headlist->topLevelItem(static_cast<int>(i));
            const std::string content = dovecot::readFile(files[i]);
            EXPECT_EQ(record.Number, static_cast<int>(i) + 1);
            EXPECT_EQ(row->text(1).toStdString(), std::to_string(dovecot::wireSize(content))) << files[i];
            if (i < facts.size()) {
                EXPECT_EQ(row->text(5), ui::toQString(facts[i].messageId)) << files[i];
                if (facts[i].subjectKnown) {
                    EXPECT_EQ(row->text(4), ui::toQString(facts[i].subject)) << files[i];
                }
            }
            EXPECT_TRUE(record.HeaderError.empty()) << files[i] << ": " << record.HeaderError;
            EXPECT_FALSE(record.UniqueId.empty()) << files[i];
            uids.insert(record.UniqueId);
        }
        EXPECT_EQ(uids.size(), files.size()) << "every message has its own unique id";
        // The first message is shown: its header lines as the server sent them.
        QString expected;
        for (const std::string& line : dovecot::headerLines(dovecot::readFile(files[0])))
            expected += ui::toQString(line) + "\n";
        EXPECT_EQ(w.memo->toPlainText(), expected);
        EXPECT_FALSE(MessageHeaders()[0]->Client->IsConnected());
    }
    ui::setProgramFolder("");
    ui::setSettingsFolder("");
}

}  // namespace
