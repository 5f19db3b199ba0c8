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
        QCOMPARE(s.sensitivity, 100);
        QCOMPARE(s.interval, QString("1"));
        QCOMPARE(s.network.ftpPort, QString("21"));
        QCOMPARE(s.ftpTimeout, 15);
        QCOMPARE(s.network.ftpTimeout, QString("15"));
        QCOMPARE(s.network.passiveMode, true);
        QCOMPARE(s.updateInterval, QString("5"));
        QCOMPARE(s.network.cameraName, QString("Location 1"));
        QCOMPARE(s.network.smtpPort, QString("25"));
        QCOMPARE(s.network.ftpUpload, true);
        QCOMPARE(s.firstRun, true);
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
        QCOMPARE(s.frameRate, 30);
        QCOMPARE(s.indexSize, 0); // not a number: the default
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
        c.treshold = 7;
        c.sensitivity = 93;
        c.interval = "4";
        c.startDelay = "2";
        c.delaySound = false;
        c.detectionSound = true;
        c.remoteSave = true;
        c.logErrors = false;
        c.errorBeep = true;
        c.firstRun = false;
        c.smtpPassword = "s";
        writeCloseSettings(ini, c);
        const StoredSettings s = readStoredSettings(ini);
        QCOMPARE(s.network.ftpHost, QString("ftp.example.org"));
        QCOMPARE(s.network.ftpPassword, c.ftpPassword);
        QCOMPARE(s.updateInterval, QString("12"));
        QCOMPARE(s.treshold, 7);
        QCOMPARE(s.sensitivity, 93);
        QCOMPARE(s.interval, QString("4"));
        QCOMPARE(s.startDelay, QString("2"));
        QCOMPARE(s.delaySound, false);
        QCOMPARE(s.detectionSound, true);
        QCOMPARE(s.remoteSave, true);
        QCOMPARE(s.logErrors, false);
        QCOMPARE(s.errorBeep, true);
        QCOMPARE(s.firstRun, false);
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
