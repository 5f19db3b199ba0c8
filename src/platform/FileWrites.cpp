#include "platform/FileWrites.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

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
