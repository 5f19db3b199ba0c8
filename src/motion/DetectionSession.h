#pragma once
// The names, numbers and mail texts of a motion detection session, apart from the window.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace ostrel {

// The start date and time as text, made safe for file names (05-12-2026_10.15.30).
QString motionSessionName(const QDateTime& start);
// The start time a session folder's name gives (the inverse of motionSessionName, in the
// C library's current locale); invalid for a name the program never gives a session.
QDateTime sessionStartOf(const QString& folderName);
// "image" + three digits + ".jpg".
QString motionImageName(int number);
// The number of the next image after `counter` (the last one written): 1 to 999, then
// 1 again, so the thousandth detection of a session replaces image001.jpg.
int nextMotionImageNumber(int counter);
// Session name, "_", the time of the detection, ".jpg", made safe for file names.
QString motionRemoteName(const QString& sessionName, const QTime& detection);
// " Latest Motion Detection Count: N ".
QString detectCountText(int count);

} // namespace ostrel
