#pragma once

#include "net/IdException.h"

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The integer conversion error, shared by every layer that turns received or
// stored text into a number: "'%s' is not a valid integer value".
class EConvertError : public EIdParseError {
public:
    explicit EConvertError(const std::string& message) : EIdParseError(message) {}
};

// Raises EConvertError for `text`, with the text quoted as given.
[[noreturn]] void RaiseNotAnInteger(std::string_view text);

// The strict conversion: optional leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "0x" or "0X"; nothing may
// follow, and the value must fit in 32 bits (hexadecimal up to FFFFFFFF, read
// as the 32-bit pattern). Anything else raises EConvertError with `text`.
[[nodiscard]] int StrToInt(std::string_view text);

// The same conversion, giving `defaultValue` instead of raising.
[[nodiscard]] int StrToIntDef(std::string_view text, int defaultValue);

// ---------------------------------------------------------------------------
// Text helpers shared by the header parsers. Text is 8-bit; "blank" means a
// byte up to and including the space (blanks and control characters).

[[nodiscard]] constexpr bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// A set of bytes that scans stop at. Finding the first of them costs one
// table lookup per byte, where std::string_view::find_first_of searches the
// set for every byte it passes.
class TByteSet {
public:
    constexpr explicit TByteSet(std::string_view bytes) {
        for (const char c : bytes) FMembers[static_cast<unsigned char>(c)] = true;
    }
    [[nodiscard]] constexpr bool Contains(char c) const { return FMembers[static_cast<unsigned char>(c)]; }
    // The position of the first member at or after `from`, or npos.
    [[nodiscard]] constexpr std::size_t FindIn(std::string_view text, std::size_t from = 0) const {
        for (std::size_t i = from; i < text.size(); ++i)
            if (Contains(text[i])) return i;
        return std::string_view::npos;
    }

private:
    std::array<bool, 256> FMembers{};
};

// The text without leading and trailing blanks and control characters.
[[nodiscard]] std::string_view Trim(std::string_view text);
[[nodiscard]] std::string_view TrimLeft(std::string_view text);
[[nodiscard]] std::string_view TrimRight(std::string_view text);

// The value of a hexadecimal digit in either case, -1 for any other byte.
[[nodiscard]] constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Upper-cases the letters "a" to "z" only; every other byte is kept.
[[nodiscard]] constexpr char UpperCaseAZ(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
[[nodiscard]] std::string UpperCaseAZ(std::string_view text);

// Compares two texts without regard to the case of the letters "a" to "z".
[[nodiscard]] bool SameText(std::string_view a, std::string_view b);

// The system's code page as the header parsers see it. On Linux it is
// single-byte, so there are no lead bytes; every character-stepping loop goes
// through CharLength so that a double-byte page needs only this one change.
[[nodiscard]] constexpr bool IsLeadByte(char) { return false; }

// Length in bytes of the character that starts at `index` (at least 1, never
// past the end of the text).
[[nodiscard]] std::size_t CharLength(std::string_view text, std::size_t index);

// Position of the first occurrence of `needle` at or after `from`, stepping
// over whole characters so that a match never starts inside one;
// std::string_view::npos when there is none.
[[nodiscard]] std::size_t AnsiPos(std::string_view text, std::string_view needle, std::size_t from = 0);

// ---------------------------------------------------------------------------
// Date-time values: a floating-point count of days since 30 December 1899
// 00:00, the fraction being the time of day. The scale is continuous, so a
// value before day zero is days plus the time of day as well.

using TDateTime = double;

// One date-time split into its calendar fields (Month and Day from 1).
struct TDateTimeParts {
    int Year = 0;
    int Month = 0;
    int Day = 0;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;

    bool operator==(const TDateTimeParts&) const = default;
};

// Day number of a calendar date in years 1 to 9999; nullopt for an impossible
// date (month 0, 31 February, day 0, year 0 or above 9999).
[[nodiscard]] std::optional<TDateTime> TryEncodeDate(int year, int month, int day);

// Fraction of a day for a time of day; nullopt for an hour above 23 or a
// minute or second above 59 (or any negative field).
[[nodiscard]] std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second);

// The calendar fields of a value, rounded to the nearest second. Values that
// are not finite or lie outside years 1 to 9999 give all fields 0.
[[nodiscard]] TDateTimeParts DecodeDateTime(TDateTime value);

// ---------------------------------------------------------------------------
// Internet dates ("Tue, 09 Dec 2026 10:20:30 +0100" and common variations).

// Raised when the local time zone cannot be determined.
class EIdFailedToRetreiveTimeZoneInfo : public EIdParseError {
public:
    EIdFailedToRetreiveTimeZoneInfo()
        : EIdParseError("Failed attempting to retrieve time zone information.") {}
};

// How TakeToken treats the text it reads from.
enum class TokenMode { Peek, Remove };

// The text before the first `delimiter` (all of it when there is none). With
// TokenMode::Remove the token and the delimiter are cut from the front of
// `text` (all of it when the delimiter does not occur).
std::string_view TakeToken(std::string_view& text, std::string_view delimiter, TokenMode mode);

// Reads the date and time at the front of `text` leniently and leaves the
// unread rest (the zone) in `text`. Returns 0 (day zero) for an empty or
// unreadable date; never throws.
TDateTime ParseInternetDateRaw(std::string_view& text);

// The numeric zone offset "+hhmm" / "-hhmm" at the front of `zone` as a span
// of days; 0 for anything else (named zones, "+01:00", out-of-range fields).
[[nodiscard]] TDateTime ParseZoneOffset(std::string_view zone);

// The local zone's present offset from UTC (east positive), in whole minutes,
// as a span of days. Throws EIdFailedToRetreiveTimeZoneInfo when the C library
// cannot tell.
[[nodiscard]] TDateTime LocalUtcOffset();

// The value of a "Date" field converted to local time with the present local
// offset; an unreadable or empty text gives day zero moved by the offsets.
// Throws only EIdFailedToRetreiveTimeZoneInfo.
[[nodiscard]] TDateTime InternetDateToLocal(std::string_view text);
