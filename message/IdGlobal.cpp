#include "message/IdGlobal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>

namespace {

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
            const int d = HexDigitValue(c);
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

std::string_view TrimLeft(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    return text.substr(i);
}

std::string_view TrimRight(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && IsBlank(text[n - 1])) --n;
    return text.substr(0, n);
}

std::string_view Trim(std::string_view text) { return TrimRight(TrimLeft(text)); }

std::string UpperCaseAZ(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = UpperCaseAZ(c);
    return result;
}

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (UpperCaseAZ(a[i]) != UpperCaseAZ(b[i])) return false;
    }
    return true;
}

std::size_t CharLength(std::string_view text, std::size_t index) {
    if (index + 1 < text.size() && IsLeadByte(text[index])) return 2;
    return 1;
}

std::size_t AnsiPos(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= text.size(); i += CharLength(text, i)) {
        if (text.compare(i, needle.size(), needle) == 0) return i;
    }
    return std::string_view::npos;
}

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (exact integer
// arithmetic, valid far beyond years 1 to 9999).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
}

// 1970-01-01 counted from 1899-12-30.
constexpr std::int64_t kUnixEpochDay = 25569;
constexpr std::int64_t kSecondsPerDay = 86400;

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<TDateTime> TryEncodeDate(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12) return std::nullopt;
    if (day < 1 || day > daysInMonth(year, month)) return std::nullopt;
    const std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    return static_cast<TDateTime>(days + kUnixEpochDay);
}

std::optional<TDateTime> TryEncodeTime(int hour, int minute, int second) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
        return std::nullopt;
    }
    return static_cast<TDateTime>(hour * 3600 + minute * 60 + second) / kSecondsPerDay;
}

TDateTimeParts DecodeDateTime(TDateTime value) {
    // Years 1 to 9999 lie within about +-3 million days of day zero.
    if (!std::isfinite(value) || value < -693594.0 || value >= 2958466.0) return {};
    const std::int64_t total = std::llround(value * kSecondsPerDay);
    std::int64_t days = total / kSecondsPerDay;
    std::int64_t seconds = total % kSecondsPerDay;
    if (seconds < 0) {
        seconds += kSecondsPerDay;
        --days;
    }
    TDateTimeParts parts;
    civilFromDays(days - kUnixEpochDay, parts.Year, parts.Month, parts.Day);
    parts.Hour = static_cast<int>(seconds / 3600);
    parts.Minute = static_cast<int>(seconds / 60 % 60);
    parts.Second = static_cast<int>(seconds % 60);
    return parts;
}

std::string_view TakeToken(std::string_view& text, std::string_view delimiter, TokenMode mode) {
    const std::size_t at = AnsiPos(text, delimiter);
    const std::string_view token = text.substr(0, at);
    if (mode == TokenMode::Remove) {
        text = at == std::string_view::npos ? std::string_view() : text.substr(at + delimiter.size());
    }
    return token;
}

namespace {

// Index 1 to 12 of a three-letter month name in any letter case, 0 otherwise.
int monthIndex(std::string_view token) {
    static constexpr std::string_view kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int i = 0; i < 12; ++i) {
        if (SameText(token, kMonths[i])) return i + 1;
    }
    return 0;
}

bool startsWithWeekday(std::string_view text) {
    static constexpr std::string_view kDays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    if (text.size() < 3) return false;
    for (const std::string_view day : kDays) {
        if (SameText(text.substr(0, 3), day)) return true;
    }
    return false;
}

// The parts of the date are separated by "-" when a hyphen stands after the
// first character and before the first space ("09-Dec-2026 10:20"), else by
// spaces.
std::string_view datePartDelimiter(std::string_view text) {
    const std::size_t dash = text.find('-');
    const std::size_t space = text.find(' ');
    if (dash != std::string_view::npos && dash >= 1 && space != std::string_view::npos && dash < space) {
        return "-";
    }
    return " ";
}

int readDay(std::string_view& s, std::string_view delimiter) {
    const int day = StrToIntDef(TakeToken(s, delimiter, TokenMode::Remove), 1);
    s = TrimLeft(s);
    return day;
}

int readMonth(std::string_view& s, std::string_view delimiter) {
    const int month = monthIndex(TakeToken(s, delimiter, TokenMode::Remove));
    s = TrimLeft(s);
    return month;
}

// The year follows the day and month; when that token is no number the time
// may stand before the year ("Jan 5 10:20:30 2026"), so the rest is tried as
// the year and the token is kept as the text to read the time from.
int readYear(std::string_view& s) {
    const std::string_view token = TakeToken(s, " ", TokenMode::Remove);
    int year = StrToIntDef(token, 1900);
    if (year == 1900) {
        year = StrToIntDef(s, 1900);
        s = token;
    }
    // Years are 16-bit unsigned values; two-digit years 0-79 are 2000-2079
    // and 80-99 are 1980-1999.
    auto shortYear = static_cast<std::uint16_t>(year);
    if (shortYear < 80) {
        shortYear += 2000;
    } else if (shortYear < 100) {
        shortYear += 1900;
    }
    return shortYear;
}

// "hh:mm[:ss]" up to the next space; missing or non-numeric fields are 0.
std::optional<TDateTime> readTime(std::string_view& s) {
    std::string_view token = TakeToken(s, " ", TokenMode::Remove);
    const int hour = StrToIntDef(TakeToken(token, ":", TokenMode::Remove), 0);
    const int minute = StrToIntDef(TakeToken(token, ":", TokenMode::Remove), 0);
    const int second = StrToIntDef(token, 0);
    return TryEncodeTime(hour, minute, second);
}

}  // namespace

TDateTime ParseInternetDateRaw(std::string_view& s) {
    s = Trim(s);
    if (s.empty()) return 0;
    if (startsWithWeekday(s)) {
        TakeToken(s, " ", TokenMode::Remove);
        s = TrimLeft(s);
    }
    const std::string_view delimiter = datePartDelimiter(s);
    int day = 0;
    int month = 0;
    if (monthIndex(TakeToken(s, delimiter, TokenMode::Peek)) > 0) {
        month = readMonth(s, delimiter);
        day = readDay(s, delimiter);
    } else {
        day = readDay(s, delimiter);
        month = readMonth(s, delimiter);
    }
    const int year = readYear(s);
    const std::optional<TDateTime> date = TryEncodeDate(year, month, day);
    if (!date) return 0;
    TDateTime result = *date;
    if (s.find(':') != std::string_view::npos) {
        const std::optional<TDateTime> time = readTime(s);
        if (!time) return 0;
        // Days before day zero count backwards, so the time of day is added
        // on the same continuous scale.
        result += *time;
    }
    s = TrimLeft(s);
    return result;
}

TDateTime ParseZoneOffset(std::string_view zone) {
    zone = Trim(zone).substr(0, 5);
    if (zone.empty() || (zone[0] != '+' && zone[0] != '-')) return 0;
    const int hours = StrToIntDef(zone.substr(1, 2), -1);
    const int minutes = StrToIntDef(zone.substr(std::min<std::size_t>(3, zone.size()), 2), -1);
    // The strict conversion would take "-1" too; a signed field inside the
    // offset is as unreadable as an hour above 23.
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return 0;
    const TDateTime span = static_cast<TDateTime>(hours * 60 + minutes) / (24 * 60);
    return zone[0] == '-' ? -span : span;
}

TDateTime LocalUtcOffset() {
    // The system is asked anew whenever the second or the TZ variable has
    // changed since the last answer: tzset makes a change of TZ count, as
    // the answer would change when the user switches zones, and it looks at
    // the system's zone file, which costs a file system call. A header run
    // converts thousands of dates a second, all with the offset of now.
    struct Answer {
        std::time_t second = -1;
        std::string zone;
        bool zoneSet = false;
        TDateTime offset = 0;
    };
    thread_local Answer last;
    const std::time_t now = std::time(nullptr);
    const char* zone = std::getenv("TZ");
    if (now != static_cast<std::time_t>(-1) && now == last.second && (zone != nullptr) == last.zoneSet &&
        (zone == nullptr || last.zone == zone)) {
        return last.offset;
    }
    tzset();
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr || local.tm_isdst < 0) {
        throw EIdFailedToRetreiveTimeZoneInfo();
    }
    // Whole minutes, as the zone tables give them; the rare historic offsets
    // with seconds are cut to the minute.
    const long minutes = local.tm_gmtoff / 60;
    last = {now, zone ? zone : "", zone != nullptr, static_cast<TDateTime>(minutes) / (24 * 60)};
    return last.offset;
}

TDateTime InternetDateToLocal(std::string_view text) {
    std::string_view rest = text;
    TDateTime t = ParseInternetDateRaw(rest);
    const TDateTime offset = rest.size() > 4 ? ParseZoneOffset(rest) : 0;
    t -= offset;
    return t + LocalUtcOffset();
}
