#pragma once
// The real servers of tests/peers, started with Debian's /usr/bin/python3 on 127.0.0.1.
#include <QProcess>
#include <QTest>
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
// Fingerprint=AB:..."), empty on failure.
QString makeCertificate(const QString& folder, const QString& host = QStringLiteral("localhost"));

// The FTP over TLS cases every caller of the client is tried with: both servers, explicit
// and implicit, passive and active.
inline void ftpTlsRows() {
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("passive");
    for (const char* peer : {"pyftpdlib", "ProFTPD"})
        for (const char* security : {"Explicit", "Implicit"})
            for (const bool passive : {true, false})
                QTest::addRow("%s, %s, %s", peer, security, passive ? "passive" : "active")
                    << QString(peer) << QString(security) << passive;
}

// The script of the FTP server a row of ftpTlsRows names.
inline QString ftpPeerScript(const QString& peer) {
    return peerScript(peer == QLatin1String("ProFTPD") ? QStringLiteral("proftpd_server.py")
                                                      : QStringLiteral("ftp_server.py"));
}

// Runs Python code with /usr/bin/python3 and returns what it printed; empty on failure.
QByteArray runPython(const QString& code, const QStringList& arguments);

} // namespace ostrel::test
