// TFtpClient against a real FTP server (pyftpdlib) started on 127.0.0.1.
#include "Peer.h"
#include "net/FtpClient.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using namespace ostrel;
using namespace ostrel::test;
using Rq = TFtpClient::Request;
using Done = QList<QPair<Rq, int>>;

namespace {

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& name, const QByteArray& data) {
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

// A picture-sized binary file with the byte pairs an ASCII-mode transfer would rewrite.
QByteArray picture(quint32 seed) {
    QByteArray b(700 * 1024 + 13, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (auto& c : b)
        c = char(rng.bounded(256));
    for (qsizetype i = 0; i + 1 < b.size(); i += 501) {
        b[i] = '\r';
        b[i + 1] = '\n';
    }
    return b;
}

// The server's folder, the server, and the client set up as the main window sets up its own.
struct Site {
    QTemporaryDir root;
    QTemporaryDir local;
    PeerServer server;
    TFtpClient ftp;
    Done done;

    explicit Site(QStringList options = {})
        : server(peerScript(QStringLiteral("ftp_server.py")),
                 QStringList{root.path(), QStringLiteral("ostrel"), QStringLiteral("s3cret")} +
                     options) {
        QObject::connect(&ftp, &TFtpClient::OnRequestDone, &ftp, [this](Rq rq, int error) {
            done.append({rq, error});
        });
    }
    bool start() {
        if (!server.start()) return false;
        ftp.setHostName(QStringLiteral("127.0.0.1"));
        ftp.setPort(QString::number(server.port()));
        ftp.setUserName(QStringLiteral("ostrel"));
        ftp.setPassWord(QStringLiteral("s3cret"));
        ftp.setTimeout(15);
        return true;
    }
    QString remote(const QString& name) const { return root.filePath(name); }
    QString localFile(const QString& name) const { return local.filePath(name); }
};

} // namespace

// A request that must succeed, with the client's message when it does not.
#define OK(call) QVERIFY2(call, qPrintable(site.ftp.ErrorMessage()))

class TestFtpServer : public QObject {
    Q_OBJECT
private slots:
    void transfers_data();
    void transfers();
    void oneShotOperations();
    void wrongPassword();
    void missingFile();
};

void TestFtpServer::transfers_data() {
    QTest::addColumn<bool>("passive");
    QTest::addColumn<QStringList>("serverOptions");
    // Each mode against a server that refuses the other, so it must be the one used.
    QTest::newRow("passive") << true << QStringList{"--no-active"};
    QTest::newRow("active") << false << QStringList{"--no-passive"};
}

void TestFtpServer::transfers() {
    QFETCH(bool, passive);
    QFETCH(QStringList, serverOptions);
    Site site(serverOptions);
    QVERIFY2(site.start(), qPrintable(site.server.error()));
    site.ftp.setPassive(passive);
    const QByteArray image = picture(1);
    QVERIFY(writeFile(site.localFile("Capture.jpg"), image));

    // The website update: Connect, Put, Quit.
    OK(site.ftp.Connect());
    site.ftp.setHostFileName(QStringLiteral("Capture.jpg"));
    site.ftp.setLocalFileName(site.localFile("Capture.jpg"));
    OK(site.ftp.Put());
    QCOMPARE(readFile(site.remote("Capture.jpg")), image);

    // Remote host management: list, view (download), delete.
    site.ftp.setLocalFileName(site.localFile("HostImagesList.lst"));
    OK(site.ftp.Ls());
    QCOMPARE(readFile(site.localFile("HostImagesList.lst")).trimmed(), QByteArray("Capture.jpg"));
    site.ftp.setLocalFileName(site.localFile("TempRemoteFile.jpg"));
    OK(site.ftp.Get());
    QCOMPARE(readFile(site.localFile("TempRemoteFile.jpg")), image);
    OK(site.ftp.Dele());
    QVERIFY(!QFile::exists(site.remote("Capture.jpg")));
    OK(site.ftp.Quit());
    QVERIFY(!site.ftp.Connected());

    QCOMPARE(site.done, (Done{{Rq::Connect, 0},
                              {Rq::Put, 0},
                              {Rq::Ls, 0},
                              {Rq::Get, 0},
                              {Rq::Dele, 0},
                              {Rq::Quit, 0}}));
    QCOMPARE(site.ftp.StatusCode(), 221);
    QCOMPARE(site.ftp.ErrorMessage(), QString());
}

void TestFtpServer::oneShotOperations() {
    Site site;
    QVERIFY2(site.start(), qPrintable(site.server.error()));
    QVERIFY(QDir(site.root.path()).mkdir(QStringLiteral("cams")));
    const QByteArray image = picture(2);
    QVERIFY(writeFile(site.localFile("ostrel.html"), image));
    site.ftp.setHostDirName(QStringLiteral("cams"));
    site.ftp.setHostFileName(QStringLiteral("ostrel.html"));

    // Each opens its own session and closes it again.
    site.ftp.setLocalFileName(site.localFile("ostrel.html"));
    OK(site.ftp.Transmit());
    QCOMPARE(readFile(site.remote("cams/ostrel.html")), image);
    QVERIFY(!site.ftp.Connected());

    site.ftp.setLocalFileName(site.localFile("copy.html"));
    OK(site.ftp.Receive());
    QCOMPARE(readFile(site.localFile("copy.html")), image);

    site.ftp.setLocalFileName(site.localFile("HostImagesList.lst"));
    OK(site.ftp.List());
    QCOMPARE(readFile(site.localFile("HostImagesList.lst")).trimmed(), QByteArray("ostrel.html"));

    OK(site.ftp.Delete());
    QVERIFY(!QFile::exists(site.remote("cams/ostrel.html")));
    QVERIFY(!site.ftp.Connected());
    QCOMPARE(site.done,
             (Done{{Rq::Transmit, 0}, {Rq::Receive, 0}, {Rq::List, 0}, {Rq::Delete, 0}}));
}

void TestFtpServer::wrongPassword() {
    Site site;
    QVERIFY2(site.start(), qPrintable(site.server.error()));
    site.ftp.setPassWord(QStringLiteral("wrong"));
    QVERIFY(!site.ftp.Connect());
    QCOMPARE(site.done, (Done{{Rq::Connect, 530}}));
    QCOMPARE(site.ftp.StatusCode(), 530);
    QVERIFY2(site.ftp.ErrorMessage().startsWith(QLatin1String("530 ")),
             qPrintable(site.ftp.ErrorMessage()));
    QCOMPARE(site.ftp.ErrorMessage(), site.ftp.LastResponse());
    // The session stays open for the caller's Quit.
    QVERIFY(site.ftp.Connected());
    QVERIFY(site.ftp.Quit());
}

void TestFtpServer::missingFile() {
    Site site;
    QVERIFY2(site.start(), qPrintable(site.server.error()));
    site.ftp.setHostFileName(QStringLiteral("20240205_140405.jpg"));
    site.ftp.setLocalFileName(site.localFile("TempRemoteFile.jpg"));
    QVERIFY(!site.ftp.Receive());
    QCOMPARE(site.done, (Done{{Rq::Receive, 550}}));
    QVERIFY2(site.ftp.ErrorMessage().startsWith(QLatin1String("550 ")),
             qPrintable(site.ftp.ErrorMessage()));
    QCOMPARE(site.ftp.StatusCode(), 221); // the QUIT still went out
    QVERIFY(!site.ftp.Connected());
    QVERIFY(QDir(site.local.path()).isEmpty());
}

QTEST_GUILESS_MAIN(TestFtpServer)
#include "tst_ftpserver.moc"
