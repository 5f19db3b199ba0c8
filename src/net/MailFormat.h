#pragma once
// The mail the SMTP client sends: envelope command lines, the header in its fixed order,
// the body with dot transparency, and attachments as multipart/mixed with Base64 parts.
// Plain code without sockets; the SMTP client streams what MailComposer produces.
#include "platform/Exception.h"
#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace ostrel {

// "File not found '<name>'": an attachment that does not exist or cannot be read.
class EFileNotFound : public Exception {
public:
    explicit EFileNotFound(const QString& fileName);
};

// Base64 (RFC 2045) in lines of 76 characters, each ended by CR LF; 57 input bytes make
// one full line, so input fed in multiples of 57 bytes can be encoded piece by piece.
constexpr qsizetype base64LineInput = 57;
void appendBase64Lines(QByteArray& out, QByteArrayView data);
QByteArray base64Lines(QByteArrayView data);

// "Mon, 5 Feb 2024 13:04:05 GMT": the moment in UTC with English day and month names.
QByteArray mailDate(const QDateTime& moment);
// "= Multipart Boundary " followed by the local time as month, day, year, hour, minute.
QString mimeBoundary(const QDateTime& localTime);

// "MAIL FROM:" / "RCPT TO:" lines: the address unchanged when it already holds "<" and
// ">", else trimmed and put in angle brackets. Line breaks never reach the command line.
QByteArray envelopeCommand(QByteArrayView verb, const QString& address);

// A header value on one line: every run of control characters (CR and LF above all)
// becomes one blank, so a value can never start a header line of its own.
QString singleLineHeaderValue(const QString& value);

struct MailHeaderFields {
    QString replyTo;
    QString returnPath;
    QString from;
    QString to;
    QString cc;
    QString subject;
    QString sender;
};

struct MailContent {
    MailHeaderFields header;
    QString charSet = QStringLiteral("iso-8859-1");
    QStringList body;        // lines
    QStringList attachments; // file names
};

// The header lines in their order, then the empty line. `boundary` empty: a single text
// part; `eightBitText`: the text holds bytes above 127 (declared as 8bit).
QByteArray mailHeader(const MailHeaderFields& fields, const QString& charSet,
                      const QString& boundary, const QDateTime& now, bool eightBitText);

// The body lines, each ended by CR LF; a line break inside an entry starts a new line, and
// a line beginning with "." gets another "." in front, so no text can end the data early.
QByteArray bodyText(const QStringList& lines, const QString& charSet);

// Text in the mail's character set (ISO 8859-1 unless another known one is named).
QByteArray encodeText(const QString& text, const QString& charSet);

// Produces the DATA stream of one mail piece by piece, ending with the "." line, so an
// attachment of any size goes out without being held in memory whole.
class MailComposer {
public:
    // Opens every attachment now; raises EFileNotFound for the first that cannot be read.
    MailComposer(const MailContent& content, const QDateTime& now);
    ~MailComposer();

    // The next piece; raises Exception when an attachment fails to read midway.
    QByteArray next();
    bool atEnd() const { return stage_ == Stage::Done; }

private:
    enum class Stage { Head, PartHead, PartBody, Closing, Done };
    QByteArray partHead(qsizetype index) const;

    MailContent content_;
    QString boundary_;
    std::vector<std::unique_ptr<QFile>> files_;
    QDateTime now_;
    Stage stage_ = Stage::Head;
    qsizetype part_ = 0;
};

} // namespace ostrel
