// TFtpClient against scripted servers: each case is the conversation, the server's replies and
// the exact command lines the client must send (and nothing else), then the outcome.
#include "ScriptedServer.h"
#include "net/FtpClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;
using Rq = TFtpClient::Request;
using Done = QList<QPair<Rq, int>>;

namespace {

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Binary content with CR LF pairs, lone LFs and NULs, which an ASCII-mode transfer would alter.
QByteArray binaryPayload(qsizetype size) {
    QByteArray b(size, Qt::Uninitialized);
    QRandomGenerator rng(4711);
    for (auto& c : b)
        c = char(rng.bounded(256));
    for (qsizetype i = 0; i + 1 < size; i += 997) {
        b[i] = '\r';
        b[i + 1] = '\n';
    }
    return b;
}

// A client set up the way the main window sets up its one instance, with the results recorded.
struct Client {
    QTemporaryDir dir;
    TFtpClient ftp;
    Done done;
    QStringList sent;
    QString local;

    explicit Client(quint16 port, const QByteArray& localContent = {}) {
        ftp.setHostName(QStringLiteral("127.0.0.1"));
        ftp.setPort(QString::number(port));
        ftp.setUserName(QStringLiteral("bob"));
        ftp.setPassWord(QStringLiteral("secret"));
        ftp.setTimeout(5);
        ftp.setHostFileName(QStringLiteral("pic.jpg"));
        local = dir.filePath(QStringLiteral("pic.jpg"));
        ftp.setLocalFileName(local);
        if (!localContent.isNull()) {
            QFile f(local);
            if (!f.open(QIODevice::WriteOnly) || f.write(localContent) != localContent.size())
                qFatal("cannot write %s", qPrintable(local));
        }
        QObject::connect(&ftp, &TFtpClient::OnRequestDone, &ftp, [this](Rq rq, int error) {
            done.append({rq, error});
        });
        QObject::connect(&ftp, &TFtpClient::OnCommand, &ftp,
                         [this](const QString& line) { sent.append(line); });
    }

    bool run(const QString& op) {
        if (op == QLatin1String("Connect")) return ftp.Connect();
        if (op == QLatin1String("Receive")) return ftp.Receive();
        if (op == QLatin1String("Transmit")) return ftp.Transmit();
        if (op == QLatin1String("List")) return ftp.List();
        if (op == QLatin1String("Delete")) return ftp.Delete();
        if (op == QLatin1String("Quit")) return ftp.Quit();
        if (op == QLatin1String("Put")) return ftp.Put();
        if (op == QLatin1String("Get")) return ftp.Get();
        if (op == QLatin1String("Connect+Put")) return ftp.Connect() && ftp.Put();
        if (op == QLatin1String("Connect+Get")) return ftp.Connect() && ftp.Get();
        qFatal("unknown operation");
    }
};

const Exchange welcome = greet("220 scripted server ready\r\n");
const Exchange user230 = on("USER bob", "230 Logged in\r\n");
const Exchange typeI = on("TYPE I", "200 Type set to I\r\n");
const Exchange pasv = on("PASV", "{pasv}\r\n");
const Exchange quit = on("QUIT", "221 Bye\r\n");

QList<Exchange> login(const QList<Exchange>& rest) {
    return QList<Exchange>{welcome, on("USER bob", "331 Password required\r\n"),
                           on("PASS secret", "230 Logged in\r\n")} +
           rest;
}

// A download the server sends in pieces, 1.5 s or more in all.
QList<Exchange> slowDownload() {
    return {welcome, user230, typeI, pasv,
            on("RETR pic.jpg", "150 Opening\r\n", DataAction::SendSlowly, "226 Done\r\n")};
}

} // namespace

class TestFtpScripted : public QObject {
    Q_OBJECT
private slots:
    void conversation_data();
    void conversation();
    void failedRequest_data();
    void failedRequest();
    void usageErrors_data();
    void usageErrors();
    void slowTransferIsNotCutOff();
    void noWaitOperationsChainAndAreBounded();
    void secondRequestWhileOneRuns();
    void abortEndsRunningRequest();
    void connectionFailures_data();
    void connectionFailures();
};

void TestFtpScripted::conversation_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("setup"); // "active", a HostDirName, or the address {pasv} names
    QTest::addColumn<QList<Exchange>>("script");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("check"); // "downloaded", "uploaded" or ""
    const auto row = [](const char* name, const char* op, QList<Exchange> script, int error = 0,
                        const char* message = "", const char* check = "", const char* setup = "") {
        QTest::newRow(name) << QString(op) << QString(setup) << script << error << QString(message)
                            << QString(check);
    };
    const auto retr = [](const char* reply, const char* after) {
        return on("RETR pic.jpg", reply, DataAction::Send, after);
    };
    const auto stor = [](const char* after) {
        return on("STOR pic.jpg", "150 Ok\r\n", DataAction::Receive, after);
    };
    const Exchange port = on("PORT 127,0,0,1,*", "200 PORT ok\r\n");

    row("USER answered 230 gets no PASS", "Connect",
        {welcome, on("USER bob", "230 Logged in, no password needed\r\n")});
    row("greeting split over lines and packets counts once", "Connect",
        {greet("220-Welcome{pause}\r\n220-to the scripted{pause} server\r\n220 ready\r\n"),
         on("USER bob", "331 Password required\r\n"), on("PASS secret", "230 Logged in\r\n")});
    row("lone LF ends reply lines", "Connect",
        {greet("220 ready\n"), on("USER bob", "331 Password required\n"),
         on("PASS secret", "230-Welcome\n text of the banner\n230 Logged in\n")});
    row("multi-line reply with text lines counts at its final line", "Connect",
        {welcome, on("USER bob", "331 Password required\r\n"),
         on("PASS secret", "230-Welcome\r\n 230 looks like a code but is indented\r\n"
                           "Terms apply\r\n230 Logged in\r\n")});
    row("wrong password", "Connect",
        {welcome, on("USER bob", "331 Password required\r\n"),
         on("PASS secret", "530 Login incorrect.\r\n")},
        530, "530 Login incorrect.");
    row("USER answered with a code no step accepts", "Connect",
        {welcome, on("USER bob", "332 Need account for login.\r\n")}, 332,
        "332 Need account for login.");
    row("greeting that refuses service", "Connect", {greet("421 Too many users, try later\r\n")},
        421, "421 Too many users, try later");
    row("Transmit without HostDirName sends no CWD; a failed STOR still sends QUIT", "Transmit",
        login({typeI, pasv, on("STOR pic.jpg", "553 Could not create file.\r\n"), quit}), 553,
        "553 Could not create file.");
    row("Transmit into a folder", "Transmit",
        login({on("CWD cams", "250 Directory changed\r\n"), typeI, pasv,
               stor("226 Transfer complete\r\n"), quit}),
        0, "", "uploaded", "cams");
    row("Receive through a passive data connection", "Receive",
        login({typeI, pasv,
               retr("150 Opening BINARY mode data connection\r\n", "226 Transfer complete\r\n"),
               quit}),
        0, "", "downloaded");
    row("227 naming a foreign address: data still goes to the server", "Receive",
        login({typeI, pasv, retr("150 Opening\r\n", "226 Done\r\n"), quit}), 0, "", "downloaded",
        "10.255.1.2");
    row("Receive through an active data connection", "Receive",
        login({typeI, port, retr("150 Opening\r\n", "226 Done\r\n"), quit}), 0, "", "downloaded",
        "active");
    row("Transmit through an active data connection", "Transmit",
        login({typeI, port, stor("226 Done\r\n"), quit}), 0, "", "uploaded", "active");
    row("227 without an address", "Receive",
        login({typeI, on("PASV", "227 Entering Passive Mode\r\n"), quit}), 10049,
        "Unable to establish data connection, error #10049");
    row("refused data connection", "Receive",
        login({typeI, on("PASV", "227 Entering Passive Mode (127,0,0,1,0,1)\r\n"), quit}), 10061,
        "Unable to establish data connection, error #10061");
    row("List writes the name list", "List",
        login({pasv, on("NLST", "150 Here comes the list\r\n", DataAction::Send, "226 Done\r\n"),
               quit}),
        0, "", "downloaded");
    row("Delete answered 550 still quits", "Delete",
        login({on("DELE pic.jpg", "550 No such file or directory.\r\n"), quit}), 550,
        "550 No such file or directory.");
    row("Put after Connect sets binary type first", "Connect+Put",
        login({typeI, pasv, stor("226 Done\r\n")}), 0, "", "uploaded");
    row("Get after Connect", "Connect+Get",
        login({typeI, pasv,
               retr("125 Data connection already open\r\n",
                    "250 Requested file action okay, completed\r\n")}),
        0, "", "downloaded");
    row("Get of a missing file", "Connect+Get",
        login({typeI, pasv, on("RETR pic.jpg", "550 No such file.\r\n")}), 550,
        "550 No such file.");
}

void TestFtpScripted::conversation() {
    QFETCH(QString, op);
    QFETCH(QString, setup);
    QFETCH(QList<Exchange>, script);
    QFETCH(int, error);
    QFETCH(QString, message);
    QFETCH(QString, check);

    ScriptedServer server(script);
    server.payload = binaryPayload(300 * 1024);
    const QByteArray upload = binaryPayload(200 * 1024 + 7);
    Client c(server.port(), upload);
    c.ftp.setPassive(setup != QLatin1String("active"));
    if (setup.startsWith(QLatin1String("10."))) server.pasvAddress = QHostAddress(setup);
    if (setup == QLatin1String("cams")) c.ftp.setHostDirName(setup);

    QCOMPARE(c.run(op), error == 0);
    QCOMPARE(server.commandsAsScripted(), server.scripted);
    QVERIFY(!c.done.isEmpty());
    QCOMPARE(c.done.last().second, error);
    QCOMPARE(c.ftp.ErrorMessage(), message);
    if (check == QLatin1String("uploaded")) QCOMPARE(server.received, upload);
    // Uploads only read the local file, failed downloads leave it alone.
    QCOMPARE(readFile(c.local), check == QLatin1String("downloaded") ? server.payload : upload);
    // Whatever happened, no temporary download file is left behind.
    QCOMPARE(QDir(c.dir.path()).entryList(QDir::Files), QStringList{"pic.jpg"});
}

void TestFtpScripted::failedRequest_data() {
    QTest::addColumn<QList<Exchange>>("script");
    QTest::addColumn<QString>("op"); // run after a Connect, unless it is Connect itself
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QByteArray>("local"); // the local file before; null: there is none
    QTest::addColumn<Done>("done");
    QTest::addColumn<QString>("message"); // %1: the local file
    QTest::addColumn<bool>("connected");
    const QByteArray yesterday = "the picture downloaded yesterday";

    QTest::newRow("server falls silent: time-out")
        << QList<Exchange>{welcome, user230, typeI, on("PASV", "")} << "Put" << 1
        << QByteArray("content") << Done{{Rq::Connect, 0}, {Rq::Put, 426}} << "426 Timeout"
        << false;
    QTest::newRow("connection dropped mid-download keeps the old file")
        << QList<Exchange>{welcome, user230, typeI, pasv,
                           on("RETR pic.jpg", "150 Opening\r\n", DataAction::DropMidway)}
        << "Get" << 5 << yesterday << Done{{Rq::Connect, 0}, {Rq::Get, 500}}
        << "500 Control connection closed. Connection reset by peer (Winsock error #10054)"
        << false;
    QTest::newRow("upload cut short fails though the server says 226")
        << QList<Exchange>{welcome, user230, typeI, pasv,
                           on("STOR pic.jpg", "150 Ok\r\n", DataAction::ReceiveAndCut,
                              "226 Transfer complete\r\n")}
        << "Put" << 5 << binaryPayload(32 * 1024 * 1024) << Done{{Rq::Connect, 0}, {Rq::Put, 426}}
        << "426 Connection closed; transfer aborted." << true;
    QTest::newRow("missing local file")
        << QList<Exchange>{welcome, user230, typeI, pasv} << "Put" << 5 << QByteArray()
        << Done{{Rq::Connect, 0}, {Rq::Put, 426}}
        << "426 Unable to open local file %1: No such file or directory" << true;
    // No deadline: the size limit alone must end these.
    for (const char* flood : {"{endless}", "{endless-line}"})
        QTest::addRow("endless reply %s", flood)
            << QList<Exchange>{greet(flood)} << "Connect" << 0 << QByteArray("content")
            << Done{{Rq::Connect, 500}}
            << "500 Control connection closed. Message too long (Winsock error #10040)" << false;
}

void TestFtpScripted::failedRequest() {
    QFETCH(QList<Exchange>, script);
    QFETCH(QString, op);
    QFETCH(int, timeout);
    QFETCH(QByteArray, local);
    QFETCH(Done, done);
    QFETCH(QString, message);
    QFETCH(bool, connected);

    ScriptedServer server(script);
    server.payload = binaryPayload(400 * 1024);
    Client c(server.port(), local);
    c.ftp.setTimeout(timeout);
    QTimer safety; // ends a client that never gives up, so a failing case ends
    QObject::connect(&safety, &QTimer::timeout, &c.ftp, [&] { c.ftp.Abort(); });
    safety.start(20000);
    if (op != QLatin1String("Connect")) QVERIFY(c.ftp.Connect());
    QElapsedTimer clock;
    clock.start();

    QVERIFY(!c.run(op));
    if (timeout == 1)
        QVERIFY2(clock.elapsed() >= 900 && clock.elapsed() < 5000,
                 qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(c.done, done);
    QCOMPARE(c.ftp.StatusCode(), done.last().second);
    QCOMPARE(c.ftp.ErrorMessage(), message.arg(c.local));
    QCOMPARE(c.ftp.Connected(), connected);
    QVERIFY(c.ftp.Ready());
    QCOMPARE(server.commandsAsScripted(), server.scripted);
    QVERIFY2(server.flooded < 8 * 1024 * 1024, qPrintable(QString::number(server.flooded)));
    if (!connected) QTRY_VERIFY(server.controlClosed());
    // The local file is as it was, and no temporary file is left behind.
    QCOMPARE(readFile(c.local), local.isNull() ? QByteArray("<missing>") : local);
    QCOMPARE(QDir(c.dir.path()).entryList(QDir::Files),
             local.isNull() ? QStringList() : QStringList{"pic.jpg"});
}

void TestFtpScripted::usageErrors_data() {
    QTest::addColumn<bool>("connectFirst");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, bool connectFirst, const char* op, const char* field,
                        const char* value, const char* text) {
        QTest::newRow(name) << connectFirst << QString(op) << QString(field) << QString(value)
                            << QString(text);
    };
    row("Put before Connect", false, "Put", "", "", "STOR/APPE: not connected");
    row("Get before Connect", false, "Get", "", "", "FTP component not connected");
    row("Quit before Connect", false, "Quit", "", "", "FTP component not connected");
    row("Connect twice", true, "Connect", "", "", "FTP component already connected");
    row("Receive while connected", true, "Receive", "", "", "FTP component already connected");
    row("Put without LocalFileName", true, "Put", "LocalFileName", "", "LocalFileName empty");
    row("file name that would smuggle a command", true, "Put", "HostFileName",
        "a.jpg\r\nDELE index.html", "HostFileName holds a line break");
    row("folder name with a line feed", false, "Transmit", "HostDirName", "www\nRMD www",
        "HostDirName holds a line break");
    row("no host", false, "Connect", "HostName", "", "Connect: No IP Address Specified");
    row("no port", false, "Connect", "Port", "", "Connect: No Port Specified");
    row("unknown service", false, "Connect", "Port", "nosuchservice",
        "ResolvePort: Cannot convert port 'nosuchservice', Error #11004");
    row("port out of range", false, "Connect", "Port", "70000",
        "ResolvePort: Cannot convert port '70000', Error #10022");
}

void TestFtpScripted::usageErrors() {
    QFETCH(bool, connectFirst);
    QFETCH(QString, op);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, text);

    ScriptedServer server({welcome, user230});
    Client c(server.port(), "content");
    if (connectFirst) QVERIFY(c.ftp.Connect());
    const qsizetype eventsBefore = c.done.size();
    const qsizetype sentBefore = c.sent.size();
    if (field == QLatin1String("LocalFileName")) c.ftp.setLocalFileName(value);
    if (field == QLatin1String("HostFileName")) c.ftp.setHostFileName(value);
    if (field == QLatin1String("HostDirName")) c.ftp.setHostDirName(value);
    if (field == QLatin1String("HostName")) c.ftp.setHostName(value);
    if (field == QLatin1String("Port")) c.ftp.setPort(value);

    QVERIFY(!c.run(op));
    QCOMPARE(c.ftp.ErrorMessage(), text);
    QVERIFY(c.ftp.Ready());
    // The no-wait forms raise the same text to their caller.
    if (op == QLatin1String("Put") || op == QLatin1String("Connect")) {
        try {
            op == QLatin1String("Put") ? c.ftp.PutAsync() : c.ftp.ConnectAsync();
            QFAIL("no exception");
        } catch (const Exception& e) {
            QCOMPARE(e.message(), text);
        }
    }
    QTest::qWait(50);
    QCOMPARE(c.done.size(), eventsBefore); // no request-done event
    QCOMPARE(c.sent.size(), sentBefore);   // nothing sent
    QCOMPARE(c.ftp.Connected(), connectFirst);
}

void TestFtpScripted::slowTransferIsNotCutOff() {
    ScriptedServer server(slowDownload());
    server.payload = binaryPayload(60 * 1024);
    server.slowPieces = 6;
    server.slowIntervalMs = 300; // 1.8 s in all, each pause well inside the time-out
    Client c(server.port());
    c.ftp.setTimeout(1);
    QVERIFY(c.ftp.Connect());
    QElapsedTimer clock;
    clock.start();
    QVERIFY2(c.ftp.Get(), qPrintable(c.ftp.ErrorMessage()));
    QVERIFY(clock.elapsed() > 1500);
    QCOMPARE(readFile(c.local), server.payload);
    QCOMPARE(c.done.last(), qMakePair(Rq::Get, 0));
}

void TestFtpScripted::noWaitOperationsChainAndAreBounded() {
    // The motion upload: ConnectAsync, then PutAsync from the request-done handler.
    ScriptedServer server(login(
        {on("TYPE I", "200 Ok\r\n"), pasv,
         on("STOR pic.jpg", "150 Ok\r\n", DataAction::Receive, "226 Done\r\n"), on("PASV", "")}));
    Client c(server.port(), "first image");
    c.ftp.setTimeout(1);
    QObject::connect(&c.ftp, &TFtpClient::OnRequestDone, &c.ftp, [&](Rq rq, int error) {
        if (rq == Rq::ConnectAsync && error == 0) c.ftp.PutAsync();
    });
    c.ftp.ConnectAsync();
    QVERIFY(!c.ftp.Ready());
    QTRY_COMPARE(c.done, (Done{{Rq::ConnectAsync, 0}, {Rq::PutAsync, 0}}));
    QCOMPARE(server.received, QByteArray("first image"));

    // The server now falls silent on PASV: the no-wait upload still ends, with 426.
    c.ftp.PutAsync();
    QTRY_COMPARE_WITH_TIMEOUT(c.done.size(), 3, 5000);
    QCOMPARE(c.done[2], qMakePair(Rq::PutAsync, 426));
    QCOMPARE(c.ftp.ErrorMessage(), QStringLiteral("426 Timeout"));
}

void TestFtpScripted::secondRequestWhileOneRuns() {
    ScriptedServer server(slowDownload());
    server.payload = binaryPayload(30 * 1024);
    server.slowPieces = 5;
    server.slowIntervalMs = 200;
    Client c(server.port());
    QVERIFY(c.ftp.Connect());

    // A timer tick during the download tries an upload of its own.
    bool secondResult = true;
    QString raised, messageDuring;
    QTimer::singleShot(300, &c.ftp, [&] {
        c.ftp.setLocalFileName(c.dir.filePath(QStringLiteral("other.jpg")));
        secondResult = c.ftp.Put();
        try {
            c.ftp.PutAsync();
        } catch (const Exception& e) {
            raised = e.message();
        }
        messageDuring = c.ftp.ErrorMessage();
        c.ftp.setLocalFileName(c.local);
    });
    QVERIFY2(c.ftp.Get(), qPrintable(c.ftp.ErrorMessage()));
    QVERIFY(!secondResult);
    QCOMPARE(raised, QStringLiteral("FTP component not ready"));
    QCOMPARE(messageDuring, QString()); // the running request's state stays untouched
    QCOMPARE(readFile(c.local), server.payload);
    QCOMPARE(c.done, (Done{{Rq::Connect, 0}, {Rq::Get, 0}}));
    QCOMPARE(server.commandsAsScripted(), server.scripted);
}

void TestFtpScripted::abortEndsRunningRequest() {
    ScriptedServer server(slowDownload());
    server.payload = binaryPayload(30 * 1024);
    Client c(server.port());
    QVERIFY(c.ftp.Connect());
    QTimer::singleShot(300, &c.ftp, [&] { c.ftp.Abort(); });
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.ftp.ErrorMessage(), QStringLiteral("426 Operation aborted."));
    QCOMPARE(c.done.last(), qMakePair(Rq::Get, 426));
    QVERIFY(!c.ftp.Connected());
    // An idle Abort ends nothing and reports nothing.
    c.ftp.Abort();
    QTest::qWait(50);
    QCOMPARE(c.done.size(), 2);
}

void TestFtpScripted::connectionFailures_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");
    QTest::newRow("nobody listens")
        << "127.0.0.1" << 10061 << "500 Connection refused (Winsock error #10061)";
    QTest::newRow("name that does not exist")
        << "no-such-host.invalid" << 11001 << "500 Host not found (Winsock error #11001)";
}

void TestFtpScripted::connectionFailures() {
    QFETCH(QString, host);
    QFETCH(int, error);
    QFETCH(QString, message);
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    Client c(closed.serverPort());
    closed.close();
    c.ftp.setHostName(host);
    c.ftp.setTimeout(30);
    QVERIFY(!c.ftp.Connect());
    QCOMPARE(c.done, (Done{{Rq::Connect, error}}));
    QCOMPARE(c.ftp.ErrorMessage(), message);
    QVERIFY(!c.ftp.Connected());
    QVERIFY(c.sent.isEmpty());
}

QTEST_GUILESS_MAIN(TestFtpScripted)
#include "tst_ftpscripted.moc"
