#include "message/IdGlobal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Runs a test under a fixed POSIX time zone and puts the previous one back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) FOld = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTimeZone() {
        if (FOld) {
            setenv("TZ", FOld->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> FOld;
};

constexpr double kMinute = 1.0 / (24 * 60);

TDateTimeParts at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return {y, mo, d, h, mi, s}; }

// The strict integer conversion -------------------------------------------

struct IntCase {
    const char* name;
    const char* text;
    std::optional<int> expected;
};

TEST(StrToInt, AcceptsExactlyTheStrictForms) {
    const IntCase cases[] = {
        {"Decimal", "42", 42},
        {"LeadingBlanksAndTab", " \t7", 7},
        {"PlusSign", "+5", 5},
        {"Negative", "-12", -12},
        {"Minimum", "-2147483648", INT32_MIN},
        {"Maximum", "2147483647", INT32_MAX},
        {"DollarHex", "$1f", 31},
        {"ZeroXHex", "0X1F", 31},
        {"HexPattern", "$FFFFFFFF", -1},
        {"TrailingBlank", "7 ", std::nullopt},
        {"Empty", "", std::nullopt},
        {"SignOnly", "-", std::nullopt},
        {"DollarOnly", "$", std::nullopt},
        {"Overflow", "2147483648", std::nullopt},
        {"HexOverflow", "$100000000", std::nullopt},
        {"InnerBlank", "1 2", std::nullopt},
        {"HexWithSignInside", "$-1", std::nullopt},
    };
    for (const IntCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected.value_or(-999), StrToIntDef(c.text, -999));
    }
}

TEST(StrToInt, ErrorQuotesTheText) {
    try {
        (void)StrToInt("$ZZ");
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_STREQ("'$ZZ' is not a valid integer value", e.what());
    }
}

// Date-time values ----------------------------------------------------------

TEST(DateTimeValue, KnownDayNumbers) {
    EXPECT_EQ(0.0, TryEncodeDate(1899, 12, 30));
    EXPECT_EQ(2.0, TryEncodeDate(1900, 1, 1));
    EXPECT_EQ(46365.0, TryEncodeDate(2026, 12, 9));
    EXPECT_EQ(-1.0, TryEncodeDate(1899, 12, 29));
    EXPECT_EQ(0.5, TryEncodeTime(12, 0, 0));
}

TEST(DateTimeValue, RejectsImpossibleFields) {
    EXPECT_FALSE(TryEncodeDate(2026, 2, 29));
    EXPECT_FALSE(TryEncodeDate(2100, 2, 29));
    EXPECT_TRUE(TryEncodeDate(2000, 2, 29));
    EXPECT_FALSE(TryEncodeDate(2026, 0, 1));
    EXPECT_FALSE(TryEncodeDate(2026, 13, 1));
    EXPECT_FALSE(TryEncodeDate(2026, 4, 31));
    EXPECT_FALSE(TryEncodeDate(0, 1, 1));
    EXPECT_FALSE(TryEncodeDate(10000, 1, 1));
    EXPECT_FALSE(TryEncodeTime(24, 0, 0));
    EXPECT_FALSE(TryEncodeTime(23, 60, 0));
    EXPECT_FALSE(TryEncodeTime(23, 59, 60));
    EXPECT_FALSE(TryEncodeTime(-1, 0, 0));
}

TEST(DateTimeValue, EveryDayRoundTrips) {
    for (int year = 1; year <= 9999; year += 1) {
        for (int month = 1; month <= 12; ++month) {
            for (int day : {1, 28}) {
                const TDateTime value = *TryEncodeDate(year, month, day) + *TryEncodeTime(23, 59, 59);
                ASSERT_EQ(at(year, month, day, 23, 59, 59), DecodeDateTime(value)) << value;
            }
        }
    }
    for (int serial = -1000; serial < 100000; ++serial) {
        const TDateTimeParts p = DecodeDateTime(serial);
        ASSERT_EQ(static_cast<double>(serial), TryEncodeDate(p.Year, p.Month, p.Day)) << serial;
    }
}

TEST(DateTimeValue, DecodeOfGarbageIsAllZero) {
    EXPECT_EQ(TDateTimeParts{}, DecodeDateTime(1e300));
    EXPECT_EQ(TDateTimeParts{}, DecodeDateTime(-1e9));
    EXPECT_EQ(TDateTimeParts{}, DecodeDateTime(0.0 / 0.0));
}

// Tokens and zone offsets ---------------------------------------------------

TEST(TakeToken, SplitsAtDelimiter) {
    std::string_view text = "10:20:30 +0100";
    EXPECT_EQ("10:20:30", TakeToken(text, " ", TokenMode::Peek));
    EXPECT_EQ("10:20:30 +0100", text);
    EXPECT_EQ("10", TakeToken(text, ":", TokenMode::Remove));
    EXPECT_EQ("20:30 +0100", text);
    EXPECT_EQ("20:30 +0100", TakeToken(text, "--", TokenMode::Remove));
    EXPECT_EQ("", text);
    std::string_view multi = "a<>b";
    EXPECT_EQ("a", TakeToken(multi, "<>", TokenMode::Remove));
    EXPECT_EQ("b", multi);
}

TEST(ParseZoneOffset, NumericFormOnly) {
    struct Case {
        const char* name;
        const char* zone;
        int minutes;
    };
    const Case cases[] = {
        {"PlusHalfHour", "+0130", 90},       {"MinusFive", "-0500", -300},
        {"BlanksAround", "  +0100  ", 60},   {"CommentAfter", "+0100 (CET)", 60},
        {"ColonForm", "+01:00", 0},          {"Gmt", "GMT", 0},
        {"Ut", "UT", 0},                     {"Z", "Z", 0},
        {"Est", "EST", 0},                   {"CommentOnly", "(CET)", 0},
        {"HourTooBig", "+2400", 0},          {"MinuteTooBig", "+0060", 0},
        {"TooShort", "+01", 0},              {"SignedHourField", "+-100", 0},
        {"Letters", "+01AB", 0},             {"Empty", "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(c.minutes * kMinute, ParseZoneOffset(c.zone), 1e-12);
    }
}

// Internet dates ------------------------------------------------------------

struct DateCase {
    const char* name;
    const char* text;
    TDateTimeParts expected;
};

TEST(InternetDateToLocal, ConvertsToOneHourEastOfUtc) {
    ScopedTimeZone zone("CET-1");
    const TDateTimeParts dayZeroShifted = at(1899, 12, 30, 1, 0, 0);
    const DateCase cases[] = {
        {"FullForm", "Tue, 09 Dec 2026 10:20:30 +0100", at(2026, 12, 9, 10, 20, 30)},
        {"WestZone", "09 Dec 2026 10:20:30 -0500", at(2026, 12, 9, 16, 20, 30)},
        {"NamedZoneCountsAsUtc", "9 Dec 26 10:20 GMT", at(2026, 12, 9, 11, 20, 0)},
        {"MonthFirst", "Dec 9 2026 10:20:30 +0000", at(2026, 12, 9, 11, 20, 30)},
        {"TimeBeforeYear", "Tue Dec 9 10:20:30 2026", at(2026, 12, 9, 11, 20, 30)},
        {"Hyphens", "09-Dec-2026 10:20:30 +0000", at(2026, 12, 9, 11, 20, 30)},
        {"LowerCaseNames", "tue, 09 dec 2026 10:20:30 +0000", at(2026, 12, 9, 11, 20, 30)},
        {"ColonZoneIgnored", "09 Dec 2026 10:20:30 +01:00", at(2026, 12, 9, 11, 20, 30)},
        {"ZoneWithComment", "09 Dec 2026 10:20:30 +0100 (CET)", at(2026, 12, 9, 10, 20, 30)},
        {"NoTime", "09 Dec 2026", at(2026, 12, 9, 1, 0, 0)},
        {"CrossesMidnight", "31 Dec 2026 23:30:00 +0000", at(2027, 1, 1, 0, 30, 0)},
        {"YearNinetyNine", "1 Jan 99 00:00:00 +0100", at(1999, 1, 1, 0, 0, 0)},
        {"YearSeventyNine", "1 Jan 79 00:00:00 +0100", at(2079, 1, 1, 0, 0, 0)},
        {"YearZero", "1 Jan 0 00:00:00 +0100", at(2000, 1, 1, 0, 0, 0)},
        {"FullMonthName", "9 December 2026 10:20:30 +0000", dayZeroShifted},
        {"ImpossibleDay", "31 Feb 2026", dayZeroShifted},
        {"LeapSecondLosesAll", "09 Dec 2026 23:59:60 +0000", dayZeroShifted},
        {"HourTooBig", "09 Dec 2026 24:00:00", dayZeroShifted},
        {"Empty", "", dayZeroShifted},
        {"Blanks", " \t ", dayZeroShifted},
        {"Garbage", "not a date at all", dayZeroShifted},
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.expected, DecodeDateTime(InternetDateToLocal(c.text)));
    }
}

TEST(InternetDateToLocal, UnreadableDateStillMovesByTheZone) {
    ScopedTimeZone zone("CET-1");
    // The zone is read from what is left where the date failed.
    EXPECT_EQ(at(1899, 12, 30, 6, 0, 0), DecodeDateTime(InternetDateToLocal("09 Dec 2026 23:59:60 -0500")));
}

TEST(InternetDateToLocal, WestOfUtcZone) {
    ScopedTimeZone zone("EST5");
    EXPECT_NEAR(-300 * kMinute, LocalUtcOffset(), 1e-12);
    EXPECT_EQ(at(2026, 12, 9, 5, 20, 30), DecodeDateTime(InternetDateToLocal("Tue, 09 Dec 2026 10:20:30 +0000")));
}

TEST(InternetDateToLocal, DaylightSavingOffsetInForceNowIsUsedForEveryDate) {
    // Daylight time from 1 January 00:00 to 31 December 25:00: in force all
    // year, so the result does not depend on the day the test runs.
    ScopedTimeZone zone("XST-1XDT,J1/0,J365/25");
    EXPECT_NEAR(120 * kMinute, LocalUtcOffset(), 1e-12);
    EXPECT_EQ(at(2026, 1, 15, 12, 0, 0), DecodeDateTime(InternetDateToLocal("15 Jan 2026 10:00:00 +0000")));
}

TEST(LocalUtcOffset, ZoneChangesCountAtOnce) {
    // Within the same second, too: the answer is kept only while TZ stays.
    ScopedTimeZone west("EST5");
    EXPECT_NEAR(-300 * kMinute, LocalUtcOffset(), 1e-12);
    {
        ScopedTimeZone east("CET-1");
        EXPECT_NEAR(60 * kMinute, LocalUtcOffset(), 1e-12);
    }
    EXPECT_NEAR(-300 * kMinute, LocalUtcOffset(), 1e-12);
    // From no TZ (the system's zone) to a TZ and back.
    unsetenv("TZ");
    (void)LocalUtcOffset();
    setenv("TZ", "CET-1", 1);
    EXPECT_NEAR(60 * kMinute, LocalUtcOffset(), 1e-12);
}

TEST(LocalUtcOffset, FollowsZoneWithRules) {
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const double offset = LocalUtcOffset();
    const bool winter = std::abs(offset - 60 * kMinute) < 1e-12;
    const bool summer = std::abs(offset - 120 * kMinute) < 1e-12;
    EXPECT_TRUE(winter || summer) << offset / kMinute;
}

TEST(ParseInternetDateRaw, LeavesZoneForCaller) {
    std::string_view text = "  Tue, 09 Dec 2026 10:20:30   +0100 (CET)  ";
    const TDateTime value = ParseInternetDateRaw(text);
    EXPECT_EQ(at(2026, 12, 9, 10, 20, 30), DecodeDateTime(value));
    EXPECT_EQ("+0100 (CET)", text);
}

TEST(ParseInternetDateRaw, HostileInputNeverThrows) {
    const std::string inputs[] = {
        std::string(1 << 20, ' '),
        std::string(1 << 20, '-'),
        std::string(1 << 20, ':'),
        "Mon " + std::string(1 << 20, 'x'),
        "1 Jan 65536 10:20:30",
        "1 Jan -1 10:20:30",
        "$7FFFFFFF Jan 2026 99999999999:1:1",
        std::string("09 Dec\0 2026 10:20:30", 21),
        "- - - - -",
    };
    for (const std::string& input : inputs) {
        std::string_view text = input;
        EXPECT_NO_THROW((void)ParseInternetDateRaw(text));
    }
}

}  // namespace
