#include "capture/CameraTls.h"
#include "platform/Fingerprint.h"

#include <QDir>
#include <QEventLoop>
#include <QSslCertificate>
#include <QSslSocket>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

namespace ostrel {

namespace {

constexpr quint16 HttpsPort = 443;
constexpr int PollMs = 50;

// The one reason a user is told, the most fundamental first.
QString reasonOf(const QList<QSslError>& errors) {
    constexpr std::pair<QSslError::SslError, const char*> reasons[] = {
        {QSslError::SelfSignedCertificate, "it is self-signed"},
        {QSslError::SelfSignedCertificateInChain, "it is self-signed"},
        {QSslError::UnableToGetLocalIssuerCertificate, "it was issued by an unknown authority"},
        {QSslError::UnableToGetIssuerCertificate, "it was issued by an unknown authority"},
        {QSslError::UnableToVerifyFirstCertificate, "it was issued by an unknown authority"},
        {QSslError::CertificateExpired, "it has expired"},
        {QSslError::CertificateNotYetValid, "it is not valid yet"},
        {QSslError::HostNameMismatch, "it is made out to another host name"},
    };
    for (const auto& [error, text] : reasons)
        for (const QSslError& e : errors)
            if (e.error() == error) return QString::fromLatin1(text);
    return errors.isEmpty() ? QStringLiteral("it failed verification")
                            : errors.first().errorString();
}

bool hasError(const QList<QSslError>& errors, QSslError::SslError wanted) {
    return std::any_of(errors.cbegin(), errors.cend(),
                       [wanted](const QSslError& e) { return e.error() == wanted; });
}

// A host name the certificate itself holds.
QString nameIn(const QSslCertificate& certificate) {
    const auto alternatives = certificate.subjectAlternativeNames();
    const QString name =
        alternatives.value(QSsl::DnsEntry, alternatives.value(QSsl::IpAddressEntry));
    return name.isEmpty() ? certificate.subjectInfo(QSslCertificate::CommonName).value(0) : name;
}

struct Shown {
    QSslCertificate certificate; // null when the handshake never got that far
    QList<QSslError> errors;     // empty: verified against the system's store and the host
};

Shown showCertificate(const QString& host, quint16 port, const std::function<bool()>& interrupted) {
    Shown shown;
    QEventLoop loop;
    QSslSocket socket;
    bool done = false;
    const auto end = [&] {
        done = true;
        loop.quit();
    };
    socket.setPeerVerifyName(host);
    QObject::connect(&socket, &QSslSocket::sslErrors, &loop, [&](const QList<QSslError>& errors) {
        shown.errors = errors;
        shown.certificate = socket.peerCertificate();
    });
    QObject::connect(&socket, &QSslSocket::encrypted, &loop, [&] {
        shown.certificate = socket.peerCertificate();
        end();
    });
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &loop, end);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (interrupted()) end();
    });
    poll.start(PollMs);
    socket.connectToHostEncrypted(host, port);
    if (!done) loop.exec();
    socket.abort();
    return shown;
}

} // namespace

bool isTlsAddress(const QString& url) {
    const QString scheme = QUrl(url).scheme().toLower();
    return scheme == QLatin1String("https") || scheme == QLatin1String("rtsps");
}

CameraTrust establishCameraTrust(const QString& url, const QString& trustedSha256,
                                 const std::function<bool()>& interrupted) {
    CameraTrust trust;
    const QUrl address(url);
    const QString scheme = address.scheme().toLower();
    if (scheme == QLatin1String("rtsps")) {
        trust.refusal = QStringLiteral("The certificate of an rtsps:// camera cannot be checked; "
                                       "use its https:// or rtsp:// address.");
        return trust;
    }
    if (scheme != QLatin1String("https")) return trust;
    trust.options.insert(QStringLiteral("tls_verify"), QStringLiteral("1"));

    const Shown shown =
        showCertificate(address.host(), quint16(address.port(HttpsPort)), interrupted);
    if (shown.certificate.isNull() && shown.errors.isEmpty()) return trust;
    const QString sha256 =
        shown.certificate.isNull()
            ? QString()
            : fingerprintText(shown.certificate.digest(QCryptographicHash::Sha256));
    if (!shown.errors.isEmpty()) {
        if (!fingerprintMatches(trustedSha256, sha256)) {
            trust.untrustedSha256 = sha256;
            trust.refusal = QStringLiteral("The camera's certificate is not trusted (%1).")
                                .arg(normalizedFingerprint(trustedSha256).isEmpty()
                                         ? reasonOf(shown.errors)
                                         : QStringLiteral("it does not match the trusted "
                                                          "fingerprint"));
            return trust;
        }
        // FFmpeg still checks the host name: it is given one the certificate holds.
        if (hasError(shown.errors, QSslError::HostNameMismatch))
            trust.options.insert(QStringLiteral("verifyhost"), nameIn(shown.certificate));
    }
    auto file = std::make_shared<QTemporaryFile>(QDir::tempPath() +
                                                 QStringLiteral("/ostrel-camera-XXXXXX.pem"));
    const QByteArray pem = shown.certificate.toPem();
    if (!file->open() || file->write(pem) != pem.size() || !file->flush()) {
        trust.refusal =
            QStringLiteral("The camera's certificate could not be kept for the connection (%1).")
                .arg(file->errorString());
        return trust;
    }
    trust.options.insert(QStringLiteral("ca_file"), file->fileName());
    trust.certificate = std::move(file);
    return trust;
}

} // namespace ostrel
