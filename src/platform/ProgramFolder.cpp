#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
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

namespace {

bool fail(QString* error, const QString& text) {
    if (error) *error = text;
    return false;
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

} // namespace

bool writeFileAtomically(const QString& target, const QByteArray& data, QString* error,
                         bool ownerOnly, bool durable) {
    if (target.isEmpty()) return fail(error, QStringLiteral("No file name"));

    // Write through a symbolic link rather than replacing the link with a plain file.
    QString path = QFileInfo(target).absoluteFilePath();
    if (QFileInfo(path).isSymLink()) {
        const QString resolved = QFileInfo(path).canonicalFilePath();
        if (!resolved.isEmpty()) path = resolved;
    }
    const QByteArray nativePath = QFile::encodeName(path);

    struct stat st {};
    const bool exists = ::stat(nativePath.constData(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) return fail(error, QStringLiteral("%1 is a folder").arg(path));
        // A rename would replace a read-only file without asking; a file the user made
        // read-only (no write bit for anybody, or none for us) stays untouched.
        if ((st.st_mode & 0222) == 0 || ::access(nativePath.constData(), W_OK) != 0)
            return fail(error, QStringLiteral("%1 is read-only").arg(path));
    }

    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    int fd = -1;
    QByteArray tempPath;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempPath = QFile::encodeName(
            dir + QLatin1Char('/') +
            atomicWriteTempName(info.fileName(), QRandomGenerator::global()->generate()));
        fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                    ownerOnly ? 0600 : 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return fail(error, qt_error_string(errno));

    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(tempPath.constData());
        return fail(error, qt_error_string(err));
    };

    if (ownerOnly) {
        if (::fchmod(fd, 0600) != 0) return abandon(errno);
    } else if (exists) {
        ::fchmod(fd, st.st_mode & 0777); // keep the replaced file's permissions
    }
    if (!writeAll(fd, data.constData(), data.size())) return abandon(errno);
    if (durable && ::fsync(fd) != 0) return abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tempPath.constData());
        return fail(error, qt_error_string(err));
    }
    if (::rename(tempPath.constData(), nativePath.constData()) != 0) {
        const int err = errno;
        ::unlink(tempPath.constData());
        return fail(error, qt_error_string(err));
    }
    if (!durable) return true;
    // Make the rename itself durable; a failure here does not undo the replacement.
    const int dirFd =
        ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool appendToFile(const QString& target, const QByteArray& data, qint64 limit, QString* error,
                  bool* rotated) {
    *rotated = false;
    const QByteArray path = QFile::encodeName(target);
    for (;;) {
        // Never waiting on something that is not a file.
        const int fd =
            ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
        if (fd < 0) return fail(error, qt_error_string(errno));
        const auto failed = [&](const QString& why) {
            ::close(fd);
            return fail(error, why);
        };
        struct stat st {};
        if (::fstat(fd, &st) != 0) return failed(qt_error_string(errno));
        if (!S_ISREG(st.st_mode)) return failed(QStringLiteral("%1 is not a file").arg(target));
        if ((st.st_mode & 0222) == 0) return failed(QStringLiteral("%1 is read-only").arg(target));
        // A file that cannot be moved aside grows on rather than lose the lines.
        if (!*rotated && st.st_size > 0 && st.st_size + data.size() > limit &&
            ::rename(path.constData(), path + ".1") == 0) {
            ::close(fd);
            *rotated = true;
            continue;
        }
        if (!writeAll(fd, data.constData(), data.size())) {
            const int err = errno;
            [[maybe_unused]] const int undone = ::ftruncate(fd, st.st_size); // all it can do
            return failed(qt_error_string(err));
        }
        if (::close(fd) != 0) return fail(error, qt_error_string(errno));
        return true;
    }
}

namespace {
constexpr int PartDigits = 7; // 2^32 - 1 is "1z141z3"
}

// Built by concatenation: a '%' in a file name must not be taken for a place holder.
QString atomicWriteTempName(const QString& fileName, quint32 tag) {
    return QLatin1Char('.') + fileName + QLatin1Char('.') +
           QStringLiteral("%1").arg(tag, 8, 16, QLatin1Char('0')) + QStringLiteral(".tmp");
}

QString downloadPartName(const QString& target, quint32 tag) {
    return target + QStringLiteral(".part") +
           QStringLiteral("%1").arg(tag, PartDigits, 36, QLatin1Char('0'));
}

bool isInterruptedWrite(const QString& fileName) {
    static const QRegularExpression temporary(
        QRegularExpression::anchoredPattern(QStringLiteral("\\..+\\.[0-9a-f]{8}\\.tmp")),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression part(
        QRegularExpression::anchoredPattern(QStringLiteral(".+\\.part([0-9a-z]{7})")),
        QRegularExpression::DotMatchesEverythingOption);
    if (temporary.match(fileName).hasMatch()) return true;
    const QRegularExpressionMatch m = part.match(fileName);
    bool ok = false;
    return m.hasMatch() && m.captured(1).toULongLong(&ok, 36) <= 0xffffffffu && ok;
}

QStringList removeInterruptedWrites(const QString& folder) {
    QStringList removed;
    const auto sweep = [&](const QString& dir) {
        const QFileInfoList files =
            QDir(dir).entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
        for (const QFileInfo& file : files)
            if (isInterruptedWrite(file.fileName()) && QFile::remove(file.filePath()))
                removed << file.filePath();
    };
    // The program's files live in the folder and one level below (sessions, Server).
    sweep(folder);
    for (const QFileInfo& sub : QDir(folder).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot |
                                                           QDir::Hidden | QDir::NoSymLinks))
        sweep(sub.filePath());
    return removed;
}

} // namespace ostrel
