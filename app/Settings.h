#pragma once

#include <string>

namespace ui {
class IniFile;
}

// The values kept in "tolvanes.ini", with their defaults.
struct TSettings {
    int Top = 20;
    int Left = 20;
    int Height = 450;
    int Width = 580;
    int SplitVertical = 185;    // width of the account list panel
    int SplitHorizontal = 105;  // height of the header list panel
    bool SubjectEmpty = false;  // spam rule: empty subject
    int Recipients = 0;         // spam rule: recipient limit
    int MailMaxLen = 0;         // spam rule: size limit in kB
    bool FastCheck = false;     // check runs keep commands in flight (PIPELINING)
    bool AllCharsets = true;    // encoded words, part names and texts of every charset shown as UTF-8
};

// The bare name of the settings file.
inline constexpr const char* kSettingsFileName = "tolvanes.ini";

// Reads the keys; anything missing or malformed keeps its default.
[[nodiscard]] TSettings readSettings(const ui::IniFile& ini);

// Writes the keys, leaving every other line of the file alone.
void writeSettings(ui::IniFile& ini, const TSettings& settings);
