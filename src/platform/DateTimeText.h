#pragma once
// Date and time as text, in the C library's locale representation (strftime %x, %X).
#include <QDateTime>
#include <QString>

namespace ostrel {

// Short date, one blank, long time; the blank and the time are left out at exactly 00:00:00.
QString dateTimeToStr(const QDateTime& t);
QString dateToStr(const QDate& d);       // %x
QString timeToStr(const QTime& t);       // %X
// Every ":" by ".", then every "/" by "-", then every " " by "_".
QString fileNameSafe(QString text);
// "dd mmmm yyyy hh:mm:ss" with the locale's full month name (strftime %B).
QString longDateTimeText(const QDateTime& t);

} // namespace ostrel
