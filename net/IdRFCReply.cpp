#include "net/IdRFCReply.h"

#include <optional>
#include <string_view>

namespace {

// An optional minus sign and one to nine decimal digits.
std::optional<int> decimalValue(std::string_view text) {
    const bool negative = text.starts_with('-');
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

void TIdRFCReply::Clear() {
    numericCode_ = 0;
    textCode_.clear();
    Text.clear();
}

void TIdRFCReply::SetNumericCode(int code) {
    numericCode_ = code;
    if (code > 0) textCode_ = std::to_string(code);
}

void TIdRFCReply::SetTextCode(const std::string& code) {
    textCode_ = code;
    if (!code.empty()) numericCode_ = decimalValue(code).value_or(0);
}

void TIdRFCReply::ParseResponse(const std::vector<std::string>& lines) {
    Clear();
    if (lines.empty()) return;
    std::string code(trimmed(std::string_view(lines.front()).substr(0, 4)));
    if (code.size() == 4 && code[3] == '-') code.resize(3);
    SetTextCode(code);
    for (const std::string& line : lines) Text.push_back(line.size() > 4 ? line.substr(4) : std::string());
}

std::string TIdRFCReply::FormattedText() const {
    std::string text;
    for (const std::string& line : Text) text += line + "\r\n";
    return text;
}
