#pragma once
// Ports and local addresses as the user types them, turned into numbers without waiting on
// the network.
#include <QHostAddress>
#include <QString>
#include <optional>

namespace ostrel {

// A port number, or a service name from the services database; nullopt when it is neither.
std::optional<quint16> resolvePort(const QString& text, bool allowZero);
// The same, raising ESocketException with the socket error number the user is shown.
quint16 resolvePortOrRaise(const QString& text, bool allowZero);
// A dotted IPv4 address, or any address for an empty text; raises otherwise.
QHostAddress resolveLocalOrRaise(const QString& text);
// An IPv4 address mapped into IPv6 as the plain IPv4 address.
QHostAddress asIPv4(const QHostAddress& a);

} // namespace ostrel
