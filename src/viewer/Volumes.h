#pragma once
// The volumes the picture browser offers in its drive box: the root file system, the
// user's home folder and removable media (real file systems mounted under /media,
// /run/media or /mnt). Each is named by its path.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ostrel {

// The volumes in the text of a /proc/self/mountinfo: "/" first, then `homeFolder`, then
// the removable media in mount order. Pseudo file systems (proc, tmpfs, cgroup, ...) are
// never listed, and a path is listed once.
QStringList volumesFromMountInfo(const QByteArray& mountInfo, const QString& homeFolder);
// This machine's volumes, read now.
QStringList mountedVolumes();

// The index of the volume whose path is the longest prefix of `folder`; -1 when none is.
int volumeIndexOf(const QStringList& volumes, const QString& folder);
// Whether the volume's size can be read and its folder listed.
bool volumeReadable(const QString& path);

} // namespace ostrel
