// The network layer's plain code: error texts, reply reading, passive-mode replies, Base64,
// the mail format, and what the request-done handlers make of an outcome.
#include "NetTestUtil.h"
#include "net/MailFormat.h"
#include "net/ReplyParser.h"
#include "net/WinsockErrors.h"

#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;

Q_DECLARE_METATYPE(ostrel::MailHeaderFields)

using ostrel::test::randomBytes;

class TestNetFormat : public QObject {
    Q_OBJECT
private slots:
    void errorTexts() {
        QCOMPARE(WSocketErrorDesc(0), "No Error");
        QCOMPARE(WSocketErrorDesc(10004), "Interrupted system call"); // the table's first
        QCOMPARE(WSocketErrorDesc(11004), "No Data");                 // and last
        QCOMPARE(WSocketErrorDesc(10072), "Not a WinSock error");     // a gap in it
        QCOMPARE(WSocketErrorDesc(-1), "Not a WinSock error");
    }

    void lineBuffer_data() {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<bool>("loneLf");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<QByteArray>("rest"); // null: the limit of 100 overflowed
        using L = QList<QByteArray>;
        QTest::newRow("line end split between chunks")
            << L{"220 a\r", "\n33", "1 b\r\n2"} << false << L{"220 a", "331 b"} << QByteArray("2");
        QTest::newRow("lone LF inside a line when not accepted")
            << L{"220 a\n331 b\r\n"} << false << L{"220 a\n331 b"} << QByteArray("");
        QTest::newRow("empty lines and a lone CR kept")
            << L{"\r\n\n a\rb\r\n"} << true << L{"", "", " a\rb"} << QByteArray("");
        QTest::newRow("over the limit, terminated")
            << L{QByteArray(101, 'x') + "\r\n220 ok\r\n"} << true << L{} << QByteArray();
        QTest::newRow("exactly the limit") << L{QByteArray(100, 'x') + "\r\n"} << true
                                           << L{QByteArray(100, 'x')} << QByteArray("");
    }

    void lineBuffer() {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(bool, loneLf);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(QByteArray, rest);
        LineBuffer buffer(100, loneLf);
        QList<QByteArray> got;
        for (const QByteArray& c : chunks) {
            buffer.append(c);
            while (auto line = buffer.takeLine())
                got << *line;
        }
        QCOMPARE(got, lines);
        QCOMPARE(buffer.overflow(), rest.isNull());
        if (!rest.isNull()) QCOMPARE(buffer.takeRest(), rest);
    }

    void finalReplyCode_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("code"); // -1: not a final line
        QTest::newRow("final") << QByteArray("220 ready") << 220;
        QTest::newRow("code alone") << QByteArray("221") << 221;
        QTest::newRow("continuation") << QByteArray("220-welcome") << -1;
        QTest::newRow("four digits") << QByteArray("2200 x") << -1;
        QTest::newRow("too short") << QByteArray("22") << -1;
        QTest::newRow("no such class") << QByteArray("600 x") << -1;
        QTest::newRow("zero class") << QByteArray("099 x") << -1;
        QTest::newRow("letters after digits") << QByteArray("2a0 x") << -1;
        QTest::newRow("empty") << QByteArray() << -1;
    }

    void finalReplyCode() {
        QFETCH(QByteArray, line);
        QFETCH(int, code);
        QCOMPARE(ostrel::finalReplyCode(line).value_or(-1), code);
    }

    void replyReaderLimitCountsWholeReplies() {
        // 1000 bytes: ten lines of 100 are too long, nine and a final line are not, and the
        // count starts over with the next reply.
        ReplyReader reader(1000);
        const QByteArray line = "220-" + QByteArray(96, 'x');
        for (int i = 0; i < 9; ++i)
            QCOMPARE(reader.feed(line), ReplyReader::Result::Pending);
        QCOMPARE(reader.feed("220 ready"), ReplyReader::Result::Complete);
        for (int i = 0; i < 9; ++i)
            QCOMPARE(reader.feed(line), ReplyReader::Result::Pending);
        QCOMPARE(reader.feed(line), ReplyReader::Result::TooLong);
    }

    void pasvReply_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("address"); // empty: no address
        QTest::addColumn<int>("port");
        QTest::newRow("ended by a dot")
            << QByteArray("227 Entering Passive Mode (192,168,1,20,195,80).") << "192.168.1.20"
            << 195 * 256 + 80;
        QTest::newRow("blanks inside")
            << QByteArray("227 Entering Passive Mode ( 10, 0, 0, 1, 4, 1 )") << "10.0.0.1" << 1025;
        QTest::newRow("text numbers before the address")
            << QByteArray("227 =127,0,0,1,0,21") << "127.0.0.1" << 21;
        QTest::newRow("five numbers") << QByteArray("227 (127,0,0,1,200)") << "" << 0;
        QTest::newRow("number above 255") << QByteArray("227 (127,0,0,256,1,1)") << "" << 0;
        QTest::newRow("huge number")
            << QByteArray("227 (127,0,0,1,99999999999999999999,1)") << "" << 0;
        QTest::newRow("port 0") << QByteArray("227 (127,0,0,1,0,0)") << "" << 0;
        QTest::newRow("unclosed parenthesis") << QByteArray("227 (127,0,0,1,1,1") << "" << 0;
        QTest::newRow("negative") << QByteArray("227 (127,0,0,-1,1,1)") << "" << 0;
    }

    void pasvReply() {
        QFETCH(QByteArray, line);
        QFETCH(QString, address);
        QFETCH(int, port);
        const auto a = parsePasvReply(line);
        QCOMPARE(a.has_value(), !address.isEmpty());
        if (!a) return;
        QCOMPARE(QHostAddress(a->ipv4).toString(), address);
        QCOMPARE(int(a->port), port);
        QCOMPARE(portCommand(a->ipv4, a->port), "PORT " + address.toLatin1().replace('.', ',') +
                                                    ',' + QByteArray::number(port >> 8) + ',' +
                                                    QByteArray::number(port & 255));
    }

    // Pieces of a 57-byte multiple adding up are left to the real server's mail, whose
    // attachment goes out in pieces.
    void base64MatchesReferenceInLines() {
        for (int size : {0, 1, 2, 3, 56, 57, 58, 113, 114, 115, 171, 1000, 65536 + 5}) {
            const QByteArray data = randomBytes(size, quint32(size));
            const QByteArray encoded = base64Lines(data);
            QByteArray joined;
            for (const QByteArray& line : encoded.split('\n')) {
                if (line.isEmpty()) continue;
                QVERIFY(line.endsWith('\r'));
                QCOMPARE_LE(line.size() - 1, 76);
                joined += line.chopped(1);
            }
            QCOMPARE(joined, data.toBase64());
            if (!encoded.isEmpty()) QVERIFY(encoded.endsWith("\r\n"));
        }
    }

    // The date in GMT, whatever the offset: the day, month and year may change with it.
    void mailDateAndBoundary() {
        QCOMPARE(mailDate(QDateTime(QDate(2024, 7, 7), QTime(9, 59, 59), Qt::UTC)),
                 "Sun, 7 Jul 2024 09:59:59 GMT");
        QCOMPARE(mailDate(QDateTime(QDate(2023, 12, 31), QTime(0, 30), Qt::OffsetFromUTC, 7200)),
                 "Sat, 30 Dec 2023 22:30:00 GMT");
        QCOMPARE(
            mailDate(QDateTime(QDate(2023, 12, 31), QTime(20, 0, 9), Qt::OffsetFromUTC, -5 * 3600)),
            "Mon, 1 Jan 2024 01:00:09 GMT");
        QCOMPARE(mimeBoundary(QDateTime(QDate(2024, 2, 5), QTime(14, 4, 5))),
                 "= Multipart Boundary 0205241404");
    }

    void envelopeCommand() {
        const auto mailFrom = [](const char* a) {
            return ostrel::envelopeCommand("MAIL FROM:", a);
        };
        QCOMPARE(mailFrom(""), "MAIL FROM:<>");
        QCOMPARE(mailFrom("Camera <cam@example.org>"), "MAIL FROM:Camera <cam@example.org>");
        QCOMPARE(mailFrom("cam@example.org>"), "MAIL FROM:<cam@example.org>>");
        // A line break cannot start a command of its own.
        QCOMPARE(mailFrom("cam@example.org>\r\nRCPT TO:<victim@example.org"),
                 "MAIL FROM:cam@example.org>RCPT TO:<victim@example.org");
    }

    void headerOrder_data() {
        QTest::addColumn<MailHeaderFields>("fields");
        QTest::addColumn<QString>("boundary");
        QTest::addColumn<QByteArray>("header"); // up to the Date line, which is the same
        const QByteArray plain =
            "Mime-Version: 1.0\r\nContent-Type: text/plain; charset=\"iso-8859-1\"\r\n";
        QTest::newRow("every field, in order")
            << MailHeaderFields{"reply@x.org", "bounce@x.org", "from@x.org",  "to@x.org , cc@x.org",
                                "cc@x.org",    "Motion",       "sender@x.org"}
            << ""
            << "Reply-To: reply@x.org\r\nReturn-Path: bounce@x.org\r\nFrom: from@x.org\r\n"
               "To: to@x.org , cc@x.org\r\nCc: cc@x.org\r\nSubject: Motion\r\n"
               "Sender: sender@x.org\r\n" +
                   plain;
        QTest::newRow("blank fields left out, Sender from From, Subject always")
            << MailHeaderFields{" ", "", "from@x.org", "to@x.org", "", "", ""} << ""
            << "From: from@x.org\r\nTo: to@x.org\r\nSubject: \r\nSender: from@x.org\r\n" + plain;
        QTest::newRow("no From, no Sender, multipart")
            << MailHeaderFields{} << "= Multipart Boundary 0205241404"
            << QByteArray("Subject: \r\nMime-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n"
                          "\tboundary=\"= Multipart Boundary 0205241404\"\r\n");
        QTest::newRow("line breaks in values stay inside their line")
            << MailHeaderFields{.from = "from@x.org\r\nBcc: a@x.org",
                                .to = "to@x.org\n",
                                .subject = "Hi\r\n\r\nbody"}
            << ""
            << "From: from@x.org Bcc: a@x.org\r\nTo: to@x.org \r\nSubject: Hi body\r\n"
               "Sender: from@x.org Bcc: a@x.org\r\n" +
                   plain;
    }

    void headerOrder() {
        QFETCH(MailHeaderFields, fields);
        QFETCH(QString, boundary);
        QFETCH(QByteArray, header);
        const QDateTime now(QDate(2024, 2, 5), QTime(13, 4, 5), Qt::UTC);
        QCOMPARE(mailHeader(fields, QStringLiteral("iso-8859-1"), boundary, now, false),
                 header + "Date: Mon, 5 Feb 2024 13:04:05 GMT\r\n"
                          "X-Mailer: Ostrel SMTP Client V2.32\r\n\r\n");
    }

    void nonAsciiSubjectIsEncoded() {
        MailHeaderFields f;
        f.subject =
            QStringLiteral("Détection à l'entrée – caméra ") + QString(40, QLatin1Char('x'));
        const QByteArray h = mailHeader(f, QStringLiteral("iso-8859-1"), QString(),
                                        QDateTime(QDate(2024, 2, 5), QTime(0, 0), Qt::UTC), true);
        const QByteArray subject = h.mid(0, h.indexOf("\r\nMime-Version"));
        QVERIFY(
            subject.startsWith("Subject: =?iso-8859-1?Q?D=E9tection_=E0_l'entr=E9e_=3F_cam=E9ra_"));
        for (const QByteArray& line : subject.split('\n')) {
            QCOMPARE_LE(line.size(), 77); // 76 and the CR
            for (const char c : line)
                QCOMPARE_LT(uchar(c), 128);
        }
    }

    void composerStreamsAttachments() {
        // The mail's layout and the attachment's bytes are checked by a real server's parser;
        // here, that an attachment goes out in pieces rather than read whole into memory.
        QTemporaryDir dir;
        MailContent content;
        content.attachments = {dir.filePath(QStringLiteral("pic.jpg"))};
        QVERIFY(ostrel::test::writeFile(content.attachments[0], randomBytes(200000, 3)));
        MailComposer composer(content, QDateTime(QDate(2024, 2, 5), QTime(13, 4, 5), Qt::UTC));
        int pieces = 0;
        for (; !composer.atEnd(); ++pieces)
            QCOMPARE_LT(composer.next().size(), 200000);
        QCOMPARE_GT(pieces, 3);

        // The text says 8bit exactly when it holds bytes above ASCII.
        for (const QString& text : {QStringLiteral("plain"), QStringLiteral("caméra")}) {
            MailContent plain;
            plain.body = {text};
            MailComposer mail(plain, QDateTime(QDate(2024, 2, 5), QTime(13, 4, 5), Qt::UTC));
            QByteArray out;
            while (!mail.atEnd())
                out += mail.next();
            QCOMPARE(out.contains("Content-Transfer-Encoding: 8bit\r\n"), text != u"plain");
        }
    }
};

QTEST_GUILESS_MAIN(TestNetFormat)
#include "tst_netformat.moc"
