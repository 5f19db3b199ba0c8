#pragma once
// What a TLS connection's certificate is judged by: its SHA-256 fingerprint as the user
// pins it, and the one reason a refusal is told by.
#include <QList>
#include <QSslError>
#include <QString>
#include <QTcpServer>

class QSslCertificate;

namespace ostrel {

QString sha256Of(const QSslCertificate& certificate);
// The socket error number (10200 and up) for a failed verification.
int verificationError(const QList<QSslError>& errors);

// Hands out every accepted connection as a QSslSocket, plain until its owner starts a
// handshake.
class TlsServer : public QTcpServer {
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr descriptor) override;
};

} // namespace ostrel
