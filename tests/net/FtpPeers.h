#pragma once
// The two real FTP servers of tests/peers and the TLS cases every caller of the FTP client
// is tried with.
#include "Peer.h"
#include <QTest>

namespace ostrel::test {

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

} // namespace ostrel::test
