#include "app/fmFilter1.h"
#include "app/fmMain.h"

#include "FakePlatform.h"
#include "TempDir.h"
#include "ui/IniFile.h"
#include "ui/Paths.h"

#include <QAction>
#include <QCheckBox>
#include <QSpinBox>

#include <gtest/gtest.h>

namespace {

class MainWindowSpamRules : public ::testing::Test {
protected:
    MainWindowSpamRules() {
        ui::setProgramFolder(dir.path().string());
        ui::setSettingsFolder(dir.path().string());
    }
    ~MainWindowSpamRules() override {
        ui::setProgramFolder("");
        ui::setSettingsFolder("");
    }
    TempDir dir;
    FakePlatformScope fake;
};

TEST_F(MainWindowSpamRules, GeneralRulesOkStoresAndWritesSettingsAtOnce) {
    Tfmain window;
    fake->onDialog = [](QDialog& d) {
        auto& rules = dynamic_cast<TfFilter1&>(d);
        rules.findChild<QCheckBox*>(QStringLiteral("cEmpty"))->setChecked(true);
        rules.findChild<QSpinBox*>(QStringLiteral("eRecpt"))->setValue(3);
        rules.Button1Click();
    };
    window.findChild<QAction*>(QStringLiteral("Obecnpravidla1"))->trigger();
    EXPECT_TRUE(window.settings().SubjectEmpty);
    EXPECT_EQ(window.settings().Recipients, 3);
    const ui::IniFile ini(dir.file("tolvanes.ini"));
    EXPECT_EQ(ini.readInteger("FILTER", "RECIPIENTS", -1), 3);
    EXPECT_EQ(ini.readInteger("FILTER", "SUBJECT_EMPTY", -1), 1);
}

TEST_F(MainWindowSpamRules, GeneralRulesStornoWritesNothing) {
    Tfmain window;
    window.findChild<QAction*>(QStringLiteral("Obecnpravidla1"))->trigger();  // cancelled
    EXPECT_FALSE(window.settings().SubjectEmpty);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tolvanes.ini"));
}

TEST_F(MainWindowSpamRules, SpamFilterOptionsOpensTheWordList) {
    Tfmain window;
    window.findChild<QAction*>(QStringLiteral("NastavenSPAMfiltr1"))->trigger();
    ASSERT_FALSE(fake->dialogs.empty());
    EXPECT_TRUE(fake->errors.empty());
}

}  // namespace
