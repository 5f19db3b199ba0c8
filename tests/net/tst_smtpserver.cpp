// TSmtpClient against a real SMTP server (aiosmtpd) started on 127.0.0.1, driven the way
// the main window's SmtpClientRequestDone drives it. What arrives is parsed by Python's
// email package, which must find the same text and the same attachment bytes.
#include "Peer.h"
#include "net/RequestReport.h"
#include "net/SmtpClient.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using Rq = TSmtpClient::Request;

namespace {

const char* const parseMail = R"(
import email, email.utils, json, sys
from email import policy
msg = email.message_from_bytes(open(sys.argv[1], 'rb').read(), policy=policy.default)
text, attachments, defects = None, [], 0
for part in msg.walk():
    defects += len(part.defects)
    if part.is_multipart():
        continue
    if part.get_content_disposition() == 'attachment':
        attachments.append({'filename': part.get_filename(), 'type': part.get_content_type(),
                            'data': part.get_payload(decode=True).hex()})
    elif part.get_content_type() == 'text/plain' and text is None:
        text = part.get_content().replace('\r\n', '\n')
print(json.dumps({
    'subject': str(msg['subject']), 'from': str(msg['from']), 'to': str(msg['to']),
    'sender': str(msg['sender']), 'type': msg.get_content_type(),
    'date': email.utils.parsedate_to_datetime(msg['date']).isoformat(),
    'text': text, 'attachments': attachments, 'defects': defects,
    'envelope': json.load(open(sys.argv[2]))}))
)";

QByteArray randomBytes(qsizetype size, quint32 seed) {
    QByteArray b(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (auto& c : b)
        c = char(rng.bounded(256));
    return b;
}

bool writeFile(const QString& name, const QByteArray& data) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

struct MailServer {
    QTemporaryDir folder;
    PeerServer server;
    TSmtpClient smtp;
    QList<QPair<Rq, int>> done;
    QList<RequestReport> reports;

    explicit MailServer(QStringList options = {})
        : server(peerScript(QStringLiteral("smtp_server.py")),
                 QStringList{folder.path()} + options) {
        QObject::connect(&smtp, &TSmtpClient::OnRequestDone, &smtp, [this](Rq rq, int error) {
            done.append({rq, error});
            reports.append(smtpRequestDone(smtp, rq, error, true));
        });
    }
    bool start() {
        if (!server.start()) return false;
        smtp.setHost(QStringLiteral("127.0.0.1"));
        smtp.setPort(QString::number(server.port()));
        smtp.setFromName(QStringLiteral("camera@example.org"));
        smtp.setHdrFrom(QStringLiteral("camera@example.org"));
        smtp.setHdrSender(QStringLiteral("camera@example.org"));
        smtp.setTimeout(15);
        return true;
    }
    // Sending a mail, as the motion and website parts do.
    void send() {
        done.clear();
        reports.clear();
        if (!smtp.Connected()) smtp.Connect();
    }
    bool over() const {
        return !reports.isEmpty() && (reports.last().failed || done.last().first == Rq::Quit);
    }
    QString mail(int n) const { return folder.filePath(QStringLiteral("mail-%1.eml").arg(n)); }
    QJsonObject parsed(int n) const {
        const QByteArray out =
            runPython(QString::fromLatin1(parseMail),
                      {mail(n), folder.filePath(QStringLiteral("mail-%1.json").arg(n))});
        return QJsonDocument::fromJson(out).object();
    }
};

} // namespace

class TestSmtpServer : public QObject {
    Q_OBJECT
private slots:
    void mailWithTwoRecipientsAndTwoAttachmentsArrivesWhole();
    void rejectedRecipientStopsTheMailAndIsLogged();
};

void TestSmtpServer::mailWithTwoRecipientsAndTwoAttachmentsArrivesWhole() {
    MailServer s;
    QVERIFY2(s.start(), qPrintable(s.server.error()));
    QTemporaryDir files;
    const QString first = files.filePath(QStringLiteral("Garage_05-02-24_14.04.05_1.jpg"));
    const QString second = files.filePath(QStringLiteral("notes.bin"));
    const QByteArray firstBytes = randomBytes(150 * 1024 + 1, 11);
    const QByteArray secondBytes = randomBytes(57 * 3 + 2, 12);
    QVERIFY(writeFile(first, firstBytes));
    QVERIFY(writeFile(second, secondBytes));

    const QStringList body{QStringLiteral(" "),
                           QStringLiteral("Ostrel:  Motion Detection - Caméra: Garage"),
                           QStringLiteral("."), QStringLiteral(".. two dots"),
                           QStringLiteral("Please check your images.")};
    s.smtp.setRcptName({QStringLiteral("alice@example.org"), QStringLiteral("<bob@example.org>")});
    s.smtp.setHdrTo(QStringLiteral("alice@example.org , bob@example.org"));
    s.smtp.setHdrSubject(QStringLiteral("Ostrel: Motion Detection - Caméra: Garage"));
    s.smtp.setMailMessage(body);
    s.smtp.addEmailFile(first);
    s.smtp.addEmailFile(second);
    s.send();
    QTRY_VERIFY_WITH_TIMEOUT(s.over(), 20000);
    const QList<QPair<Rq, int>> all{{Rq::Connect, 0}, {Rq::Helo, 0}, {Rq::MailFrom, 0},
                                    {Rq::RcptTo, 0},  {Rq::Data, 0}, {Rq::Quit, 0}};
    QCOMPARE(s.done, all);
    QVERIFY(!s.reports.last().failed);
    QTRY_VERIFY(!s.smtp.Connected());

    QTRY_VERIFY(QFile::exists(s.mail(1)));
    const QJsonObject m = s.parsed(1);
    QVERIFY(!m.isEmpty());
    QCOMPARE(m["defects"].toInt(), 0);
    QCOMPARE(m["subject"].toString(), QStringLiteral("Ostrel: Motion Detection - Caméra: Garage"));
    QCOMPARE(m["from"].toString(), QStringLiteral("camera@example.org"));
    QCOMPARE(m["to"].toString(), QStringLiteral("alice@example.org, bob@example.org"));
    QCOMPARE(m["sender"].toString(), QStringLiteral("camera@example.org"));
    QCOMPARE(m["type"].toString(), QStringLiteral("multipart/mixed"));
    QVERIFY(m["date"].toString().endsWith(QLatin1String("+00:00")));
    QCOMPARE(m["text"].toString(), body.join(QLatin1Char('\n')) + QLatin1Char('\n'));

    const QJsonArray attachments = m["attachments"].toArray();
    QCOMPARE(attachments.size(), 2);
    QCOMPARE(attachments[0]["filename"].toString(),
             QStringLiteral("Garage_05-02-24_14.04.05_1.jpg"));
    QCOMPARE(attachments[0]["type"].toString(), QStringLiteral("application/octet-stream"));
    QCOMPARE(QByteArray::fromHex(attachments[0]["data"].toString().toLatin1()), firstBytes);
    QCOMPARE(attachments[1]["filename"].toString(), QStringLiteral("notes.bin"));
    QCOMPARE(QByteArray::fromHex(attachments[1]["data"].toString().toLatin1()), secondBytes);

    const QJsonObject envelope = m["envelope"].toObject();
    QCOMPARE(envelope["mail_from"].toString(), QStringLiteral("camera@example.org"));
    QCOMPARE(envelope["rcpt_tos"].toArray(),
             (QJsonArray{QStringLiteral("alice@example.org"), QStringLiteral("bob@example.org")}));
}

void TestSmtpServer::rejectedRecipientStopsTheMailAndIsLogged() {
    MailServer s({QStringLiteral("--reject"), QStringLiteral("bob@example.org")});
    QVERIFY2(s.start(), qPrintable(s.server.error()));
    s.smtp.setHdrSubject(QStringLiteral("Ostrel: Notification of Website Update error."));
    s.smtp.setMailMessage(
        {QStringLiteral("Please check your remote host and your network settings.")});
    s.smtp.setRcptName({QStringLiteral("alice@example.org"), QStringLiteral("bob@example.org")});
    s.send();
    QTRY_VERIFY_WITH_TIMEOUT(s.over(), 20000);
    QCOMPARE(s.done.last(), qMakePair(Rq::RcptTo, 550));
    const RequestReport& report = s.reports.last();
    QVERIFY(report.failed);
    QVERIFY(report.beep);
    const QString reply =
        QStringLiteral("550 5.1.1 <bob@example.org>: Recipient address rejected: User unknown");
    QCOMPARE(s.smtp.ErrorMessage(), reply);
    QCOMPARE(report.statusText, reply);
    QCOMPARE(report.logEntry, QStringLiteral(" :   SMTP error = ") + reply);
    QTest::qWait(300);
    QVERIFY(!QFile::exists(s.mail(1)));

    // The next mail goes out on a fresh connection.
    QTRY_VERIFY(!s.smtp.Connected());
    s.smtp.setRcptName({QStringLiteral("alice@example.org")});
    s.send();
    QTRY_VERIFY_WITH_TIMEOUT(s.over(), 20000);
    QCOMPARE(s.done.last(), qMakePair(Rq::Quit, 0));
    QTRY_VERIFY(QFile::exists(s.mail(1)));
    const QJsonObject m = s.parsed(1);
    QCOMPARE(m["envelope"].toObject()["rcpt_tos"].toArray(),
             QJsonArray{QStringLiteral("alice@example.org")});
    QCOMPARE(m["text"].toString(),
             QStringLiteral("Please check your remote host and your network settings.\n"));
}

QTEST_GUILESS_MAIN(TestSmtpServer)
#include "tst_smtpserver.moc"
