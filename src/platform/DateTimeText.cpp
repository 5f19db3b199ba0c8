#include "platform/DateTimeText.h"

#include <ctime>
#include <string>

namespace ostrel {

namespace {

std::tm toTm(const QDate& d, const QTime& t) {
    std::tm tm{};
    if (d.isValid()) {
        tm.tm_year = d.year() - 1900;
        tm.tm_mon = d.month() - 1;
        tm.tm_mday = d.day();
        tm.tm_wday = d.dayOfWeek() % 7; // Qt: Monday = 1 .. Sunday = 7; C: Sunday = 0
        tm.tm_yday = d.dayOfYear() - 1;
    } else {
        tm.tm_mday = 1;
    }
    if (t.isValid()) {
        tm.tm_hour = t.hour();
        tm.tm_min = t.minute();
        tm.tm_sec = t.second();
    }
    tm.tm_isdst = -1;
    return tm;
}

// strftime with the C library's current LC_TIME, the way the rest of the desktop shows dates.
QString format(const char* pattern, const std::tm& tm) {
    std::string buffer(128, '\0');
    for (int attempt = 0; attempt < 6; ++attempt) {
        const std::size_t n = std::strftime(buffer.data(), buffer.size(), pattern, &tm);
        if (n > 0) return QString::fromLocal8Bit(buffer.data(), static_cast<qsizetype>(n));
        // 0 means either "did not fit" or a legitimately empty result; grow a few times.
        buffer.resize(buffer.size() * 4);
    }
    return {};
}

} // namespace

QString dateToStr(const QDate& d) {
    if (!d.isValid()) return {};
    return format("%x", toTm(d, QTime(0, 0)));
}

QString timeToStr(const QTime& t) {
    if (!t.isValid()) return {};
    return format("%X", toTm(QDate(), t));
}

QString dateTimeToStr(const QDateTime& t) {
    if (!t.isValid()) return {};
    const QDate d = t.date();
    const QTime time = t.time();
    if (time == QTime(0, 0)) return dateToStr(d);
    return dateToStr(d) + QLatin1Char(' ') + timeToStr(time);
}

QString fileNameSafe(QString text) {
    text.replace(QLatin1Char(':'), QLatin1Char('.'));
    text.replace(QLatin1Char('/'), QLatin1Char('-'));
    text.replace(QLatin1Char(' '), QLatin1Char('_'));
    return text;
}

QString longDateTimeText(const QDateTime& t) {
    if (!t.isValid()) return {};
    return format("%d %B %Y %H:%M:%S", toTm(t.date(), t.time()));
}

} // namespace ostrel
