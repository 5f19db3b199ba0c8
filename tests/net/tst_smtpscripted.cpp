// TSmtpClient against scripted servers, driven step by step by smtpRequestDone the way the
// main window's SmtpClientRequestDone drives it. Each case states what the server replies
// and the exact command lines the client must send.
#include "ScriptedServer.h"
#include "net/RequestReport.h"
#include "net/SmtpClient.h"
#include "platform/ScriptedDesktop.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using Rq = TSmtpClient::Request;
using Done = QList<QPair<Rq, int>>;

namespace {

struct Mailer {
    TSmtpClient smtp;
    Done done;
    QList<RequestReport> reports;

    explicit Mailer(quint16 port) {
        smtp.setHost(QStringLiteral("127.0.0.1"));
        smtp.setPort(QString::number(port));
        smtp.setSignOn(QStringLiteral("ostrel-host"));
        smtp.setFromName(QStringLiteral("cam@example.org"));
        smtp.setTimeout(5);
        smtp.setHdrFrom(QStringLiteral("cam@example.org"));
        smtp.setHdrTo(QStringLiteral("a@example.org"));
        smtp.setHdrSubject(QStringLiteral("Ostrel: motion detected"));
        smtp.setMailMessage({QStringLiteral("Motion was detected.")});
        smtp.setRcptName({QStringLiteral("a@example.org")});
        QObject::connect(&smtp, &TSmtpClient::OnRequestDone, &smtp, [this](Rq rq, int error) {
            done.append({rq, error});
            reports.append(smtpRequestDone(smtp, rq, error, true));
        });
    }
    // Sending a mail: fill the fields, then connect when not connected; nothing else.
    void send() {
        if (!smtp.Connected()) smtp.Connect();
    }
    // The mail is over: it quit, or a step failed.
    bool over() const {
        return !done.isEmpty() &&
               (done.last().first == Rq::Quit || done.last().second != 0 || reports.last().failed);
    }
};

const Exchange welcome = greet("220 scripted mail server ready\r\n");

} // namespace

class TestSmtpScripted : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void conversation_data();
    void conversation();
    void messageOnTheWire();
    void stepsRaiseUsageErrors();
    void missingAttachment();

private:
    std::unique_ptr<ScriptedDesktop> desktop_;
};

void TestSmtpScripted::initTestCase() {
    desktop_ = std::make_unique<ScriptedDesktop>();
    desktop_->clock = QDateTime(QDate(2024, 2, 5), QTime(14, 4, 5), Qt::OffsetFromUTC, 3600);
}

void TestSmtpScripted::conversation_data() {
    QTest::addColumn<QString>("fromName");
    QTest::addColumn<QStringList>("recipients");
    QTest::addColumn<QList<Exchange>>("script"); // the client must send exactly its commands
    QTest::addColumn<Done>("done");
    QTest::addColumn<QString>("logEntry");
    const auto row = [](const char* name, const char* from, const QStringList& to,
                        const QList<Exchange>& script, const Done& done, const char* log = "") {
        QTest::newRow(name) << QString(from) << to << script << done << QString(log);
    };
    const auto mail = [](QList<Exchange> middle) {
        return QList<Exchange>{welcome, on("HELO ostrel-host", "250 scripted\r\n")} + middle;
    };
    const Exchange data = on("DATA", "354 Go ahead\r\n", DataAction::Message, "250 Queued\r\n");
    const auto okFor = [](const char* line) { return on(line, "250 Ok\r\n"); };
    const Exchange quit = on("QUIT", "221 Bye\r\n");
    const Done all{{Rq::Connect, 0}, {Rq::Helo, 0}, {Rq::MailFrom, 0},
                   {Rq::RcptTo, 0},  {Rq::Data, 0}, {Rq::Quit, 0}};
    const QStringList a{"a@example.org"};

    row("bare addresses get brackets; two recipients give two RCPT TO lines", "cam@example.org",
        {"a@example.org", " b@example.org "},
        mail({okFor("MAIL FROM:<cam@example.org>"), okFor("RCPT TO:<a@example.org>"),
              on("RCPT TO:<b@example.org>", "251 User not local; will forward\r\n"),
              on("DATA", "354 End data with <CR><LF>.<CR><LF>\r\n", DataAction::Message,
                 "250 Queued\r\n"),
              quit}),
        all);
    row("addresses already in brackets go out unchanged", "Camera <cam@example.org>",
        {"Alice <a@example.org>"},
        mail({okFor("MAIL FROM:Camera <cam@example.org>"), okFor("RCPT TO:Alice <a@example.org>"),
              data, quit}),
        all);
    row("empty sender gives empty brackets", "", a,
        mail({okFor("MAIL FROM:<>"), okFor("RCPT TO:<a@example.org>"), data, quit}), all);
    row("multi-line greeting and lone LF replies", "cam@example.org", a,
        {greet("220-scripted\n220-mail{pause} server\n220 ready\n"),
         on("HELO ostrel-host", "250 scripted\n"), on("MAIL FROM:<cam@example.org>", "250 Ok\n"),
         on("RCPT TO:<a@example.org>", "250 Ok\n"),
         on("DATA", "354 Go ahead\n", DataAction::Message, "250 Queued\n"),
         on("QUIT", "221 Bye\n")},
        all);
    row("rejected recipient stops the mail", "cam@example.org", {"a@example.org", "b@example.org"},
        mail({okFor("MAIL FROM:<cam@example.org>"), okFor("RCPT TO:<a@example.org>"),
              on("RCPT TO:<b@example.org>", "550 5.1.1 <b@example.org>: User unknown\r\n")}),
        {{Rq::Connect, 0}, {Rq::Helo, 0}, {Rq::MailFrom, 0}, {Rq::RcptTo, 550}},
        " :   SMTP error = 550 5.1.1 <b@example.org>: User unknown");
    row("greeting refuses service", "cam@example.org", a, {greet("554 No SMTP service here\r\n")},
        {{Rq::Connect, 554}}, " :   SMTP error = 554 No SMTP service here");
    row("sender refused", "cam@example.org", a,
        mail({on("MAIL FROM:<cam@example.org>", "553 Sender address rejected\r\n")}),
        {{Rq::Connect, 0}, {Rq::Helo, 0}, {Rq::MailFrom, 553}},
        " :   SMTP error = 553 Sender address rejected");
    row("message refused after its data", "cam@example.org", a,
        mail({okFor("MAIL FROM:<cam@example.org>"), okFor("RCPT TO:<a@example.org>"),
              on("DATA", "354 Go ahead\r\n", DataAction::Message,
                 "552 Message size exceeds fixed limit\r\n")}),
        {{Rq::Connect, 0}, {Rq::Helo, 0}, {Rq::MailFrom, 0}, {Rq::RcptTo, 0}, {Rq::Data, 552}},
        " :   SMTP error = 552 Message size exceeds fixed limit");
    row("server falls silent: time-out", "cam@example.org", a,
        {welcome, on("HELO ostrel-host", "")}, {{Rq::Connect, 0}, {Rq::Helo, 426}},
        " :   SMTP error = 426 Timeout");
    row("connection dropped during a step", "cam@example.org", a,
        {welcome, on("HELO ostrel-host", "{drop}")}, {{Rq::Connect, 0}, {Rq::Helo, 10054}},
        " :   SMTP error = 500 Connection reset by peer (Winsock error #10054)");
    row("endless greeting", "cam@example.org", a, {greet("{endless}")}, {{Rq::Connect, 10040}},
        " :   SMTP error = 500 Message too long (Winsock error #10040)");
    row("no recipients", "cam@example.org", {"", "  "},
        mail({okFor("MAIL FROM:<cam@example.org>")}),
        {{Rq::Connect, 0}, {Rq::Helo, 0}, {Rq::MailFrom, 0}, {Rq::RcptTo, 500}},
        " :   SMTP error = RcptName list is empty");
}

void TestSmtpScripted::conversation() {
    QFETCH(QString, fromName);
    QFETCH(QStringList, recipients);
    QFETCH(QList<Exchange>, script);
    QFETCH(Done, done);
    QFETCH(QString, logEntry);

    ScriptedServer server(script);
    Mailer m(server.port());
    m.smtp.setFromName(fromName);
    m.smtp.setRcptName(recipients);
    m.smtp.setTimeout(1);
    m.send();
    QTRY_VERIFY_WITH_TIMEOUT(m.over(), 10000);
    QTest::qWait(50); // nothing more may follow

    QCOMPARE(server.commands, server.scripted);
    QCOMPARE(m.done, done);
    const RequestReport& last = m.reports.last();
    QCOMPARE(last.failed, !logEntry.isEmpty());
    QCOMPARE(last.beep, !logEntry.isEmpty());
    QCOMPARE(last.logEntry, logEntry);
    if (last.failed) {
        QCOMPARE(last.statusText, m.smtp.ErrorMessage());
        QCOMPARE(" :   SMTP error = " + m.smtp.ErrorMessage(), logEntry);
    }
    QVERIFY(server.flooded < 8 * 1024 * 1024);
    // Once the mail is over the session is gone, so the next mail connects afresh.
    QTRY_VERIFY(!m.smtp.Connected());
    QVERIFY(m.smtp.Ready());
}

void TestSmtpScripted::messageOnTheWire() {
    ScriptedServer server({welcome, on("HELO ostrel-host", "250 scripted\r\n"),
                           on("MAIL FROM:<cam@example.org>", "250 Ok\r\n"),
                           on("RCPT TO:<a@example.org>", "250 Ok\r\n"),
                           on("DATA", "354 Go ahead\r\n", DataAction::Message, "250 Queued\r\n"),
                           on("QUIT", "221 Bye\r\n")});
    Mailer m(server.port());
    m.smtp.setHdrSubject(QStringLiteral("Alert\r\nBcc: victim@example.org"));
    m.smtp.setHdrCc(QStringLiteral("c@example.org"));
    m.smtp.setMailMessage({QStringLiteral("."), QStringLiteral("first line"),
                           QStringLiteral(".hidden"), QStringLiteral("two\n.\nQUIT"),
                           QStringLiteral(" ")});
    m.send();
    QTRY_VERIFY(m.over());
    QCOMPARE(m.done.last(), qMakePair(Rq::Quit, 0));

    const qsizetype split = server.received.indexOf("\r\n\r\n");
    QVERIFY(split > 0);
    const QByteArray header = server.received.left(split + 2);
    const QByteArray body = server.received.mid(split + 4);
    QCOMPARE(header, QByteArray("From: cam@example.org\r\n"
                                "To: a@example.org\r\n"
                                "Cc: c@example.org\r\n"
                                "Subject: Alert Bcc: victim@example.org\r\n"
                                "Sender: cam@example.org\r\n"
                                "Mime-Version: 1.0\r\n"
                                "Content-Type: text/plain; charset=\"iso-8859-1\"\r\n"
                                "Date: Mon, 5 Feb 2024 13:04:05 GMT\r\n"
                                "X-Mailer: Ostrel SMTP Client V2.32\r\n"));
    // The server saw the lines still dot-stuffed; none of them ended the data early.
    QCOMPARE(body, QByteArray("..\r\nfirst line\r\n..hidden\r\ntwo\r\n..\r\nQUIT\r\n \r\n"));
    QCOMPARE(server.commands, server.scripted);
}

void TestSmtpScripted::stepsRaiseUsageErrors() {
    ScriptedServer server({welcome, on("HELO ostrel-host", "")});
    TSmtpClient smtp;
    smtp.setHost(QStringLiteral("127.0.0.1"));
    smtp.setPort(QString::number(server.port()));
    smtp.setSignOn(QStringLiteral("ostrel-host"));
    const auto raised = [](auto&& step) {
        try {
            step();
        } catch (const Exception& e) {
            return e.message();
        }
        return QString();
    };
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

void TestSmtpScripted::missingAttachment() {
    // The picture was there when it was added but is gone when the data goes out.
    QTemporaryDir dir;
    const QString picture = dir.filePath(QStringLiteral("20240205_140405.jpg"));
    {
        QFile f(picture);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("jpeg");
    }
    ScriptedServer server({welcome, on("HELO ostrel-host", "250 Ok\r\n"),
                           on("MAIL FROM:<cam@example.org>", "250 Ok\r\n"),
                           on("RCPT TO:<a@example.org>", "250 Ok\r\n")});
    Mailer m(server.port());
    m.smtp.addEmailFile(picture);
    QFile::remove(picture);
    m.send();
    QTRY_VERIFY(m.over());
    QCOMPARE(m.reports.last().logEntry,
             QStringLiteral(" :   SMTP error = File not found '") + picture + QStringLiteral("'"));
    QVERIFY(!server.commands.contains(QStringLiteral("DATA")));
    QTRY_VERIFY(!m.smtp.Connected());
}

QTEST_GUILESS_MAIN(TestSmtpScripted)
#include "tst_smtpscripted.moc"
