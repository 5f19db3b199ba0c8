#include "platform/Fingerprint.h"

namespace ostrel {

QString fingerprintText(const QByteArray& sha256) {
    return QString::fromLatin1(sha256.toHex(':').toUpper());
}

QString normalizedFingerprint(const QString& text) {
    QString hex = text.mid(text.lastIndexOf(u'=') + 1).toLower();
    hex.removeIf([](QChar c) { return c == u':' || c.isSpace(); });
    return hex;
}

bool fingerprintMatches(const QString& trusted, const QString& shown) {
    const QString pin = normalizedFingerprint(trusted);
    return !pin.isEmpty() && pin == normalizedFingerprint(shown);
}

} // namespace ostrel
