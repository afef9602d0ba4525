#include "app/fmMain.h"

#include "TempDir.h"
#include "ui/IniFile.h"
#include "ui/Paths.h"

#include <gtest/gtest.h>

namespace {

// Every window test runs with its own program and settings folders.
class MainWindowSettings : public ::testing::Test {
protected:
    MainWindowSettings() {
        ui::setProgramFolder(dir.path().string());
        ui::setSettingsFolder(dir.path().string());
    }
    ~MainWindowSettings() override {
        ui::setProgramFolder("");
        ui::setSettingsFolder("");
    }
    TempDir dir;
};

TEST_F(MainWindowSettings, CaptionIsEMail) {
    Tfmain window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("eMail"));
}

TEST_F(MainWindowSettings, NoFileGivesDefaultsAndCloseWritesNineKeys) {
    {
        Tfmain window;
        EXPECT_EQ(window.geometry(), QRect(20, 20, 580, 450));
        EXPECT_FALSE(window.settings().SubjectEmpty);
        EXPECT_EQ(window.settings().Recipients, 0);
        EXPECT_EQ(window.settings().MailMaxLen, 0);
        window.close();
    }
    const ui::IniFile ini(dir.file("tolvanes.ini"));
    EXPECT_EQ(ini.readInteger("POSITION", "TOP", -1), 20);
    EXPECT_EQ(ini.readInteger("POSITION", "LEFT", -1), 20);
    EXPECT_EQ(ini.readInteger("SIZE", "HEIGHT", -1), 450);
    EXPECT_EQ(ini.readInteger("SIZE", "WIDTH", -1), 580);
    EXPECT_NE(ini.readInteger("SPLIT", "VERTICAL", -1), -1);
    EXPECT_NE(ini.readInteger("SPLIT", "HORIZONTAL", -1), -1);
    EXPECT_EQ(ini.readInteger("FILTER", "SUBJECT_EMPTY", -1), 0);
    EXPECT_EQ(ini.readInteger("FILTER", "RECIPIENTS", -1), 0);
    EXPECT_EQ(ini.readInteger("FILTER", "MAIL_MAXLEN", -1), 0);
}

TEST_F(MainWindowSettings, ReadsHandWrittenFileAndKeepsItsOtherLines) {
    dir.write("tolvanes.ini",
              "; mine\n[POSITION]\nTOP=$40\nLEFT=30\n[SIZE]\nHEIGHT=500\nWIDTH=0x258\n"
              "[FILTER]\nSUBJECT_EMPTY=7\nRECIPIENTS=-2\nMAIL_MAXLEN=oops\n[MINE]\nx=y\n");
    {
        Tfmain window;
        EXPECT_EQ(window.geometry(), QRect(30, 64, 600, 500));
        EXPECT_TRUE(window.settings().SubjectEmpty);
        EXPECT_EQ(window.settings().Recipients, -2);
        EXPECT_EQ(window.settings().MailMaxLen, 0);
        window.close();
    }
    const std::string text = dir.read("tolvanes.ini");
    EXPECT_EQ(text.rfind("; mine\n[POSITION]\nTOP=64\nLEFT=30\n", 0), 0u) << text;
    EXPECT_NE(text.find("[MINE]\nx=y\n"), std::string::npos) << text;
    EXPECT_NE(text.find("SUBJECT_EMPTY=1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("MAIL_MAXLEN=0\n"), std::string::npos) << text;
}

}  // namespace
