// The disk guard's decision: which session folders make room, in which order, and when it
// stops; and the real free-space measurement.
#include "app/DiskGuard.h"
#include "motion/DetectionSession.h"
#include "platform/FreeSpace.h"
#include <QTemporaryDir>
#include <QtTest>

using namespace ostrel;

namespace {
constexpr qint64 MiB = 1024 * 1024;
QString session(int year, int month, int day, QTime time = QTime(0, 0)) {
    return motionSessionName(QDateTime(QDate(year, month, day), time));
}
} // namespace

class TestDiskGuard : public QObject {
    Q_OBJECT
private slots:
    // Each deletion frees 150 MB. The sessions sort by the time in their names, which
    // neither their spelling nor a midnight start (the date alone) may upset; names the
    // program never gives a session are never touched.
    void makeRoom_data() {
        QTest::addColumn<QString>("running");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("freeMb"); // -1: the space cannot be told
        QTest::addColumn<QStringList>("deleted");
        QTest::addColumn<bool>("enough");
        const QString dec5 = session(2026, 12, 5, QTime(10, 15, 30));
        const QString dec6 = session(2026, 12, 6); // midnight
        const QString jan2 = session(2027, 1, 2, QTime(9, 0));
        QTest::newRow("oldest first, until enough")
            << QString() << 500 << 100 << QStringList{dec5, dec6, jan2} << true;
        QTest::newRow("the running one stays, though oldest")
            << dec5 << 500 << 200 << QStringList{dec6, jan2} << true;
        QTest::newRow("limit 0 switches it off") << QString() << 0 << 0 << QStringList() << true;
        QTest::newRow("space unknown") << QString() << 500 << -1 << QStringList() << true;
    }
    void makeRoom() {
        QFETCH(QString, running);
        QFETCH(int, limit);
        QFETCH(int, freeMb);
        QFETCH(QStringList, deleted);
        QFETCH(bool, enough);
        const QStringList folders{"Videos",
                                  session(2027, 1, 2, QTime(9, 0)),
                                  "12-5-26_10.15.30",
                                  session(2026, 12, 6),
                                  session(2026, 12, 5, QTime(10, 15, 30)),
                                  session(2026, 12, 5, QTime(10, 15, 30)) + ".old",
                                  "13-45-26_10.15.30"};
        qint64 free = freeMb < 0 ? -1 : freeMb * MiB;
        const RoomResult room = ostrel::makeRoom(
            limit, [&] { return folders; }, running, [&] { return free; },
            [&](const QString&, qint64 before) {
                if (before != free) return false;
                free += 150 * MiB;
                return true;
            });
        QCOMPARE(room.deleted, deleted);
        QCOMPARE(room.enough, enough);
        QCOMPARE(room.freeBytes, free);
    }

    void measuresTheRealDisk() {
        QTemporaryDir dir;
        QCOMPARE_GT(freeBytes(dir.path()), 0);
        QCOMPARE(freeBytes(dir.filePath("missing")), -1);
    }
};

QTEST_GUILESS_MAIN(TestDiskGuard)
#include "tst_diskguard.moc"
