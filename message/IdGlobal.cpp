#include "message/IdGlobal.h"

#include <cstdint>
#include <optional>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<int> parseStrict(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const std::string_view rest = text.substr(i);
    std::uint64_t value = 0;
    if (rest.starts_with("$") || rest.starts_with("0x") || rest.starts_with("0X")) {
        const std::string_view digits = rest.substr(rest[0] == '$' ? 1 : 2);
        if (digits.empty()) return std::nullopt;
        for (const char c : digits) {
            const int d = hexValue(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(d);
            if (value > 0xFFFFFFFFu) return std::nullopt;
        }
        auto pattern = static_cast<std::int64_t>(static_cast<std::int32_t>(value));
        if (negative) pattern = -pattern;
        if (pattern < INT32_MIN || pattern > INT32_MAX) return std::nullopt;
        return static_cast<int>(pattern);
    }
    if (rest.empty()) return std::nullopt;
    for (const char c : rest) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 0x80000000u) return std::nullopt;
    }
    const std::int64_t signedValue = negative ? -static_cast<std::int64_t>(value)
                                              : static_cast<std::int64_t>(value);
    if (signedValue < INT32_MIN || signedValue > INT32_MAX) return std::nullopt;
    return static_cast<int>(signedValue);
}

}  // namespace

void RaiseNotAnInteger(std::string_view text) {
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

int StrToInt(std::string_view text) {
    if (const auto value = parseStrict(text)) return *value;
    RaiseNotAnInteger(text);
}

int StrToIntDef(std::string_view text, int defaultValue) {
    return parseStrict(text).value_or(defaultValue);
}
