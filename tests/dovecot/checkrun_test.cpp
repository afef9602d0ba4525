// The check run against a real POP3 server: the private Dovecot started by
// scripts/dovecot-test-server.sh on 127.0.0.1.
#include "app/fmMain.h"
#include "app/udmPOP3.h"

#include "app/FakePlatform.h"
#include "TempDir.h"
#include "ui/Paths.h"

#include <QListWidget>
#include <QTextBrowser>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

TEST(DovecotCheckRun, EveryMessageListedWithItsUniqueId) {
    const std::string port = env("SKIMLET_DOVECOT_PORT");
    if (port.empty()) GTEST_SKIP() << "no private Dovecot server";
    TempDir dir;
    ui::setProgramFolder(dir.path().string());
    ui::setSettingsFolder(dir.path().string());
    FakePlatformScope fake;
    {
        Tfmain w;
        w.AddAccountItem({"Dovecot", env("SKIMLET_DOVECOT_HOST"), env("SKIMLET_DOVECOT_USER"),
                          env("SKIMLET_DOVECOT_PASSWORD"), port})
            ->setSelected(true);
        w.mmCheck->trigger();
        EXPECT_TRUE(fake->errors.empty()) << (fake->errors.empty() ? "" : fake->errors[0].text.toStdString());
        const int rows = w.headlist->topLevelItemCount();
        EXPECT_GT(rows, 0);
        ASSERT_EQ(MessageHeaders().size(), static_cast<std::size_t>(rows));
        std::set<std::string> ids;
        for (int i = 0; i < rows; ++i) {
            const TMessageHeader& record = *MessageHeaders()[static_cast<std::size_t>(i)];
            EXPECT_EQ(record.Number, i + 1);
            EXPECT_GT(record.Msg->Tag, 0) << i;
            EXPECT_TRUE(record.HeaderError.empty()) << record.HeaderError;
            EXPECT_FALSE(record.UniqueId.empty()) << i;
            ids.insert(record.UniqueId);
            EXPECT_EQ(w.headlist->topLevelItem(i)->text(1).toStdString(), std::to_string(record.Msg->Tag));
        }
        EXPECT_EQ(ids.size(), static_cast<std::size_t>(rows)) << "unique ids differ";
        EXPECT_EQ(w.FCurrentRow, 0);
        EXPECT_FALSE(w.memo->toPlainText().isEmpty());
        EXPECT_FALSE(MessageHeaders()[0]->Client->IsConnected());
    }
    ui::setProgramFolder("");
    ui::setSettingsFolder("");
}

}  // namespace
