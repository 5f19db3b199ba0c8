// The mail the client writes. The input past the share its first byte names (server bytes,
// which fuzz_ftpreply reads the same way) becomes header values, body lines and an address.
// Whatever the text, the mail must keep its shape: no value breaks out of its header line, no body
// line ends the data early, Base64 decodes to the input.
#include "net/MailFormat.h"

#include <QDateTime>
#include <cstdint>
#include <cstdlib>

using namespace ostrel;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

// Every line of `text` ends with CR LF, and neither CR nor LF occurs alone.
void crlfOnly(const QByteArray& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') check(i + 1 < text.size() && text[i + 1] == '\n');
        if (text[i] == '\n') check(i > 0 && text[i - 1] == '\r');
    }
    check(text.isEmpty() || text.endsWith("\r\n"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const qsizetype cut = input.isEmpty() ? 0 : uchar(input[0]) * qsizetype(input.size()) / 256;
    const QString text = QString::fromUtf8(input.mid(cut));

    const QStringList parts = text.split(QChar(0x1e));
    MailHeaderFields f;
    f.subject = parts.value(0);
    f.from = parts.value(1);
    f.to = parts.value(2);
    f.sender = parts.value(3);
    const QString charSet =
        parts.size() > 4 ? QStringLiteral("utf-8") : QStringLiteral("iso-8859-1");
    const QDateTime now(QDate(2024, 2, 5), QTime(13, 4, 5), Qt::UTC);
    const QByteArray header = mailHeader(f, charSet, QString(), now, false);
    crlfOnly(header);
    check(header.endsWith("\r\n\r\n"));
    check(header.count("\r\n\r\n") == 1); // no value ends the header early
    for (const QByteArray& l : header.split('\n')) {
        if (l.isEmpty() || l == "\r") continue;
        // A header line names its field, or continues an encoded subject with a blank.
        check(l.startsWith(' ') || l.indexOf(": ") > 0);
        for (const char* name : {"Bcc:", "Cc:", "Reply-To:", "Return-Path:"})
            check(!l.startsWith(name));
    }

    const QByteArray body = bodyText(text.split(QChar(0x1f)), charSet);
    crlfOnly(body);
    check(!body.startsWith(".\r\n") && !body.contains("\r\n.\r\n"));

    const QByteArray command = envelopeCommand("MAIL FROM:", parts.value(1));
    check(!command.contains('\r') && !command.contains('\n'));

    const QByteArray encoded = base64Lines(input);
    crlfOnly(encoded);
    for (const QByteArray& l : encoded.split('\n'))
        check(l.size() <= 77);
    check(QByteArray::fromBase64(QByteArray(encoded).replace("\r\n", "")) == input);
    return 0;
}
