#include "platform/IniFile.h"
#include "platform/FileWrites.h"

#include <QByteArrayView>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace ostrel {

namespace {

// A settings file is a few kilobytes. Anything above this is not one of ours (or has been
// damaged): reads give the defaults and writes refuse to replace it, so neither a stray
// giant file costs memory and time on every one of the many reads at start-up, nor does a
// write silently throw away content that was never read.
constexpr qint64 MaxFileSize = 4 * 1024 * 1024;

enum class Load { Ok, Missing, Unusable };

// Reads a regular file whole. Never blocks on FIFOs or devices and never reads more than
// MaxFileSize + 1 bytes. `why` tells why a file is unusable.
Load loadFile(const QString& fileName, QByteArray* data, QString* why = nullptr) {
    data->clear();
    const auto unusable = [&](int fd, const QString& reason) {
        if (fd >= 0) ::close(fd);
        if (why) *why = reason;
        return Load::Unusable;
    };
    const QByteArray path = QFile::encodeName(fileName);
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? Load::Missing
                                                   : unusable(-1, qt_error_string(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0) return unusable(fd, qt_error_string(errno));
    if (!S_ISREG(st.st_mode)) return unusable(fd, QStringLiteral("not a regular file"));
    const QString tooLarge = QStringLiteral("larger than %1 MiB").arg(MaxFileSize >> 20);
    if (st.st_size > MaxFileSize) return unusable(fd, tooLarge);
    data->resize(static_cast<qsizetype>(st.st_size) + 1);
    qsizetype got = 0;
    while (got < data->size()) {
        const ssize_t n = ::read(fd, data->data() + got, static_cast<size_t>(data->size() - got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return unusable(fd, qt_error_string(errno));
        if (n == 0) break;
        got += n;
        if (got > MaxFileSize) return unusable(fd, tooLarge); // grew while we were reading
        if (got == data->size()) data->resize(qMin<qsizetype>(data->size() * 2, MaxFileSize + 1));
    }
    ::close(fd);
    data->resize(got);
    return Load::Ok;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

QByteArrayView trimBlanks(QByteArrayView v) {
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && isBlank(v[b]))
        ++b;
    while (e > b && isBlank(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

// Lines end with CRLF, LF or a lone CR; the last line needs no end.
template <typename F> void forEachLine(QByteArrayView data, F&& visit) {
    qsizetype start = 0;
    const qsizetype n = data.size();
    while (start < n) {
        qsizetype end = start;
        while (end < n && data[end] != '\n' && data[end] != '\r')
            ++end;
        if (!visit(data.sliced(start, end - start))) return;
        if (end < n && data[end] == '\r' && end + 1 < n && data[end + 1] == '\n') ++end;
        start = end + 1;
    }
}

struct Line {
    enum Kind { Other, Section, Key };
    Kind kind = Other;
    QByteArrayView name;  // section or key name, trimmed
    QByteArrayView value; // key value, trimmed
};

Line parseLine(QByteArrayView raw) {
    const QByteArrayView t = trimBlanks(raw);
    Line line;
    if (t.isEmpty() || t[0] == ';') return line;
    if (t[0] == '[') {
        // The name runs to the last ']' (so names holding ']' survive); without one the
        // line is neither a header nor a value.
        const qsizetype close = t.lastIndexOf(']');
        if (close > 0) {
            line.kind = Line::Section;
            line.name = trimBlanks(t.sliced(1, close - 1));
        }
        return line;
    }
    const qsizetype eq = t.indexOf('=');
    if (eq < 0) return line;
    line.kind = Line::Key;
    line.name = trimBlanks(t.first(eq));
    line.value = trimBlanks(t.sliced(eq + 1));
    return line;
}

bool sameName(QByteArrayView fileName, const QString& wanted) {
    return QString::fromLocal8Bit(fileName).compare(wanted, Qt::CaseInsensitive) == 0;
}

QString trimmedName(const QString& s) {
    qsizetype b = 0;
    qsizetype e = s.size();
    auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f'; };
    while (b < e && blank(s[b]))
        ++b;
    while (e > b && blank(s[e - 1]))
        --e;
    return s.sliced(b, e - b);
}

// The value of `key` in the first section called `section`. Later sections of the same
// name are not consulted, exactly as writes only ever touch the first one.
std::optional<QByteArrayView> findValue(QByteArrayView data, const QString& section,
                                        const QString& key) {
    const QString s = trimmedName(section);
    const QString k = trimmedName(key);
    std::optional<QByteArrayView> found;
    bool inSection = false;
    forEachLine(data, [&](QByteArrayView raw) {
        const Line line = parseLine(raw);
        if (line.kind == Line::Section) {
            if (inSection) return false; // the first matching section has ended
            inSection = sameName(line.name, s);
        } else if (line.kind == Line::Key && inSection && sameName(line.name, k)) {
            found = line.value;
            return false;
        }
        return true;
    });
    return found;
}

// Up to MaxValueLength UTF-16 units, never splitting a surrogate pair.
QString decodeValue(QByteArrayView bytes) {
    // Every byte decodes to at least one unit, and no character needs more than four
    // bytes, so this prefix always holds the first MaxValueLength characters.
    constexpr qsizetype MaxBytes = 4 * IniFile::MaxValueLength + 4;
    QString v = QString::fromLocal8Bit(bytes.first(qMin(bytes.size(), MaxBytes)));
    if (v.size() > IniFile::MaxValueLength) {
        qsizetype n = IniFile::MaxValueLength;
        if (v[n - 1].isHighSurrogate()) --n;
        v.truncate(n);
    }
    return v;
}

// Line breaks cannot live inside one line of the file; a value holding one would
// otherwise inject lines (even sections) of its own.
QByteArray encodeText(QString s) {
    s.replace(QLatin1Char('\r'), QLatin1Char(' '));
    s.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return s.toLocal8Bit();
}

QByteArray withValue(QByteArrayView data, const QString& section, const QString& key,
                     const QString& value) {
    QList<QByteArrayView> lines;
    forEachLine(data, [&](QByteArrayView raw) {
        lines.append(raw);
        return true;
    });

    const QString s = trimmedName(section);
    const QString k = trimmedName(key);
    const QByteArray encodedValue = encodeText(value);

    qsizetype header = -1;
    qsizetype end = lines.size();
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const Line line = parseLine(lines[i]);
        if (line.kind != Line::Section) continue;
        if (header >= 0) {
            end = i;
            break;
        }
        if (sameName(line.name, s)) header = i;
    }

    QByteArray replacement;
    qsizetype replaceAt = -1;
    qsizetype insertAt = -1;
    QList<QByteArray> appended;
    if (header < 0) {
        appended.append("[" + encodeText(s) + "]");
        appended.append(encodeText(k) + "=" + encodedValue);
    } else {
        qsizetype lastKey = header;
        for (qsizetype i = header + 1; i < end && replaceAt < 0; ++i) {
            const Line line = parseLine(lines[i]);
            if (line.kind != Line::Key) continue;
            lastKey = i;
            if (sameName(line.name, k)) {
                replaceAt = i;
                // Keep the name as the file spells it.
                replacement = line.name.toByteArray() + "=" + encodedValue;
            }
        }
        if (replaceAt < 0) {
            insertAt = lastKey + 1;
            replacement = encodeText(k) + "=" + encodedValue;
        }
    }

    QByteArray out;
    out.reserve(data.size() + replacement.size() + 64);
    auto put = [&out](QByteArrayView line) {
        out.append(line);
        out.append("\r\n");
    };
    for (qsizetype i = 0; i <= lines.size(); ++i) {
        if (i == insertAt) put(replacement);
        if (i == lines.size()) break;
        put(i == replaceAt ? QByteArrayView(replacement) : lines[i]);
    }
    for (const QByteArray& line : appended)
        put(line);
    return out;
}

} // namespace

IniFile::IniFile(QString fileName, Access access)
    : fileName_(std::move(fileName)), access_(access) {}

QString IniFile::problem() const {
    QByteArray data;
    QString why;
    if (loadFile(fileName_, &data, &why) != Load::Unusable) return {};
    return QStringLiteral("Settings file %1 cannot be read (%2): the defaults are used")
        .arg(fileName_, why);
}

bool IniFile::exists() const {
    return QFileInfo(fileName_).isFile();
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const {
    QByteArray data;
    if (loadFile(fileName_, &data) != Load::Ok) return def;
    const auto value = findValue(data, section, key);
    return value ? decodeValue(*value) : def;
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const {
    return strToIntDef(readString(section, key, QString()), def);
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value) {
    const QString failure = QStringLiteral("Unable to write to %1").arg(fileName_);
    QByteArray data;
    // A file that exists but cannot be read (or is far too large to be ours) is not
    // replaced by one holding only this key.
    if (loadFile(fileName_, &data) == Load::Unusable) throw EIniFileException(failure);
    const QByteArray out = withValue(data, section, key, value);
    if (!writeFileAtomically(fileName_, out, nullptr, access_ == Access::OwnerOnly))
        throw EIniFileException(failure);
}

void IniFile::writeInteger(const QString& section, const QString& key, int value) {
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value) {
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::sectionExists(const QString& section) const {
    QByteArray data;
    if (loadFile(fileName_, &data) != Load::Ok) return false;
    const QString s = trimmedName(section);
    bool found = false;
    forEachLine(data, [&](QByteArrayView raw) {
        const Line line = parseLine(raw);
        found = line.kind == Line::Section && sameName(line.name, s);
        return !found;
    });
    return found;
}

bool IniFile::valueExists(const QString& section, const QString& key) const {
    QByteArray data;
    if (loadFile(fileName_, &data) != Load::Ok) return false;
    return findValue(data, section, key).has_value();
}

} // namespace ostrel
