#pragma once
// The free space of the file system that holds a folder. Tests replace the measurement,
// as they replace the desktop, to say how much room there is.
#include <QString>
#include <functional>

namespace ostrel {

// Bytes an unprivileged writer may still use on the file system of `path` (statvfs);
// -1 when it cannot be told.
using FreeSpaceCheck = std::function<qint64(const QString& path)>;

qint64 freeBytes(const QString& path);
// Installs `check` and returns the previous one; an empty function restores the real one.
FreeSpaceCheck setFreeSpaceCheck(FreeSpaceCheck check);

} // namespace ostrel
