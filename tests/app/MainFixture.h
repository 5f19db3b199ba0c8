#pragma once
// A program folder with a ScriptedDesktop and the main window opened on it, the check that
// the window shows the look of its state, and the FTP and mail servers of tests/peers.
#include "../net/FtpPeers.h"
#include "app/mainf.h"
#include "capture/CaptureDriver.h"
#include "platform/FreeSpace.h"
#include "platform/IniFile.h"
#include "platform/ScriptedDesktop.h"
#include "ui_mainf.h"
#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace ostrel::test {

inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A failed check inside a helper ends the test too.
#define CHECK(call)                                                                                \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed()) return;                                                    \
    } while (false)

#define VERIFY_NO_BOXES(desk)                                                                      \
    QVERIFY2((desk).shown.isEmpty(), qPrintable((desk).shownTexts().join("; ")))

// A real FTP server of tests/peers serving a temporary folder to one user; started again,
// it takes the port it had.
struct FtpHost {
    QTemporaryDir root;
    QString user = QStringLiteral("ostrel"), password = QStringLiteral("s3cret");
    QString peer = QStringLiteral("pyftpdlib"); // or "ProFTPD"
    bool passive = true;                        // the account's data connections
    std::unique_ptr<PeerServer> server;
    quint16 port = 0;
    QStringList tls;       // the server's TLS option with its certificate and key
    QString security, pin; // what the account says of it (nothing: the plain account)
    QTemporaryDir certificate;
    // FTP over TLS ("Explicit" or "Implicit") with a certificate of its own, trusted by pin,
    // on the server of `peer` ("pyftpdlib" or "ProFTPD") with passive or active transfers.
    bool useTls(const QString& mode, const QString& server = QStringLiteral("pyftpdlib"),
                bool passiveMode = true) {
        peer = server;
        passive = passiveMode;
        pin = makeCertificate(certificate.path());
        security = mode;
        tls = QStringList{"--tls-" + mode.toLower(), certificate.filePath("cert.pem"),
                          certificate.filePath("key.pem")};
        return !pin.isEmpty();
    }
    bool start() {
        QStringList args = QStringList{root.path(), user, password} + tls;
        if (port) args << QStringLiteral("--port") << QString::number(port);
        server = std::make_unique<PeerServer>(ftpPeerScript(peer), args);
        if (!server->start()) {
            qWarning("%s", qPrintable(server->error()));
            return false;
        }
        port = server->port();
        return true;
    }
    void stop() { server.reset(); }
    QByteArray file(const QString& name) const { return readAll(root.filePath(name)); }
};

// A tiny file system mounted on `folder` and filled up, where the test may mount one (as
// root); unmounted when it goes.
struct FullDisk {
    QString folder;
    bool mounted = false;
    explicit FullDisk(const QString& where) : folder(where) {
        QDir().mkpath(folder);
        QProcess mount;
        mount.start("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", folder});
        mounted = mount.waitForFinished() && mount.exitCode() == 0;
        QFile fill(folder + "/fill");
        if (!mounted || !fill.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return;
        const QByteArray block(4096, 'x');
        while (fill.write(block) == block.size()) {
        }
    }
    ~FullDisk() {
        if (mounted) QProcess::execute("umount", {"-l", folder});
    }
};

// The free space the disk guard measures, in MB: plenty, whatever the build machine has,
// until a test says otherwise.
struct ScriptedFreeSpace {
    std::function<qint64()> mb = [] { return qint64(1) << 20; };
    FreeSpaceCheck previous =
        setFreeSpaceCheck([this](const QString&) { return mb() * 1024 * 1024; });
    ~ScriptedFreeSpace() { setFreeSpaceCheck(std::move(previous)); }
};

// The folder (path ends with '/'), the desktop the window talks to, the free space, and
// the window. Declared in this order, the window goes first and the folder last.
struct Program {
    QTemporaryDir dir;
    QString path = dir.path() + QLatin1Char('/');
    ScriptedDesktop desk;
    ScriptedFreeSpace freeMb;
    std::unique_ptr<TMain> main;

    void write(const QString& name, const QByteArray& text) {
        QFile f(path + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(text), text.size());
    }
    QByteArray read(const QString& name) const { return readAll(path + name); }
    void set(const QString& section, const QString& key, const QString& value) {
        IniFile(path + QStringLiteral("Ostrel.sif")).writeString(section, key, value);
    }
    // The virtual camera as driver, its figure passing every `figure` s (0: a still room),
    // and no setup wizard.
    void useCamera(int figure = 0) {
        write("vcap.sif", "[Driver]\r\nindex=0\r\n[Virtual Camera]\r\nMotion_Interval=" +
                              QByteArray::number(figure) + "\r\n");
        set("Other Settings", "FirstRun", "0");
    }
    // The FTP host, with its login, that the window's client goes to.
    void useFtp(const FtpHost& host) {
        set("FTP Settings", "FTP_Host", "127.0.0.1");
        set("FTP Settings", "FTP_Port", QString::number(host.port));
        set("FTP Settings", "User_ID", host.user);
        set("FTP Settings", "Password", host.password);
        set("FTP Settings", "Passive_Mode", host.passive ? "1" : "0");
        if (!host.security.isEmpty()) {
            set("FTP Settings", "Security", host.security);
            set("FTP Settings", "Certificate_SHA256", host.pin);
        }
    }
    TMain& open(std::shared_ptr<DriverRegistry> drivers = {}, bool windows = true) {
        main = std::make_unique<TMain>(path, drivers ? std::move(drivers) : systemDrivers(path));
        if (windows) main->createWindows();
        return *main;
    }
    Ui::TMain* ui() const { return main->ui(); }
};

// Every control the look of the window's state names is there and set as it says (a
// widget also goes grey with its group box), and so are the session menu entries.
inline void verifyLook(TMain& main) {
    const MainWindowLook look = mainWindowLook(main.programState());
    for (const ControlEnabled& c : look.controls) {
        const QObject* control = main.findChild<QObject*>(QLatin1String(c.name));
        const auto* widget = qobject_cast<const QWidget*>(control);
        QVERIFY2(control, c.name);
        const bool enabled = widget ? !widget->testAttribute(Qt::WA_ForceDisabled)
                                    : control->property("enabled").toBool();
        // Named, so that a failure says which control.
        const auto said = [&](bool on) { return c.name + QString(on ? " on" : " off"); };
        QCOMPARE(said(enabled), said(c.enabled));
    }
    QCOMPARE(main.ui()->menuMotion->text(), look.motionMenu); // the buttons: the sessions' tests
    QCOMPARE(main.ui()->menuPeriodicUpdate->text(), look.updateMenu);
}

// The real SMTP server; each mail it receives is mail-N.eml (and its envelope mail-N.json).
struct MailServer {
    QTemporaryDir folder;
    PeerServer server;
    explicit MailServer(const QStringList& options = {})
        : server(peerScript(QStringLiteral("smtp_server.py")),
                 QStringList{folder.path()} + options) {}
    QString mail(int n) const { return folder.filePath(QStringLiteral("mail-%1.eml").arg(n)); }
    int mails() const { return QDir(folder.path()).entryList({"mail-*.eml"}, QDir::Files).size(); }
    // Settings sending from camera@example.org to `to` through this server.
    void configure(Program& p, const QString& to = QStringLiteral("owner@example.org")) const {
        p.set("Email Settings", "SMTP_Host", "127.0.0.1");
        p.set("Email Settings", "SMTP_Port", QString::number(server.port()));
        p.set("Email Settings", "User_Address", "camera@example.org");
        p.set("Email Settings", "Destination_Address", to);
    }
    // Waits for mail n, then checks its subject, its text (lines ended by LF), its
    // recipients, and its one attachment when a name is given.
    void verify(int n, const QString& subject, const QString& text, const QStringList& to,
                const QString& file = {}, const QByteArray& data = {}) const {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(mail(n)), 20000);
        const QJsonObject m = parsed(n);
        QCOMPARE(m["subject"].toString(), subject);
        QCOMPARE(m["text"].toString(), text);
        QCOMPARE(m["envelope"].toObject()["rcpt_tos"].toVariant().toStringList(), to);
        const QJsonArray files = m["attachments"].toArray();
        QCOMPARE(files.size(), file.isEmpty() ? 0 : 1);
        if (file.isEmpty()) return;
        QCOMPARE(files[0].toObject()["filename"].toString(), file);
        QCOMPARE(QByteArray::fromHex(files[0].toObject()["data"].toString().toLatin1()), data);
    }
    QJsonObject parsed(int n) const { return readMail(mail(n)); }
};

} // namespace ostrel::test
