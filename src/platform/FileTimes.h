#pragma once
// When a file came to be: its birth time where the file system keeps one, else the time
// it was last written.
#include <QDateTime>
#include <QString>

namespace ostrel {

// Opens `path` for reading (raises Exception "Cannot open file ..." when that fails) and
// returns its creation time in local time; invalid when the system cannot tell.
QDateTime fileCreationTime(const QString& path);

} // namespace ostrel
