#pragma once
// Socket errors carry the Windows Sockets numbers and texts the program has always shown
// ("Connection refused (Winsock error #10061)"); the errors Qt reports are mapped onto them.
#include <QAbstractSocket>
#include <QHostInfo>
#include <QString>

namespace ostrel {

namespace wsa {
constexpr int NoError = 0;
constexpr int Interrupted = 10004;
constexpr int AccessDenied = 10013;
constexpr int InvalidArgument = 10022;
constexpr int TooManyOpenFiles = 10024;
constexpr int WouldBlock = 10035;
constexpr int InProgress = 10036;
constexpr int MessageTooLong = 10040;
constexpr int ProtocolNotSupported = 10043;
constexpr int OperationNotSupported = 10045;
constexpr int AddressInUse = 10048;
constexpr int AddressNotAvailable = 10049;
constexpr int NetworkDown = 10050;
constexpr int NetworkUnreachable = 10051;
constexpr int ConnectionAborted = 10053;
constexpr int ConnectionReset = 10054;
constexpr int NoBufferSpace = 10055;
constexpr int NotConnected = 10057;
constexpr int TimedOut = 10060;
constexpr int ConnectionRefused = 10061;
constexpr int HostUnreachable = 10065;
constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004;
// Not Windows Sockets numbers: the ways a TLS handshake fails, numbered in a range Windows
// Sockets leaves unused so they travel the same error path as the socket errors.
constexpr int TlsHandshakeFailed = 10200;
constexpr int CertificateExpired = 10201;
constexpr int CertificateNotYetValid = 10202;
constexpr int CertificateWrongHost = 10203;
constexpr int CertificateSelfSigned = 10204;
constexpr int CertificateUnknownIssuer = 10205;
constexpr int CertificateUntrusted = 10206;
constexpr int CertificateNotPinned = 10207;
} // namespace wsa

// The text of a Windows Sockets error number ("Not a WinSock error" for unknown ones).
QString WSocketErrorDesc(int code);

// "<text> (Winsock error #<code>)", the tail of every socket failure message.
QString winsockErrorTail(int code);

// The Windows Sockets number for what a Qt socket reported. `errorString` refines the
// cases Qt folds into NetworkError (unreachable network or host, connect time-out).
int winsockErrorFromSocket(QAbstractSocket::SocketError error, const QString& errorString = {});
int winsockErrorFromLookup(QHostInfo::HostInfoError error);

} // namespace ostrel
