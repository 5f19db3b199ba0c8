#pragma once
#include <QString>
#include <QStringList>

namespace ostrel {

// The folder of the executable, with a trailing '/'.
QString programFolder();

// Where the program keeps its files, chosen once at start.
struct FolderChoice {
    QString folder; // with a trailing '/'; empty when no folder can be written
    QString notice; // says where the files are kept when that is not the executable's folder
    QString error;  // why no folder can be used, when `folder` is empty
};
// The executable's folder when it holds the data files and files can really be made in
// it. Otherwise (a read-only folder, or an installed layout with the data files in
// <exe>/../share/ostrel/) `dataHome`/ostrel/, made with its parents (itself with mode 0700;
// a folder the user made keeps its mode) and given the data files it lacks; files already
// there are never replaced.
FolderChoice chooseProgramFolder(const QString& exeFolder, const QString& dataHome);
// $XDG_DATA_HOME, or ~/.local/share when it is unset or not absolute.
QString xdgDataHome();
// `name` resolved against `folder` (absolute names stay as they are; '\' becomes '/').
QString resolveIn(const QString& folder, const QString& name);
// Folder with exactly one trailing '/'.
QString withSlash(const QString& folder);

// One copy of the program per program folder: a lock on `.ostrel.lock` in the folder, held
// while the object lives. The kernel lets go of it when the process ends, however it ends,
// so a crash never leaves a lock behind that blocks the next start.
class FolderLock {
public:
    explicit FolderLock(const QString& folder); // tries once, without waiting
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Another process holds the folder; message() names it.
    bool heldElsewhere() const { return heldElsewhere_; }
    // Why the lock is not held (another copy, or a folder that cannot be locked).
    QString message() const { return message_; }

private:
    int fd_ = -1;
    bool heldElsewhere_ = false;
    QString message_;
};

} // namespace ostrel
