#include "viewer/Volumes.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <dirent.h>
#include <memory>
#include <sys/statvfs.h>

namespace ostrel {
namespace {

// File systems the kernel makes up; nothing on them is a user's picture.
const QSet<QByteArray>& pseudoFileSystems() {
    static const QSet<QByteArray> types{
        "proc",     "sysfs",  "tmpfs",      "devtmpfs", "devpts",    "cgroup",
        "cgroup2",  "mqueue", "securityfs", "debugfs",  "tracefs",   "pstore",
        "bpf",      "autofs", "configfs",   "fusectl",  "hugetlbfs", "binfmt_misc",
        "efivarfs", "ramfs",  "rpc_pipefs", "nsfs",     "selinuxfs", "squashfs"};
    return types;
}

// Mount points escape blanks, tabs, newlines and backslashes as three octal digits.
QString unescapeMountPoint(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        bool ok = false;
        const int code = field[i] == '\\' ? field.mid(i + 1, 3).toInt(&ok, 8) : 0;
        if (ok && i + 3 < field.size()) {
            out.append(char(code));
            i += 3;
        } else {
            out.append(field[i]);
        }
    }
    return QString::fromUtf8(out);
}

bool isRemovableMountPoint(const QString& path) {
    for (const char* base : {"/media/", "/run/media/", "/mnt/"})
        if (path.startsWith(QLatin1String(base)) && path.size() > qsizetype(strlen(base)))
            return true;
    return false;
}

} // namespace

QStringList volumesFromMountInfo(const QByteArray& mountInfo, const QString& homeFolder) {
    QStringList volumes{QStringLiteral("/")};
    const QString home = QDir::cleanPath(homeFolder);
    if (!home.isEmpty() && !volumes.contains(home)) volumes.append(home);
    for (const QByteArray& line : mountInfo.split('\n')) {
        // id parent major:minor root mount-point options [optional...] - type source ...
        const QList<QByteArray> fields = line.simplified().split(' ');
        const qsizetype separator = fields.indexOf("-");
        if (fields.size() < 5 || separator < 5 || separator + 1 >= fields.size()) continue;
        if (pseudoFileSystems().contains(fields[separator + 1])) continue;
        const QString path = unescapeMountPoint(fields[4]);
        if (isRemovableMountPoint(path) && !volumes.contains(path)) volumes.append(path);
    }
    return volumes;
}

QStringList mountedVolumes() {
    QFile file(QStringLiteral("/proc/self/mountinfo"));
    const QByteArray text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    return volumesFromMountInfo(text, QDir::homePath());
}

int volumeIndexOf(const QStringList& volumes, const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    int best = -1;
    for (int i = 0; i < volumes.size(); ++i) {
        const QString& v = volumes[i];
        const bool inside =
            clean == v || clean.startsWith(v.endsWith(QLatin1Char('/')) ? v : v + QLatin1Char('/'));
        if (inside && (best < 0 || v.size() > volumes[best].size())) best = i;
    }
    return best;
}

bool volumeReadable(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct statvfs info {};
    if (::statvfs(native.constData(), &info) != 0) return false;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(native.constData()), &::closedir);
    return dir != nullptr;
}

} // namespace ostrel
