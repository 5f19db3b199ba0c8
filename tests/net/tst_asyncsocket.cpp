// TAsyncSocket on the loopback interface: its exceptions and texts, name lookup, line mode,
// lookups that are cancelled. Listen and Accept are used by the FTP
// client's active mode, which the conversation tests run.
#include "NetTestUtil.h"
#include "net/AsyncSocket.h"

#include <QHostInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace ostrel;
using ostrel::test::raised;
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

// A socket connected to a Peer, with the lines and session-closed events it reports.
struct Session {
    Peer peer;
    TAsyncSocket s;
    QList<QByteArray> lines;
    QList<int> closed;
    explicit Session(bool lineMode) {
        s.setLineMode(lineMode);
        s.setAddr(QStringLiteral("127.0.0.1"));
        s.setPort(peer.port());
        QObject::connect(&s, &TAsyncSocket::OnLineReceived, &s,
                         [this](const QByteArray& l) { lines << l; });
        QObject::connect(&s, &TAsyncSocket::OnSessionClosed, &s, [this](int e) { closed << e; });
    }
    bool open() {
        s.Connect();
        return QTest::qWaitFor([this] { return s.state() == State::Connected; }) && peer.accept();
    }
};

struct BadConnect {
    const char* addr = "127.0.0.1";
    const char* port = "21";
    const char* proto = "tcp";
    const char* localAddr = "0.0.0.0";
    const char* text = "";
};

} // namespace

Q_DECLARE_METATYPE(BadConnect)

class TestAsyncSocket : public QObject {
    Q_OBJECT
private slots:
    void connectRaises_data() {
        QTest::addColumn<BadConnect>("row");
        const auto row = [](const char* name, BadConnect r) { QTest::newRow(name) << r; };
        row("no port", {.port = "", .text = "Connect: No Port Specified"});
        row("no protocol", {.proto = "", .text = "Connect: No Protocol Specified"});
        row("udp",
            {.proto = "udp", .text = "Error 10043 in function socket\nProtocol not supported"});
        row("unknown service",
            {.port = "no-such-service",
             .text = "ResolvePort: Cannot convert port 'no-such-service', Error #11004"});
        row("port 0", {.port = "0", .text = "ResolvePort: Cannot convert port '0', Error #10022"});
        row("port out of range",
            {.port = "70000", .text = "ResolvePort: Cannot convert port '70000', Error #10022"});
        row("local address by name",
            {.localAddr = "my-pc",
             .text = "ResolveHost: Cannot convert host address 'my-pc', Error #10022"});
        row("local address not ours",
            {.localAddr = "192.0.2.77",
             .text = "Error 10049 in function bind\nAddress not available"});
    }

    void connectRaises() {
        QFETCH(BadConnect, row);
        TAsyncSocket s;
        s.setAddr(row.addr);
        s.setPort(row.port);
        s.setProto(row.proto);
        s.setLocalAddr(row.localAddr);
        QSignalSpy connected(&s, &TAsyncSocket::OnSessionConnected);
        QCOMPARE(raised([&] { s.Connect(); }), QString(row.text));
        QCOMPARE(s.state(), State::Closed);
        QCoreApplication::processEvents(); // whatever was posted
        QCOMPARE(connected.size(), 0);
    }

    void otherCallsRaise() {
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
        QCOMPARE(lookup.Send("x"), qint64(-1)); // not connected
        QCOMPARE(lookup.LastError(), 10057);
    }

    void connectsByNameWithoutBlocking() {
        Peer peer;
        TAsyncSocket s;
        s.setAddr(QStringLiteral("localhost"));
        s.setPort(peer.port());
        QSignalSpy connected(&s, &TAsyncSocket::OnSessionConnected);
        QSignalSpy looked(&s, &TAsyncSocket::OnDnsLookupDone);
        // A lookup cancelled reports nothing, even after a lookup of the same name asked
        // later was answered.
        s.Connect();
        s.CancelDnsLookup();
        QCOMPARE(s.state(), State::Closed);
        bool answered = false;
        QHostInfo::lookupHost(QStringLiteral("localhost"), this,
                              [&](const QHostInfo&) { answered = true; });
        QTRY_VERIFY(answered);
        QCOMPARE(connected.size(), 0);
        QCOMPARE(looked.size(), 0);
        s.Connect();
        QCOMPARE(s.state(), State::DnsLookup); // Connect returned before the name was known
        QTRY_COMPARE(connected.size(), 1);
        QCOMPARE(connected[0][0].toInt(), 0);
        QCOMPARE(looked.size(), 1);
        QCOMPARE(s.state(), State::Connected);
        QCOMPARE(s.peerAddress(), QHostAddress(QHostAddress::LocalHost));
        QCOMPARE_NE(s.boundPort(), 0);
        // A service name is a port too: "ftp" is 21, where nothing listens here, so the
        // refusal arrives as an event.
        s.Close();
        s.setAddr(QStringLiteral("127.0.0.1"));
        s.setPort(QStringLiteral("ftp"));
        s.Connect();
        QTRY_COMPARE(connected.size(), 2);
        QCOMPARE(connected[1][0].toInt(), 10061);
        QCOMPARE(s.state(), State::Closed);
        QCOMPARE(s.LastError(), 10061);
    }

    // The overlong line is left to the conversations, whose clients set the limit.
    void lineModeDeliversTheLastLineAtTheClose() {
        Session x(true);
        QVERIFY(x.open());
        x.peer.socket->write("220-a\r\n220 b\r\n221 bye");
        x.peer.socket->disconnectFromHost();
        QTRY_COMPARE(x.closed, QList<int>{0});
        QCOMPARE(x.lines, (QList<QByteArray>{"220-a", "220 b", "221 bye"}));
        QCOMPARE(x.s.state(), State::Closed);
    }

    void handlerMayCloseWhileLinesWait() {
        Session x(true);
        connect(&x.s, &TAsyncSocket::OnLineReceived, this, [&] { x.s.Close(); });
        QVERIFY(x.open());
        x.peer.socket->write("221 one\r\n221 two\r\n221 three\r\n");
        QTRY_COMPARE(x.lines.size(), 1);
        QTRY_COMPARE(x.peer.socket->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(x.lines, QList<QByteArray>{"221 one"});
        QCOMPARE(x.closed, QList<int>{});
    }
};

QTEST_GUILESS_MAIN(TestAsyncSocket)
#include "tst_asyncsocket.moc"
