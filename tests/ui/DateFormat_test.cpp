#include "ui/DateFormat.h"

#include "message/IdGlobal.h"

#include <QLocale>

#include <gtest/gtest.h>

namespace {

double at(int year, int month, int day, int hour, int minute, int second) {
    return *TryEncodeDate(year, month, day) + *TryEncodeTime(hour, minute, second);
}

// Sets the default locale for the lifetime of the object.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(QLocale::c()); }
};

TEST(FormatMessageDate, ShortDateLongTimeFourDigitYears) {
    struct Row {
        const char* name;
        QLocale locale;
        double value;
        QString text;
    };
    const QLocale german(QLocale::German, QLocale::Germany);
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    const Row rows[] = {
        {"German date and time", german, at(2025, 12, 9, 10, 20, 30), "09.12.2025 10:20:30"},
        {"midnight leaves the time out", german, at(2025, 12, 9, 0, 0, 0), "09.12.2025"},
        {"one second after midnight keeps it", german, at(2025, 12, 9, 0, 0, 1), "09.12.2025 00:00:01"},
        {"two-digit year of the locale widened", us, at(1999, 3, 1, 0, 0, 0), "3/1/1999"},
        {"day zero", german, 0, "30.12.1899"},
        {"outside the calendar", german, 1e9, ""},
    };
    for (const Row& row : rows) {
        LocaleScope scope(row.locale);
        EXPECT_EQ(ui::formatMessageDate(row.value), row.text) << row.name;
    }
    LocaleScope scope(us);
    const QString withTime = ui::formatMessageDate(at(2001, 3, 1, 13, 5, 9));
    EXPECT_TRUE(withTime.startsWith("3/1/2001 1:05:09")) << withTime.toStdString();
    EXPECT_TRUE(withTime.endsWith("PM")) << "no time zone after the time: " << withTime.toStdString();
}

}  // namespace
