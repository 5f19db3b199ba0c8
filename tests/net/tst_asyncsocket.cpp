// TAsyncSocket on the loopback interface: its exceptions and texts, name lookup, line mode
// and its limit, listen and accept, orderly close and abort.
#include "net/AsyncSocket.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace ostrel;
using State = TAsyncSocket::State;

namespace {

// A peer that accepts one connection and keeps it for the test.
struct Peer {
    QTcpServer server;
    QTcpSocket* socket = nullptr;
    Peer() { server.listen(QHostAddress::LocalHost, 0); }
    bool accept() {
        if (!socket && (server.hasPendingConnections() || server.waitForNewConnection(5000)))
            socket = server.nextPendingConnection();
        return socket != nullptr;
    }
    QString port() const { return QString::number(server.serverPort()); }
};

QString raised(const std::function<void()>& f) {
    try {
        f();
    } catch (const ESocketException& e) {
        return e.message();
    }
    return QString();
}

} // namespace

class TestAsyncSocket : public QObject {
    Q_OBJECT
private slots:
    void connectRaises_data();
    void connectRaises();
    void otherCallsRaise();
    void connectsByNameWithoutBlocking();
    void serviceNameResolves();
    void lineMode_data();
    void lineMode();
    void overlongLineClosesWithMessageTooLong();
    void handlerMayCloseWhileLinesWait();
    void listenAndAccept();
    void orderlyCloseDeliversQueuedData();
    void abortReportsNothing();
    void sendWhenClosed();
    void cancelledLookupReportsNothing();
};

void TestAsyncSocket::connectRaises_data() {
    QTest::addColumn<QString>("addr");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("proto");
    QTest::addColumn<QString>("localAddr");
    QTest::addColumn<QString>("text");
    QTest::newRow("no port") << "127.0.0.1"
                             << ""
                             << "tcp"
                             << "0.0.0.0"
                             << "Connect: No Port Specified";
    QTest::newRow("no address") << " "
                                << "21"
                                << "tcp"
                                << "0.0.0.0"
                                << "Connect: No IP Address Specified";
    QTest::newRow("no protocol") << "127.0.0.1"
                                 << "21"
                                 << ""
                                 << "0.0.0.0"
                                 << "Connect: No Protocol Specified";
    QTest::newRow("udp") << "127.0.0.1"
                         << "21"
                         << "udp"
                         << "0.0.0.0"
                         << "Error 10043 in function socket\nProtocol not supported";
    QTest::newRow("unknown service")
        << "127.0.0.1"
        << "no-such-service"
        << "tcp"
        << "0.0.0.0"
        << "ResolvePort: Cannot convert port 'no-such-service', Error #11004";
    QTest::newRow("port 0") << "127.0.0.1"
                            << "0"
                            << "tcp"
                            << "0.0.0.0"
                            << "ResolvePort: Cannot convert port '0', Error #10022";
    QTest::newRow("local address by name")
        << "127.0.0.1"
        << "21"
        << "tcp"
        << "my-pc"
        << "ResolveHost: Cannot convert host address 'my-pc', Error #10022";
    QTest::newRow("local address not ours")
        << "127.0.0.1"
        << "21"
        << "tcp"
        << "192.0.2.77"
        << "Error 10049 in function bind\nAddress not available";
}

void TestAsyncSocket::connectRaises() {
    QFETCH(QString, addr);
    QFETCH(QString, port);
    QFETCH(QString, proto);
    QFETCH(QString, localAddr);
    QFETCH(QString, text);
    TAsyncSocket s;
    s.setAddr(addr);
    s.setPort(port);
    s.setProto(proto);
    s.setLocalAddr(localAddr);
    QSignalSpy connected(&s, &TAsyncSocket::OnSessionConnected);
    QCOMPARE(raised([&] { s.Connect(); }), text);
    QCOMPARE(s.state(), State::Closed);
    QTest::qWait(20);
    QCOMPARE(connected.size(), 0);
}

void TestAsyncSocket::otherCallsRaise() {
    Peer peer;
    TAsyncSocket s;
    s.setAddr(QStringLiteral("127.0.0.1"));
    s.setPort(peer.port());
    s.Connect();
    QCOMPARE(raised([&] { s.Connect(); }), QStringLiteral("Connect: Socket already in use"));
    QCOMPARE(raised([&] { s.Listen(); }), QStringLiteral("Listen: Socket already in use"));
    TAsyncSocket lookup;
    QCOMPARE(raised([&] { lookup.DnsLookup(QString()); }),
             QStringLiteral("DNS lookup: invalid host name."));
    TAsyncSocket taken;
    taken.setLocalAddr(QStringLiteral("127.0.0.1"));
    taken.setLocalPort(peer.port());
    QCOMPARE(raised([&] { taken.Listen(); }),
             QStringLiteral("Error 10048 in function bind\nAddress already in use"));
    QCOMPARE(taken.LastError(), 10048);
}

void TestAsyncSocket::connectsByNameWithoutBlocking() {
    Peer peer;
    TAsyncSocket s;
    s.setAddr(QStringLiteral("localhost"));
    s.setPort(peer.port());
    QSignalSpy connected(&s, &TAsyncSocket::OnSessionConnected);
    QSignalSpy looked(&s, &TAsyncSocket::OnDnsLookupDone);
    s.Connect();
    QCOMPARE(s.state(), State::DnsLookup); // Connect returned before the name was known
    QTRY_COMPARE(connected.size(), 1);
    QCOMPARE(connected[0][0].toInt(), 0);
    QCOMPARE(looked.size(), 1);
    QCOMPARE(s.state(), State::Connected);
    QCOMPARE(s.peerAddress(), QHostAddress(QHostAddress::LocalHost));
    QVERIFY(s.boundPort() != 0);
}

void TestAsyncSocket::serviceNameResolves() {
    // "ftp" is port 21, where nothing listens here: the call is accepted and the refusal
    // arrives as an event.
    TAsyncSocket s;
    s.setAddr(QStringLiteral("127.0.0.1"));
    s.setPort(QStringLiteral("ftp"));
    QSignalSpy connected(&s, &TAsyncSocket::OnSessionConnected);
    s.Connect();
    QTRY_COMPARE(connected.size(), 1);
    QCOMPARE(connected[0][0].toInt(), 10061);
    QCOMPARE(s.state(), State::Closed);
    QCOMPARE(s.LastError(), 10061);
}

void TestAsyncSocket::lineMode_data() {
    QTest::addColumn<bool>("loneLf");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QList<QByteArray>>("lines");
    QTest::newRow("CR LF, last line ended by the close")
        << false << QByteArray("220-a\r\n220 b\r\n221 bye")
        << QList<QByteArray>{"220-a", "220 b", "221 bye"};
}

void TestAsyncSocket::lineMode() {
    QFETCH(bool, loneLf);
    QFETCH(QByteArray, sent);
    QFETCH(QList<QByteArray>, lines);
    Peer peer;
    TAsyncSocket s;
    s.setLineMode(true);
    s.setLineEndLoneLf(loneLf);
    s.setAddr(QStringLiteral("127.0.0.1"));
    s.setPort(peer.port());
    QList<QByteArray> got;
    QList<int> closed;
    connect(&s, &TAsyncSocket::OnLineReceived, this, [&](const QByteArray& l) { got << l; });
    connect(&s, &TAsyncSocket::OnSessionClosed, this, [&](int e) { closed << e; });
    s.Connect();
    QVERIFY(peer.accept());
    peer.socket->write(sent);
    peer.socket->disconnectFromHost();
    QTRY_COMPARE(closed, QList<int>{0});
    QCOMPARE(got, lines);
    QCOMPARE(s.state(), State::Closed);
}

void TestAsyncSocket::overlongLineClosesWithMessageTooLong() {
    Peer peer;
    TAsyncSocket s;
    s.setLineMode(true);
    s.setLineLimit(1024);
    s.setAddr(QStringLiteral("127.0.0.1"));
    s.setPort(peer.port());
    QList<QByteArray> got;
    QList<int> closed;
    connect(&s, &TAsyncSocket::OnLineReceived, this, [&](const QByteArray& l) { got << l; });
    connect(&s, &TAsyncSocket::OnSessionClosed, this, [&](int e) { closed << e; });
    s.Connect();
    QVERIFY(peer.accept());
    peer.socket->write("220 short\r\n" + QByteArray(4096, 'x'));
    QTRY_COMPARE(closed, QList<int>{10040});
    QCOMPARE(got, QList<QByteArray>{"220 short"});
    QCOMPARE(s.LastError(), 10040);
    QCOMPARE(s.state(), State::Closed);
}

void TestAsyncSocket::handlerMayCloseWhileLinesWait() {
    Peer peer;
    TAsyncSocket s;
    s.setLineMode(true);
    s.setAddr(QStringLiteral("127.0.0.1"));
    s.setPort(peer.port());
    QList<QByteArray> got;
    QSignalSpy closed(&s, &TAsyncSocket::OnSessionClosed);
    connect(&s, &TAsyncSocket::OnLineReceived, this, [&](const QByteArray& l) {
        got << l;
        s.Close();
    });
    s.Connect();
    QVERIFY(peer.accept());
    peer.socket->write("221 one\r\n221 two\r\n221 three\r\n");
    QTRY_COMPARE(got.size(), 1);
    QTest::qWait(50);
    QCOMPARE(got, QList<QByteArray>{"221 one"});
    QCOMPARE(closed.size(), 0);
    QTRY_COMPARE(peer.socket->state(), QAbstractSocket::UnconnectedState);
}

void TestAsyncSocket::listenAndAccept() {
    TAsyncSocket listener;
    listener.setLocalAddr(QStringLiteral("127.0.0.1"));
    listener.Listen();
    QCOMPARE(listener.state(), State::Listening);
    QCOMPARE(listener.boundAddress(), QHostAddress(QHostAddress::LocalHost));
    QVERIFY(listener.boundPort() != 0);

    TAsyncSocket accepted;
    QByteArray received;
    connect(&accepted, &TAsyncSocket::OnDataAvailable, this,
            [&] { received += accepted.ReceiveAll(); });
    connect(&listener, &TAsyncSocket::OnSessionAvailable, this, [&](int error) {
        QCOMPARE(error, 0);
        QVERIFY(listener.Accept(accepted));
    });
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, listener.boundPort());
    client.write("sent before the accept");
    QTRY_COMPARE(accepted.state(), State::Connected);
    QTRY_COMPARE(received, QByteArray("sent before the accept"));
    QCOMPARE(accepted.peerAddress(), QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(accepted.Send("answer"), 6);
    QTRY_COMPARE(client.bytesAvailable(), 6);
    QCOMPARE(client.readAll(), QByteArray("answer"));
    listener.Close();
    QCOMPARE(listener.state(), State::Closed);
    QCOMPARE(accepted.state(), State::Connected);
}

void TestAsyncSocket::orderlyCloseDeliversQueuedData() {
    Peer peer;
    TAsyncSocket s;
    s.setAddr(QStringLiteral("127.0.0.1"));
    s.setPort(peer.port());
    QSignalSpy connected(&s, &TAsyncSocket::OnSessionConnected);
    s.Connect();
    QTRY_COMPARE(connected.size(), 1);
    QVERIFY(peer.accept());
    const QByteArray data(8 * 1024 * 1024, 'd');
    QCOMPARE(s.Send(data), data.size());
    s.Close();
    QCOMPARE(s.state(), State::Closed); // closed for its owner at once
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT(
        (got += peer.socket->readAll(), peer.socket->state() == QAbstractSocket::UnconnectedState),
        10000);
    got += peer.socket->readAll();
    QCOMPARE(got.size(), data.size());
}

void TestAsyncSocket::abortReportsNothing() {
    Peer peer;
    TAsyncSocket s;
    s.setAddr(QStringLiteral("127.0.0.1"));
    s.setPort(peer.port());
    QSignalSpy closed(&s, &TAsyncSocket::OnSessionClosed);
    QSignalSpy connected(&s, &TAsyncSocket::OnSessionConnected);
    s.Connect();
    QTRY_COMPARE(connected.size(), 1);
    QVERIFY(peer.accept());
    s.Abort();
    QCOMPARE(s.state(), State::Closed);
    QTRY_COMPARE(peer.socket->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(closed.size(), 0);
}

void TestAsyncSocket::sendWhenClosed() {
    TAsyncSocket s;
    QCOMPARE(s.Send("x"), qint64(-1));
    QCOMPARE(s.LastError(), 10057);
}

void TestAsyncSocket::cancelledLookupReportsNothing() {
    TAsyncSocket s;
    s.setAddr(QStringLiteral("localhost"));
    s.setPort(QStringLiteral("1"));
    QSignalSpy connected(&s, &TAsyncSocket::OnSessionConnected);
    QSignalSpy looked(&s, &TAsyncSocket::OnDnsLookupDone);
    s.Connect();
    s.CancelDnsLookup();
    QCOMPARE(s.state(), State::Closed);
    QTest::qWait(200);
    QCOMPARE(connected.size(), 0);
    QCOMPARE(looked.size(), 0);
}

QTEST_GUILESS_MAIN(TestAsyncSocket)
#include "tst_asyncsocket.moc"
