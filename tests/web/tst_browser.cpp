// The remote host window against the real FTP server of tests/peers, and its name filter.
#include "../net/FtpPeers.h"
#include "../net/NetTestUtil.h"
#include "../net/ScriptedServer.h"
#include "../picture/ProgressiveJpeg.h"
#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "picture/PictureLoading.h"
#include "platform/ScriptedDesktop.h"
#include "ui_unBrowser.h"
#include "ui_unBrowserConf.h"
#include "web/RemoteNames.h"
#include "web/unBrowser.h"
#include "web/unBrowserConf.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>
#include <memory>

using namespace ostrel;
using namespace ostrel::test;

using Operation = void (TfrmBrowser::*)();
Q_DECLARE_METATYPE(Operation)

class tst_Browser : public QObject {
    Q_OBJECT

    QTemporaryDir program, root;
    QString folder = program.path() + QLatin1Char('/');
    std::unique_ptr<PeerServer> server;
    quint16 port = 0;
    NetworkSettings account;
    ScriptedDesktop desk;
    WebPageState state;
    TFtpClient ftp;
    std::unique_ptr<TfrmBrowser> w;
    const QByteArray photo =
        readFile(qEnvironmentVariable("OSTREL_SOURCE_DIR") + "/data/stopcap.jpg");

    // Serves `root`; started again, on the port it had (the window's account keeps it).
    bool startServer() {
        QStringList args{root.path(), "ostrel", "s3cret"};
        if (port) args << "--port" << QString::number(port);
        server = std::make_unique<PeerServer>(peerScript("ftp_server.py"), args);
        if (!server->start()) return false;
        port = server->port();
        account.ftpPort = QString::number(port);
        return true;
    }
    // The remote folder holds exactly `files`.
    void remote(const QMap<QString, QByteArray>& files) {
        for (const QString& name : QDir(root.path()).entryList(QDir::Files))
            QDir(root.path()).remove(name);
        for (auto it = files.begin(); it != files.end(); ++it)
            writeFile(root.filePath(it.key()), it.value());
    }
    QStringList onServer() const { return QDir(root.path()).entryList(QDir::Files, QDir::Name); }
    QStringList listed() const {
        QStringList names;
        for (int i = 0; i < w->ui()->DirListBox->count(); ++i)
            names << w->ui()->DirListBox->item(i)->text();
        return names;
    }
    // Lists the remote folder, makes the first entry current without viewing it and ticks
    // `ticked`.
    void showAndTick(const QStringList& ticked) {
        w->FormShow();
        QListWidget* list = w->ui()->DirListBox;
        const QSignalBlocker quiet(list);
        list->setCurrentRow(0);
        for (int i = 0; i < list->count(); ++i)
            list->item(i)->setCheckState(ticked.contains(list->item(i)->text()) ? Qt::Checked
                                                                                : Qt::Unchecked);
    }
    // The three pending labels, as shown; "?" for one a screen reader hears otherwise.
    QString pending() const {
        QStringList texts;
        for (const QLabel* l :
             {w->ui()->lblChangedName, w->ui()->lblChangedSize, w->ui()->lblChangedRate})
            texts << (l->accessibleName() == l->text() ? l->text() : "?");
        return texts.join('|');
    }
    QString server_(const QString& name) const { return folder + "Server/" + name; }

private slots:
    void initTestCase() {
        const QString data = qEnvironmentVariable("OSTREL_SOURCE_DIR") + "/data/";
        QVERIFY(QFile::copy(data + "imgempty.jpg", folder + "imgempty.jpg"));
        account.ftpHost = "127.0.0.1";
        account.userId = "ostrel";
        account.ftpPassword = "s3cret";
        w = std::make_unique<TfrmBrowser>(folder, state, ftp, account);
    }
    void init() {
        if (QTest::currentTestFunction() != QByteArray("remoteNames") && !server)
            QVERIFY(startServer());
        desk.shown.clear();
        desk.answers.clear();
        state = WebPageState{};
        QDir(folder + "Server").removeRecursively();
        QDir().mkpath(folder + "Server");
        w->ui()->StatusBar1->clearMessage();
    }

    // Only pictures are listed, and nothing from the server that could name another local
    // file or carry a second command.
    void remoteNames_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("shown");
        QTest::newRow("dots inside") << QByteArray("x..jpg") << false;
        QTest::newRow("slash") << QByteArray("a/b.jpg") << false;
        QTest::newRow("backslash") << QByteArray("a\\b.jpg") << false;
        QTest::newRow("control") << QByteArray("a\tb.jpg") << false;
        QTest::newRow("delete") << QByteArray("a\177b.jpg") << false;
        QTest::newRow("not UTF-8") << QByteArray("\xC3(.jpg") << false;
        QTest::newRow("space") << QByteArray("cam 1.jpg") << true;
        QTest::newRow("255 bytes") << QByteArray(251, 'x') + ".jpg" << true;
        QTest::newRow("256 bytes") << QByteArray(252, 'x') + ".jpg" << false;
    }
    void remoteNames() {
        QFETCH(QByteArray, name);
        QFETCH(bool, shown);
        const QStringList expected = shown ? QStringList{QString::fromUtf8(name)} : QStringList{};
        QCOMPARE(listedPictures("Capture.jpg\r\n" + name + "\r\n"), expected);
        QCOMPARE(listedPictures(name + "\n"), expected);
    }

    // Showing lists the pictures; a pick views one; a picture that cannot be shown shows
    // the placeholder, without a box. The mouse over a control says what it does.
    void showListsAndViews() {
        remote({{"Capture.jpg", photo}, {"b.jpg", photo}});
        w->show();
        QTRY_COMPARE(listed(), QStringList{"b.jpg"});
        w->ui()->DirListBox->setCurrentRow(0); // a pick by keys views too
        QCOMPARE(readFile(folder + "TempRemoteFile.jpg"), photo);
        QTRY_COMPARE(w->ui()->Image->accessibleName(), QString("b.jpg"));
        QCOMPARE(w->ui()->Image->picture(),
                 loadPicture(folder + "TempRemoteFile.jpg", w->ui()->Image->fittingSize()).image);

        writeFile(root.filePath("b.jpg"), "not a picture");
        w->DirListBoxClick();
        QTRY_COMPARE(w->ui()->Image->accessibleName(), QString("No picture"));
        QCOMPARE(w->ui()->Image->picture(),
                 loadPicture(folder + "imgempty.jpg", w->ui()->Image->fittingSize()).image);
        QVERIFY(desk.shown.isEmpty());
        QEvent enter(QEvent::Enter), leave(QEvent::Leave);
        QApplication::sendEvent(w->ui()->BitBtnDelete, &enter);
        QCOMPARE(w->ui()->StatusBar1->currentMessage(), w->ui()->BitBtnDelete->statusTip());
        QApplication::sendEvent(w->ui()->BitBtnDelete, &leave);
        QCOMPARE(w->ui()->StatusBar1->currentMessage(), QString());
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w.get(), Qt::Key_F1);
        QCOMPARE(desk.helpRequests.value(0), qMakePair(HelpCommand::Context, 6));
        w->close();
        QVERIFY(!ftp.Connected());
    }

    // Over FTP with TLS, against both servers, passive and active: the listing, a view and
    // a download.
    void listAndDownloadOverTls_data() { ftpTlsRows(); }
    void listAndDownloadOverTls() {
        QFETCH(QString, peer);
        QFETCH(QString, security);
        QFETCH(bool, passive);
        QTemporaryDir tlsRoot, certificate;
        const QString pin = makeCertificate(certificate.path());
        writeFile(tlsRoot.filePath("a.jpg"), photo);
        PeerServer tlsServer(ftpPeerScript(peer),
                             {tlsRoot.path(), "ostrel", "s3cret", "--tls-" + security.toLower(),
                              certificate.filePath("cert.pem"), certificate.filePath("key.pem")});
        QVERIFY2(tlsServer.start(), qPrintable(tlsServer.error()));
        NetworkSettings tlsAccount = account;
        tlsAccount.ftpPort = QString::number(tlsServer.port());
        tlsAccount.ftpSecurity = security;
        tlsAccount.ftpCertificateSha256 = pin;
        tlsAccount.passiveMode = passive;
        TFtpClient client;
        TfrmBrowser window(folder, state, client, tlsAccount);
        window.FormShow();
        QCOMPARE(window.ui()->DirListBox->count(), 1);
        QCOMPARE(window.ui()->DirListBox->item(0)->text(), QString("a.jpg"));
        window.ui()->DirListBox->setCurrentRow(0);
        QCOMPARE(readFile(folder + "TempRemoteFile.jpg"), photo);
        window.ui()->DirListBox->item(0)->setCheckState(Qt::Checked);
        window.BitBtnDownloadClick();
        QCOMPARE(readFile(folder + "Downloaded Images/a.jpg"), photo);
        QCOMPARE(client.ErrorMessage(), QString());
    }

    // Disconnect, and the window's close, stop a download the host trickles out, and the
    // window goes no further with it.
    void stopsATrickledDownload_data() {
        QTest::addColumn<bool>("byClose");
        QTest::newRow("Disconnect") << false;
        QTest::newRow("close") << true;
    }
    void stopsATrickledDownload() {
        QFETCH(bool, byClose);
        ScriptedServer host(ftpServer, {{"RETR", "150 Opening\r\n{trickle}226 Done"}});
        host.payload = "a.jpg\r\n";
        NetworkSettings hostAccount = account;
        hostAccount.ftpPort = QString::number(host.port());
        TFtpClient client;
        client.setMaxDuration(60); // ends a window that cannot stop it
        TfrmBrowser window(folder, state, client, hostAccount);
        window.show();
        QTRY_COMPARE(window.ui()->DirListBox->count(), 1);
        QTimer stopper; // once the trickle has begun
        connect(&stopper, &QTimer::timeout, this, [&] {
            if (!host.commands.contains("RETR a.jpg")) return;
            stopper.stop();
            byClose ? (void)window.close() : window.ui()->BitBtnDisconnect->click();
        });
        stopper.start(50);
        window.ui()->DirListBox->setCurrentRow(0); // views: a fresh session, then RETR
        QCOMPARE(client.ErrorMessage(), QString("426 Operation aborted."));
        QVERIFY(client.Ready());
        QCOMPARE(host.commands.last(), QString("RETR a.jpg"));
        QCOMPARE(window.ui()->StatusBar1->currentMessage(), QString("Transfer stopped."));
    }

    // Each change goes up under the name it calls for, whose local copy stays; the pending
    // page goes.
    void uploadsPendingPage_data() {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("uploaded");
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("pending"); // the three labels before the last click
        QTest::newRow("default name")
            << QStringList{"mycam", "show", "BitBtnDisconnect", "btnRestoreName",
                           "BitBtnUploadHTML"}
            << "ostrel.html" << QByteArray("MYCAM\n") << "ostrel.html (Default)|0800x600|90 sec";
        QTest::newRow("default look")
            << QStringList{"show", "btnRestoreLook", "BitBtnUploadHTML"} << "ostrel.html"
            << QByteArray("TEMPLATE\n") << "|600x450 (Default)|60 sec (Default)";
        QTest::newRow("rename alone")
            << QStringList{"rename", "show", "BitBtnUploadHTML"} << "garden.html"
            << QByteArray("PAGE\n") << "garden.html|0800x600|90 sec";
        QTest::newRow("default name after a rename")
            << QStringList{"rename", "show", "BitBtnUploadHTML", "btnRestoreName",
                           "BitBtnUploadHTML"}
            << "ostrel.html" << QByteArray("PAGE\n") << "ostrel.html (Default)|no change|no change";
    }
    void uploadsPendingPage() {
        QFETCH(QStringList, steps);
        QFETCH(QString, uploaded);
        QFETCH(QByteArray, page);
        QFETCH(QString, pending);
        remote({});
        state.WebPageName = state.OldPageName = "ostrel.html";
        state.SizeLabel = "0800x600";
        state.RefreshLabel = "90 sec";
        state.PageChangesPending = true;
        writeFile(server_("ostrel.html"), "PAGE\n");
        writeFile(server_("ostrel.bkp"), "TEMPLATE\n");
        QString before;
        for (const QString& step : steps) {
            if (step == "mycam") {
                state.WebPageName = state.OldPageName = "mycam.html";
                writeFile(server_("mycam.html"), "MYCAM\n");
            } else if (step == "rename") {
                TfrmBrowserConf look(folder, state, {});
                look.ui()->edNewName->setText("garden");
                look.ui()->btnConfirmNameChange->click();
            } else if (step == "show") {
                w->FormShow();
            } else {
                before = this->pending();
                w->findChild<QPushButton*>(step)->click();
            }
        }
        QCOMPARE(before, pending);
        QCOMPARE(readFile(root.filePath(uploaded)), page);
        QCOMPARE(w->ui()->StatusBar1->currentMessage(),
                 "The web page was uploaded as " + uploaded + ".");
        QCOMPARE(state.WebPageName, uploaded);
        QVERIFY(!state.PageChangesPending);
        QVERIFY(!QFile::exists(server_("newlook.html")));
        QCOMPARE(readFile(server_(uploaded)), page);
        QCOMPARE(this->pending(), QString("no change|no change|no change"));
    }

    // A page file that cannot be read or written is told in a box and to the log, and
    // leaves nothing pending.
    void pageFileFailures_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("folder"); // a folder where the window wants a file
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("upload, page unreadable")
            << "BitBtnUploadHTML"
            << "newlook.html"
            << QStringList{"This action will replace the existing file on the server. Do you "
                           "really want to do this?",
                           "The web page file newlook.html could not be read: file to open is a "
                           "directory"};
        QTest::newRow("restore name, default page unwritable")
            << "btnRestoreName"
            << "ostrel.html"
            << QStringList{"The web page file ostrel.html could not be written: " +
                           server_("ostrel.html") + " is a folder"};
        QTest::newRow("restore look, no template")
            << "btnRestoreLook" << QString()
            << QStringList{"The web page file ostrel.bkp could not be read: No such file or "
                           "directory"};
    }
    void pageFileFailures() {
        QFETCH(QString, button);
        QFETCH(QString, folder);
        QFETCH(QStringList, shown);
        writeFile(server_("newlook.html"), "NEW LOOK\n");
        if (!folder.isEmpty()) {
            QFile::remove(server_(folder));
            QVERIFY(QDir().mkpath(server_(folder)));
        }
        QSignalSpy logged(w.get(), &TfrmBrowser::pageFileFailed);
        w->findChild<QPushButton*>(button)->click();
        QCOMPARE(desk.shownTexts(), shown);
        QCOMPARE(logged.value(0).value(0).toString(), shown.last());
        QVERIFY(!state.PageChangesPending);
    }

    // Nothing went up: with no page to send or answered No the change is no longer pending
    // (a declined page stays for later); a page the server never got stays pending.
    void uploadNotSent_data() {
        QTest::addColumn<bool>("newLook");
        QTest::addColumn<bool>("serverUp");
        QTest::addColumn<bool>("stillPending");
        QTest::newRow("nothing to upload") << false << true << false;
        QTest::newRow("answered No") << true << true << false;
        QTest::newRow("server stopped") << true << false << true;
    }
    void uploadNotSent() {
        QFETCH(bool, newLook);
        QFETCH(bool, serverUp);
        QFETCH(bool, stillPending);
        remote({});
        state.OldPageName = state.WebPageName;
        state.NewPageName = "mycam.html";
        state.PageChangesPending = true;
        if (newLook) writeFile(server_("newlook.html"), "NEW LOOK");
        desk.answers.enqueue(serverUp ? MsgButton::No : MsgButton::Yes);
        w->ui()->BitBtnDisconnect->click();
        if (!serverUp) server.reset();
        w->ui()->BitBtnUploadHTML->click();
        QCOMPARE(desk.shown.size(), 1);
        QCOMPARE(state.PageChangesPending, stillPending);
        QCOMPARE(QFile::exists(server_("newlook.html")), newLook);
        QCOMPARE(state.WebPageName, QString("ostrel.html"));
        QCOMPARE(onServer(), QStringList());
        if (!serverUp) QVERIFY(startServer());
    }

    // Select All and Deselect All tick every entry or none; Delete asks first, deletes the
    // ticked pictures alone and lists anew. Discard drops the pending change.
    void ticksDeleteAndDiscard() {
        remote({{"b.jpg", "b"}, {"c.jpg", "c"}, {"d.jpg", "d"}});
        showAndTick({});
        const auto ticked = [&] {
            QStringList names;
            for (int i = 0; i < w->ui()->DirListBox->count(); ++i)
                if (w->ui()->DirListBox->item(i)->checkState() == Qt::Checked) names << listed()[i];
            return names;
        };
        w->ui()->BitBtnSelectAll->click();
        QCOMPARE(ticked(), (QStringList{"b.jpg", "c.jpg", "d.jpg"}));
        w->ui()->BitBtnDeselectAll->click();
        QCOMPARE(ticked(), QStringList());
        w->ui()->DirListBox->item(1)->setCheckState(Qt::Checked);
        desk.answers << MsgButton::No << MsgButton::Yes;
        w->ui()->BitBtnDelete->click();
        QCOMPARE(onServer(), (QStringList{"b.jpg", "c.jpg", "d.jpg"}));
        w->ui()->BitBtnDelete->click();
        QCOMPARE(desk.shownTexts(),
                 QStringList(2, "This action can not be undone. \nAre you sure ?"));
        QCOMPARE(onServer(), (QStringList{"b.jpg", "d.jpg"}));
        QCOMPARE(listed(), (QStringList{"b.jpg", "d.jpg"}));

        state.OldPageName = "ostrel.html";
        state.WebPageName = "garden.html";
        state.PageChangesPending = true;
        writeFile(server_("newlook.html"), "NEW LOOK");
        w->ui()->btnDiscard->click();
        QVERIFY(!state.PageChangesPending);
        QCOMPARE(state.WebPageName, QString("ostrel.html"));
        QVERIFY(!QFile::exists(server_("newlook.html")));
        QCOMPARE(pending(), QString("no change|no change|no change"));
    }

    // While the client waits for another window's operation, none starts, and that one is
    // left to finish.
    void busyClientStartsNothing_data() {
        QTest::addColumn<Operation>("operation");
        QTest::newRow("show") << Operation(&TfrmBrowser::FormShow);
        QTest::newRow("view") << Operation(&TfrmBrowser::DirListBoxClick);
        QTest::newRow("delete") << Operation(&TfrmBrowser::BitBtnDeleteClick);
        QTest::newRow("download") << Operation(&TfrmBrowser::BitBtnDownloadClick);
        QTest::newRow("disconnect") << Operation(&TfrmBrowser::BitBtnDisconnectClick);
        QTest::newRow("upload") << Operation(&TfrmBrowser::BitBtnUploadHTMLClick);
        QTest::newRow("close") << Operation(&TfrmBrowser::FormClose);
    }
    void busyClientStartsNothing() {
        QFETCH(Operation, operation);
        remote({{"b.jpg", "b"}});
        writeFile(server_("newlook.html"), "NEW LOOK");
        showAndTick({"b.jpg"});
        QDir(folder + "Downloaded Images").removeRecursively();
        bool ran = false;
        QTimer::singleShot(0, w.get(), [&] {
            QVERIFY(!ftp.Ready());
            (w.get()->*operation)();
            ran = true;
        });
        ftp.setHostFileName("b.jpg");
        ftp.setLocalFileName(folder + "other.jpg");
        QVERIFY(ftp.Connected() ? ftp.Get() : ftp.Receive());
        QVERIFY(ran);
        QCOMPARE(w->ui()->StatusBar1->currentMessage(), QString(TfrmBrowser::BusyText));
        QVERIFY(desk.shown.isEmpty());
        QCOMPARE(onServer(), QStringList{"b.jpg"});
        QVERIFY(!QDir(folder + "Downloaded Images").exists());
    }

    // A picture decodes while the window goes on answering, and shows when done; one whose
    // entry the user has left, or whose window was closed, never shows.
    void viewDecodesAside_data() {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QString>("shown");
        for (const auto& [name, then, shown] :
             {std::tuple{"waited for", "", "slow.jpg"},
              {"another entry", "view quick.jpg", "quick.jpg"},
              {"closed", "close", "No picture"},
              {"closed without a placeholder", "close, no imgempty.jpg", "quick.jpg"}})
            QTest::newRow(name) << QString(then) << QString(shown);
    }
    void viewDecodesAside() {
        QFETCH(QString, then);
        QFETCH(QString, shown);
        // As long to decode as a server's picture may be: 4096 x 4096 in the most scans allowed.
        static const QByteArray slow = [] {
            QImage grey(4096, 4096, QImage::Format_Grayscale8);
            grey.fill(128);
            return progressiveJpeg(grey, MaxJpegScans);
        }();
        remote({{"quick.jpg", photo}, {"slow.jpg", slow}});
        QListWidget* list = w->ui()->DirListBox;
        w->hide(); // shown again, it lists afresh
        list->clear();
        w->show();
        QTRY_COMPARE(listed(), (QStringList{"quick.jpg", "slow.jpg"}));
        list->setCurrentRow(0);
        QTRY_COMPARE(w->ui()->Image->accessibleName(), QString("quick.jpg"));
        const QString placeholder = folder + "imgempty.jpg", aside = folder + "imgempty.aside";
        if (then.endsWith("no imgempty.jpg")) QVERIFY(QFile::rename(placeholder, aside));
        int beats = 0;
        QTimer beat;
        beat.callOnTimeout([&] { ++beats; });
        list->setCurrentRow(1);
        beat.start(0); // from the end of the download on
        if (then == "view quick.jpg") list->setCurrentRow(0);
        if (then.startsWith("close")) w->close();
        QTRY_COMPARE_WITH_TIMEOUT(QThreadPool::globalInstance()->activeThreadCount(), 0, 60000);
        // The window answered while the picture decoded; a decode cancelled at once may end
        // before the first answer.
        if (then.isEmpty()) QCOMPARE_GT(beats, 0);
        QCoreApplication::processEvents(); // the last result
        QFile::rename(aside, placeholder);
        QCOMPARE(w->ui()->Image->accessibleName(), shown);
    }
};

QTEST_MAIN(tst_Browser)
#include "tst_browser.moc"
