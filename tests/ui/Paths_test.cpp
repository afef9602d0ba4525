#include "ui/Paths.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

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

// A program folder "bin" in a scratch folder, the settings folder beside it.
struct Layout {
    Layout() {
        std::filesystem::create_directories(dir.path() / "bin");
        ui::setProgramFolder(dir.file("bin"));
        ui::setSettingsFolder(dir.file("config"));
    }
    ~Layout() {
        ui::setProgramFolder("");
        ui::setSettingsFolder("");
    }
    TempDir dir;
};

struct UserFileRow {
    const char* name;
    bool writable, accountsBeside, installed, expectBeside;
};

class UserFilePathRule : public ::testing::TestWithParam<UserFileRow> {};

TEST_P(UserFilePathRule, ChoosesTheFolder) {
    const UserFileRow& row = GetParam();
    Layout layout;
    if (row.accountsBeside) layout.dir.write("bin/accounts.dat", "");
    if (row.installed) std::filesystem::create_directories(layout.dir.path() / "share/skimlet");
    const std::string path = ui::UserFilePath("filters.dat", row.writable);
    if (row.expectBeside) {
        EXPECT_EQ(path, layout.dir.file("bin/filters.dat"));
        EXPECT_FALSE(std::filesystem::exists(layout.dir.path() / "config"));
    } else {
        EXPECT_EQ(path, layout.dir.file("config/skimlet/filters.dat"));
        EXPECT_EQ(std::filesystem::status(layout.dir.path() / "config/skimlet").permissions(),
                  std::filesystem::perms::owner_all);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, UserFilePathRule, ::testing::Values(
    UserFileRow{"WritableFolderKeepsThemBeside", true, false, false, true},
    UserFileRow{"ReadOnlyFolderSendsThemToTheConfigFolder", false, false, false, false},
    UserFileRow{"AccountsBesideAReadOnlyFolderKeepThemThere", false, true, false, true},
    UserFileRow{"InstalledProgramUsesTheConfigFolderThoughWritable", true, false, true, false},
    UserFileRow{"AccountsBesideAnInstalledProgramKeepThemThere", true, true, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UserFilePath, AFolderTheUserCannotWriteSendsThemToTheConfigFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "root can write any folder";
    Layout layout;
    std::filesystem::permissions(layout.dir.path() / "bin", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(ui::UserFilePath("accounts.dat"), layout.dir.file("config/skimlet/accounts.dat"));
}

TEST(DataFilePath, BesideTheProgramFirstThenTheInstalledDataFolder) {
    Layout layout;
    EXPECT_EQ(ui::DataFilePath("TOLVANE.html"), layout.dir.file("bin/TOLVANE.html")) << "neither there";
    std::filesystem::create_directories(layout.dir.path() / "share/skimlet");
    layout.dir.write("share/skimlet/TOLVANE.html", "");
    EXPECT_EQ(ui::DataFilePath("TOLVANE.html"), layout.dir.file("share/skimlet/TOLVANE.html"));
    layout.dir.write("bin/TOLVANE.html", "");
    EXPECT_EQ(ui::DataFilePath("TOLVANE.html"), layout.dir.file("bin/TOLVANE.html"));
}

}  // namespace
