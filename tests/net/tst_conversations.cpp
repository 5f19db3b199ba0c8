// TFtpClient and TSmtpClient against scripted servers. A row is a conversation: the default
// one below with the replies that differ, the exact command lines the client must send
// ("|" between lines) and the outcome.
#include "NetTestUtil.h"
#include "ScriptedServer.h"
#include "net/FtpClient.h"
#include "net/SmtpClient.h"
#include "platform/ScriptedDesktop.h"

#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <optional>

using namespace ostrel;
using namespace ostrel::test;
using Rq = TFtpClient::Request;
using Done = QList<QPair<Rq, int>>;
using SmtpRq = TSmtpClient::Request;

namespace {

const Replies smtpServer{
    {"", "220 scripted mail server ready"},
    {"HELO", "250 scripted"},
    {"MAIL", "250 Ok"},
    {"RCPT", "250 Ok"},
    {"DATA", "354 Go ahead\r\n{message}250 Queued"},
    {"QUIT", "221 Bye"},
};

// Binary content with CR LF pairs, lone LFs and NULs, which an ASCII-mode transfer would alter.
QByteArray binaryPayload(qsizetype size) {
    return randomBytes(size, 4711, 997);
}

// The client the way the main window sets up its one instance, with the results recorded.
struct Client {
    QTemporaryDir dir;
    TFtpClient ftp;
    Done done;
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
        if (!localContent.isNull() && !writeFile(local, localContent))
            qFatal("cannot write %s", qPrintable(local));
        QObject::connect(&ftp, &TFtpClient::OnRequestDone, &ftp, [this](Rq rq, int error) {
            done.append({rq, error});
        });
    }

    // "Connect+Put" and the like: each operation after the one before succeeded.
    bool run(const QString& ops) {
        for (const QString& op : ops.split(QLatin1Char('+')))
            if (!run1(op)) return false;
        return true;
    }
    bool run1(const QString& op) {
        if (op == QLatin1String("ConnectAsync")) {
            // The motion upload: PutAsync from the handler of the ConnectAsync that ended.
            auto chain = std::make_shared<QMetaObject::Connection>();
            *chain = QObject::connect(&ftp, &TFtpClient::OnRequestDone, &ftp,
                                      [this, chain](Rq rq, int e) {
                                          QObject::disconnect(*chain);
                                          if (rq == Rq::ConnectAsync && e == 0) ftp.PutAsync();
                                      });
            ftp.ConnectAsync();
            return QTest::qWaitFor([&] { return ftp.Ready(); }, 20000) && done.last().second == 0;
        }
        if (op == QLatin1String("PutAsync")) return done.last() == qMakePair(Rq::PutAsync, 0);
        static const QMap<QString, bool (TFtpClient::*)()> ops{
            {"Connect", &TFtpClient::Connect},   {"Receive", &TFtpClient::Receive},
            {"Transmit", &TFtpClient::Transmit}, {"List", &TFtpClient::List},
            {"Delete", &TFtpClient::Delete},     {"Quit", &TFtpClient::Quit},
            {"Put", &TFtpClient::Put},           {"Get", &TFtpClient::Get}};
        return (ftp.*ops.value(op))();
    }
};

// The requests an operation chain reports, each succeeding but the last; a last call
// refused at once (error -1) reports nothing.
Done expectedDone(const QString& ops, int error) {
    Done done;
    for (const QString& op : ops.split(QLatin1Char('+')))
        done.append({Rq(QMetaEnum::fromType<Rq>().keyToValue(qPrintable(op))), 0});
    done.last().second = error;
    if (error < 0) done.removeLast();
    return done;
}

const QString login = QStringLiteral("USER bob|PASS secret");

struct FtpRow {
    QString op;
    // ";" between: "pasv=<address {pasv} names>"; "timeout=<seconds>"; "nolocal"
    // or "big" (no local file, or 32 MiB); "refused" (nobody listens); "abort", "cancel",
    // "second" (Abort, Cancel, or an upload tried, once the download's 150 came); "host=",
    // "dir=", "file=", "local=" (HostName, HostDirName, HostFileName, LocalFileName).
    QString setup;
    Replies replies;
    QString commands;
    int error;       // -1: the last call is refused at once, with nothing sent or reported
    QString message; // %1: the local file
    QString after;   // "uploaded", "downloaded", "connected"
};
struct SmtpRow {
    QStringList recipients;
    Replies replies;
    QString commands;
    SmtpRq last; // the last step reported; the ones before it succeeded
    int error;
    QString message; // the failure reported; %1: the attachment
};

} // namespace

Q_DECLARE_METATYPE(FtpRow)
Q_DECLARE_METATYPE(SmtpRow)

class TestConversations : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void ftp_data();
    void ftp();
    void ftpClientDeletedWhileItWaits();
    void smtp_data();
    void smtp();
    void smtpUsageErrors();
    void debugLogMasksPasswords();

private:
    std::unique_ptr<ScriptedDesktop> desktop_;
};

void TestConversations::initTestCase() {
    desktop_ = std::make_unique<ScriptedDesktop>();
    desktop_->clock = QDateTime(QDate(2024, 2, 5), QTime(14, 4, 5), Qt::OffsetFromUTC, 3600);
}

void TestConversations::ftp_data() {
    QTest::addColumn<FtpRow>("row");
    const auto row = [](const char* name, const char* op, const char* setup, const Replies& replies,
                        const QString& commands, int error, const char* message,
                        const char* after) {
        QTest::newRow(name) << FtpRow{QString(op), QString(setup),   replies,       commands,
                                      error,       QString(message), QString(after)};
    };
    const QString receive = login + "|TYPE I|PASV|RETR pic.jpg|QUIT";
    const QString transmit = login + "|TYPE I|PASV|STOR pic.jpg|QUIT";
    const QString put = login + "|TYPE I|PASV|STOR pic.jpg";
    const QString get = login + "|TYPE I|PASV|RETR pic.jpg";
    const QByteArray slowly = "150 Opening\r\n{send-slowly}226 Done";

    row("USER answered 230 gets no PASS", "Connect", "", {{"USER", "230 Logged in"}}, "USER bob", 0,
        "", "connected");
    row("lone LF ends reply lines", "Connect", "",
        {{"", "220 ready\n"},
         {"USER", "331 Password required\n"},
         {"PASS", "230-Welcome\n text of the banner\n230 Logged in\n"}},
        login, 0, "", "connected");
    row("USER answered with a code no step accepts", "Connect", "",
        {{"USER", "332 Need account for login."}}, "USER bob", 332, "332 Need account for login.",
        "connected");
    row("greeting that refuses service", "Connect", "", {{"", "421 Too many users"}}, "", 421,
        "421 Too many users", "connected");
    row("Transmit without HostDirName sends no CWD; a failed STOR still sends QUIT", "Transmit", "",
        {{"STOR", "553 Could not create file."}}, transmit, 553, "553 Could not create file.", "");
    row("227 naming a foreign address: data still goes to the server", "Receive", "pasv=10.255.1.2",
        {}, receive, 0, "", "downloaded");
    row("Transmit into a folder", "Transmit", "dir=cams", {},
        login + "|CWD cams|TYPE I|PASV|STOR pic.jpg|QUIT", 0, "", "uploaded");
    row("227 without an address", "Receive", "", {{"PASV", "227 Entering Passive Mode"}},
        login + "|TYPE I|PASV|QUIT", 10049, "Unable to establish data connection, error #10049",
        "");
    row("refused data connection", "Receive", "",
        {{"PASV", "227 Entering Passive Mode (127,0,0,1,0,1)"}}, login + "|TYPE I|PASV|QUIT", 10061,
        "Unable to establish data connection, error #10061", "");
    row("Delete answered 550 still quits", "Delete", "", {{"DELE", "550 No such file."}},
        login + "|DELE pic.jpg|QUIT", 550, "550 No such file.", "");
    row("Get after Connect: 125, then 250", "Connect+Get", "",
        {{"RETR", "125 Data connection already open\r\n{send}250 Requested file action okay"}}, get,
        0, "", "downloaded connected");
    row("slow download is not cut off by the time-out, nor by an upload tried meanwhile",
        "Connect+Get", "timeout=1;second", {{"RETR", slowly}}, get, 0, "", "downloaded connected");
    row("Abort ends a running download", "Connect+Get", "abort", {{"RETR", slowly}}, get, 426,
        "426 Operation aborted.", "");
    row("Cancel ends a running download and leaves the client ready", "Connect+Get", "cancel",
        {{"RETR", slowly}}, get, 426, "426 Operation aborted.", "");
    // What a hostile server sends is bounded: in size, in time, by the room on the disk.
    const QByteArray endless = "150 Opening\r\n{send-endless}226 Done";
    row("endless listing ends at the listing limit", "List", "", {{"NLST", endless}},
        login + "|PASV|NLST|QUIT", 426,
        "426 Transfer aborted: the server sent more than 4194304 bytes", "");
    row("endless download ends at the download limit", "Connect+Get", "limit=1000000",
        {{"RETR", endless}}, get, 426,
        "426 Transfer aborted: the server sent more than 1000000 bytes", "connected");
    row("trickled download ends at the overall limit", "Connect+Get", "max=2",
        {{"RETR", "150 Opening\r\n{trickle}226 Done"}}, get, 426, "426 Timeout", "");
    row("download without room on the disk", "Connect+Get", "room=0", {{"RETR", endless}},
        login + "|TYPE I|PASV", 426,
        "426 Unable to write local file %1: not enough free space on the disk", "connected");
    row("download that leaves no room on the disk", "Connect+Get", "room=1;limit=0",
        {{"RETR", endless}}, get, 426,
        "426 Unable to write local file %1: not enough free space on the disk", "connected");
    row("server falls silent: time-out", "Connect+Put", "timeout=1", {{"PASV", ""}},
        login + "|TYPE I|PASV", 426, "426 Timeout", "");
    row("connection dropped mid-download keeps the old file", "Connect+Get", "",
        {{"RETR", "150 Opening\r\n{drop-midway}"}}, get, 500,
        "500 Control connection closed. Connection reset by peer (Winsock error #10054)", "");
    row("upload cut short (while read) fails though the server says 226", "Connect+Put", "big",
        {{"STOR", "150 Ok\r\n{receive-cut}226 Transfer complete"}}, put, 426,
        "426 Connection closed; transfer aborted.", "connected");
    row("upload cut short (all sent) fails though the server says 226", "Connect+Put", "",
        {{"STOR", "150 Ok\r\n{receive-cut}226 Transfer complete"}}, put, 426,
        "426 Connection closed; transfer aborted.", "connected");
    row("missing local file", "Connect+Put", "nolocal", {}, login + "|TYPE I|PASV", 426,
        "426 Unable to open local file %1: No such file or directory", "connected");
    // No deadline: the size limit alone must end these.
    for (const char* flood : {"{endless}", "{endless-line}"})
        row(flood, "Connect", "timeout=0", {{"", flood}}, "", 500,
            "500 Control connection closed. Message too long (Winsock error #10040)", "");
    row("name that does not exist", "Connect", "host=no-such-host.invalid", {}, "", 11001,
        "500 Host not found (Winsock error #11001)", "");
    // The motion upload: PutAsync from the handler of the ConnectAsync that ended. Its success
    // against a real server is the motion session's.
    row("no-wait upload to a silent server still ends", "ConnectAsync+PutAsync", "timeout=1",
        {{"PASV", ""}}, login + "|TYPE I|PASV", 426, "426 Timeout", "");
    // Calls refused at once.
    row("Put before Connect", "Put", "", {}, "", -1, "STOR/APPE: not connected", "");
    row("Get before Connect", "Get", "", {}, "", -1, "FTP component not connected", "");
    row("Connect twice", "Connect+Connect", "", {}, login, -1, "FTP component already connected",
        "connected");
    row("Put without LocalFileName", "Connect+Put", "local=", {}, login, -1, "LocalFileName empty",
        "connected");
    row("file name that would smuggle a command", "Connect+Put", "file=a.jpg\r\nDELE index.html",
        {}, login, -1, "HostFileName holds a line break", "connected");
    row("folder name with a line feed", "Transmit", "dir=www\nRMD www", {}, "", -1,
        "HostDirName holds a line break", "");
    row("no host", "Connect", "host=", {}, "", -1, "Connect: No IP Address Specified", "");
}

void TestConversations::ftp() {
    QFETCH(FtpRow, row);
    const auto& [op, setup, replies, commands, error, message, after] = row;
    const auto option = [&, setup = setup](const char* key) -> std::optional<QString> {
        for (const QString& s : setup.split(QLatin1Char(';')))
            if (s.section(QLatin1Char('='), 0, 0) == QLatin1String(key))
                return s.section(QLatin1Char('='), 1);
        return std::nullopt;
    };

    ScriptedServer server(ftpServer, replies);
    server.payload = binaryPayload(300 * 1024);
    if (option("pasv")) server.pasvAddress = QHostAddress(*option("pasv"));
    const QByteArray local =
        option("nolocal") ? QByteArray() : binaryPayload(option("big") ? 32 << 20 : 200 * 1024 + 7);
    Client c(server.port(), local);
    if (const auto v = option("dir")) c.ftp.setHostDirName(*v);
    if (const auto v = option("file")) c.ftp.setHostFileName(*v);
    if (const auto v = option("local")) c.ftp.setLocalFileName(*v);
    if (const auto v = option("host")) c.ftp.setHostName(*v);
    if (const auto v = option("timeout")) c.ftp.setTimeout(v->toInt());
    if (const auto v = option("limit")) c.ftp.setDownloadLimit(v->toLongLong());
    if (const auto v = option("max")) c.ftp.setMaxDuration(v->toInt());
    if (const auto v = option("room"))
        c.ftp.setRoomCheck([left = v->toInt()]() mutable { return left-- > 0; });
    // Once the download runs, from the event loop as a handler would.
    const auto whileRunning = [&](std::function<void()> action) {
        connect(&c.ftp, &TFtpClient::OnResponse, &c.ftp, [&c, action](const QString& line) {
            if (line.startsWith(QLatin1String("150"))) QTimer::singleShot(0, &c.ftp, action);
        });
    };
    if (option("abort")) whileRunning([&] { c.ftp.Abort(); });
    bool readyAfterCancel = false;
    if (option("cancel"))
        whileRunning([&] {
            c.ftp.Cancel();
            readyAfterCancel = c.ftp.Ready();
        });
    // A timer tick during a transfer tries an upload of its own: refused, and the running
    // request's state stays untouched.
    QString second;
    if (option("second")) {
        whileRunning([&] {
            c.ftp.setLocalFileName(c.dir.filePath(QStringLiteral("other.jpg")));
            second = c.ftp.Put() ? "done" : "refused";
            second += "|" + raised([&] { c.ftp.PutAsync(); }) + "|" + c.ftp.ErrorMessage();
            c.ftp.setLocalFileName(c.local);
        });
    }
    QTimer safety; // ends a client that never gives up, so a failing row ends
    connect(&safety, &QTimer::timeout, &c.ftp, [&] { c.ftp.Abort(); });
    safety.start(20000);

    QCOMPARE(c.run(op), error == 0);
    QCOMPARE(server.commands.join(u'|'), commands);
    QCOMPARE(c.done, expectedDone(op, error));
    QCOMPARE(c.ftp.ErrorMessage(), QString(message).replace("%1", c.local));
    if (error > 0)
        QCOMPARE(c.ftp.StatusCode(), commands.endsWith("QUIT") ? 221 : error < 1000 ? error : 500);
    // The no-wait forms of a refused call raise the same text to their caller.
    if (error < 0 && (op.endsWith(QLatin1String("Put")) || op.endsWith(QLatin1String("Connect"))))
        QCOMPARE(raised([&, op = op] {
                     op.endsWith(QLatin1String("Put")) ? c.ftp.PutAsync() : c.ftp.ConnectAsync();
                 }),
                 message);
    if (option("second")) QCOMPARE(second, QStringLiteral("refused|FTP component not ready|"));
    if (option("cancel")) QVERIFY(readyAfterCancel);
    QVERIFY(c.ftp.Ready());
    QCOMPARE(c.ftp.Connected(), after.contains("connected"));
    if (!c.ftp.Connected()) QTRY_VERIFY(server.controlClosed());
    QCOMPARE_LT(server.flooded, 8 * 1024 * 1024);
    if (after.contains("uploaded")) QCOMPARE(server.received, local);
    // Uploads only read the local file; failed downloads leave it as it was, and no part
    // file is left behind.
    const bool downloaded = after.contains("downloaded");
    QCOMPARE(readFile(c.local), downloaded       ? server.payload
                                : local.isNull() ? QByteArray("<missing>")
                                                 : local);
    QCOMPARE(QDir(c.dir.path()).entryList(QDir::Files),
             local.isNull() && !downloaded ? QStringList() : QStringList{"pic.jpg"});
    // An idle Abort ends nothing and reports nothing.
    const qsizetype reported = c.done.size();
    c.ftp.Abort();
    QCoreApplication::processEvents();
    QCOMPARE(c.done.size(), reported);
}

void TestConversations::ftpClientDeletedWhileItWaits() {
    ScriptedServer server(ftpServer, {{"PASS", ""}});
    auto c = std::make_unique<Client>(server.port());
    // A handler deletes the client while it waits for the answer to PASS.
    connect(&c->ftp, &TFtpClient::OnCommand, &server, [&](const QString& line) {
        if (line.startsWith(QLatin1String("PASS")))
            QTimer::singleShot(0, &server, [&] { c.reset(); });
    });
    QVERIFY(!c->ftp.Connect());
    QVERIFY(!c);
}

void TestConversations::smtp_data() {
    QTest::addColumn<SmtpRow>("row");
    const auto row = [](const char* name, const QStringList& to, const Replies& replies,
                        const QString& commands, SmtpRq last = SmtpRq::Quit, int error = 0,
                        const char* message = "") {
        QTest::newRow(name) << SmtpRow{to, replies, commands, last, error, QString(message)};
    };
    const QString helo = QStringLiteral("HELO ostrel-host|");
    const QString envelope = helo + "MAIL FROM:<cam@example.org>|RCPT TO:<a@example.org>";
    const QString mail = envelope + "|DATA|QUIT";
    const QStringList a{"a@example.org"}, ab{"a@example.org", " b@example.org "};

    row("bare addresses get brackets; two recipients give two RCPT TO lines", ab,
        {{"RCPT TO:<b@example.org>", "251 User not local; will forward"}},
        envelope + "|RCPT TO:<b@example.org>|DATA|QUIT");
    row("multi-line greeting and lone LF replies", a,
        {{"", "220-scripted\n220-mail{pause} server\n220 ready\n"},
         {"HELO", "250 scripted\n"},
         {"MAIL", "250 Ok\n"},
         {"RCPT", "250 Ok\n"},
         {"DATA", "354 Go ahead\n{message}250 Queued\n"},
         {"QUIT", "221 Bye\n"}},
        mail);
    row("rejected recipient stops the mail", ab,
        {{"RCPT TO:<b@example.org>", "550 5.1.1 <b@example.org>: User unknown"}},
        envelope + "|RCPT TO:<b@example.org>", SmtpRq::RcptTo, 550,
        "550 5.1.1 <b@example.org>: User unknown");
    row("greeting refuses service", a, {{"", "554 No SMTP service here"}}, "", SmtpRq::Connect, 554,
        "554 No SMTP service here");
    // The rest of the message stays unsent, and the attachment is closed.
    row("server speaks up during the data", a, {{"DATA", "354 Go ahead\r\n554 Go away"}},
        envelope + "|DATA", SmtpRq::Data, 554, "554 Go away");
    row("message refused after its data", a,
        {{"DATA", "354 Go ahead\r\n{message}552 Message size exceeds fixed limit"}},
        envelope + "|DATA", SmtpRq::Data, 552, "552 Message size exceeds fixed limit");
    row("server falls silent: time-out", a, {{"HELO", ""}}, "HELO ostrel-host", SmtpRq::Helo, 426,
        "426 Timeout");
    row("connection dropped during a step", a, {{"HELO", "{drop}"}}, "HELO ostrel-host",
        SmtpRq::Helo, 10054, "500 Connection reset by peer (Winsock error #10054)");
    row("endless greeting", a, {{"", "{endless}"}}, "", SmtpRq::Connect, 10040,
        "500 Message too long (Winsock error #10040)");
    row("no recipients", {"", "  "}, {}, helo + "MAIL FROM:<cam@example.org>", SmtpRq::RcptTo, 500,
        "RcptName list is empty");
    // Added when it was there, gone when the data goes out: no DATA is sent.
    row("attachment gone before the data", a, {}, envelope, SmtpRq::RcptTo, 0,
        "File not found '%1'");
}

void TestConversations::smtp() {
    QFETCH(SmtpRow, row);
    const auto& [recipients, replies, commands, last, error, message] = row;

    ScriptedServer server(smtpServer, replies);
    TSmtpClient smtp;
    QList<QPair<SmtpRq, int>> reported;
    std::optional<int> mailDone; // the error that ended the mail
    connect(&smtp, &TSmtpClient::OnRequestDone, &smtp, [&](SmtpRq rq, int e) {
        reported.append({rq, e});
    });
    connect(&smtp, &TSmtpClient::OnSessionDone, &smtp, [&](int e) { mailDone = e; });
    // TLS and a login saved while a mail greets in the clear are for the next mail: this one
    // goes on as it began, and no login crosses the network in clear.
    connect(&smtp, &TSmtpClient::OnResponse, &smtp, [&] {
        smtp.setSecurity(TSmtpClient::Security::Tls);
        smtp.setUsername(QStringLiteral("cam"));
        smtp.setPassword(QStringLiteral("s3cret"));
    });
    smtp.setHost(QStringLiteral("127.0.0.1"));
    smtp.setPort(QString::number(server.port()));
    smtp.setSignOn(QStringLiteral("ostrel-host"));
    smtp.setFromName(QStringLiteral("cam@example.org"));
    smtp.setTimeout(1);
    smtp.setRcptName(recipients);
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("20240205_140405.jpg"));
    QVERIFY(writeFile(picture, binaryPayload(1 << 20))); // more than the client buffers at once
    smtp.addEmailFile(picture);
    if (message.contains(QLatin1String("%1"))) QVERIFY(QFile::remove(picture));
    smtp.SendMail();
    QTRY_VERIFY_WITH_TIMEOUT(mailDone, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(server.controlClosed(), 10000); // nothing more can follow
    // A mail that failed half sent holds its attachment open no longer.
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System))
        QCOMPARE_NE(fd.symLinkTarget(), picture);

    QCOMPARE(server.commands.join(u'|'), commands);
    QList<QPair<SmtpRq, int>> done;
    for (SmtpRq step : {SmtpRq::Connect, SmtpRq::Helo, SmtpRq::MailFrom, SmtpRq::RcptTo,
                        SmtpRq::Data, SmtpRq::Quit}) {
        done.append({step, step == last ? error : 0});
        if (step == last) break;
    }
    QCOMPARE(reported, done);
    // A step that could not start ends the mail as well.
    QCOMPARE(*mailDone, error == 0 && !message.isEmpty() ? TSmtpClient::StepNotStarted : error);
    QCOMPARE(smtp.ErrorMessage(), QString(message).replace("%1", picture));
    QCOMPARE_LT(server.flooded, 8 * 1024 * 1024);
    // Once the mail is over the session is gone, so the next mail connects afresh.
    QTRY_VERIFY(!smtp.Connected());
    QVERIFY(smtp.Ready());
}

void TestConversations::smtpUsageErrors() {
    ScriptedServer server(smtpServer, {});
    TSmtpClient smtp;
    smtp.setHost(QStringLiteral("127.0.0.1"));
    smtp.setPort(QString::number(server.port()));
    QCOMPARE(raised([&] { smtp.Helo(); }), QStringLiteral("SMTP component not connected"));
    QSignalSpy spy(&smtp, &TSmtpClient::OnRequestDone);
    smtp.Connect();
    QCOMPARE(raised([&] { smtp.Helo(); }), QStringLiteral("SMTP component not ready"));
    QTRY_COMPARE(spy.size(), 1);
    QCOMPARE(raised([&] { smtp.Connect(); }), QStringLiteral("SMTP component already connected"));
    QCOMPARE(raised([&] { smtp.addEmailFile(QStringLiteral("/no/such/picture.jpg")); }),
             QStringLiteral("File not found '/no/such/picture.jpg'"));
    QVERIFY(smtp.EmailFiles().isEmpty());
    smtp.setHost(QString());
    smtp.Abort();
    QCOMPARE(raised([&] { smtp.Connect(); }), QStringLiteral("Connect: No IP Address Specified"));
}

void TestConversations::debugLogMasksPasswords() {
    static QStringList logged;
    logged.clear();
    QLoggingCategory::setFilterRules(QStringLiteral("ostrel.ftp.debug=true"));
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext& where, const QString& text) {
            if (qstrcmp(where.category, "ostrel.ftp") == 0) logged << text;
        });
    ScriptedServer server(ftpServer, {});
    Client c(server.port());
    const bool ok = c.ftp.Connect() && c.ftp.Quit();
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());

    QVERIFY(ok);
    for (const char* line : {"state User -> Pass", "> PASS ****", "< 230 Logged in"})
        QVERIFY2(logged.contains(QLatin1String(line)), qPrintable(logged.join('\n')));
    for (const QString& line : std::as_const(logged))
        QVERIFY2(!line.contains(QLatin1String("secret")), qPrintable(line));
    QCOMPARE(maskedCommand("auth plain AGJvYgBzZWNyZXQ="), QByteArray("auth ****"));
}

QTEST_GUILESS_MAIN(TestConversations)
#include "tst_conversations.moc"
