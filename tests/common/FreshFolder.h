#pragma once
// The program folder of one test case: renew() (from init()) puts a new, empty temporary
// folder in place of the last one, which goes with its files.
#include <QDir>
#include <QTemporaryDir>

namespace ostrel::test {

struct FreshFolder {
    QTemporaryDir dir;
    QString path; // ends with '/'

    bool renew() {
        dir = QTemporaryDir();
        path = dir.path() + QLatin1Char('/');
        return dir.isValid();
    }
    // Everything in it, hidden files too.
    QStringList entries() const {
        return QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
};

} // namespace ostrel::test
