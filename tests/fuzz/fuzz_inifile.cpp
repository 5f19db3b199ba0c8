// libFuzzer target for IniFile: arbitrary bytes as a settings file. Reads must not crash,
// and a write must read back as written while leaving every other value as it was.
#include "platform/IniFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace ostrel;

namespace {

QString trimmedBlanks(const QString& s) {
    auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f'; };
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

// What reading back a written value must give: line breaks become blanks, surrounding
// blanks go, and at most MaxValueLength units remain without splitting a surrogate pair.
QString expectedReadBack(QString v) {
    v.replace(u'\r', u' ');
    v.replace(u'\n', u' ');
    v = trimmedBlanks(v);
    if (v.size() > IniFile::MaxValueLength) {
        qsizetype n = IniFile::MaxValueLength;
        if (v[n - 1].isHighSurrogate()) --n;
        v.truncate(n);
    }
    return v;
}

[[noreturn]] void failure(const char* what, const QString& detail) {
    std::fprintf(stderr, "fuzz_inifile: %s: %s\n", what, qPrintable(detail.left(200)));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("fuzz.sif"));

    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
        f.write(bytes);
    }

    // Names to look up: fixed ones the program uses, plus a few cut from the input so the
    // fuzzer can steer lookups onto sections and keys it has built.
    QStringList sections{QStringLiteral("Motion Detection"), QStringLiteral("FTP Settings"),
                         QStringLiteral("S"), QString()};
    QStringList keys{QStringLiteral("Treshold"), QStringLiteral("Password"), QStringLiteral("k"),
                     QString()};
    const QList<QByteArray> pieces = bytes.left(256).split('\n');
    for (qsizetype i = 0; i < pieces.size() && i < 4; ++i)
        (i % 2 ? keys : sections).append(QString::fromUtf8(pieces[i].left(32)));

    IniFile ini(path);
    const QString absent = QChar(1) + QStringLiteral("absent"); // no value reads as this
    const QString writeSection = QStringLiteral("FTP Settings");
    const QString writeKey = QStringLiteral("Password");
    QList<QString> before;
    for (const QString& s : sections) {
        ini.sectionExists(s);
        for (const QString& k : keys) {
            before.append(ini.readString(s, k, absent));
            ini.readInteger(s, k, -1);
            ini.readBool(s, k, true);
            ini.valueExists(s, k);
        }
    }

    // The value written is the tail of the input, decoded as text.
    const QString value = QString::fromUtf8(bytes.right(3000));
    try {
        ini.writeString(writeSection, writeKey, value);
    } catch (const EIniFileException& e) {
        failure("write failed", e.message());
    }
    const QString got = ini.readString(writeSection, writeKey, absent);
    if (got != expectedReadBack(value)) failure("value did not round-trip", got);

    qsizetype i = 0;
    for (const QString& s : sections) {
        for (const QString& k : keys) {
            const bool written = s.trimmed().compare(writeSection, Qt::CaseInsensitive) == 0 &&
                                 k.trimmed().compare(writeKey, Qt::CaseInsensitive) == 0;
            if (!written && ini.readString(s, k, absent) != before[i])
                failure("another value changed", s + QLatin1Char('/') + k);
            ++i;
        }
    }
    return 0;
}
