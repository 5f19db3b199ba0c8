#include "app/DiskGuard.h"
#include "app/ErrorLog.h"
#include "app/MainWindowParts.h"
#include "app/Outbox.h"
#include "motion/DetectionSession.h"
#include "net/NetworkSettings.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"
#include "platform/FreeSpace.h"
#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <utility>
#include <vector>

namespace ostrel {

namespace {

constexpr qint64 MiB = 1024 * 1024;

qint64 megabytes(qint64 bytes) {
    return bytes / MiB;
}

} // namespace

RoomResult makeRoom(int minFreeMb, const std::function<QStringList()>& folderNames,
                    const QString& running, const std::function<qint64()>& measure,
                    const std::function<bool(const QString&, qint64)>& remove) {
    RoomResult result;
    if (minFreeMb <= 0) return result;
    const qint64 wanted = qint64(minFreeMb) * MiB;
    // A free space that cannot be told blocks nothing.
    const auto roomEnough = [&] {
        result.freeBytes = measure();
        return result.freeBytes < 0 || result.freeBytes >= wanted;
    };
    if (roomEnough()) return result;

    // Only a disk short of room has its folders looked at.
    std::vector<std::pair<QDateTime, QString>> sessions;
    for (const QString& name : folderNames()) {
        const QDateTime start = sessionStartOf(name);
        if (start.isValid() && name != running) sessions.emplace_back(start, name);
    }
    std::sort(sessions.begin(), sessions.end());
    auto next = sessions.cbegin();
    do {
        // A folder that cannot be removed is passed over for the next one.
        bool removed = false;
        for (; next != sessions.cend() && !removed; ++next) {
            removed = remove(next->second, result.freeBytes);
            if (removed) result.deleted.append(next->second);
        }
        if (!removed) {
            result.enough = false;
            return result;
        }
    } while (!roomEnough());
    return result;
}

bool DiskGuard::roomToWrite(const QString& refused) {
    const QString folder = main_.programFolder();
    const auto names = [&] {
        return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    };
    const RoomResult room = makeRoom(
        minFreeMb, names, currentSession, [&] { return freeBytes(folder); },
        [&](const QString& name, qint64 free) {
            if (!QDir(folder + name).removeRecursively()) return false;
            main_.errorLog().addQuietly(
                QStringLiteral(" :   Disk space: deleted the oldest motion session %1 (%2 MB "
                               "free, %3 MB wanted)")
                    .arg(name)
                    .arg(megabytes(free))
                    .arg(minFreeMb));
            return true;
        });
    if (room.enough) {
        if (std::exchange(short_, false))
            main_.errorLog().addQuietly(QStringLiteral(" :   Disk space: saving resumed"));
        return true;
    }
    const QString why = QStringLiteral("only %1 MB free on the disk, %2 MB wanted")
                            .arg(megabytes(room.freeBytes))
                            .arg(minFreeMb);
    if (!std::exchange(short_, true)) {
        main_.errorLog().addQuietly(QStringLiteral(" :   Disk space: ") + why +
                                    QStringLiteral(" and no older motion session to delete: "
                                                   "nothing is saved until there is room"));
        mailShortage(room.freeBytes);
    }
    // Last, so the status bar says why nothing was saved rather than how the mail went.
    refusal_ = refused + QStringLiteral(": ") + why;
    main_.showStatus(refusal_);
    return false;
}

void DiskGuard::mailShortage(qint64 freeBytes) {
    main_.outbox().sendNotice(diskShortageMail(QCoreApplication::applicationName(), main_.camera(),
                                               desktop().now(), megabytes(freeBytes), minFreeMb));
}

} // namespace ostrel
