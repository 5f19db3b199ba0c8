// The mail client against a real server started on 127.0.0.1: what only a real server proves.
// A mail sent to aiosmtpd is parsed back by Python's email package, which must find the same
// text, names and attachment bytes. (Files through the real FTP servers: tst_tls.)
#include "NetTestUtil.h"
#include "Peer.h"
#include "net/SmtpClient.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <optional>

using namespace ostrel;
using namespace ostrel::test;

class TestRealServers : public QObject {
    Q_OBJECT
private slots:
    void mailArrivesWhole() {
        QTemporaryDir folder, files;
        PeerServer server(peerScript(QStringLiteral("smtp_server.py")), {folder.path()});
        QVERIFY2(server.start(), qPrintable(server.error()));
        TSmtpClient smtp;
        std::optional<int> mailDone;
        connect(&smtp, &TSmtpClient::OnSessionDone, this, [&](int error) { mailDone = error; });
        smtp.setHost(QStringLiteral("127.0.0.1"));
        smtp.setPort(QString::number(server.port()));
        smtp.setFromName(QStringLiteral("camera@example.org"));
        smtp.setHdrFrom(QStringLiteral("camera@example.org"));
        smtp.setHdrSender(QStringLiteral("camera@example.org"));
        smtp.setRcptName(
            {QStringLiteral("alice@example.org"), QStringLiteral("<bob@example.org>")});
        smtp.setHdrTo(QStringLiteral("alice@example.org , bob@example.org"));
        smtp.setHdrSubject(QStringLiteral("Ostrel: Motion Detection - Caméra: Garage"));
        // Lines a careless writer would let end the data early, one of them inside an entry.
        const QStringList body{QStringLiteral(" "),
                               QStringLiteral("Caméra: Garage"),
                               QStringLiteral("."),
                               QStringLiteral(".. two dots"),
                               QStringLiteral("two\n.\nQUIT"),
                               QStringLiteral("Please check.")};
        smtp.setMailMessage(body);
        const QList<QPair<QString, QByteArray>> attached{
            {QStringLiteral("Garage_05-02-24_14.04.05_1.jpg"),
             randomBytes(150 * 1024 + 1, 11, 501)},
            {QStringLiteral("notes \"v2\".bin"), randomBytes(57 * 3 + 2, 12, 501)},
            {QStringLiteral("empty.bin"), QByteArray()}};
        for (const auto& [name, bytes] : attached) {
            QVERIFY(writeFile(files.filePath(name), bytes));
            smtp.addEmailFile(files.filePath(name));
        }
        smtp.SendMail();
        QTRY_VERIFY_WITH_TIMEOUT(mailDone, 20000);
        QCOMPARE(*mailDone, 0);
        QTRY_VERIFY(!smtp.Connected());

        const QString mail = folder.filePath(QStringLiteral("mail-1.eml"));
        QTRY_VERIFY(QFile::exists(mail));
        const QJsonObject m = readMail(mail);
        QVERIFY(!m.isEmpty());
        QCOMPARE(m["defects"].toInt(), 0);
        QCOMPARE(m["subject"].toString(),
                 QStringLiteral("Ostrel: Motion Detection - Caméra: Garage"));
        QCOMPARE(m["from"].toString(), QStringLiteral("camera@example.org"));
        QCOMPARE(m["to"].toString(), QStringLiteral("alice@example.org, bob@example.org"));
        QCOMPARE(m["sender"].toString(), QStringLiteral("camera@example.org"));
        QVERIFY(m["date"].toString().endsWith(QLatin1String("+00:00")));
        QCOMPARE(m["text"].toString(), body.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        const QJsonArray attachments = m["attachments"].toArray();
        QCOMPARE(attachments.size(), attached.size());
        for (qsizetype i = 0; i < attached.size(); ++i) {
            QCOMPARE(attachments[i]["filename"].toString(), attached[i].first);
            QCOMPARE(attachments[i]["type"].toString(), QStringLiteral("application/octet-stream"));
            QCOMPARE(QByteArray::fromHex(attachments[i]["data"].toString().toLatin1()),
                     attached[i].second);
        }
    }
};

QTEST_GUILESS_MAIN(TestRealServers)
#include "tst_realservers.moc"
