#pragma once
// Files written so that a crash or a full disk never leaves half a file where a whole one
// was, and the names of what such writes leave behind.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ostrel {

// Replaces `target` with `data` atomically (write beside, then rename); returns false
// and sets `error` on failure. `ownerOnly` creates the file with mode 0600. Without
// `durable` nothing waits for the disk: readers still never see half a file, but a crash
// may lose it (for files deleted a moment later).
bool writeFileAtomically(const QString& target, const QByteArray& data, QString* error = nullptr,
                         bool ownerOnly = false, bool durable = true);

// The files that stand beside a file while it is being written, named as their writers
// name them; the start-up sweep removes these names and no others.
// ".<file name>.<8 hexadecimal digits>.tmp": writeFileAtomically's temporary file.
QString atomicWriteTempName(const QString& fileName, quint32 tag);
// "<target>.part<7 base-36 digits>": a download's part file (`target` may be a path).
QString downloadPartName(const QString& target, quint32 tag);
// Whether `fileName` (without its folder) is one of those names.
bool isInterruptedWrite(const QString& fileName);

// Appends `data` to `target` (made when missing) in one piece: a write that fails takes
// back what it wrote. When the file already holds something and `data` would take it past
// `limit` bytes, it first moves to `target`.1, replacing the one before (`rotated` says so).
// A file that is read-only for everybody is not written. Returns false and sets `error` on
// failure.
bool appendToFile(const QString& target, const QByteArray& data, qint64 limit, QString* error,
                  bool* rotated);

// Removes what writes cut off by a crash or a power cut left behind in `folder` and its
// subfolders (one level): the files isInterruptedWrite names. Returns the paths removed.
QStringList removeInterruptedWrites(const QString& folder);

} // namespace ostrel
