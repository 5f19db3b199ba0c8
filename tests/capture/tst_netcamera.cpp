// The network camera against a local HTTP MJPEG camera (tests/peers/mjpeg_server.py):
// the live picture with a login, the camera's refusals in plain words without a hang, the
// Video Source dialog's Test, and a camera that goes away and comes back in the window.
#include "../common/FreshFolder.h"
#include "../net/Peer.h"
#include "ScriptedDrivers.h"
#include "ScriptedV4l2.h"
#include "app/ErrorLog.h"
#include "app/MotionController.h"
#include "app/mainf.h"
#include "capture/DlgNetworkSource.h"
#include "capture/NetworkCamera.h"
#include "capture/VideoCapture.h"
#include "picture/Bitmap.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_mainf.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace ostrel;
using namespace ostrel::test;

namespace {

const QString Password = QStringLiteral("s3cret:@/");

// The HTTP MJPEG camera (HTTPS with --tls) or the RTSP one, with a login or without.
struct Camera {
    bool rtsp;
    bool tls;
    PeerServer server;
    explicit Camera(bool rtsp = false, quint16 port = 0, bool login = true,
                    const QStringList& options = {})
        : rtsp(rtsp), tls(options.contains("--tls")),
          server(peerScript(rtsp ? "rtsp_server.py" : "mjpeg_server.py"),
                 QStringList{"--port", QString::number(port)} + options +
                     (login ? QStringList{"--login", "watch", Password} : QStringList{})) {}
    QString url() const {
        return QString(rtsp  ? "rtsp://127.0.0.1:%1/cam"
                       : tls ? "https://127.0.0.1:%1/video"
                             : "http://127.0.0.1:%1/video")
            .arg(server.port());
    }
};

// Every message the program logs, to show that no password is among them.
QStringList logged;
void keepMessage(QtMsgType, const QMessageLogContext&, const QString& text) {
    logged << text;
}

} // namespace

class TestNetCamera : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setApplicationName("Ostrel");
        // The authority of issued.pem and other.pem is trusted like a public one, as if
        // in the system's store; self.pem is trusted by nothing.
        QCOMPARE(QProcess::execute("/usr/bin/python3", {peerScript("make_ca.py"), certs_.path()}),
                 0);
        QSslConfiguration trust = QSslConfiguration::defaultConfiguration();
        trust.addCaCertificates(pem("ca"));
        QSslConfiguration::setDefaultConfiguration(trust);
    }
    void init() {
        QVERIFY(folder_.renew());
        logged.clear();
    }

    void stream_data() {
        QTest::addColumn<QString>("where"); // http, rtsp, closed, silent
        QTest::addColumn<QString>("transport");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("answer"); // empty: the picture comes
        const auto row = [](const char* name, const char* where, const QString& answer = {},
                            const char* transport = "TCP", const QString& password = Password) {
            QTest::newRow(name) << QString(where) << QString(transport) << password << answer;
        };
        const QString refused = "The camera refused the user name or password.";
        row("HTTP MJPEG", "http");
        row("RTSP over TCP", "rtsp");
        row("RTSP over UDP, no login", "rtsp", {}, "UDP", {});
        row("HTTP, wrong password", "http", refused, "TCP", "wrong");
        row("RTSP, wrong password", "rtsp", refused, "TCP", "wrong");
        row("nothing listening", "closed", "Nothing answers at this address and port.");
        row("takes the call, never answers", "silent", "The camera did not answer in time.");
        // https:<certificate>[:pin[:<next certificate>]]: the camera shows that certificate,
        // trusted by its fingerprint with "pin", and the next one on its next connection.
        const QString untrusted = "The camera's certificate is not trusted (%1).";
        row("HTTPS, self-signed", "https:self", untrusted.arg("it is self-signed"));
        row("HTTPS, self-signed, trusted by its fingerprint", "https:self:pin");
        row("HTTPS, made out to another host", "https:other",
            untrusted.arg("it is made out to another host name"));
        row("HTTPS, another host's, trusted by its fingerprint", "https:other:pin");
        row("HTTPS, issued by a trusted authority", "https:issued");
        // FFmpeg's own connection is the second: it must meet the certificate checked.
        row("HTTPS, trusted, another certificate on the next connection", "https:self:pin:other",
            "The camera could not be reached (host name not found, or the connection failed).");
        row("RTSPS, which FFmpeg cannot verify", "rtsps",
            "The certificate of an rtsps:// camera cannot be checked; use its https:// or "
            "rtsp:// address.");
        const QString notCamera =
            "The address or the camera's answer is not an RTSP or HTTP camera stream.";
        row("a file: address", "file", notCamera);
        row("an HLS playlist naming a local file", "hls", notCamera);
    }
    // The driver comes after the cameras; its stream opens in the background, so the
    // window never waits, and each refusal arrives once, as a lost device that says why.
    // No password reaches a message.
    void stream() {
        QFETCH(QString, where);
        QFETCH(QString, transport);
        QFETCH(QString, password);
        QFETCH(QString, answer);
        const QStringList https = where.split(u':');
        const QString still = folder_.path + "still.jpg";
        QImage(64, 48, QImage::Format_RGB32).save(still);
        QStringList options;
        for (const QString& name : https.mid(1))
            if (name != "pin") options << "--tls" << pem(name) << pem(name + "-key");
        if (where == "hls") {
            QFile playlist(folder_.path + "camera.m3u8");
            QVERIFY(playlist.open(QIODevice::WriteOnly));
            playlist.write("#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXTINF:2,\nfile://" +
                           QFile::encodeName(still) + "\n#EXT-X-ENDLIST\n");
            playlist.close();
            options << "--answer" << playlist.fileName();
        }
        Camera camera(where == "rtsp", 0, !password.isEmpty(), options);
        QVERIFY2(camera.server.start(), qPrintable(camera.server.error()));
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        NetworkCameraSettings s{camera.url(), transport, password.isEmpty() ? "" : "watch",
                                password, ""};
        if (https.value(2) == "pin") s.certificateSha256 = sha256(https[1]).remove(u':');
        if (where == "closed") s.url = "http://127.0.0.1:1/video";
        if (where == "silent")
            s.url = QStringLiteral("http://127.0.0.1:%1/").arg(silent.serverPort());
        if (where == "rtsps")
            s.url = QStringLiteral("rtsps://127.0.0.1:%1/cam").arg(silent.serverPort());
        if (where == "file") s.url = "file://" + still;
        NetworkCamera::writeSettings(folder_.path, s);

        auto v4l2 = std::make_shared<ScriptedV4l2>();
        TVideoCapture video(systemDrivers(folder_.path, v4l2), folder_.path);
        video.setDriverIndex(1);
        QSignalSpy errors(&video, &TVideoCapture::OnError);
        QSignalSpy opened(&video, &TVideoCapture::sourceOpened);
        QLoggingCategory::setFilterRules("ostrel.capture.debug=true"); // FFmpeg's words too
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);
        video.setDriverOpen(true);
        video.setVideoPreview(true);
        QVERIFY(video.Opening()); // the open goes on in the background: nothing waited
        QVERIFY(!video.GrabFrameLive()); // nor does a grab: there is no frame yet
        if (answer.isEmpty()) {
            QVERIFY(opened.wait(5000));
            QCOMPARE(QSize(video.imageWidth(), video.imageHeight()), QSize(640, 480));
            QCOMPARE(video.SourceFrameRate(), where == "rtsp" ? 15.0 : 0.0); // as the stream says
            QVERIFY(video.GrabFrameLive());
            QCOMPARE(video.lastGrabbedFrame().size(), QSize(640, 480));
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(errors.count(), 1, NetworkCamera::OpenTimeoutMs + 3000);
            QCOMPARE(errors.at(0).at(1).toString(),
                     QString("Capture device was not detected. ") + answer);
            QCOMPARE(opened.count(), 0);
        }
        qInstallMessageHandler(previous);
        for (const QString& line : logged)
            QVERIFY2(!line.contains("s3cret"), qPrintable(line));
    }

    // The transport chosen is kept in vcap.sif (a cancelled dialog keeps nothing), and
    // Ostrel.sif, which holds the login (loginKeptApart), only its owner may read.
    void sourceDialog() {
        ScriptedDesktop desk;
        TDlgNetworkSource dialog(NetworkCamera::readSettings(folder_.path));
        dialog.user()->setText("watch");
        dialog.password()->setText(Password);
        dialog.transport()->setCurrentIndex(1);
        dialog.address()->setText("camera.local"); // no scheme: refused with a box
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(desk.shown.size(), 1);
        dialog.address()->setText("http://127.0.0.1:1/video");
        dialog.accept();
        NetworkCamera::writeSettings(folder_.path, dialog.settings());
        QCOMPARE(IniFile(folder_.path + "vcap.sif").readString("Network Camera", "Transport", ""),
                 QString("UDP"));
        // Cancelled, what was changed in the dialog is not kept.
        const DialogScript cancel([](QDialog& shown) {
            static_cast<TDlgNetworkSource&>(shown).transport()->setCurrentIndex(0);
            return int(QDialog::Rejected);
        });
        QCOMPARE(NetworkCamera(folder_.path).showSourceDialog(nullptr), false);
        QCOMPARE(IniFile(folder_.path + "vcap.sif").readString("Network Camera", "Transport", ""),
                 QString("UDP"));
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(folder_.path + "Ostrel.sif").constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    // A certificate the Test refuses (not the one trusted before) is shown by its
    // fingerprint; trusted, the picture comes, and the fingerprint is kept with the address.
    void trustFromTest() {
        Camera camera(false, 0, true, {"--tls", pem("self"), pem("self-key")});
        QVERIFY2(camera.server.start(), qPrintable(camera.server.error()));
        TDlgNetworkSource dialog({camera.url(), "TCP", "watch", Password, QString(64, u'0')});
        dialog.testButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(
            dialog.outcome()->text(),
            "Failed: The camera's certificate is not trusted (it does not match the trusted "
            "fingerprint).\nIf this is "
            "your own camera and you know its certificate, compare its SHA-256 fingerprint with "
            "this one before you trust it:\n" +
                sha256("self"),
            5000);
        QCOMPARE(dialog.outcome()->accessibleName(), dialog.outcome()->text());
        QCOMPARE(dialog.trustButton()->isHidden(), false);
        dialog.trustButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(dialog.outcome()->text(),
                                  QString("Success: the camera sends pictures of 640 x 480."),
                                  5000);
        QVERIFY(!dialog.picture()->pixmap().isNull());
        QCOMPARE(dialog.trustButton()->isHidden(), true);
        NetworkCamera::writeSettings(folder_.path, dialog.settings());
        QCOMPARE(IniFile(folder_.path + "vcap.sif")
                     .readString("Network Camera", "Certificate_SHA256", ""),
                 sha256("self"));
    }

    void loginKeptApart_data() {
        QTest::addColumn<QString>("where"); // typed, tested, stored, written
        QTest::addColumn<QString>("login"); // in the address
        QTest::addColumn<bool>("kept");     // Ostrel.sif already holds the login used
        const QString login = "watch:s3cret%3A%40%2F";
        QTest::newRow("typed into the address") << "typed" << login << false;
        QTest::newRow("typed into the address, then tested") << "tested" << login << false;
        QTest::newRow("in the address of an old vcap.sif") << "stored" << login << false;
        // Ostrel.sif's login was the one used when both held one.
        QTest::newRow("in an old vcap.sif, beside the login used") << "stored"
                                                                   << "stale:old" << true;
        QTest::newRow("in an address handed to the writer") << "written" << login << false;
    }
    // A login in the address, typed, stored by an older version or handed to the writer,
    // ends in Ostrel.sif; vcap.sif keeps the address without it and everything else it held.
    void loginKeptApart() {
        QFETCH(QString, where);
        QFETCH(QString, login);
        QFETCH(bool, kept);
        const QString typed = "http://" + login + "@127.0.0.1:1/video";
        IniFile(folder_.path + "vcap.sif").writeString("Network Camera", "Transport", "UDP");
        if (kept) NetworkCamera::writeSettings(folder_.path, {"", "UDP", "watch", Password, ""});
        if (where == "stored") {
            IniFile(folder_.path + "vcap.sif").writeString("Network Camera", "URL", typed);
            QCOMPARE(NetworkCamera::readSettings(folder_.path).user, QString("watch"));
        } else if (where == "written") {
            NetworkCamera::writeSettings(folder_.path, {typed, "UDP", "", "", ""});
        } else {
            TDlgNetworkSource dialog(NetworkCamera::readSettings(folder_.path));
            dialog.address()->setText(typed);
            if (where == "tested")
                dialog.testButton()->click();
            else
                emit dialog.address()->editingFinished();
            QCOMPARE(dialog.address()->text(), QString("http://127.0.0.1:1/video"));
            QCOMPARE(dialog.user()->text(), QString("watch"));
            QCOMPARE(dialog.password()->text(), Password);
            NetworkCamera::writeSettings(folder_.path, dialog.settings());
        }
        const IniFile vcap(folder_.path + "vcap.sif");
        const IniFile program(folder_.path + "Ostrel.sif");
        QCOMPARE(vcap.readString("Network Camera", "URL", ""), QString("http://127.0.0.1:1/video"));
        QCOMPARE(vcap.readString("Network Camera", "Transport", ""), QString("UDP"));
        QCOMPARE(program.readString("Network Camera", "User", ""), QString("watch"));
        QCOMPARE(program.readString("Network Camera", "Password", ""), Password);
    }

    // In the window: an address that does not answer is mended through Video Source while
    // the camera is away; the stream is then a camera like any other (a snapshot, a
    // recording, a detection session). The camera stopped and started again: the window
    // tries again with growing pauses, logs the loss and the return once each, and the
    // session goes on.
    void window() {
        auto camera = std::make_unique<Camera>();
        QVERIFY2(camera->server.start(), qPrintable(camera->server.error()));
        const quint16 port = camera->server.port();
        // A wrong port at first: mended through Video Source while the camera is away.
        NetworkCamera::writeSettings(folder_.path,
                                     {"http://127.0.0.1:1/video", "TCP", "watch", Password, ""});
        IniFile(folder_.path + "vcap.sif").writeString("Driver", "index", "1");
        IniFile(folder_.path + "Ostrel.sif").writeString("Other Settings", "FirstRun", "0");
        IniFile(folder_.path + "Ostrel.sif").writeString("Motion Detection", "Interval", "3600");
        ScriptedDesktop desk;
        TMain main(folder_.path, systemDrivers(folder_.path, std::make_shared<ScriptedV4l2>()));
        main.createWindows();
        auto* ui = main.ui();
        auto* video = main.VideoCap1();
        QTRY_VERIFY_WITH_TIMEOUT(main.cameraLost(), 5000);
        QVERIFY(ui->menuVideoSource->isEnabled());
        DialogScript script([&](QDialog& d) {
            auto& dialog = dynamic_cast<TDlgNetworkSource&>(d);
            dialog.address()->setText(camera->url());
            dialog.accept();
            return dialog.result();
        });
        ui->menuVideoSource->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(main.statusPanel(1)->text(),
                                  QString("Ostrel Network Camera: 640 x 480"), 5000);
        QCOMPARE(desk.shownTexts(), QStringList{"Capture device was not detected. Nothing answers "
                                                "at this address and port."});
        desk.shown.clear();

        ui->btnSnapshot->click();
        QCOMPARE(bitmap::load(folder_.path + "Snapshots/Snapshot.bmp").size(), QSize(640, 480));
        video->setCapTimeLimit(1);
        ui->BtStartStop->click();
        QTRY_COMPARE_WITH_TIMEOUT(ui->BtStartStop->text(), QString("Start Video"), 10000);
        QCOMPARE_GT(QFileInfo(folder_.path + "Videos/Video.avi").size(), 10000);
        ui->BitBtnMotion->click();
        auto detect = [&] {
            MotionDetector& d = main.motion()->detector();
            d.setLastFrameSum(quint32(double(d.LastFrameSum()) * 1.1));
            main.motion()->Timer2Timer();
        };
        detect();
        QCOMPARE(main.motion()->MotionDetectCount, 1);

        QSignalSpy errors(video, &TVideoCapture::OnError);
        camera.reset();
        QTRY_VERIFY_WITH_TIMEOUT(main.cameraLost(), 5000);
        // The loss, then a try against the closed port that failed.
        QTRY_COMPARE_GE_WITH_TIMEOUT(errors.count(), 2, 20000);
        camera = std::make_unique<Camera>(false, port);
        QVERIFY2(camera->server.start(), qPrintable(camera->server.error()));
        QTRY_VERIFY_WITH_TIMEOUT(!main.cameraLost(), 20000);
        QVERIFY(video->DriverOpen());
        main.motion()->Timer2Timer(); // the new reference
        detect();
        QCOMPARE(main.motion()->MotionDetectCount, 2);
        QVERIFY(desk.shown.isEmpty());
        const QString log = main.errorLog().lines().join('\n');
        QCOMPARE(log.count("Camera lost: Ostrel Network Camera"), 2);
        QCOMPARE(log.count("Camera back: Ostrel Network Camera"), 2);
        QVERIFY(!log.contains("s3cret"));
    }

private:
    QString pem(const QString& name) const { return certs_.filePath(name + ".pem"); }
    // As openssl prints it.
    QString sha256(const QString& name) const {
        const QSslCertificate shown = QSslCertificate::fromPath(pem(name)).value(0);
        return QString::fromLatin1(shown.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    }

    QTemporaryDir certs_; // made by make_ca.py
    FreshFolder folder_;
};

QTEST_MAIN(TestNetCamera)
#include "tst_netcamera.moc"
