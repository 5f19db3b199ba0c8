#pragma once
#include <QString>
#include <QStringList>

namespace ostrel {

// The folder of the executable, with a trailing '/'.
QString programFolder();
// `name` resolved against `folder` (absolute names stay as they are; '\' becomes '/').
QString resolveIn(const QString& folder, const QString& name);
// Folder with exactly one trailing '/'.
QString withSlash(const QString& folder);

// Replaces `target` with `data` atomically (write beside, then rename); returns false
// and sets `error` on failure. `ownerOnly` creates the file with mode 0600. Without
// `durable` nothing waits for the disk: readers still never see half a file, but a crash
// may lose it (for files deleted a moment later).
bool writeFileAtomically(const QString& target, const QByteArray& data, QString* error = nullptr,
                         bool ownerOnly = false, bool durable = true);

// Removes what writes cut off by a crash or a power cut left behind in `folder` and its
// subfolders: the temporary files of writeFileAtomically and the part files of downloads.
// Returns the paths removed.
QStringList removeInterruptedWrites(const QString& folder);

} // namespace ostrel
