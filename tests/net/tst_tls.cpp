// The SMTP client over TLS against aiosmtpd: STARTTLS and TLS from the start, the login, and
// the refusals. The server's certificate is made here, self-signed, and trusted the way a
// user trusts one: by pinning its SHA-256 fingerprint.
#include "NetTestUtil.h"
#include "Peer.h"
#include "net/RequestReport.h"
#include "net/SmtpClient.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

using Rq = TSmtpClient::Request;
using Sec = TSmtpClient::Security;

// The first attachment's bytes, decoded.
const char* const attachmentOf = R"(
import email, sys
msg = email.message_from_bytes(open(sys.argv[1], 'rb').read())
print(next(p for p in msg.walk() if p.get_filename()).get_payload(decode=True).hex())
)";

QByteArray openssl(const QStringList& arguments) {
    QProcess p;
    p.start(QStringLiteral("openssl"), arguments);
    return p.waitForFinished(30000) && p.exitCode() == 0 ? p.readAllStandardOutput().trimmed()
                                                         : QByteArray();
}

enum class Pin { Own, OwnBareHex, None, Other };

struct Row {
    QStringList server; // options; "CERT KEY" follow --starttls and --tls
    Sec security;
    QString password;
    Pin pin;
    Rq last; // the last step reported; the ones before it succeeded
    QString error;
    QString commands; // the verbs the server received, when they matter
};

} // namespace

Q_DECLARE_METATYPE(Row)

class TestTls : public QObject {
    Q_OBJECT
    QTemporaryDir certs;
    QString fingerprint[2]; // openssl's line, of the server's certificate and another

private slots:
    void initTestCase() {
        for (int i = 0; i < 2; ++i) {
            const QString cert = certs.filePath(QStringLiteral("cert%1.pem").arg(i));
            openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost",
                     "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-days", "2",
                     "-keyout", certs.filePath(QStringLiteral("key%1.pem").arg(i)), "-out", cert});
            fingerprint[i] = QString::fromLatin1(
                openssl({"x509", "-fingerprint", "-sha256", "-noout", "-in", cert}));
            QVERIFY2(fingerprint[i].contains(u'='), qPrintable(fingerprint[i]));
        }
    }

    void mail_data() {
        QTest::addColumn<Row>("row");
        const QStringList starttls{"--starttls", "--auth", "cam", "s3cret"};
        QTest::newRow("STARTTLS, AUTH PLAIN")
            << Row{starttls, Sec::StartTls, "s3cret", Pin::Own, Rq::Quit, {}, {}};
        QTest::newRow("TLS from the start, AUTH LOGIN")
            << Row{{"--tls", "--auth", "cam", "s3cret", "--no-plain"},
                   Sec::Tls,
                   "s3cret",
                   Pin::OwnBareHex,
                   Rq::Quit,
                   {},
                   "EHLO AUTH MAIL RCPT DATA QUIT"};
        QTest::newRow("wrong password")
            << Row{starttls, Sec::StartTls, "guess",
                   Pin::Own, Rq::Helo,      "535 5.7.8 Authentication credentials invalid"};
        QTest::newRow("STARTTLS not offered") << Row{
            starttls + QStringList{"--hide-starttls"}, Sec::StartTls, "s3cret", Pin::Own, Rq::Helo,
            "The server does not offer STARTTLS",      "EHLO QUIT"};
        QTest::newRow("self-signed, not pinned")
            << Row{{"--tls"},
                   Sec::Tls,
                   {},
                   Pin::None,
                   Rq::Connect,
                   "500 The server's certificate is self-signed and not trusted (Winsock error "
                   "#10204)"};
        QTest::newRow("another certificate pinned")
            << Row{{"--starttls"},
                   Sec::StartTls,
                   {},
                   Pin::Other,
                   Rq::Helo,
                   "500 The server's certificate does not match the trusted fingerprint "
                   "(Winsock error #10207)",
                   "EHLO STARTTLS"};
    }

    void mail() {
        QFETCH(Row, row);
        QTemporaryDir folder;
        QStringList options{folder.path()};
        for (const QString& o : std::as_const(row.server)) {
            options.append(o);
            if (o == QLatin1String("--tls") || o == QLatin1String("--starttls"))
                options << certs.filePath("cert0.pem") << certs.filePath("key0.pem");
        }
        PeerServer server(peerScript(QStringLiteral("smtp_server.py")), options);
        QVERIFY2(server.start(), qPrintable(server.error()));

        TSmtpClient smtp;
        QList<QPair<Rq, int>> done;
        bool failed = false;
        connect(&smtp, &TSmtpClient::OnRequestDone, this, [&](Rq rq, int error) {
            done.append({rq, error});
            failed = smtpRequestDone(smtp, rq, error, false).failed;
        });
        smtp.setHost(QStringLiteral("127.0.0.1"));
        smtp.setPort(QString::number(server.port()));
        smtp.setSecurity(row.security);
        smtp.setUsername(row.password.isEmpty() ? QString() : QStringLiteral("cam"));
        smtp.setPassword(row.password);
        const QString own = fingerprint[0];
        const QString pins[] = {own, own.mid(own.indexOf(u'=') + 1).remove(u':').toLower(),
                                QString(), fingerprint[1]};
        smtp.setPinnedSha256(pins[int(row.pin)]);
        smtp.setFromName(QStringLiteral("camera@example.org"));
        smtp.setRcptName({QStringLiteral("alice@example.org")});
        smtp.setMailMessage({QStringLiteral("Motion was detected.")});
        QTemporaryDir files;
        const QByteArray image = randomBytes(90 * 1024 + 7, 3, 501);
        QVERIFY(writeFile(files.filePath("Garage.jpg"), image));
        smtp.addEmailFile(files.filePath("Garage.jpg"));

        smtp.Connect();
        QTRY_VERIFY_WITH_TIMEOUT(failed || (!done.isEmpty() && done.last().first == Rq::Quit),
                                 20000);
        QCOMPARE(done.last().first, row.last);
        QCOMPARE(smtp.ErrorMessage(), row.error);
        QTRY_VERIFY(!smtp.Connected());
        // What a later dialog offers to pin, whether the handshake succeeded or not.
        const bool handshake = !row.error.contains(QLatin1String("STARTTLS"));
        QCOMPARE(smtp.PeerCertificateSha256(),
                 handshake ? own.mid(own.indexOf(u'=') + 1) : QString());

        if (!row.commands.isEmpty()) {
            QTRY_COMPARE(readFile(folder.filePath("commands.log")).simplified(),
                         row.commands.toLatin1());
        }
        if (row.error.isEmpty()) {
            const QString mail = folder.filePath(QStringLiteral("mail-1.eml"));
            QTRY_VERIFY(QFile::exists(mail));
            QCOMPARE(QByteArray::fromHex(runPython(QString::fromLatin1(attachmentOf), {mail})),
                     image);
        }
    }
};

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"
