#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

QString programFolder() {
    return withSlash(QCoreApplication::applicationDirPath());
}

namespace {

// What the data/ folder of the source tree holds: the files that ship with the program.
const char* const shippedData[] = {"Help", "Server", "imgempty.jpg", "stopcap.jpg", "stoptime.bmp"};

bool holdsData(const QString& folder) {
    for (const char* name : shippedData)
        if (QFileInfo::exists(folder + QLatin1String(name))) return true;
    return false;
}

// Permission bits say nothing of read-only mounts, ACLs or root: only making a file tells.
bool canWriteIn(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral(".ostrel-probe-XXXXXX"));
    return probe.open() && probe.remove();
}

// Copies `from` (a file or a folder tree) to `to`, leaving every file already there alone;
// the files that could not be copied go to `failed`.
void copyMissing(const QString& from, const QString& to, QStringList& failed) {
    const QFileInfo source(from);
    if (source.isDir()) {
        if (!QDir().mkpath(to)) {
            failed << to;
            return;
        }
        const QStringList entries =
            QDir(from).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString& entry : entries)
            copyMissing(from + QLatin1Char('/') + entry, to + QLatin1Char('/') + entry, failed);
        return;
    }
    if (!source.exists() || QFileInfo(to).exists() || QFileInfo(to).isSymLink()) return;
    // Shipped files may be read-only; the copies are the user's to change.
    if (!QFile::copy(from, to) ||
        !QFile::setPermissions(to, source.permissions() | QFile::ReadOwner | QFile::WriteOwner))
        failed << to;
}

// Makes `folder` (and its parents) when it is not there; the folder itself is made for its
// owner alone (it will hold the passwords' file and the pictures), whatever the umask. A
// folder that is there already keeps the mode its owner gave it.
bool makePrivateFolder(const QString& folder) {
    const QString path = QDir::cleanPath(folder);
    if (QFileInfo(path).isDir()) return true;
    if (!QDir().mkpath(QFileInfo(path).path())) return false;
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0) return errno == EEXIST && QFileInfo(path).isDir();
    return ::chmod(native.constData(), 0700) == 0;
}

} // namespace

QString xdgDataHome() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

FolderChoice chooseProgramFolder(const QString& exeFolder, const QString& dataHome) {
    const QString exe = withSlash(exeFolder);
    const QString installed = withSlash(QDir::cleanPath(exe + QStringLiteral("../share/ostrel")));
    const QString data = holdsData(exe) || !holdsData(installed) ? exe : installed;
    const bool writable = canWriteIn(exe);
    if (writable && data == exe) return {exe, {}, {}};

    FolderChoice choice;
    const QString where = writable ? QStringLiteral("The program is installed in %1").arg(exe)
                                   : QStringLiteral("The program folder %1 is read-only").arg(exe);
    const QString folder = withSlash(dataHome) + QStringLiteral("ostrel/");
    if (!QDir::isAbsolutePath(dataHome) || !makePrivateFolder(folder) || !canWriteIn(folder)) {
        choice.error =
            QStringLiteral("%1 and files cannot be kept in %2 either.")
                .arg(where,
                     QDir::isAbsolutePath(dataHome) ? folder : QStringLiteral("a home folder"));
        return choice;
    }
    QStringList failed;
    for (const char* name : shippedData)
        copyMissing(data + QLatin1String(name), folder + QLatin1String(name), failed);
    choice.folder = folder;
    choice.notice = QStringLiteral("%1: files are kept in %2").arg(where, folder);
    if (!failed.isEmpty())
        choice.notice +=
            QStringLiteral(" (could not copy %1)").arg(failed.join(QStringLiteral(", ")));
    return choice;
}

QString withSlash(const QString& folder) {
    if (folder.isEmpty()) return {}; // never turn "no folder" into the file system root
    QString f = folder;
    f.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (f.size() > 1 && f.endsWith(QLatin1Char('/')))
        f.chop(1);
    if (f == QLatin1String("/")) return f;
    return f + QLatin1Char('/');
}

QString resolveIn(const QString& folder, const QString& name) {
    QString n = name;
    n.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QDir::isAbsolutePath(n)) return n;
    return withSlash(folder) + n;
}

FolderLock::FolderLock(const QString& folder) {
    const QString path = withSlash(folder) + QStringLiteral(".ostrel.lock");
    // Never through a link, and never waiting on something that is not a file.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        message_ = QStringLiteral("The program folder %1 cannot be locked: %2")
                       .arg(folder, qt_error_string(errno));
        return;
    }
    // A record lock rather than flock: the kernel tells who holds it.
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_SETLK, &whole) == 0) {
        fd_ = fd;
        return;
    }
    const int err = errno;
    if (err == EACCES || err == EAGAIN) {
        heldElsewhere_ = true;
        struct flock holder {};
        holder.l_type = F_WRLCK;
        holder.l_whence = SEEK_SET;
        const bool named =
            ::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK && holder.l_pid > 0;
        message_ =
            named
                ? QStringLiteral("Ostrel is already running on the program folder %1 "
                                 "(process %2).")
                      .arg(folder)
                      .arg(holder.l_pid)
                : QStringLiteral("Ostrel is already running on the program folder %1.").arg(folder);
    } else {
        message_ = QStringLiteral("The program folder %1 cannot be locked: %2")
                       .arg(folder, qt_error_string(err));
    }
    ::close(fd);
}

FolderLock::~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
}

} // namespace ostrel
