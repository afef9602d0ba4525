#include "ui/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct FolderReset {
    ~FolderReset() {
        ui::setProgramFolder("");
        ui::setSettingsFolder("");
    }
};

TEST(ProgramFilePath, JoinsFolderAndName) {
    FolderReset reset;
    ui::setProgramFolder("/opt/skimlet/");
    EXPECT_EQ(ui::ProgramFilePath("accounts.dat"), "/opt/skimlet/accounts.dat");
}

TEST(ProgramFilePath, ReducesDoubledSeparatorsRepeatedly) {
    FolderReset reset;
    ui::setProgramFolder("/opt//skimlet///");
    EXPECT_EQ(ui::ProgramFilePath("/filters.dat"), "/opt/skimlet/filters.dat");
    EXPECT_EQ(ui::ProgramFilePath("help////Tolvane.hlp"), "/opt/skimlet/help/Tolvane.hlp");
}

TEST(ProgramFilePath, RealFolderIsTheRunningProgramsFolder) {
    const std::string folder = ui::programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_EQ(ui::ProgramFilePath("x"), folder + "x");
}

TEST(SettingsFilePath, ResolvesBareNameInConfigFolder) {
    FolderReset reset;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg/", 1);
    EXPECT_EQ(ui::settingsFilePath("tolvanes.ini"), "/tmp/cfg/tolvanes.ini");
    unsetenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (home != nullptr) {
        EXPECT_EQ(ui::settingsFilePath("tolvanes.ini"),
                  ui::collapseSeparators(std::string(home) + "/.config/tolvanes.ini"));
    }
    ui::setSettingsFolder("/elsewhere");
    EXPECT_EQ(ui::settingsFilePath("tolvanes.ini"), "/elsewhere/tolvanes.ini");
    if (old) setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
}

}  // namespace
