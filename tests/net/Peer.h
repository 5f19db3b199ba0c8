#pragma once
// The real servers of tests/peers, started with Debian's /usr/bin/python3 on 127.0.0.1.
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace ostrel::test {

// One server process; it chooses a free port and prints it. The process goes when this
// object does (its stdin is closed, which ends it, and it is killed if it lingers).
class PeerServer {
public:
    PeerServer(const QString& script, const QStringList& arguments);
    ~PeerServer();
    PeerServer(const PeerServer&) = delete;
    PeerServer& operator=(const PeerServer&) = delete;

    // Starts it and waits for its port; false (with the reason in error()) when it fails.
    bool start();
    quint16 port() const { return port_; }
    QString error() const { return error_; }

private:
    QString script_;
    QStringList arguments_;
    QProcess process_;
    quint16 port_ = 0;
    QString error_;
};

// tests/peers/<name> in the source tree (OSTREL_SOURCE_DIR).
QString peerScript(const QString& name);

// Makes a self-signed certificate for `host` (localhost also names 127.0.0.1) as cert.pem
// and key.pem in `folder` and returns its fingerprint as openssl prints it ("sha256
// Fingerprint=AB:..."), empty on failure; tests/peers/make_ca.py makes it.
QString makeCertificate(const QString& folder, const QString& host = QStringLiteral("localhost"));

// A mail file as tests/peers/read_mail.py reads it (subject, from, to, sender, date, text,
// attachments, defects, envelope); empty on failure.
QJsonObject readMail(const QString& path);

} // namespace ostrel::test
