#pragma once

#include <string>

// Where the program keeps its files. Tests redirect both folders here, in
// code; the program itself has no options or environment switches for them.
namespace ui {

// The account store; where it lies decides where the user's files go.
inline constexpr const char* kAccountsFileName = "accounts.dat";

// The program's folder joined with `name`: the folder of the running program
// file, a separator, the name, and every doubled separator reduced to one,
// repeatedly, until none is left.
[[nodiscard]] std::string ProgramFilePath(const std::string& name);

// The folder ProgramFilePath starts from, ending in a separator.
[[nodiscard]] std::string programFolder();

// Redirects programFolder() (tests); an empty text restores the real one.
void setProgramFolder(const std::string& folder);

// Where a bare settings file name resolves: $XDG_CONFIG_HOME, else
// ~/.config, joined with the name.
[[nodiscard]] std::string settingsFilePath(const std::string& bareName);

// Redirects the settings folder (tests); an empty text restores the real one.
void setSettingsFolder(const std::string& folder);

// A file the program ships (its help page): beside the program when it is
// there, as in a build folder or a portable copy; else in the data folder of
// an installed program; else the path beside the program, so that a missing
// file is reported where it was looked for first.
[[nodiscard]] std::string DataFilePath(const std::string& name);

// The data folder of an installed program, ending in a separator: the
// program's folder followed by the relative path from the installed program
// folder to the installed data folder (../share/skimlet/ for /usr/bin and
// /usr/share/skimlet), so that an unpacked or relocated tree finds its own.
[[nodiscard]] std::string installedDataFolder();

// The user's own files (accounts.dat, filters.dat). They stay beside the
// program when an accounts.dat is already there, or when the program's
// folder can be written and is not that of an installed program (whose data
// folder exists); otherwise they live in the "skimlet" folder of the
// settings folder ($XDG_CONFIG_HOME/skimlet/, else ~/.config/skimlet/),
// which is created, readable by its owner only, when it is missing.
[[nodiscard]] std::string UserFilePath(const std::string& name);

// The same rule with the answer whether the program's folder can be written
// given (the real one asks the system, which always says yes to root).
[[nodiscard]] std::string UserFilePath(const std::string& name, bool programFolderWritable);

// The separator reduction of ProgramFilePath, on its own.
[[nodiscard]] std::string collapseSeparators(std::string path);

}  // namespace ui
