#include "ui/DateFormat.h"

#include "message/IdGlobal.h"

#include <QDate>
#include <QLocale>
#include <QTime>

#include <functional>
#include <optional>
#include <unordered_map>

namespace ui {

namespace {

// Rewrites the letters of a locale's date or time format outside quoted
// literals: `edit` gets each run of one letter and returns its replacement.
QString rewriteFormat(const QString& format, const std::function<QString(const QString&)>& edit) {
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format[i];
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            out += c;
            ++i;
            continue;
        }
        qsizetype j = i + 1;
        if (!quoted && c.isLetter()) {
            while (j < format.size() && format[j] == c) ++j;
            out += edit(format.mid(i, j - i));
        } else {
            out += c;
        }
        i = j;
    }
    return out;
}

// The locale's short date, every year written with four digits.
QString shortDateFormat(const QLocale& locale) {
    return rewriteFormat(locale.dateFormat(QLocale::ShortFormat), [](const QString& run) {
        return run.front() == QLatin1Char('y') ? QStringLiteral("yyyy") : run;
    });
}

// The locale's long time without its time zone: the value is local time
// already and carries no zone of its own.
QString longTimeFormat(const QLocale& locale) {
    QString format = rewriteFormat(locale.timeFormat(QLocale::LongFormat), [](const QString& run) {
        return run.front() == QLatin1Char('t') ? QStringLiteral("\x01") : run;
    });
    // Drop the zone's marker together with the blanks before it.
    for (qsizetype at = format.indexOf(QChar(1)); at >= 0; at = format.indexOf(QChar(1))) {
        qsizetype from = at;
        while (from > 0 && format[from - 1].isSpace()) --from;
        format.remove(from, at + 1 - from);
    }
    return format.trimmed();
}

}  // namespace

QString formatMessageDate(double value) {
    const TDateTimeParts parts = DecodeDateTime(value);
    if (parts.Year == 0) return {};
    const QDate date(parts.Year, parts.Month, parts.Day);
    const QTime time(parts.Hour, parts.Minute, parts.Second);
    // The formats are worked out once per locale: a check run formats a date
    // for every row, and asking the locale for its formats costs more than
    // the formatting itself.
    // The date texts are kept by day as well: a mailbox's messages come
    // from far fewer days than there are messages.
    struct Formats {
        QLocale locale;
        QString date, time;
        std::unordered_map<qint64, QString> days;
    };
    static thread_local std::optional<Formats> cached;
    const QLocale locale;
    if (!cached || cached->locale != locale)
        cached = Formats{locale, shortDateFormat(locale), longTimeFormat(locale), {}};
    constexpr std::size_t kMaxDays = 4096;
    if (cached->days.size() >= kMaxDays) cached->days.clear();
    auto [day, added] = cached->days.try_emplace(date.toJulianDay());
    if (added) day->second = locale.toString(date, cached->date);
    QString text = day->second;
    if (time != QTime(0, 0)) text += QLatin1Char(' ') + locale.toString(time, cached->time);
    return text;
}

}  // namespace ui
