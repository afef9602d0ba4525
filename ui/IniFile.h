#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// A small initialisation-file reader and writer. It reads "[SECTION]" lines
// and "KEY=value" lines (names compared without regard to ASCII case, blanks
// around names and values ignored) and keeps every line it does not change
// (other sections, comments, unknown keys, odd lines) exactly in place.
class IniFile {
public:
    // Reads the file; a missing or unreadable file reads as empty.
    explicit IniFile(std::string path);

    // Decimal, or hexadecimal after "0x" or "$" (an optional sign first);
    // anything missing or malformed gives `defaultValue`.
    [[nodiscard]] int readInteger(std::string_view section, std::string_view key,
                                  int defaultValue) const;
    // Any integer other than 0 is true.
    [[nodiscard]] bool readBool(std::string_view section, std::string_view key,
                                bool defaultValue) const;

    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    // Replaces the file atomically: a new file beside it, renamed over the
    // old one. Throws EIdException when the file cannot be written; the old
    // file is then left as it was.
    void save() const;

    [[nodiscard]] const std::string& path() const { return path_; }

    // The parse of one integer value as the reader does it (exposed for
    // tests and for other readers of such values).
    [[nodiscard]] static std::optional<int> parseInteger(std::string_view text);

private:
    struct Range {
        std::size_t header;  // index of the "[SECTION]" line
        std::size_t end;     // one past its last line
    };

    [[nodiscard]] std::optional<Range> findSection(std::string_view section) const;
    [[nodiscard]] std::optional<std::size_t> findKey(const Range& range, std::string_view key) const;
    [[nodiscard]] std::optional<std::string> readValue(std::string_view section,
                                                       std::string_view key) const;
    void writeValue(std::string_view section, std::string_view key, const std::string& value);

    std::string path_;
    std::vector<std::string> lines_;
    std::string lineEnd_ = "\n";
    bool finalLineEnd_ = true;
};

}  // namespace ui
