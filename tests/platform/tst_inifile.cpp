// IniFile: reading and writing settings files, including damaged and hostile ones.
#include "platform/IniFile.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <sys/types.h>

using namespace ostrel;

namespace {

// A byte string literal that may hold NUL bytes.
template <std::size_t N> QByteArray bytes(const char (&s)[N]) {
    return QByteArray(s, N - 1);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeRaw(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

} // namespace

class TestIniFile : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_; // a fresh one for each case
    QString path(const QString& name = QStringLiteral("Ostrel.sif")) const {
        return dir_->filePath(name);
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void readString_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const auto row = [](const char* name, const QByteArray& file, const char* section,
                            const char* key, const QString& expected) {
            QTest::newRow(name) << file << QString(section) << QString(key) << expected;
        };
        row("plain", "[FTP Settings]\r\nFTP_Host=example.org\r\n", "FTP Settings", "FTP_Host",
            "example.org");
        row("names ignore case", "[ftp SETTINGS]\r\nftp_host=example.org\r\n", "FTP Settings",
            "FTP_Host", "example.org");
        row("blanks around names and value",
            "  [ Other Settings ]  \r\n  Camera  =   Garage 2 \t\r\n", "Other Settings", "Camera",
            "Garage 2");
        row("value keeps inner equals", "[S]\nk=a=b=c\n", "S", "k", "a=b=c");
        row("empty value is a value", "[S]\nk=\n", "S", "k", "");
        row("missing key", "[S]\nother=1\n", "S", "k", "<def>");
        row("missing section", "[T]\nk=1\n", "S", "k", "<def>");
        row("key belongs to its own section only", "[S]\na=1\n[T]\nk=2\n", "S", "k", "<def>");
        row("first duplicate section wins", "[S]\nk=first\n[s]\nk=second\nonlyhere=x\n", "S", "k",
            "first");
        row("later duplicate section is not consulted", "[S]\nk=first\n[s]\nonlyhere=x\n", "S",
            "onlyhere", "<def>");
        row("first duplicate key wins", "[S]\nk=1\nK=2\n", "S", "k", "1");
        row("keys before any section belong to none", "k=stray\n[S]\nx=1\n", "S", "k", "<def>");
        row("comment lines", "[S]\n;k=commented\n  ; k=also\nk=real\n", "S", "k", "real");
        row("lines without equals are skipped", "[S]\njust text\nk=v\n", "S", "k", "v");
        row("header without closing bracket is no header", "[S]\n[Broken\nk=v\n", "S", "k", "v");
        row("bracket inside section name", "[a]b]\nk=v\n", "a]b", "k", "v");
        row("LF line ends", "[S]\nk=v\nz=1", "S", "k", "v");
        row("lone CR line ends", "[S]\rk=v\rz=1\r", "S", "k", "v");
        row("mixed line ends", "[T]\r\nk=t\r[S]\nk=v\r\n", "S", "k", "v");
        row("no final newline", "[S]\r\nk=last", "S", "k", "last");
        row("UTF-8 text",
            "[S]\nCamera=K\xc3\xbc"
            "che\n",
            "S", "Camera",
            QString::fromUtf8("K\xc3\xbc"
                              "che"));
        row("binary bytes around", "\xff\xfe\x01\n[S]\n\x80\x81\nk=v\xff\n", "S", "k",
            QString::fromUtf8("v\xef\xbf\xbd"));
        row("NUL inside value", bytes("[S]\nk=a\0b\n"), "S", "k", QString::fromUtf8("a\0b", 3));
        row("empty file", QByteArray(), "S", "k", "<def>");
    }

    void readString() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        writeRaw(path(), file);
        IniFile ini(path());
        QCOMPARE(ini.readString(section, key, QStringLiteral("<def>")), expected);
        QCOMPARE(ini.valueExists(section, key), expected != QLatin1String("<def>"));
    }

    void valueLengthLimit_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("expected");
        QTest::newRow("2046") << 2046 << 2046;
        QTest::newRow("2047") << 2047 << 2047;
        QTest::newRow("2048") << 2048 << 2047;
        QTest::newRow("one megabyte line") << 1024 * 1024 << 2047;
    }

    void valueLengthLimit() {
        QFETCH(int, length);
        QFETCH(int, expected);
        QByteArray value(length, 'v');
        value[0] = 'a';
        writeRaw(path(), "[S]\r\nk=" + value + "\r\nafter=1\r\n");
        IniFile ini(path());
        const QString got = ini.readString("S", "k", {});
        QCOMPARE(got.size(), expected);
        QCOMPARE(got.at(0), QLatin1Char('a'));
        QCOMPARE(ini.readInteger("S", "after", 0), 1);
    }

    void valueLimitKeepsSurrogatePairsWhole() {
        // 2046 ASCII characters, then one character outside the BMP (two UTF-16 units).
        writeRaw(path(), "[S]\nk=" + QByteArray(2046, 'x') + "\xf0\x9f\x93\xb7" + "\n");
        const QString got = IniFile(path()).readString("S", "k", {});
        QCOMPARE(got.size(), 2046);
        QVERIFY(!got.back().isSurrogate());
    }

    void readIntegerAndBool_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << "15" << 15;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("hex zero") << "0x0" << 0;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("plus sign") << "+7" << 7;
        QTest::newRow("0x hex") << "0x1F" << 31;
        QTest::newRow("0X hex") << "0X1f" << 31;
        QTest::newRow("dollar hex") << "$10" << 16;
        QTest::newRow("hex uses all 32 bits") << "0xFFFFFFFF" << -1;
        QTest::newRow("int max") << "2147483647" << 2147483647;
        QTest::newRow("int min") << "-2147483648" << int(-2147483647 - 1);
        QTest::newRow("decimal overflow") << "2147483648" << -99;
        QTest::newRow("hex overflow") << "0x100000000" << -99;
        QTest::newRow("huge") << "99999999999999999999999" << -99;
        QTest::newRow("trailing garbage") << "12abc" << -99;
        QTest::newRow("inner blank") << "1 2" << -99;
        QTest::newRow("word") << "true" << -99;
        QTest::newRow("empty") << "" << -99;
        QTest::newRow("prefix only") << "0x" << -99;
        QTest::newRow("sign only") << "-" << -99;
        QTest::newRow("float") << "1.5" << -99;
        QTest::newRow("surrounding blanks are trimmed") << "  42  " << 42;
    }

    void readIntegerAndBool() {
        QFETCH(QString, text);
        QFETCH(int, expected);
        writeRaw(path(), "[S]\nk=" + text.toUtf8() + "\n");
        IniFile ini(path());
        QCOMPARE(ini.readInteger("S", "k", -99), expected);
        // A flag is an integer, true unless zero; text that is no integer gives the default.
        QCOMPARE(ini.readBool("S", "k", false), expected != 0 && expected != -99);
        QCOMPARE(ini.readBool("S", "k", true), expected != 0);
    }

    void unusableFileGivesDefaults_data() {
        QTest::addColumn<QString>("what");
        QTest::newRow("missing") << "missing";
        QTest::newRow("folder in place of the file") << "folder";
        QTest::newRow("FIFO, which must not block") << "fifo";
        QTest::newRow("too large to be ours") << "huge";
    }

    void unusableFileGivesDefaults() {
        QFETCH(QString, what);
        if (what == "folder") QVERIFY(QDir(dir_->path()).mkdir("Ostrel.sif"));
        if (what == "fifo") QVERIFY(::mkfifo(QFile::encodeName(path()).constData(), 0600) == 0);
        if (what == "huge") writeRaw(path(), "[S]\r\nk=1\r\n" + QByteArray(5 * 1024 * 1024, '\n'));
        IniFile ini(path());
        if (what == "missing" || what == "folder") QVERIFY(!ini.exists());
        QCOMPARE(ini.readString("S", "k", "d"), QStringLiteral("d"));
        QCOMPARE(ini.readInteger("S", "k", 7), 7);
        QCOMPARE(ini.readBool("S", "k", true), true);
        QVERIFY(!ini.sectionExists("S"));
        QVERIFY(!ini.valueExists("S", "k"));
    }

    void write_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        const auto row = [](const char* name, const QByteArray& before, const char* section,
                            const char* key, const char* value, const QByteArray& after) {
            QTest::newRow(name) << before << QString(section) << QString(key) << QString(value)
                                << after;
        };
        row("new file", QByteArray(), "Driver", "index", "2", "[Driver]\r\nindex=2\r\n");
        row("new section goes to the end", "[A]\r\nx=1\r\n", "B", "y", "2",
            "[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
        row("new key after the last key of its section",
            "[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\nz=3\r\n", "a", "y", "2",
            "[A]\r\nx=1\r\ny=2\r\n\r\n; about B\r\n[B]\r\nz=3\r\n");
        row("new key in an empty section", "[A]\r\n[B]\r\n", "A", "k", "v",
            "[A]\r\nk=v\r\n[B]\r\n");
        row("update keeps the file's spelling and the other lines",
            "; settings\r\n[Other Settings]\r\n  LogErrors = 1 \r\nCamera=Door\r\n",
            "other settings", "logerrors", "0",
            "; settings\r\n[Other Settings]\r\nLogErrors=0\r\nCamera=Door\r\n");
        row("update touches the first duplicate only", "[S]\r\nk=1\r\nk=2\r\n[S]\r\nk=3\r\n", "S",
            "k", "9", "[S]\r\nk=9\r\nk=2\r\n[S]\r\nk=3\r\n");
        row("line ends become CRLF, no final newline fixed", "[A]\nx=1\ry=2", "A", "x", "5",
            "[A]\r\nx=5\r\ny=2\r\n");
        row("stray keys before sections stay", "k=stray\r\n", "S", "k", "v",
            "k=stray\r\n[S]\r\nk=v\r\n");
        row("foreign bytes survive", bytes("\xff\x00\x01\r\n[S]\r\nk=1\r\n"), "S", "k", "2",
            bytes("\xff\x00\x01\r\n[S]\r\nk=2\r\n"));
        row("line breaks in a value cannot inject lines", QByteArray(), "FTP Settings", "Password",
            "a\r\n[Driver]\nindex=9", "[FTP Settings]\r\nPassword=a  [Driver] index=9\r\n");
    }

    void write() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        if (!before.isEmpty()) writeRaw(path(), before);
        IniFile ini(path());
        ini.writeString(section, key, value);
        QCOMPARE(readAll(path()), after);
    }

    void writeTypes() {
        IniFile ini(path());
        ini.writeBool("P", "on", true);
        ini.writeBool("P", "off", false);
        ini.writeInteger("P", "n", -42);
        ini.writeString("P", "s", "  padded  ");
        QCOMPARE(readAll(path()), QByteArray("[P]\r\non=1\r\noff=0\r\nn=-42\r\ns=  padded  \r\n"));
        QCOMPARE(ini.readBool("P", "on", false), true);
        QCOMPARE(ini.readBool("P", "off", true), false);
        QCOMPARE(ini.readInteger("P", "n", 0), -42);
        // Surrounding blanks are not part of a value.
        QCOMPARE(ini.readString("P", "s", {}), QStringLiteral("padded"));
        // Text written by a dialog, read as a number by the main window.
        ini.writeString("FTP Settings", "FTP_Timeout", "30");
        QCOMPARE(ini.readInteger("FTP Settings", "FTP_Timeout", 15), 30);
        QVERIFY(ini.sectionExists("ftp settings"));
    }

    void ownerOnlyMode() {
        IniFile ini(path(), IniFile::Access::OwnerOnly);
        ini.writeString("FTP Settings", "Password", "secret");
        QCOMPARE(modeOf(path()), mode_t(0600));

        // A file left readable by others from an older version is tightened.
        QVERIFY(::chmod(QFile::encodeName(path()).constData(), 0644) == 0);
        ini.writeString("FTP Settings", "Password", "other");
        QCOMPARE(modeOf(path()), mode_t(0600));
    }

    void normalAccessKeepsMode() {
        writeRaw(path(), "[S]\r\n");
        QVERIFY(::chmod(QFile::encodeName(path()).constData(), 0640) == 0);
        IniFile(path()).writeInteger("S", "k", 1);
        QCOMPARE(modeOf(path()), mode_t(0640));
    }

    void writeThroughSymlinkKeepsLink() {
        const QString real = path("real.sif");
        writeRaw(real, "[S]\r\nk=1\r\n");
        QVERIFY(QFile::link(real, path()));
        IniFile(path()).writeInteger("S", "k", 2);
        QVERIFY(QFileInfo(path()).isSymLink());
        QCOMPARE(readAll(real), QByteArray("[S]\r\nk=2\r\n"));
    }

    void writeFailures_data() {
        QTest::addColumn<QString>("setup");
        QTest::newRow("folder is a file") << "notdir";
        QTest::newRow("file is a folder") << "isdir";
        QTest::newRow("read-only file") << "readonly";
        QTest::newRow("folder missing") << "missing";
        QTest::newRow("file too large to be ours") << "huge";
        QTest::newRow("unreadable file") << "unreadable";
    }

    void writeFailures() {
        QFETCH(QString, setup);
        QString target = path();
        QByteArray original = "[S]\r\nk=1\r\n";
        if (setup == "notdir") {
            writeRaw(path("plain"), "x");
            target = path("plain") + "/Ostrel.sif";
            original.clear();
        } else if (setup == "isdir") {
            QVERIFY(QDir(dir_->path()).mkdir("Ostrel.sif"));
            original.clear();
        } else if (setup == "missing") {
            target = path("no/such/folder/Ostrel.sif");
            original.clear();
        } else {
            if (setup == "huge") original += QByteArray(5 * 1024 * 1024, 'x');
            writeRaw(target, original);
            if (setup == "readonly")
                QVERIFY(::chmod(QFile::encodeName(target).constData(), 0444) == 0);
            if (setup == "unreadable") {
                QVERIFY(::chmod(QFile::encodeName(target).constData(), 0200) == 0);
                if (::geteuid() == 0) QSKIP("root reads every file");
            }
        }
        IniFile ini(target);
        try {
            ini.writeString("S", "k", "2");
            QFAIL("no exception");
        } catch (const EIniFileException& e) {
            QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + target);
        }
        if (!original.isEmpty()) {
            ::chmod(QFile::encodeName(target).constData(), 0600);
            QCOMPARE(readAll(target), original);
        }
        QCOMPARE(QDir(dir_->path()).entryList(QStringList{".*tmp"}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    void replacementLeavesNoTemporaryFiles() {
        IniFile ini(path());
        for (int i = 0; i < 20; ++i)
            ini.writeInteger("S", QStringLiteral("k%1").arg(i % 5), i);
        QCOMPARE(
            QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"Ostrel.sif"});
        QCOMPARE(ini.readInteger("S", "k4", 0), 19);
    }

    void garbageFilesSurviveReadAndWrite() {
        auto* rng = QRandomGenerator::global();
        const QStringList sections{"S", "Motion Detection", "", "x"};
        for (int round = 0; round < 200; ++round) {
            QByteArray data(int(rng->bounded(4096)), '\0');
            for (char& c : data) {
                // Mostly structure characters, so lines, sections and keys do appear.
                static const char alphabet[] = "[]=;\r\n \tSkxM\x00\xff\x80";
                c = rng->bounded(3) == 0 ? char(rng->bounded(256))
                                         : alphabet[rng->bounded(int(sizeof alphabet) - 1)];
            }
            writeRaw(path(), data);
            IniFile ini(path());
            for (const QString& s : sections) {
                ini.readString(s, "k", {});
                ini.readInteger(s, "x", 0);
                ini.readBool(s, "S", false);
            }
            const QString value = QStringLiteral("round %1").arg(round);
            ini.writeString("S", "k", value);
            QCOMPARE(ini.readString("S", "k", {}), value);
        }
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
