// The settings keys: one declaration each, defaults, typed reads, what the close writes.
#include "app/Settings.h"
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

    void missingFileGivesKeyDefaults() {
        QTemporaryDir dir;
        const StoredSettings s = readStoredSettings(IniFile(dir.filePath("Ostrel.sif")));
        QCOMPARE(s.window.sensitivity, 100);
        QCOMPARE(s.window.interval, QString("1"));
        QCOMPARE(s.network.ftpPort, QString("21"));
        QCOMPARE(s.ftpTimeout, 15);
        QCOMPARE(s.network.ftpTimeout, QString("15"));
        QCOMPARE(s.network.passiveMode, true);
        QCOMPARE(s.updateInterval, QString("5"));
        QCOMPARE(s.network.cameraName, QString("Location 1"));
        QCOMPARE(s.network.smtpPort, QString("25"));
        QCOMPARE(s.network.ftpUpload, true);
        QCOMPARE(s.window.firstRun, true);
        QCOMPARE(readDriverIndex(IniFile(dir.filePath("vcap.sif"))), -1);
    }

    void textWrittenByADialogReadsAsNumbers() {
        QTemporaryDir dir;
        IniFile ini(dir.filePath("Ostrel.sif"));
        ini.writeString("FTP Settings", "FTP_Timeout", "45");
        ini.writeString("Capture Parameters", "FrameRate", "0x1E");
        ini.writeString("capture parameters", "index_size", "abc");
        ini.writeString("Protocol Settings", "EmailOnly", "1");
        ini.writeString("Protocol Settings", "FTPupload", "1");
        const StoredSettings s = readStoredSettings(ini);
        QCOMPARE(s.ftpTimeout, 45);
        QCOMPARE(s.network.ftpTimeout, QString("45"));
        QCOMPARE(s.capture.frameRate, 30);
        QCOMPARE(s.capture.indexSize, 0); // not a number: the default
        // Both choices on: e-mail only is the one consulted.
        QVERIFY(s.network.emailOnly);
        QVERIFY(!s.network.ftpUpload);
    }

    void closeKeysRoundTrip() {
        QTemporaryDir dir;
        IniFile ini(dir.filePath("Ostrel.sif"), IniFile::Access::OwnerOnly);
        ini.writeString("FTP Settings", "FTP_Host", "ftp.example.org"); // a dialog's key stays
        CloseSettings c;
        c.ftpPassword = "p=ss;word";
        c.updateInterval = "12";
        c.window.treshold = 7;
        c.window.sensitivity = 93;
        c.window.interval = "4";
        c.window.startDelay = "2";
        c.window.delaySound = false;
        c.window.detectionSound = true;
        c.window.remoteSave = true;
        c.window.logErrors = false;
        c.window.errorBeep = true;
        c.window.firstRun = false;
        c.smtpPassword = "s";
        writeCloseSettings(ini, c);
        const StoredSettings s = readStoredSettings(ini);
        QCOMPARE(s.network.ftpHost, QString("ftp.example.org"));
        QCOMPARE(s.network.ftpPassword, c.ftpPassword);
        QCOMPARE(s.updateInterval, QString("12"));
        QCOMPARE(s.window.treshold, 7);
        QCOMPARE(s.window.sensitivity, 93);
        QCOMPARE(s.window.interval, QString("4"));
        QCOMPARE(s.window.startDelay, QString("2"));
        QCOMPARE(s.window.delaySound, false);
        QCOMPARE(s.window.detectionSound, true);
        QCOMPARE(s.window.remoteSave, true);
        QCOMPARE(s.window.logErrors, false);
        QCOMPARE(s.window.errorBeep, true);
        QCOMPARE(s.window.firstRun, false);
        QCOMPARE(s.network.emailPassword, QString("s"));
        QCOMPARE(QFile(ini.fileName()).permissions() & (QFile::ReadGroup | QFile::ReadOther),
                 QFile::Permissions());

        IniFile vcap(dir.filePath("vcap.sif"));
        writeDriverIndex(vcap, 3);
        QCOMPARE(readDriverIndex(vcap), 3);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
