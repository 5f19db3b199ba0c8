#pragma once
// The two real FTP servers of tests/peers and the TLS cases every caller of the FTP client
// is tried with.
#include "Peer.h"
#include <QTest>

namespace ostrel::test {

// The FTP over TLS cases every caller of the client is tried with. The client's own table
// (tst_tls) holds both servers in every mode; a caller only hands over the account's
// security and mode, so each security and each mode comes once, on both servers.
inline void ftpTlsRows() {
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("security");
    QTest::addColumn<bool>("passive");
    const auto row = [](const char* peer, const char* security, bool passive) {
        QTest::addRow("%s, %s, %s", peer, security, passive ? "passive" : "active")
            << QString(peer) << QString(security) << passive;
    };
    row("pyftpdlib", "Explicit", true);
    row("ProFTPD", "Explicit", false);
    row("ProFTPD", "Implicit", true);
    row("pyftpdlib", "Implicit", false);
}

// The script of the FTP server a row of ftpTlsRows names.
inline QString ftpPeerScript(const QString& peer) {
    return peerScript(peer == QLatin1String("ProFTPD") ? QStringLiteral("proftpd_server.py")
                                                      : QStringLiteral("ftp_server.py"));
}

} // namespace ostrel::test
