#include "net/TlsTrust.h"
#include "net/WinsockErrors.h"
#include "platform/Fingerprint.h"

#include <QSslCertificate>
#include <QSslSocket>
#include <utility>

namespace ostrel {

QString sha256Of(const QSslCertificate& certificate) {
    if (certificate.isNull()) return {};
    return fingerprintText(certificate.digest(QCryptographicHash::Sha256));
}

// The one reason a user is told, the most fundamental first.
int verificationError(const QList<QSslError>& errors) {
    constexpr std::pair<QSslError::SslError, int> reasons[] = {
        {QSslError::SelfSignedCertificate, wsa::CertificateSelfSigned},
        {QSslError::SelfSignedCertificateInChain, wsa::CertificateSelfSigned},
        {QSslError::UnableToGetLocalIssuerCertificate, wsa::CertificateUnknownIssuer},
        {QSslError::UnableToGetIssuerCertificate, wsa::CertificateUnknownIssuer},
        {QSslError::UnableToVerifyFirstCertificate, wsa::CertificateUnknownIssuer},
        {QSslError::CertificateExpired, wsa::CertificateExpired},
        {QSslError::CertificateNotYetValid, wsa::CertificateNotYetValid},
        {QSslError::HostNameMismatch, wsa::CertificateWrongHost},
    };
    for (const auto& [error, code] : reasons)
        for (const QSslError& e : errors)
            if (e.error() == error) return code;
    return wsa::CertificateUntrusted;
}

void TlsServer::incomingConnection(qintptr descriptor) {
    auto* socket = new QSslSocket(this);
    if (socket->setSocketDescriptor(descriptor))
        addPendingConnection(socket);
    else
        delete socket;
}

} // namespace ostrel
