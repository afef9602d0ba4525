// The newcomer's demo: scripts/demo.sh --no-run prepares a sample server and
// a scratch program folder; the main window started from that folder, with
// its settings, lists the sample mailbox with exactly the spam-like messages
// ticked and marked; the last message's script shows as a line with a link,
// is never run, and is saved where the (faked) dialog says.
#include "DovecotSupport.h"

#include "app/fmMain.h"
#include "app/udmMessageHeader.h"
#include "app/udmPOP3.h"

#include "app/FakePlatform.h"
#include "ui/Paths.h"

#include <QListWidget>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

// Runs a shell command and returns what it printed.
std::string output(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        if (::pclose(pipe) != 0) text += "\n(failed)";
    }
    return text;
}

// The value after "Key: " on its own line of the demo's report.
std::string field(const std::string& report, const std::string& key) {
    const std::size_t at = report.find(key + ": ");
    if (at == std::string::npos) return {};
    const std::size_t start = at + key.size() + 2;
    return report.substr(start, report.find('\n', start) - start);
}

TEST(Demo, SampleAccountListsItsMailboxWithTheSpamMarked) {
    // The demo starts a server of its own; this program's server only says
    // that one can be started here.
    if (!dovecot::available()) GTEST_SKIP() << "no test server: run through scripts/dovecot-test-server.sh";
    const std::string report =
        output("'" SKIMLET_SOURCE_DIR "/scripts/demo.sh' --no-run --build '" SKIMLET_BINARY_DIR "' 2>&1");
    const std::string scratch = field(report, "Program folder");
    const std::string serverDir = field(report, "Server folder");
    ASSERT_FALSE(scratch.empty()) << report;
    ASSERT_FALSE(serverDir.empty()) << report;
    EXPECT_TRUE(std::filesystem::exists(scratch + "/filters.dat"));

    ui::setProgramFolder(scratch);
    ui::setSettingsFolder(scratch + "/config");
    std::map<std::string, int> marked;
    int rows = 0;
    {
        FakePlatformScope fake;
        Tfmain w;
        ASSERT_EQ(w.poplist->count(), 2) << "accounts.dat of the demo";
        w.poplist->item(0)->setSelected(true);
        w.mmCheck->trigger();
        EXPECT_TRUE(fake->errors.empty()) << (fake->errors.empty() ? "" : fake->errors[0].text.toStdString());
        rows = w.headlist->topLevelItemCount();
        for (int i = 0; i < rows; ++i) {
            const QTreeWidgetItem* row = w.headlist->topLevelItem(i);
            const std::string id = row->text(5).toStdString();
            const bool spamLike = id.rfind("<spam-", 0) == 0;
            const bool ticked = row->checkState(0) == Qt::Checked;
            EXPECT_EQ(ticked, spamLike) << id;
            EXPECT_EQ(row->text(2).startsWith('!'), spamLike) << id;
            if (ticked) ++marked[id.substr(6, id.find('.') - 6)];
        }
        w.headlist->setCurrentItem(w.headlist->topLevelItem(rows - 1));
        w.mmDownload->trigger();
        EXPECT_TRUE(w.memo->toPlainText().contains("http://localhost/cleanup.sh/ID=1 CLEANUP.SH (application/x-sh)"));
        fake->saveAnswer = QString::fromStdString(scratch + "/saved.sh");
        emit w.memo->linkClicked("http://localhost/cleanup.sh/ID=1");
        EXPECT_TRUE(dovecot::readFile(scratch + "/saved.sh").starts_with("#!/bin/sh\n")) << "saved as sent";
        EXPECT_TRUE(fake->opened.empty()) << "nothing was opened or run";
        EXPECT_TRUE(fake->errors.empty());
    }
    ui::setProgramFolder("");
    ui::setSettingsFolder("");
    output("'" SKIMLET_SOURCE_DIR "/scripts/dovecot-test-server.sh' stop '" + serverDir + "'");
    std::filesystem::remove_all(scratch);

    // Fifteen messages, every third spam-like, one of each kind; then two
    // with attachments.
    EXPECT_EQ(rows, 17);
    EXPECT_EQ(marked, (std::map<std::string, int>{
                          {"word", 1}, {"sender", 1}, {"empty-subject", 1}, {"many-recipients", 1}, {"large", 1}}));
}

}  // namespace
