#pragma once

#include <QString>
#include <string>
#include <string_view>

// The one place where the program's byte strings meet Qt's QString.
namespace ui {

// Bytes to text for display: valid UTF-8 is shown as UTF-8, anything else is
// read as Windows-1250, byte by byte, so nothing received is ever lost.
[[nodiscard]] QString toQString(std::string_view bytes);

// What the user typed, stored as UTF-8 bytes.
[[nodiscard]] std::string fromQString(const QString& text);

// Windows-1250 bytes to text, every byte mapped (undefined bytes keep their
// own code point).
[[nodiscard]] QString fromWindows1250(std::string_view bytes);

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
[[nodiscard]] bool isValidUtf8(std::string_view bytes);

// Text for a menu item or button caption: '&' doubled so that Qt shows it
// instead of taking it as a mnemonic marker.
[[nodiscard]] QString captionText(std::string_view bytes);

}  // namespace ui
