#pragma once
// Room on the program folder's disk before a detection picture, a recording or a website
// picture is written, and while a recording runs: the oldest motion sessions make way, and a disk
// that stays too full is reported once (log and mail) until room returns.
#include "platform/SettingsKeys.h"
#include <QString>
#include <QStringList>
#include <functional>

namespace ostrel {

class MainWindowParts;

struct RoomResult {
    QStringList deleted;  // in the order they were removed
    qint64 freeBytes = 0; // the last measurement (-1: it could not be told)
    bool enough = true;
};
// While `measure` says less than `minFreeMb` is free, removes the session folder among
// `folderNames()` (asked only then) that started first (by the time in its name), never `running`
// and never a name that is not a session's; `remove` gets the name and the free bytes that made it
// go. A limit of 0 and a free space that cannot be told never delete anything and are enough.
RoomResult makeRoom(int minFreeMb, const std::function<QStringList()>& folderNames,
                    const QString& running, const std::function<qint64()>& measure,
                    const std::function<bool(const QString&, qint64)>& remove);
class DiskGuard {
public:
    explicit DiskGuard(MainWindowParts& main) : main_(main) {}

    int minFreeMb = sif::key::MinFreeMb.def; // 0 switches the guard off
    // The folder name of the latest detection session, which is never deleted.
    QString currentSession;

    // True when a file may be written in the program folder, after deleting old sessions
    // when needed. False when there is still too little room: `refused` ("Recording not
    // started") goes to the status bar, and the first refusal since room was last found is
    // logged and mailed.
    bool roomToWrite(const QString& refused);
    // What the last refusal put in the status bar.
    const QString& refusal() const { return refusal_; }

private:
    void mailShortage(qint64 freeBytes);

    MainWindowParts& main_;
    bool short_ = false;
    QString refusal_;
};

} // namespace ostrel
