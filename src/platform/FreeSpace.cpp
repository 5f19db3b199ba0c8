#include "platform/FreeSpace.h"

#include <QFile>
#include <sys/statvfs.h>
#include <utility>

namespace ostrel {

namespace {

qint64 statvfsFree(const QString& path) {
    struct statvfs s {};
    if (::statvfs(QFile::encodeName(path).constData(), &s) != 0) return -1;
    return qint64(s.f_bavail) * qint64(s.f_frsize);
}

FreeSpaceCheck& installed() {
    static FreeSpaceCheck check;
    return check;
}

} // namespace

qint64 freeBytes(const QString& path) {
    const FreeSpaceCheck& check = installed();
    return check ? check(path) : statvfsFree(path);
}

FreeSpaceCheck setFreeSpaceCheck(FreeSpaceCheck check) {
    return std::exchange(installed(), std::move(check));
}

} // namespace ostrel
