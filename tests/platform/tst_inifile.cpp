// IniFile: reading and writing settings files, including damaged and hostile ones.
#include "../common/FreshFolder.h"
#include "../net/NetTestUtil.h"
#include "platform/FileWrites.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sys/stat.h>
#include <sys/types.h>

using namespace ostrel;
using namespace ostrel::test;

namespace {

bool setMode(const QString& path, mode_t mode) {
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
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
    FreshFolder dir_;
    QString path(const QString& name = QStringLiteral("Ostrel.sif")) const {
        return dir_.dir.filePath(name);
    }

private slots:
    void init() { QVERIFY(dir_.renew()); }

    // The value of key "k" in section "S" (or the row's section); "<def>": there is none.
    // As a number it is `number`, -99 (the default asked for) when it is none.
    void readString_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("section");
        const auto row = [](const char* name, const QByteArray& file, const QString& expected,
                            int number = -99, const char* section = "S") {
            QTest::newRow(name) << file << expected << number << QString(section);
        };
        row("plain, no final newline", "[S]\r\nk=example.org", "example.org");
        row("names ignore case", "[s]\r\nK=v\r\n", "v");
        row("blanks around names and value", "  [ S ]  \r\n  k  =   Garage 2 \t\r\n", "Garage 2");
        row("value keeps inner equals", "[S]\nk=a=b=c\n", "a=b=c");
        row("empty value is a value", "[S]\nk=\n", "");
        row("missing section", "[T]\nk=1\n", "<def>");
        row("missing key, another section's key", "[S]\na=1\n[T]\nk=2\n", "<def>");
        row("first duplicate section wins", "[S]\nk=first\n[s]\nk=second\n", "first");
        row("later duplicate section is not consulted", "[S]\nx=1\n[s]\nk=second\n", "<def>");
        row("first duplicate key wins", "[S]\nk=1\nK=2\n", "1", 1);
        row("number", "[S]\nk = 0x1F \n", "0x1F", 31);
        row("keys before any section belong to none", "k=stray\n[S]\nx=1\n", "<def>");
        row("comment lines", "[S]\n;k=commented\n  ; k=also\nk=real\n", "real");
        row("header without closing bracket is no header", "[S]\n[Broken\nk=v\n", "v");
        row("bracket inside section name", "[a]b]\nk=v\n", "v", -99, "a]b");
        row("mixed line ends", "[T]\r\nk=t\r[S]\nk=v\r\n", "v");
        row("UTF-8 text", "[S]\nk=Caf\xc3\xa9\n", QString::fromUtf8("Caf\xc3\xa9"));
        row("binary bytes around", "\xff\xfe\x01\n[S]\n\x80\x81\nk=v\xff\n",
            QString::fromUtf8("v\xef\xbf\xbd"));
        row("NUL inside value", QByteArrayLiteral("[S]\nk=a\0b\n"), QString::fromUtf8("a\0b", 3));
        row("empty file", QByteArray(), "<def>");
    }

    void readString() {
        QFETCH(QByteArray, file);
        QFETCH(QString, expected);
        QFETCH(int, number);
        QFETCH(QString, section);
        QVERIFY(writeFile(path(), file));
        IniFile ini(path());
        QCOMPARE(ini.readString(section, "k", QStringLiteral("<def>")), expected);
        QCOMPARE(ini.valueExists(section, "k"), expected != QLatin1String("<def>"));
        // A flag is true unless its number is zero; a value that is no number gives the default.
        QCOMPARE(ini.readInteger(section, "k", -99), number);
        QCOMPARE(ini.readBool(section, "k", false), number != -99 && number != 0);
        QCOMPARE(ini.readBool(section, "k", true), number != 0);
    }

    // Values are cut to 2047 UTF-16 units, keeping their start and surrogate pairs whole.
    void valueLengthLimit_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("kept");
        QTest::newRow("2047") << QByteArray(2047, 'v') << 2047;
        QTest::newRow("2048") << QByteArray(2048, 'v') << 2047;
        QTest::newRow("one megabyte line") << QByteArray(1024 * 1024, 'v') << 2047;
        QTest::newRow("pair at the limit") << QByteArray(2046, 'v') + "\xf0\x9f\x93\xb7" << 2046;
    }

    void valueLengthLimit() {
        QFETCH(QByteArray, value);
        QFETCH(int, kept);
        value[0] = 'a';
        QVERIFY(writeFile(path(), "[S]\r\nk=" + value + "\r\nafter=1\r\n"));
        IniFile ini(path());
        QCOMPARE(ini.readString("S", "k", {}), QString::fromUtf8(value).left(kept));
        QCOMPARE(ini.readInteger("S", "after", 0), 1);
    }

    // The file after writing "k" in section "S" (value "2" unless the row says otherwise).
    void write_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("value");
        const auto row = [](const char* name, const QByteArray& before, const QByteArray& after,
                            const char* value = "2") {
            QTest::newRow(name) << before << after << QString(value);
        };
        row("new file", QByteArray(), "[S]\r\nk=2\r\n");
        row("new section goes to the end", "[A]\r\nx=1\r\n", "[A]\r\nx=1\r\n[S]\r\nk=2\r\n");
        row("new key after the last key of its section", "[s]\r\nx=1\r\n\r\n; B\r\n[B]\r\nz=3\r\n",
            "[s]\r\nx=1\r\nk=2\r\n\r\n; B\r\n[B]\r\nz=3\r\n");
        row("new key in an empty section", "[S]\r\n[B]\r\n", "[S]\r\nk=2\r\n[B]\r\n");
        row("update keeps the file's spelling and the other lines",
            "; settings\r\n[s]\r\n  K = 1 \r\nCamera=Door\r\n",
            "; settings\r\n[s]\r\nK=2\r\nCamera=Door\r\n");
        row("update touches the first duplicate only", "[S]\r\nk=1\r\nk=1\r\n[S]\r\nk=3\r\n",
            "[S]\r\nk=2\r\nk=1\r\n[S]\r\nk=3\r\n");
        row("line ends become CRLF, no final newline fixed", "[S]\nk=1\ry=2",
            "[S]\r\nk=2\r\ny=2\r\n");
        row("stray keys before sections stay", "k=stray\r\n", "k=stray\r\n[S]\r\nk=2\r\n");
        row("foreign bytes survive", QByteArrayLiteral("\xff\x00\x01\r\n[S]\r\nk=1\r\n"),
            QByteArrayLiteral("\xff\x00\x01\r\n[S]\r\nk=2\r\n"));
        row("line breaks in a value cannot inject lines", QByteArray(),
            "[S]\r\nk=a  [Driver] index=9\r\n", "a\r\n[Driver]\nindex=9");
    }

    void write() {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, value);
        if (!before.isEmpty()) QVERIFY(writeFile(path(), before));
        IniFile(path()).writeString("S", "k", value);
        QCOMPARE(readFile(path()), after);
        // Replaced atomically: no temporary file is left beside it.
        QCOMPARE(dir_.entries(), QStringList{"Ostrel.sif"});
    }

    void writeTypes() {
        IniFile ini(path());
        ini.writeBool("P", "on", true);
        ini.writeBool("P", "off", false);
        ini.writeInteger("P", "n", -42);
        QCOMPARE(readFile(path()), QByteArray("[P]\r\non=1\r\noff=0\r\nn=-42\r\n"));
        QVERIFY(ini.sectionExists("p"));
        QVERIFY(!ini.sectionExists("on"));
    }

    void fileMode() {
        // Ostrel.sif holds the FTP password: 0600, and tightened when an older version left
        // it readable by others.
        IniFile secret(path(), IniFile::Access::OwnerOnly);
        secret.writeString("FTP Settings", "Password", "secret");
        QCOMPARE(modeOf(path()), mode_t(0600));
        QVERIFY(setMode(path(), 0644));
        secret.writeString("FTP Settings", "Password", "other");
        QCOMPARE(modeOf(path()), mode_t(0600));
        // Other settings files keep their mode.
        QVERIFY(setMode(path(), 0640));
        IniFile(path()).writeInteger("S", "k", 1);
        QCOMPARE(modeOf(path()), mode_t(0640));
    }

    void writeThroughSymlinkKeepsLink() {
        const QString real = path("real.sif");
        QVERIFY(writeFile(real, "[S]\r\nk=1\r\n"));
        QVERIFY(QFile::link(real, path()));
        IniFile(path()).writeInteger("S", "k", 2);
        QVERIFY(QFileInfo(path()).isSymLink());
        QCOMPARE(readFile(real), QByteArray("[S]\r\nk=2\r\n"));
    }

    // Not a settings file we may use: reads give the defaults (and must not block), a write
    // raises and leaves whatever is there as it was. Row names are the set-ups.
    void unusableFile_data() {
        QTest::addColumn<bool>("readable");
        for (const char* what : {"folder in place of the file", "FIFO", "folder is a file",
                                 "folder missing", "too large to be ours", "unreadable"})
            QTest::newRow(what) << false;
        QTest::newRow("read-only") << true;
    }

    void unusableFile() {
        QFETCH(bool, readable);
        const QByteArray what = QTest::currentDataTag();
        QString target = path();
        QByteArray original = "[S]\r\nk=1\r\n";
        if (what == "folder in place of the file")
            QVERIFY(QDir(dir_.dir.path()).mkdir("Ostrel.sif"));
        if (what == "FIFO") QCOMPARE(::mkfifo(QFile::encodeName(target).constData(), 0600), 0);
        if (what == "folder is a file") QVERIFY(writeFile(path("plain"), "x"));
        if (what == "folder is a file") target = path("plain/Ostrel.sif");
        if (what == "folder missing") target = path("no/such/folder/Ostrel.sif");
        if (what == "too large to be ours") original += QByteArray(5 * 1024 * 1024, '\n');
        const bool file = what == "too large to be ours" || what == "unreadable" || readable;
        if (file) QVERIFY(writeFile(target, original));
        if (file) QVERIFY(setMode(target, what == "unreadable" ? 0200 : readable ? 0444 : 0600));
        if (what == "unreadable" && ::geteuid() == 0) QSKIP("root reads every file");
        IniFile ini(target);
        QCOMPARE(ini.exists(), file);
        QCOMPARE(ini.readString("S", "k", "d"),
                 readable ? QStringLiteral("1") : QStringLiteral("d"));
        QCOMPARE(ini.readBool("S", "k", false), readable);
        QCOMPARE(ini.sectionExists("S"), readable);
        QCOMPARE(ini.valueExists("S", "k"), readable);
        const QStringList entries = dir_.entries();
        try {
            ini.writeString("S", "k", "2");
            QFAIL("no exception");
        } catch (const EIniFileException& e) {
            QCOMPARE(e.message(), QStringLiteral("Unable to write to ") + target);
        }
        QCOMPARE(dir_.entries(), entries);
        if (file) QVERIFY(setMode(target, 0600));
        if (file) QCOMPARE(readFile(target), original);
    }

    // At start-up the leftovers of interrupted writes go, in the folder and one level down;
    // the user's files, even those that look alike, stay.
    void interruptedWritesRemoved() {
        const QStringList leftovers{".Ostrel.sif.0123abcd.tmp",
                                    "05-12-26_10.15.30/HostImagesList.lst.part03k9zab",
                                    "Server/.ostrel.html.deadbeef.tmp"};
        const QStringList kept{"Ostrel.sif",
                               "a.tmp",
                               ".x.0123abcd.tmp~",
                               ".x.0123ABCD.tmp",
                               "photo.part",
                               "video.part1",
                               "big.part1z141z4",
                               "Server/ostrel.html",
                               "a/b/.deep.0123abcd.tmp"};
        for (const QString& name : leftovers + kept) {
            QDir().mkpath(QFileInfo(path(name)).path());
            QVERIFY(writeFile(path(name), "x"));
        }
        QStringList removed = removeInterruptedWrites(dir_.dir.path());
        removed.replaceInStrings(dir_.dir.path() + "/", QString());
        removed.sort();
        QCOMPARE(removed, leftovers); // both sorted
        for (const QString& name : kept)
            QVERIFY2(QFile::exists(path(name)), qPrintable(name));
        // The writers' own names for their temporary files, which the sweep looks for.
        QCOMPARE(atomicWriteTempName("100%1.jpg", 0x000abcd5), ".100%1.jpg.000abcd5.tmp");
        QCOMPARE(downloadPartName("/p/a.jpg", 0), "/p/a.jpg.part0000000");
        QCOMPARE(downloadPartName("a.jpg", 0xffffffffu), "a.jpg.part1z141z3");
    }

    // An installed layout (the data files in ../share/ostrel, none beside the executable)
    // keeps its files in the data folder even where bin/ can be written (root); the folder
    // it makes there is its owner's alone, one the user made keeps its mode. A data folder
    // that cannot be made leaves no folder at all, and the error says which.
    void programFolderChoice() {
        QVERIFY(QDir().mkpath(path("prefix/bin")));
        QVERIFY(QDir().mkpath(path("prefix/share/ostrel/Server")));
        QVERIFY(writeFile(path("prefix/share/ostrel/Server/ostrel.html"), "page"));
        const FolderChoice installed = chooseProgramFolder(path("prefix/bin"), path("data"));
        QCOMPARE(installed.folder, path("data/ostrel/"));
        QCOMPARE(readFile(path("data/ostrel/Server/ostrel.html")), QByteArray("page"));
        QCOMPARE(modeOf(path("data/ostrel")), mode_t(0700));
        QVERIFY(QDir().mkpath(path("shared/ostrel")));
        QVERIFY(setMode(path("shared/ostrel"), 0755));
        QCOMPARE(chooseProgramFolder(path("prefix/bin"), path("shared")).folder,
                 path("shared/ostrel/"));
        QCOMPARE(modeOf(path("shared/ostrel")), mode_t(0755));

        QVERIFY(writeFile(path("file"), "x"));
        const FolderChoice none = chooseProgramFolder(QStringLiteral("/proc/"), path("file"));
        QVERIFY(none.folder.isEmpty());
        QVERIFY2(none.error.contains(path("file/ostrel/")), qPrintable(none.error));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
