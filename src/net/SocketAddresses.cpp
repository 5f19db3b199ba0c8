#include "net/SocketAddresses.h"
#include "net/AsyncSocket.h"
#include "net/WinsockErrors.h"

#include <netdb.h>
#include <netinet/in.h>

namespace ostrel {

// /etc/services is a local file, so this never waits on the network; the two services
// the program uses are known even where the file is missing.
std::optional<quint16> resolvePort(const QString& text, bool allowZero) {
    const QString t = text.trimmed();
    bool numeric = false;
    const uint n = t.toUInt(&numeric);
    if (numeric) {
        if (n > 65535 || (n == 0 && !allowZero)) return std::nullopt;
        return quint16(n);
    }
    if (t.isEmpty()) return std::nullopt;
    const QByteArray name = t.toLatin1();
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (getservbyname_r(name.constData(), "tcp", &entry, buffer, sizeof buffer, &found) == 0 &&
        found)
        return quint16(ntohs(static_cast<uint16_t>(found->s_port)));
    if (t.compare(QLatin1String("ftp"), Qt::CaseInsensitive) == 0) return quint16(21);
    if (t.compare(QLatin1String("smtp"), Qt::CaseInsensitive) == 0) return quint16(25);
    return std::nullopt;
}

quint16 resolvePortOrRaise(const QString& text, bool allowZero) {
    if (auto p = resolvePort(text, allowZero)) return *p;
    bool numeric = false;
    text.trimmed().toUInt(&numeric);
    throw ESocketException(QStringLiteral("ResolvePort: Cannot convert port '%1', Error #%2")
                               .arg(text)
                               .arg(numeric ? wsa::InvalidArgument : wsa::NoData));
}

// Local addresses are dotted IPv4 addresses; a name here would need a blocking lookup.
QHostAddress resolveLocalOrRaise(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) return QHostAddress(QHostAddress::AnyIPv4);
    QHostAddress a;
    if (a.setAddress(t) && a.protocol() == QAbstractSocket::IPv4Protocol) return a;
    throw ESocketException(
        QStringLiteral("ResolveHost: Cannot convert host address '%1', Error #%2")
            .arg(text)
            .arg(wsa::InvalidArgument));
}

QHostAddress asIPv4(const QHostAddress& a) {
    bool ok = false;
    const quint32 v4 = a.toIPv4Address(&ok);
    return ok ? QHostAddress(v4) : a;
}

} // namespace ostrel
