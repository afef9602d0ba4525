#include "ui/IniFile.h"

#include "net/IdException.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ui {
namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// The section name of a "[NAME]" line, if it is one.
std::optional<std::string_view> sectionName(std::string_view line) {
    line = trim(line);
    if (line.size() < 2 || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(line.substr(1, close - 1));
}

bool isComment(std::string_view line) {
    line = trim(line);
    return !line.empty() && (line.front() == ';' || line.front() == '#');
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    const std::string text = buffer.str();
    std::size_t start = 0;
    bool first = true;
    while (start < text.size()) {
        auto lf = text.find('\n', start);
        std::size_t next = lf == std::string::npos ? text.size() : lf + 1;
        std::size_t end = lf == std::string::npos ? text.size() : lf;
        const bool crlf = end > start && text[end - 1] == '\r';
        if (first && lf != std::string::npos) lineEnd_ = crlf ? "\r\n" : "\n";
        first = false;
        if (crlf) --end;
        lines_.emplace_back(text, start, end - start);
        start = next;
    }
    finalLineEnd_ = text.empty() || text.back() == '\n';
}

std::optional<int> IniFile::parseInteger(std::string_view text) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::int64_t value = 0;
    if (text.starts_with("0x") || text.starts_with("0X") || text.starts_with("$")) {
        // Hexadecimal spells the 32-bit pattern: "$FFFFFFFF" is -1.
        text.remove_prefix(text.front() == '$' ? 1 : 2);
        if (text.empty() || text.size() > 8) return std::nullopt;
        for (const char c : text) {
            const int d = hexDigit(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + d;
        }
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    } else {
        if (text.empty() || text.size() > 10) return std::nullopt;
        for (const char c : text) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<int>(value);
}

std::optional<IniFile::Range> IniFile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const auto name = sectionName(lines_[i]);
        if (!name || !equalsNoCase(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines_.size() && !sectionName(lines_[end])) ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::findKey(const Range& range, std::string_view key) const {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const std::string_view line = lines_[i];
        if (isComment(line)) continue;
        const auto eq = line.find('=');
        if (eq != std::string_view::npos && equalsNoCase(trim(line.substr(0, eq)), key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniFile::readValue(std::string_view section, std::string_view key) const {
    const auto range = findSection(section);
    if (!range) return std::nullopt;
    const auto index = findKey(*range, key);
    if (!index) return std::nullopt;
    const std::string_view line = lines_[*index];
    return std::string(trim(line.substr(line.find('=') + 1)));
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const auto text = readValue(section, key);
    if (!text) return defaultValue;
    return parseInteger(*text).value_or(defaultValue);
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool defaultValue) const {
    return readInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::writeValue(std::string_view section, std::string_view key, const std::string& value) {
    std::string line = std::string(key) + "=" + value;
    auto range = findSection(section);
    if (!range) {
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(std::move(line));
        return;
    }
    if (const auto index = findKey(*range, key)) {
        lines_[*index] = std::move(line);
        return;
    }
    // A new key goes after the section's last non-blank line, so blank lines
    // that separate it from the next section stay where they are.
    std::size_t at = range->end;
    while (at > range->header + 1 && trim(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    writeValue(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeValue(section, key, value ? "1" : "0");
}

void IniFile::save() const {
    const std::filesystem::path target(path_);
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    const std::string temp = path_ + ".new";
    auto fail = [&](const char* what) {
        const std::string reason = std::strerror(errno);
        std::remove(temp.c_str());
        throw EIdException("Cannot " + std::string(what) + " settings file " + path_ + ": " + reason);
    };
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) fail("create");
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            out << lines_[i];
            if (i + 1 < lines_.size() || finalLineEnd_) out << lineEnd_;
        }
        out.flush();
        if (!out) fail("write");
    }
    if (std::rename(temp.c_str(), path_.c_str()) != 0) fail("replace");
}

}  // namespace ui
