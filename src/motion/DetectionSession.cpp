#include "motion/DetectionSession.h"
#include "platform/DateTimeText.h"
#include <ctime>
#include <langinfo.h>

namespace ostrel {

namespace {

// A strftime pattern with the composite conversions written out, so that making it safe
// for file names reaches their separators too.
QString expanded(const char* pattern) {
    QString p = QString::fromLocal8Bit(pattern);
    p.replace(QLatin1String("%r"), QString::fromLocal8Bit(nl_langinfo(T_FMT_AMPM)));
    p.replace(QLatin1String("%T"), QLatin1String("%H:%M:%S"));
    p.replace(QLatin1String("%R"), QLatin1String("%H:%M"));
    p.replace(QLatin1String("%D"), QLatin1String("%m/%d/%y"));
    return p;
}

QDateTime parsed(const QString& text, const QString& pattern) {
    std::tm tm{};
    const QByteArray in = text.toLocal8Bit();
    const char* end = strptime(in.constData(), pattern.toLocal8Bit().constData(), &tm);
    if (!end || *end) return {};
    return QDateTime(QDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday),
                     QTime(tm.tm_hour, tm.tm_min, tm.tm_sec));
}

} // namespace

QString motionSessionName(const QDateTime& start) {
    return fileNameSafe(dateTimeToStr(start));
}

QDateTime sessionStartOf(const QString& folderName) {
    const QString date = fileNameSafe(expanded(nl_langinfo(D_FMT)));
    const QString time = fileNameSafe(expanded(nl_langinfo(T_FMT)));
    // A session started at midnight has the date alone. Only a name the program would give
    // that very time counts, whatever else the C library's reading lets through.
    for (const QString& pattern : {date + QLatin1Char('_') + time, date}) {
        const QDateTime start = parsed(folderName, pattern);
        if (start.isValid() && motionSessionName(start) == folderName) return start;
    }
    return {};
}

QString motionImageName(int number) {
    return QStringLiteral("image%1.jpg").arg(number, 3, 10, QLatin1Char('0'));
}

int nextMotionImageNumber(int counter) {
    return counter >= 999 || counter < 0 ? 1 : counter + 1;
}

QString motionRemoteName(const QString& sessionName, const QTime& detection) {
    return fileNameSafe(sessionName + QStringLiteral("_") + timeToStr(detection) +
                        QStringLiteral(".jpg"));
}

QString detectCountText(int count) {
    return QStringLiteral(" Latest Motion Detection Count: %1 ").arg(count);
}

} // namespace ostrel
