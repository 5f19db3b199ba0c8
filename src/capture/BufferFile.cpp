#include "capture/BufferFile.h"
#include "capture/VideoCapture.h"
#include "platform/FileDescriptor.h"
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>
#include <algorithm>
#include <fcntl.h>

namespace ostrel {

void BufferFile::reserve(quint16 megabytes) {
    if (megabytes == 0) {
        if (!path_.isEmpty()) QFile::remove(path_);
        path_.clear();
        return;
    }
    if (path_.isEmpty()) {
        QTemporaryFile file(QDir::tempPath() + QStringLiteral("/capXXXXXX"));
        file.setAutoRemove(false);
        if (!file.open()) throw EBufferFileError();
        path_ = file.fileName();
    }
    const FileDescriptor fd(::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CLOEXEC));
    if (!fd || ::posix_fallocate(fd.get(), 0, off_t(megabytes) * Unit) != 0)
        throw EBufferFileError();
}

bool BufferFile::copyTo(const QString& target, qint64 bytes, QString* error) const {
    QFile source(path_);
    QSaveFile copy(target);
    auto fail = [&](const QString& why) {
        *error = QStringLiteral("Could not copy the recording to %1: %2. It is kept in %3")
                     .arg(target, why, path_);
        return false;
    };
    if (!source.open(QIODevice::ReadOnly)) return fail(source.errorString());
    if (!copy.open(QIODevice::WriteOnly)) return fail(copy.errorString());
    QByteArray block;
    for (qint64 left = bytes; left > 0;) {
        block = source.read(std::min<qint64>(left, 1 << 20));
        if (block.isEmpty()) return fail(source.errorString());
        if (copy.write(block) != block.size()) return fail(copy.errorString());
        left -= block.size();
    }
    if (!copy.commit()) return fail(copy.errorString());
    return true;
}

} // namespace ostrel
