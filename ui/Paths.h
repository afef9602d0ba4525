#pragma once

#include <string>

// Where the program keeps its files. Tests redirect both folders here, in
// code; the program itself has no options or environment switches for them.
namespace ui {

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

// The separator reduction of ProgramFilePath, on its own.
[[nodiscard]] std::string collapseSeparators(std::string path);

}  // namespace ui
