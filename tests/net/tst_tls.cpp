// The SMTP client over TLS against aiosmtpd (STARTTLS and TLS from the start, the login, the
// refusals, and the mail as Python's email package reads it) and the FTP client against pyftpdlib
// and ProFTPD (over TLS explicit and implicit, passive and active, the refusals; without TLS in
// active mode). The server's certificate is made here, self-signed, and trusted the way a user
// trusts one: by pinning its SHA-256 fingerprint.
#include "NetTestUtil.h"
#include "Peer.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "net/SmtpClient.h"
#include "platform/IniFile.h"

#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;

namespace {

using Rq = TSmtpClient::Request;
using Sec = TSmtpClient::Security;

enum class Pin { Own, OwnBareHex, None, Other };

struct Row {
    QStringList server; // options
    Sec security;
    QString password; // empty: no login
    Pin pin;
    Rq last; // the last step reported; the ones before it succeeded
    QString error;
    QString commands; // the verbs sent, when they matter
};

struct FtpRow {
    QString script;     // the server: pyftpdlib (ftp_server.py) or ProFTPD (proftpd_server.py)
    QStringList server; // options
    TFtpClient::Security security;
    bool passive;
    Pin pin;
    QString error;    // empty: Transmit, Receive and List succeed
    QString commands; // the verbs Transmit sent
};

} // namespace

Q_DECLARE_METATYPE(Row)
Q_DECLARE_METATYPE(FtpRow)

class TestTls : public QObject {
    Q_OBJECT
    QTemporaryDir certs;
    QString fingerprint; // of the server's certificate, as openssl prints it

    QString pinFor(Pin pin) const {
        const QString ownHex = fingerprint.mid(fingerprint.indexOf(u'=') + 1);
        const QString pins[] = {fingerprint, QString(ownHex).remove(u':').toLower(), QString(),
                                QString(ownHex).replace(1, 1, ownHex[1] == u'0' ? u'1' : u'0')};
        return pins[int(pin)];
    }

private slots:
    void initTestCase() {
        // Trusted like a public authority, so verification itself decides (trustedIssuer).
        QCOMPARE(QProcess::execute("/usr/bin/python3", {peerScript("make_ca.py"), certs.path()}),
                 0);
        qputenv("SSL_CERT_FILE", QFile::encodeName(certs.filePath("ca.pem")));
        fingerprint = makeCertificate(certs.path());
        QVERIFY(!fingerprint.isEmpty());
    }

    void mail_data() {
        QTest::addColumn<Row>("row");
        const auto row = [](const char* name, const QStringList& server, Sec security,
                            const char* password, Pin pin, Rq last, const char* error = "",
                            const char* commands = "") {
            QTest::newRow(name) << Row{server, security, password, pin, last, error, commands};
        };
        const QString cert = certs.filePath("cert.pem"), key = certs.filePath("key.pem");
        const QStringList starttls{"--starttls", cert, key, "--auth", "cam", "s3cret"};
        row("STARTTLS, AUTH PLAIN", starttls, Sec::StartTls, "s3cret", Pin::Own, Rq::Quit, "",
            "EHLO STARTTLS EHLO AUTH MAIL RCPT RCPT DATA QUIT");
        row("TLS from the start, AUTH LOGIN",
            {"--tls", cert, key, "--auth", "cam", "s3cret", "--no-plain"}, Sec::Tls, "s3cret",
            Pin::OwnBareHex, Rq::Quit, "", "EHLO AUTH **** **** MAIL RCPT RCPT DATA QUIT");
        row("wrong password", starttls, Sec::StartTls, "guess", Pin::Own, Rq::Helo,
            "535 5.7.8 Authentication credentials invalid");
        row("STARTTLS not offered", starttls + QStringList{"--hide-starttls"}, Sec::StartTls,
            "s3cret", Pin::Own, Rq::Helo, "The server does not offer STARTTLS", "EHLO QUIT");
        row("self-signed, not pinned", {"--tls", cert, key}, Sec::Tls, "", Pin::None, Rq::Connect,
            "500 The server's certificate is self-signed and not trusted (Winsock error #10204)");
        row("another certificate pinned", {"--starttls", cert, key}, Sec::StartTls, "", Pin::Other,
            Rq::Helo,
            "500 The server's certificate does not match the trusted fingerprint (Winsock error "
            "#10207)",
            "EHLO STARTTLS");
    }

    void mail() {
        QFETCH(Row, row);
        QTemporaryDir folder, files;
        PeerServer server(peerScript("smtp_server.py"), QStringList{folder.path()} + row.server);
        QVERIFY2(server.start(), qPrintable(server.error()));

        TSmtpClient smtp;
        QList<Rq> done;
        QStringList verbs;
        connect(&smtp, &TSmtpClient::OnCommand, this,
                [&](const QString& line) { verbs.append(line.section(u' ', 0, 0)); });
        bool over = false;
        connect(&smtp, &TSmtpClient::OnRequestDone, this, [&](Rq rq) { done.append(rq); });
        connect(&smtp, &TSmtpClient::OnSessionDone, this, [&] { over = true; });
        smtp.setHost(QStringLiteral("127.0.0.1"));
        smtp.setPort(QString::number(server.port()));
        smtp.setSecurity(row.security);
        smtp.setUsername(row.password.isEmpty() ? QString() : QStringLiteral("cam"));
        smtp.setPassword(row.password);
        const QString ownHex = fingerprint.mid(fingerprint.indexOf(u'=') + 1);
        smtp.setPinnedSha256(pinFor(row.pin));
        smtp.setFromName(QStringLiteral("camera@example.org"));
        smtp.setHdrFrom(QStringLiteral("camera@example.org"));
        smtp.setHdrSender(QStringLiteral("camera@example.org"));
        smtp.setRcptName(
            {QStringLiteral("alice@example.org"), QStringLiteral("<bob@example.org>")});
        smtp.setHdrTo(QStringLiteral("alice@example.org , bob@example.org"));
        smtp.setHdrSubject(QStringLiteral("Ostrel: Motion Detection - Caméra: Garage"));
        // Lines a careless writer would let end the data early, one of them inside an entry.
        const QStringList body{" ", "Caméra: Garage", ".", ".. two dots", "two\n.\nQUIT"};
        smtp.setMailMessage(body);
        const QList<QPair<QString, QByteArray>> attached{
            {"Garage_05-02-24_14.04.05_1.jpg", randomBytes(90 * 1024 + 7, 3, 501)},
            {"notes \"v2\".bin", randomBytes(57 * 3 + 2, 12, 501)},
            {"empty.bin", QByteArray()}};
        for (const auto& [name, bytes] : attached) {
            QVERIFY(writeFile(files.filePath(name), bytes));
            smtp.addEmailFile(files.filePath(name));
        }

        smtp.SendMail();
        QTRY_VERIFY_WITH_TIMEOUT(over, 20000);
        QCOMPARE(done.last(), row.last);
        QCOMPARE(smtp.ErrorMessage(), row.error);
        QTRY_VERIFY(!smtp.Connected());
        // What a later dialog offers to pin, whether the handshake succeeded or not.
        const bool handshake = !row.error.contains(QLatin1String("STARTTLS"));
        QCOMPARE(smtp.PeerCertificateSha256(), handshake ? ownHex : QString());
        if (!row.commands.isEmpty()) QCOMPARE(verbs.join(u' '), row.commands);
        if (!row.error.isEmpty()) return;
        // Python's email package must find the same text, names and attachment bytes.
        const QString file = folder.filePath(QStringLiteral("mail-1.eml"));
        QTRY_VERIFY(QFile::exists(file));
        const QJsonObject m = readMail(file);
        QCOMPARE(m["defects"].toInt(-1), 0);
        QCOMPARE(m["subject"].toString(), "Ostrel: Motion Detection - Caméra: Garage");
        QCOMPARE(m["from"].toString(), "camera@example.org");
        QCOMPARE(m["to"].toString(), "alice@example.org, bob@example.org");
        QCOMPARE(m["sender"].toString(), "camera@example.org");
        QVERIFY(m["date"].toString().endsWith(QLatin1String("+00:00")));
        QCOMPARE(m["text"].toString(), body.join(u'\n') + u'\n');
        const QJsonArray got = m["attachments"].toArray();
        QCOMPARE(got.size(), attached.size());
        for (qsizetype i = 0; i < attached.size(); ++i) {
            QCOMPARE(got[i]["filename"].toString(), attached[i].first);
            QCOMPARE(got[i]["type"].toString(), "application/octet-stream");
            QCOMPARE(QByteArray::fromHex(got[i]["data"].toString().toLatin1()), attached[i].second);
        }
    }

    void ftp_data() {
        QTest::addColumn<FtpRow>("row");
        using FSec = TFtpClient::Security;
        // Each case against both servers; a fault only the scripted server can make, once.
        // The client is passive unless the servers refuse passive mode.
        const auto row = [](const char* name, const QStringList& server, FSec security, Pin pin,
                            const char* error, const char* commands) {
            for (const char* script : {"ftp_server.py", "proftpd_server.py"}) {
                if (server.contains("--cut-tls-downloads") && script[0] == 'p') continue;
                QTest::addRow("%s: %s", script, name)
                    << FtpRow{script, server, security, !server.contains("--no-passive"),
                              pin,    error,  commands};
            }
        };
        const auto tls = [this](const char* mode, const char* cert = "cert.pem",
                                const char* key = "key.pem") {
            return QStringList{mode, certs.filePath(cert), certs.filePath(key)};
        };
        const QStringList explicitTls = tls("--tls-explicit"), implicitTls = tls("--tls-implicit");
        const QStringList active{"--no-passive"};
        row("explicit, passive", explicitTls, FSec::Explicit, Pin::Own, "",
            "AUTH USER PASS PBSZ PROT TYPE PASV STOR QUIT");
        row("explicit, active", explicitTls + active, FSec::Explicit, Pin::Own, "",
            "AUTH USER PASS PBSZ PROT TYPE PORT STOR QUIT");
        row("implicit, passive", implicitTls, FSec::Implicit, Pin::OwnBareHex, "",
            "USER PASS PBSZ PROT TYPE PASV STOR QUIT");
        row("implicit, active", implicitTls + active, FSec::Implicit, Pin::Own, "",
            "USER PASS PBSZ PROT TYPE PORT STOR QUIT");
        // Without TLS: the PORT line and the data connection a real server accepts.
        row("plain, active", active, FSec::None, Pin::None, "", "USER PASS TYPE PORT STOR QUIT");
        row("implicit, download cut without close_notify",
            implicitTls + QStringList{"--cut-tls-downloads"}, FSec::Implicit, Pin::Own, "",
            "USER PASS PBSZ PROT TYPE PASV STOR QUIT");
        row("implicit, issued by an unknown authority",
            tls("--tls-implicit", "issued.pem", "issued-key.pem"), FSec::Implicit, Pin::None,
            "500 The server's certificate was issued by an unknown authority (Winsock error "
            "#10205)",
            "");
        row("explicit, server without TLS", {}, FSec::Explicit, Pin::Own,
            "The server does not offer FTP over TLS (AUTH TLS)", "AUTH QUIT");
    }

    // Real transfers over TLS: the server refuses a data connection that is not encrypted
    // or does not resume the control connection's session.
    void ftp() {
        QFETCH(FtpRow, row);
        QTemporaryDir root, local;
        PeerServer server(peerScript(row.script),
                          QStringList{root.path(), "cam", "s3cret"} + row.server);
        QVERIFY2(server.start(), qPrintable(server.error()));

        TFtpClient ftp;
        QStringList verbs;
        connect(&ftp, &TFtpClient::OnCommand, this,
                [&](const QString& line) { verbs.append(line.section(u' ', 0, 0)); });
        ftp.setHostName(QStringLiteral("127.0.0.1"));
        ftp.setPort(QString::number(server.port()));
        ftp.setUserName(QStringLiteral("cam"));
        ftp.setPassWord(QStringLiteral("s3cret"));
        ftp.setSecurity(row.security);
        ftp.setPinnedSha256(pinFor(row.pin));
        ftp.setPassive(row.passive);
        ftp.setTimeout(20);
        const QByteArray data = randomBytes(300 * 1024 + 11, 14);
        QVERIFY(writeFile(local.filePath("up.bin"), data));
        ftp.setLocalFileName(local.filePath("up.bin"));
        ftp.setHostFileName(QStringLiteral("Garage.bin"));

        QCOMPARE(ftp.Transmit(), row.error.isEmpty());
        QCOMPARE(ftp.ErrorMessage(), row.error);
        QCOMPARE(verbs.join(u' '), row.commands);
        QTRY_VERIFY(!ftp.Connected());
        if (!row.error.isEmpty()) return;
        QCOMPARE(readFile(root.filePath("Garage.bin")), data);
        ftp.setLocalFileName(local.filePath("down.bin"));
        if (row.server.contains(QLatin1String("--cut-tls-downloads"))) {
            // The server says 226, but without close_notify the data may have been cut.
            QVERIFY(!ftp.Receive());
            QCOMPARE(ftp.ErrorMessage(), ftptext::TransferBroken);
            return;
        }
        QVERIFY2(ftp.Receive(), qPrintable(ftp.ErrorMessage()));
        QCOMPARE(readFile(local.filePath("down.bin")), data);
        ftp.setLocalFileName(local.filePath("list.txt"));
        QVERIFY2(ftp.List(), qPrintable(ftp.ErrorMessage()));
        QCOMPARE(readFile(local.filePath("list.txt")).trimmed(), QByteArray("Garage.bin"));
    }

    // The settings file's spelling of the choice, in any case and with blanks; anything else
    // (another protocol's choice too) means no encryption.
    void securitySetting() {
        IniFile ini(certs.filePath("Ostrel.sif"));
        ini.writeString("Email Settings", "Security", " tls");
        ini.writeString("FTP Settings", "Security", " implicit");
        NetworkSettings s;
        s.load(ini, nullptr);
        QCOMPARE(s.smtpSecurity, "TLS");
        QCOMPARE(s.ftpSecurity, "Implicit");
        ini.writeString("Email Settings", "Security", "SSL");
        ini.writeString("FTP Settings", "Security", "TLS");
        s.load(ini, nullptr);
        QCOMPARE(s.smtpSecurity, "None");
        QCOMPARE(s.ftpSecurity, "None");
    }
};

QTEST_GUILESS_MAIN(TestTls)
#include "tst_tls.moc"
