#include "net/MailFormat.h"

#include <QFileInfo>
#include <QStringEncoder>

#include <algorithm>

namespace ostrel {

EFileNotFound::EFileNotFound(const QString& fileName)
    : Exception(QStringLiteral("File not found '%1'").arg(fileName)) {}

// ---- Base64 -------------------------------------------------------------------------------

namespace {

constexpr char base64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

inline char* encodeGroup(char* o, const uchar* p) {
    const quint32 v = (quint32(p[0]) << 16) | (quint32(p[1]) << 8) | p[2];
    o[0] = base64Alphabet[(v >> 18) & 63];
    o[1] = base64Alphabet[(v >> 12) & 63];
    o[2] = base64Alphabet[(v >> 6) & 63];
    o[3] = base64Alphabet[v & 63];
    return o + 4;
}

} // namespace

void appendBase64Lines(QByteArray& out, QByteArrayView data) {
    const qsizetype n = data.size();
    if (n == 0) return;
    const qsizetype lines = n / base64LineInput;
    const qsizetype rest = n % base64LineInput;
    const qsizetype size = lines * 78 + (rest ? (rest + 2) / 3 * 4 + 2 : 0);
    const qsizetype start = out.size();
    out.resize(start + size);
    char* o = out.data() + start;
    const auto* p = reinterpret_cast<const uchar*>(data.data());
    for (qsizetype l = 0; l < lines; ++l) {
        for (int g = 0; g < 19; ++g, p += 3)
            o = encodeGroup(o, p);
        *o++ = '\r';
        *o++ = '\n';
    }
    if (rest) {
        const uchar* end = p + rest;
        for (; end - p >= 3; p += 3)
            o = encodeGroup(o, p);
        if (end - p > 0) {
            const uchar tail[3] = {p[0], end - p > 1 ? p[1] : uchar(0), 0};
            encodeGroup(o, tail);
            if (end - p == 1) o[2] = '=';
            o[3] = '=';
            o += 4;
        }
        *o++ = '\r';
        *o++ = '\n';
    }
}

QByteArray base64Lines(QByteArrayView data) {
    QByteArray out;
    appendBase64Lines(out, data);
    return out;
}

// ---- header pieces ------------------------------------------------------------------------

QByteArray mailDate(const QDateTime& moment) {
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDateTime utc = moment.toUTC();
    const QDate d = utc.date();
    const QTime t = utc.time();
    return QString::asprintf("%s, %d %s %4d %02d:%02d:%02d GMT", days[d.dayOfWeek() - 1], d.day(),
                             months[d.month() - 1], d.year(), t.hour(), t.minute(), t.second())
        .toLatin1();
}

QString mimeBoundary(const QDateTime& localTime) {
    return QStringLiteral("= Multipart Boundary ") +
           localTime.toLocalTime().toString(QStringLiteral("MMddyyhhmm"));
}

QString singleLineHeaderValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    bool inControl = false;
    for (const QChar c : value) {
        const bool control = (c.unicode() < 0x20 && c != QLatin1Char('\t')) ||
                             c.unicode() == 0x7f || c == QChar::LineSeparator ||
                             c == QChar::ParagraphSeparator;
        if (control) {
            if (!inControl) out += QLatin1Char(' ');
            inControl = true;
            continue;
        }
        inControl = false;
        out += c;
    }
    return out;
}

QByteArray envelopeCommand(QByteArrayView verb, const QString& address) {
    QString a = address;
    a.remove(QLatin1Char('\r'));
    a.remove(QLatin1Char('\n'));
    a.remove(QChar(0));
    QByteArray line = verb.toByteArray();
    if (a.contains(QLatin1Char('<')) && a.contains(QLatin1Char('>')))
        line += a.toUtf8();
    else
        line += '<' + a.trimmed().toUtf8() + '>';
    return line;
}

QByteArray encodeText(const QString& text, const QString& charSet) {
    const QByteArray name = charSet.trimmed().toLatin1();
    if (!name.isEmpty() && name.compare("iso-8859-1", Qt::CaseInsensitive) != 0) {
        QStringEncoder encoder(name.constData());
        if (encoder.isValid()) return encoder.encode(text);
    }
    return text.toLatin1(); // characters outside ISO 8859-1 become '?'
}

namespace {

bool isAscii(const QString& s) {
    for (const QChar c : s)
        if (c.unicode() > 0x7e) return false;
    return true;
}

// RFC 2047 encoded words ("=?charset?Q?...?=") for a header text that is not plain ASCII,
// folded so that no line passes 76 characters; the first line already holds `indent`.
QByteArray encodedWords(const QString& text, const QString& charSet, qsizetype indent) {
    const QByteArray prefix = "=?" + charSet.trimmed().toLatin1() + "?Q?";
    QByteArray out;
    QByteArray word;
    qsizetype room = 76 - indent;
    const auto flush = [&] {
        if (word.isEmpty()) return;
        if (!out.isEmpty()) out += "\r\n ";
        out += prefix + word + "?=";
        word.clear();
        room = 76 - 1; // continuation lines start with one blank
    };
    // Whole characters per word, so a multi-byte character is never split.
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype len = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QByteArray bytes = encodeText(text.mid(i, len), charSet);
        i += len - 1;
        QByteArray piece;
        for (const char ch : bytes) {
            const auto c = uchar(ch);
            if (c == ' ')
                piece += '_';
            else if (c > 32 && c < 127 && c != '=' && c != '?' && c != '_')
                piece += char(c);
            else
                piece += '=' + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
        }
        if (prefix.size() + word.size() + piece.size() + 2 > std::min<qsizetype>(room, 75)) flush();
        word += piece;
    }
    flush();
    return out;
}

QByteArray headerLine(const char* name, const QString& value, const QString& charSet) {
    return QByteArray(name) + encodeText(singleLineHeaderValue(value), charSet) + "\r\n";
}

// A file name as a quoted-string parameter: the name only (no folders of the sender's
// disk), on one line, with quotes and backslashes escaped.
QByteArray quotedFileName(const QString& path, const QString& charSet) {
    QByteArray out = "\"";
    for (const char c : encodeText(singleLineHeaderValue(QFileInfo(path).fileName()), charSet)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

bool hasEightBit(const QByteArray& bytes) {
    for (const char c : bytes)
        if (uchar(c) > 127) return true;
    return false;
}

QByteArray textContentType(const QString& charSet) {
    return "Content-Type: text/plain; charset=\"" + charSet.toLatin1() + "\"\r\n";
}

} // namespace

QByteArray mailHeader(const MailHeaderFields& f, const QString& charSet, const QString& boundary,
                      const QDateTime& now, bool eightBitText) {
    QByteArray h;
    const auto optional = [&](const char* name, const QString& value) {
        if (!value.trimmed().isEmpty()) h += headerLine(name, value, charSet);
    };
    optional("Reply-To: ", f.replyTo);
    optional("Return-Path: ", f.returnPath);
    optional("From: ", f.from);
    optional("To: ", f.to);
    optional("Cc: ", f.cc);
    const QString subject = singleLineHeaderValue(f.subject);
    if (isAscii(subject))
        h += "Subject: " + subject.toLatin1() + "\r\n";
    else
        h += "Subject: " + encodedWords(subject, charSet, 9) + "\r\n";
    if (!f.sender.trimmed().isEmpty())
        h += headerLine("Sender: ", f.sender, charSet);
    else if (!f.from.trimmed().isEmpty())
        h += headerLine("Sender: ", f.from, charSet);
    h += "Mime-Version: 1.0\r\n";
    if (boundary.isEmpty()) {
        h += textContentType(charSet);
        if (eightBitText) h += "Content-Transfer-Encoding: 8bit\r\n";
    } else {
        h += "Content-Type: multipart/mixed;\r\n\tboundary=\"" + boundary.toLatin1() + "\"\r\n";
    }
    h += "Date: " + mailDate(now) + "\r\n";
    h += "X-Mailer: Ostrel SMTP Client V2.32\r\n";
    h += "\r\n";
    return h;
}

QByteArray bodyText(const QStringList& lines, const QString& charSet) {
    QByteArray out;
    for (const QString& entry : lines) {
        // CR LF, CR or LF inside an entry: each piece is a line of its own.
        QString normalized = entry;
        normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        for (const QString& line : normalized.split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1Char('.'))) out += '.';
            out += encodeText(line, charSet);
            out += "\r\n";
        }
    }
    return out;
}

// ---- composer -----------------------------------------------------------------------------

namespace {
// 1152 lines of Base64 per piece: about 85 KiB out of 64 KiB of file.
constexpr qint64 attachmentPiece = base64LineInput * 1152;
} // namespace

MailComposer::MailComposer(const MailContent& content, const QDateTime& now)
    : content_(content), now_(now) {
    for (const QString& name : content_.attachments) {
        auto file = std::make_unique<QFile>(name);
        if (!file->open(QIODevice::ReadOnly)) throw EFileNotFound(name);
        files_.push_back(std::move(file));
    }
    if (!files_.empty()) boundary_ = mimeBoundary(now_);
}

MailComposer::~MailComposer() = default;

QByteArray MailComposer::partHead(qsizetype index) const {
    const QString& name = content_.attachments[index];
    const QByteArray quoted = quotedFileName(name, content_.charSet);
    return "--" + boundary_.toLatin1() + "\r\n" +
           "Content-Type: application/octet-stream;\r\n"
           "\tname=" +
           quoted +
           "\r\n"
           "Content-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment;\r\n"
           "\tfilename=" +
           quoted + "\r\n\r\n";
}

QByteArray MailComposer::next() {
    switch (stage_) {
    case Stage::Head: {
        const QByteArray text = bodyText(content_.body, content_.charSet);
        const bool eightBit = hasEightBit(text);
        QByteArray out = mailHeader(content_.header, content_.charSet, boundary_, now_, eightBit);
        if (files_.empty()) {
            out += text;
            out += ".\r\n";
            stage_ = Stage::Done;
            return out;
        }
        out += "This is a multipart MIME message.\r\n";
        out += "--" + boundary_.toLatin1() + "\r\n";
        out += textContentType(content_.charSet);
        out += eightBit ? "Content-Transfer-Encoding: 8bit\r\n"
                        : "Content-Transfer-Encoding: 7bit\r\n";
        out += "\r\n";
        out += text;
        // A delimiter takes the line break before it; this empty line keeps the text's own.
        out += "\r\n";
        stage_ = Stage::PartHead;
        part_ = 0;
        return out;
    }
    case Stage::PartHead:
        stage_ = Stage::PartBody;
        return partHead(part_);
    case Stage::PartBody: {
        QFile& file = *files_[size_t(part_)];
        const QByteArray data = file.read(attachmentPiece);
        if (data.isEmpty() && !file.atEnd())
            throw Exception(QStringLiteral("Unable to read attachment '%1': %2")
                                .arg(content_.attachments[part_], file.errorString()));
        QByteArray out;
        appendBase64Lines(out, data);
        if (file.atEnd()) {
            out += "\r\n";
            files_[size_t(part_)].reset();
            ++part_;
            stage_ = part_ < qsizetype(files_.size()) ? Stage::PartHead : Stage::Closing;
        }
        return out;
    }
    case Stage::Closing:
        stage_ = Stage::Done;
        return "--" + boundary_.toLatin1() + "--\r\n.\r\n";
    case Stage::Done:
        break;
    }
    return {};
}

} // namespace ostrel
