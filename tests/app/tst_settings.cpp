// The settings keys: one declaration each, typed reads, what the close writes.
#include "app/Settings.h"
#include "net/FtpClient.h"
#include "platform/IniFile.h"
#include "platform/SettingsKeys.h"
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using namespace ostrel;

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    // Two declarations of one key would let two windows read it with different defaults.
    void everyKeyIsDeclaredOnce() {
        QSet<QString> seen;
        for (const sif::KeyInfo& k : sif::allKeys()) {
            const QString id = QStringLiteral("%1/%2/%3").arg(k.file, k.section, k.name).toLower();
            QVERIFY2(!seen.contains(id), qPrintable(id));
            seen.insert(id);
            QVERIFY2(k.writers != 0, qPrintable(id)); // a key nobody writes is dead
        }
    }

    // Text a dialog wrote reads as numbers (the window's own keys: tst_mainwindow); the
    // close writes its keys and keeps the others.
    void readsAndWrites() {
        QTemporaryDir dir;
        IniFile ini(dir.filePath("Ostrel.sif"));
        ini.writeString("capture parameters", "index_size", "abc");
        CloseSettings c{
            {7, 93, "4", "2", false, true, true, false, true, false, 120}, "12", "p=ss", "s"};
        writeCloseSettings(ini, c);
        const StoredSettings s = readStoredSettings(ini);
        // The account test's client reads the time-out as the program's does.
        NetworkSettings hex;
        hex.ftpTimeout = "0x1E";
        TFtpClient ftp;
        applyFtpAccount(hex, ftp);
        QCOMPARE(ftp.Timeout(), 30);
        QCOMPARE(s.capture.indexSize, 0); // not a number: the default
        const auto fields = [](const MainWindowSettings& w) {
            return QStringList{QString::number(w.treshold), QString::number(w.sensitivity),
                               w.interval, w.startDelay, QString::number(w.minFreeMb)}
                   << QString::number(w.delaySound + 2 * w.detectionSound + 4 * w.remoteSave +
                                      8 * w.logErrors + 16 * w.errorBeep + 32 * w.firstRun);
        };
        QCOMPARE(fields(s.window), fields(c.window));
        QCOMPARE(QStringList({s.updateInterval, s.network.ftpPassword, s.network.emailPassword}),
                 QStringList({"12", "p=ss", "s"}));
        IniFile vcap(dir.filePath("vcap.sif"));
        QCOMPARE(readDriverIndex(vcap), -1);
        writeDriverIndex(vcap, 3);
        QCOMPARE(readDriverIndex(vcap), 3);
        // A window cannot write a key that is not its own: the wizard leaves the driver alone.
        sif::write(vcap, sif::Wizard, sif::key::DriverIndex, 5);
        QCOMPARE(readDriverIndex(vcap), 3);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
