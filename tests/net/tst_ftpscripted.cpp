// TFtpClient against scripted servers: each case states what the server replies and the
// exact command lines the client must send.
#include "ScriptedServer.h"
#include "net/FtpClient.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace ostrel;
using namespace ostrel::test;
using Rq = TFtpClient::Request;

namespace {

Exchange greet(QByteArray reply) {
    return {QByteArray(), std::move(reply), DataAction::None, QByteArray()};
}
Exchange on(QByteArray command, QByteArray reply, DataAction data = DataAction::None,
            QByteArray after = {}) {
    return {std::move(command), std::move(reply), data, std::move(after)};
}

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& name, const QByteArray& data) {
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
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
    QList<QPair<Rq, int>> done;
    QStringList sent;
    QString local;

    explicit Client(quint16 port) {
        ftp.setHostName(QStringLiteral("127.0.0.1"));
        ftp.setPort(QString::number(port));
        ftp.setUserName(QStringLiteral("bob"));
        ftp.setPassWord(QStringLiteral("secret"));
        ftp.setTimeout(5);
        ftp.setHostFileName(QStringLiteral("pic.jpg"));
        local = dir.filePath(QStringLiteral("pic.jpg"));
        ftp.setLocalFileName(local);
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
        if (op == QLatin1String("Connect+Put")) return ftp.Connect() && ftp.Put();
        if (op == QLatin1String("Connect+Get")) return ftp.Connect() && ftp.Get();
        if (op == QLatin1String("Connect+Ls")) return ftp.Connect() && ftp.Ls();
        qFatal("unknown operation");
    }
};

const QByteArray welcome = "220 scripted server ready\r\n";

} // namespace

class TestFtpScripted : public QObject {
    Q_OBJECT
private slots:
    void conversation_data();
    void conversation();
    void usageErrors_data();
    void usageErrors();
    void silentServerTimesOut();
    void slowTransferIsNotCutOff();
    void noWaitOperationsChainAndAreBounded();
    void dropMidDownloadKeepsOldFile();
    void cutUploadFailsEvenWhenServerSaysDone();
    void endlessReply_data();
    void endlessReply();
    void secondRequestWhileOneRuns();
    void abortEndsRunningRequest();
    void missingLocalFile();
    void connectionFailures_data();
    void connectionFailures();
};

void TestFtpScripted::conversation_data() {
    QTest::addColumn<QString>("op");
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QString>("hostDir");
    QTest::addColumn<QString>("pasvAddress");
    QTest::addColumn<QList<Exchange>>("script");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("check"); // "downloaded", "uploaded" or ""

    const auto login = [](QList<Exchange> rest) {
        return QList<Exchange>{greet(welcome), on("USER bob", "331 Password required\r\n"),
                               on("PASS secret", "230 Logged in\r\n")} +
               rest;
    };
    const QStringList user{"USER bob", "PASS secret"};

    QTest::newRow("USER answered 230 gets no PASS")
        << "Connect" << true << ""
        << ""
        << QList<Exchange>{greet(welcome), on("USER bob", "230 Logged in, no password needed\r\n")}
        << QStringList{"USER bob"} << 0 << ""
        << "";

    QTest::newRow("greeting split over lines and packets counts once")
        << "Connect" << true << ""
        << ""
        << QList<Exchange>{greet("220-Welcome{pause}\r\n220-to the scripted{pause} server\r\n"
                                 "220 ready\r\n"),
                           on("USER bob", "331 Password required\r\n"),
                           on("PASS secret", "230 Logged in\r\n")}
        << user << 0 << ""
        << "";

    QTest::newRow("lone LF ends reply lines")
        << "Connect" << true << ""
        << ""
        << QList<Exchange>{greet("220 ready\n"), on("USER bob", "331 Password required\n"),
                           on("PASS secret", "230-Welcome\n text of the banner\n230 Logged in\n")}
        << user << 0 << ""
        << "";

    QTest::newRow("multi-line reply with text lines counts at its final line")
        << "Connect" << true << ""
        << ""
        << QList<Exchange>{greet(welcome), on("USER bob", "331 Password required\r\n"),
                           on("PASS secret",
                              "230-Welcome\r\n 230 looks like a code but is indented\r\n"
                              "Terms apply\r\n230 Logged in\r\n")}
        << user << 0 << ""
        << "";

    QTest::newRow("wrong password")
        << "Connect" << true << ""
        << ""
        << QList<Exchange>{greet(welcome), on("USER bob", "331 Password required\r\n"),
                           on("PASS secret", "530 Login incorrect.\r\n")}
        << user << 530 << "530 Login incorrect."
        << "";

    QTest::newRow("USER answered with a code no step accepts")
        << "Connect" << true << ""
        << "" << QList<Exchange>{greet(welcome), on("USER bob", "332 Need account for login.\r\n")}
        << QStringList{"USER bob"} << 332 << "332 Need account for login."
        << "";

    QTest::newRow("greeting that refuses service")
        << "Connect" << true << ""
        << "" << QList<Exchange>{greet("421 Too many users, try later\r\n")} << QStringList{} << 421
        << "421 Too many users, try later"
        << "";

    QTest::newRow("Transmit without HostDirName sends no CWD; a failed STOR still sends QUIT")
        << "Transmit" << true << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"), on("PASV", "{pasv}\r\n"),
                  on("STOR pic.jpg", "553 Could not create file.\r\n"), on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"TYPE I", "PASV", "STOR pic.jpg", "QUIT"} << 553
        << "553 Could not create file."
        << "";

    QTest::newRow("Transmit into a folder")
        << "Transmit" << true << "cams"
        << ""
        << login({on("CWD cams", "250 Directory changed\r\n"),
                  on("TYPE I", "200 Type set to I\r\n"), on("PASV", "{pasv}\r\n"),
                  on("STOR pic.jpg", "150 Ok to send data\r\n", DataAction::Receive,
                     "226 Transfer complete\r\n"),
                  on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"CWD cams", "TYPE I", "PASV", "STOR pic.jpg", "QUIT"} << 0 << ""
        << "uploaded";

    QTest::newRow("Receive through a passive data connection")
        << "Receive" << true << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"), on("PASV", "{pasv}\r\n"),
                  on("RETR pic.jpg", "150 Opening BINARY mode data connection\r\n",
                     DataAction::Send, "226 Transfer complete\r\n"),
                  on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"TYPE I", "PASV", "RETR pic.jpg", "QUIT"} << 0 << ""
        << "downloaded";

    QTest::newRow("227 naming a foreign address: data still goes to the server")
        << "Receive" << true << ""
        << "10.255.1.2"
        << login({on("TYPE I", "200 Type set to I\r\n"), on("PASV", "{pasv}\r\n"),
                  on("RETR pic.jpg", "150 Opening\r\n", DataAction::Send, "226 Done\r\n"),
                  on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"TYPE I", "PASV", "RETR pic.jpg", "QUIT"} << 0 << ""
        << "downloaded";

    QTest::newRow("Receive through an active data connection")
        << "Receive" << false << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"), on("PORT 127,0,0,1,*", "200 PORT ok\r\n"),
                  on("RETR pic.jpg", "150 Opening\r\n", DataAction::Send, "226 Done\r\n"),
                  on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"TYPE I", "PORT", "RETR pic.jpg", "QUIT"} << 0 << ""
        << "downloaded";

    QTest::newRow("Transmit through an active data connection")
        << "Transmit" << false << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"), on("PORT 127,0,0,1,*", "200 PORT ok\r\n"),
                  on("STOR pic.jpg", "150 Ok\r\n", DataAction::Receive, "226 Done\r\n"),
                  on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"TYPE I", "PORT", "STOR pic.jpg", "QUIT"} << 0 << ""
        << "uploaded";

    QTest::newRow("227 without an address")
        << "Receive" << true << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"),
                  on("PASV", "227 Entering Passive Mode\r\n"), on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"TYPE I", "PASV", "QUIT"} << 10049
        << "Unable to establish data connection, error #10049"
        << "";

    QTest::newRow("refused data connection")
        << "Receive" << true << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"),
                  on("PASV", "227 Entering Passive Mode (127,0,0,1,0,1)\r\n"),
                  on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"TYPE I", "PASV", "QUIT"} << 10061
        << "Unable to establish data connection, error #10061"
        << "";

    QTest::newRow("List writes the name list")
        << "List" << true << ""
        << ""
        << login({on("PASV", "{pasv}\r\n"),
                  on("NLST", "150 Here comes the list\r\n", DataAction::Send, "226 Done\r\n"),
                  on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"PASV", "NLST", "QUIT"} << 0 << ""
        << "downloaded";

    QTest::newRow("Delete answered 550 still quits")
        << "Delete" << true << ""
        << ""
        << login({on("DELE pic.jpg", "550 No such file or directory.\r\n"),
                  on("QUIT", "221 Bye\r\n")})
        << user + QStringList{"DELE pic.jpg", "QUIT"} << 550 << "550 No such file or directory."
        << "";

    QTest::newRow("Put after Connect sets binary type first")
        << "Connect+Put" << true << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"), on("PASV", "{pasv}\r\n"),
                  on("STOR pic.jpg", "150 Ok\r\n", DataAction::Receive, "226 Done\r\n")})
        << user + QStringList{"TYPE I", "PASV", "STOR pic.jpg"} << 0 << ""
        << "uploaded";

    QTest::newRow("Get after Connect")
        << "Connect+Get" << true << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"), on("PASV", "{pasv}\r\n"),
                  on("RETR pic.jpg", "125 Data connection already open\r\n", DataAction::Send,
                     "250 Requested file action okay, completed\r\n")})
        << user + QStringList{"TYPE I", "PASV", "RETR pic.jpg"} << 0 << ""
        << "downloaded";

    QTest::newRow("Get of a missing file")
        << "Connect+Get" << true << ""
        << ""
        << login({on("TYPE I", "200 Type set to I\r\n"), on("PASV", "{pasv}\r\n"),
                  on("RETR pic.jpg", "550 No such file.\r\n")})
        << user + QStringList{"TYPE I", "PASV", "RETR pic.jpg"} << 550 << "550 No such file."
        << "";
}

void TestFtpScripted::conversation() {
    QFETCH(QString, op);
    QFETCH(bool, passive);
    QFETCH(QString, hostDir);
    QFETCH(QString, pasvAddress);
    QFETCH(QList<Exchange>, script);
    QFETCH(QStringList, commands);
    QFETCH(int, error);
    QFETCH(QString, message);
    QFETCH(QString, check);

    ScriptedServer server(script);
    server.payload = binaryPayload(300 * 1024);
    if (!pasvAddress.isEmpty()) server.pasvAddress = QHostAddress(pasvAddress);
    Client c(server.port());
    c.ftp.setPassive(passive);
    c.ftp.setHostDirName(hostDir);
    const QByteArray upload = binaryPayload(200 * 1024 + 7);
    writeFile(c.local, upload);

    const bool ok = c.run(op);

    // "PORT 127,0,0,1,p1,p2" carries a port chosen at run time.
    QStringList got = server.commands;
    for (QString& s : got)
        if (s.startsWith(QLatin1String("PORT 127,0,0,1,"))) s = QStringLiteral("PORT");
    QCOMPARE(got, commands);
    QCOMPARE(ok, error == 0);
    QVERIFY(!c.done.isEmpty());
    QCOMPARE(c.done.last().second, error);
    QCOMPARE(c.ftp.ErrorMessage(), message);
    if (check == QLatin1String("uploaded")) QCOMPARE(server.received, upload);
    if (check == QLatin1String("downloaded"))
        QCOMPARE(readFile(c.local), server.payload);
    else // uploads only read the local file, failed downloads leave it alone
        QCOMPARE(readFile(c.local), upload);
    // Whatever happened, no temporary download file is left behind.
    QCOMPARE(QDir(c.dir.path()).entryList(QDir::Files), QStringList{"pic.jpg"});
}

void TestFtpScripted::usageErrors_data() {
    QTest::addColumn<bool>("connectFirst");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("Put before Connect") << false << "Put"
                                        << ""
                                        << ""
                                        << "STOR/APPE: not connected";
    QTest::newRow("Get before Connect") << false << "Get"
                                        << ""
                                        << ""
                                        << "FTP component not connected";
    QTest::newRow("Quit before Connect") << false << "Quit"
                                         << ""
                                         << ""
                                         << "FTP component not connected";
    QTest::newRow("Connect twice") << true << "Connect"
                                   << ""
                                   << ""
                                   << "FTP component already connected";
    QTest::newRow("Receive while connected") << true << "Receive"
                                             << ""
                                             << ""
                                             << "FTP component already connected";
    QTest::newRow("Put without LocalFileName") << true << "Put"
                                               << "LocalFileName"
                                               << ""
                                               << "LocalFileName empty";
    QTest::newRow("file name that would smuggle a command") << true << "Put"
                                                            << "HostFileName"
                                                            << "a.jpg\r\nDELE index.html"
                                                            << "HostFileName holds a line break";
    QTest::newRow("folder name with a line feed") << false << "Transmit"
                                                  << "HostDirName"
                                                  << "www\nRMD www"
                                                  << "HostDirName holds a line break";
    QTest::newRow("no host") << false << "Connect"
                             << "HostName"
                             << ""
                             << "Connect: No IP Address Specified";
    QTest::newRow("no port") << false << "Connect"
                             << "Port"
                             << ""
                             << "Connect: No Port Specified";
    QTest::newRow("unknown service")
        << false << "Connect"
        << "Port"
        << "nosuchservice"
        << "ResolvePort: Cannot convert port 'nosuchservice', Error #11004";
    QTest::newRow("port out of range") << false << "Connect"
                                       << "Port"
                                       << "70000"
                                       << "ResolvePort: Cannot convert port '70000', Error #10022";
}

void TestFtpScripted::usageErrors() {
    QFETCH(bool, connectFirst);
    QFETCH(QString, op);
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, text);

    ScriptedServer server({greet(welcome), on("USER bob", "230 Logged in\r\n")});
    Client c(server.port());
    writeFile(c.local, "content");
    if (connectFirst) QVERIFY(c.ftp.Connect());
    const qsizetype eventsBefore = c.done.size();
    const qsizetype sentBefore = c.sent.size();
    if (field == QLatin1String("LocalFileName")) c.ftp.setLocalFileName(value);
    if (field == QLatin1String("HostFileName")) c.ftp.setHostFileName(value);
    if (field == QLatin1String("HostDirName")) c.ftp.setHostDirName(value);
    if (field == QLatin1String("HostName")) c.ftp.setHostName(value);
    if (field == QLatin1String("Port")) c.ftp.setPort(value);

    bool ok = true;
    if (op == QLatin1String("Put")) ok = c.ftp.Put();
    if (op == QLatin1String("Get")) ok = c.ftp.Get();
    if (op == QLatin1String("Quit")) ok = c.ftp.Quit();
    if (op == QLatin1String("Connect")) ok = c.ftp.Connect();
    if (op == QLatin1String("Receive")) ok = c.ftp.Receive();
    if (op == QLatin1String("Transmit")) ok = c.ftp.Transmit();
    QVERIFY(!ok);
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

void TestFtpScripted::silentServerTimesOut() {
    ScriptedServer server({greet(welcome), on("USER bob", "230 Logged in\r\n"),
                           on("TYPE I", "200 Type set to I\r\n"), on("PASV", "")});
    Client c(server.port());
    writeFile(c.local, "content");
    c.ftp.setTimeout(1);
    QVERIFY(c.ftp.Connect());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!c.ftp.Put());
    QVERIFY2(clock.elapsed() >= 900 && clock.elapsed() < 5000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(c.ftp.ErrorMessage(), QStringLiteral("426 Timeout"));
    QCOMPARE(c.ftp.StatusCode(), 426);
    QCOMPARE(c.done.last(), qMakePair(Rq::Put, 426));
    QCOMPARE(c.done.size(), 2);
    QVERIFY(!c.ftp.Connected());
    QVERIFY(c.ftp.Ready());
    QTRY_VERIFY(server.controlClosed());
}

void TestFtpScripted::slowTransferIsNotCutOff() {
    ScriptedServer server(
        {greet(welcome), on("USER bob", "230 Logged in\r\n"), on("TYPE I", "200 Type set to I\r\n"),
         on("PASV", "{pasv}\r\n"),
         on("RETR pic.jpg", "150 Opening\r\n", DataAction::SendSlowly, "226 Done\r\n")});
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
    ScriptedServer server({greet(welcome), on("USER bob", "331 Password required\r\n"),
                           on("PASS secret", "230 Logged in\r\n"), on("TYPE I", "200 Ok\r\n"),
                           on("PASV", "{pasv}\r\n"),
                           on("STOR pic.jpg", "150 Ok\r\n", DataAction::Receive, "226 Done\r\n"),
                           on("PASV", "")});
    Client c(server.port());
    writeFile(c.local, "first image");
    c.ftp.setTimeout(1);
    QObject::connect(&c.ftp, &TFtpClient::OnRequestDone, &c.ftp, [&](Rq rq, int error) {
        if (rq == Rq::ConnectAsync && error == 0) c.ftp.PutAsync();
    });
    c.ftp.ConnectAsync();
    QVERIFY(!c.ftp.Ready());
    QTRY_COMPARE(c.done.size(), 2);
    QCOMPARE(c.done[0], qMakePair(Rq::ConnectAsync, 0));
    QCOMPARE(c.done[1], qMakePair(Rq::PutAsync, 0));
    QCOMPARE(server.received, QByteArray("first image"));

    // The server now falls silent on PASV: the no-wait upload still ends, with 426.
    c.ftp.PutAsync();
    QTRY_COMPARE_WITH_TIMEOUT(c.done.size(), 3, 5000);
    QCOMPARE(c.done[2], qMakePair(Rq::PutAsync, 426));
    QCOMPARE(c.ftp.ErrorMessage(), QStringLiteral("426 Timeout"));
}

void TestFtpScripted::dropMidDownloadKeepsOldFile() {
    ScriptedServer server({greet(welcome), on("USER bob", "230 Logged in\r\n"),
                           on("TYPE I", "200 Ok\r\n"), on("PASV", "{pasv}\r\n"),
                           on("RETR pic.jpg", "150 Opening\r\n", DataAction::DropMidway)});
    server.payload = binaryPayload(400 * 1024);
    Client c(server.port());
    writeFile(c.local, "the picture downloaded yesterday");
    QVERIFY(c.ftp.Connect());
    QVERIFY(!c.ftp.Get());
    QCOMPARE(c.done.last(), qMakePair(Rq::Get, 500));
    QCOMPARE(c.ftp.StatusCode(), 500);
    QCOMPARE(c.ftp.ErrorMessage(),
             QStringLiteral(
                 "500 Control connection closed. Connection reset by peer (Winsock error #10054)"));
    QVERIFY(!c.ftp.Connected());
    QCOMPARE(readFile(c.local), QByteArray("the picture downloaded yesterday"));
    QCOMPARE(QDir(c.dir.path()).entryList(QDir::Files), QStringList{"pic.jpg"});
}

void TestFtpScripted::cutUploadFailsEvenWhenServerSaysDone() {
    // The server cuts the data connection early and then claims success anyway.
    ScriptedServer server(
        {greet(welcome), on("USER bob", "230 Logged in\r\n"), on("TYPE I", "200 Ok\r\n"),
         on("PASV", "{pasv}\r\n"),
         on("STOR pic.jpg", "150 Ok\r\n", DataAction::ReceiveAndCut, "226 Transfer complete\r\n")});
    Client c(server.port());
    writeFile(c.local, binaryPayload(32 * 1024 * 1024));
    QVERIFY(c.ftp.Connect());
    QVERIFY(!c.ftp.Put());
    QCOMPARE(c.done.last(), qMakePair(Rq::Put, 426));
    QCOMPARE(c.ftp.ErrorMessage(), QStringLiteral("426 Connection closed; transfer aborted."));
    QVERIFY(c.ftp.Connected()); // the session itself is fine
}

void TestFtpScripted::endlessReply_data() {
    QTest::addColumn<QByteArray>("flood");
    QTest::newRow("continuation lines without end") << QByteArray("{endless}");
    QTest::newRow("one line without end") << QByteArray("{endless-line}");
}

void TestFtpScripted::endlessReply() {
    QFETCH(QByteArray, flood);
    ScriptedServer server({greet(flood)});
    Client c(server.port());
    c.ftp.setTimeout(0); // no deadline: the size limit alone must end it
    QTimer safety;
    QObject::connect(&safety, &QTimer::timeout, &c.ftp, [&] { c.ftp.Abort(); });
    safety.start(20000);
    QVERIFY(!c.ftp.Connect());
    QCOMPARE(
        c.ftp.ErrorMessage(),
        QStringLiteral("500 Control connection closed. Message too long (Winsock error #10040)"));
    QCOMPARE(c.done.last(), qMakePair(Rq::Connect, 500));
    QVERIFY(!c.ftp.Connected());
    QVERIFY2(server.flooded < 8 * 1024 * 1024, qPrintable(QString::number(server.flooded)));
}

void TestFtpScripted::secondRequestWhileOneRuns() {
    ScriptedServer server(
        {greet(welcome), on("USER bob", "230 Logged in\r\n"), on("TYPE I", "200 Ok\r\n"),
         on("PASV", "{pasv}\r\n"),
         on("RETR pic.jpg", "150 Opening\r\n", DataAction::SendSlowly, "226 Done\r\n")});
    server.payload = binaryPayload(30 * 1024);
    server.slowPieces = 5;
    server.slowIntervalMs = 200;
    Client c(server.port());
    QVERIFY(c.ftp.Connect());

    // A timer tick during the download tries an upload of its own.
    bool secondResult = true;
    QString raised;
    QString messageDuring;
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
    QCOMPARE(c.done, (QList<QPair<Rq, int>>{{Rq::Connect, 0}, {Rq::Get, 0}}));
    QVERIFY(!server.commands.contains(QStringLiteral("STOR pic.jpg")));
}

void TestFtpScripted::abortEndsRunningRequest() {
    ScriptedServer server(
        {greet(welcome), on("USER bob", "230 Logged in\r\n"), on("TYPE I", "200 Ok\r\n"),
         on("PASV", "{pasv}\r\n"),
         on("RETR pic.jpg", "150 Opening\r\n", DataAction::SendSlowly, "226 Done\r\n")});
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

void TestFtpScripted::missingLocalFile() {
    ScriptedServer server({greet(welcome), on("USER bob", "230 Logged in\r\n"),
                           on("TYPE I", "200 Ok\r\n"), on("PASV", "{pasv}\r\n")});
    Client c(server.port());
    const QString missing = c.dir.filePath(QStringLiteral("gone.jpg"));
    c.ftp.setLocalFileName(missing);
    QVERIFY(c.ftp.Connect());
    QVERIFY(!c.ftp.Put());
    QCOMPARE(c.ftp.ErrorMessage(), QStringLiteral("426 Unable to open local file ") + missing +
                                       QStringLiteral(": No such file or directory"));
    QCOMPARE(c.done.last(), qMakePair(Rq::Put, 426));
    QCOMPARE(server.commands, (QStringList{"USER bob", "TYPE I", "PASV"}));
}

void TestFtpScripted::connectionFailures_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("error");
    QTest::newRow("nobody listens") << "127.0.0.1" << 10061;
    QTest::newRow("name that does not exist") << "no-such-host.invalid" << 11001;
}

void TestFtpScripted::connectionFailures() {
    QFETCH(QString, host);
    QFETCH(int, error);
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    Client c(port);
    c.ftp.setHostName(host);
    c.ftp.setTimeout(30);
    QVERIFY(!c.ftp.Connect());
    QCOMPARE(c.done, (QList<QPair<Rq, int>>{{Rq::Connect, error}}));
    QCOMPARE(c.ftp.ErrorMessage(),
             QStringLiteral("500 %1 (Winsock error #%2)")
                 .arg(error == 10061 ? "Connection refused" : "Host not found")
                 .arg(error));
    QVERIFY(!c.ftp.Connected());
    QVERIFY(c.sent.isEmpty());
}

QTEST_GUILESS_MAIN(TestFtpScripted)
#include "tst_ftpscripted.moc"
