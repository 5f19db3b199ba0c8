#include "Peer.h"

#include <QDeadlineTimer>
#include <QJsonDocument>

namespace ostrel::test {

namespace {
const QString python = QStringLiteral("/usr/bin/python3");
}

QString peerScript(const QString& name) {
    return qEnvironmentVariable("OSTREL_SOURCE_DIR") + QStringLiteral("/tests/peers/") + name;
}

PeerServer::PeerServer(const QString& script, const QStringList& arguments)
    : script_(script), arguments_(arguments) {
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.setReadChannel(QProcess::StandardOutput);
}

PeerServer::~PeerServer() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.closeWriteChannel();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool PeerServer::start() {
    process_.start(python, QStringList{script_} + arguments_);
    const QDeadlineTimer deadline(20000);
    while (!process_.canReadLine() && !deadline.hasExpired() &&
           process_.waitForReadyRead(int(deadline.remainingTime()))) {
    }
    bool ok = false;
    if (process_.canReadLine()) port_ = quint16(process_.readLine().trimmed().toUInt(&ok));
    if (ok && port_ != 0) return true;
    error_ = QStringLiteral("%1 printed no port (%2): %3")
                 .arg(script_, process_.errorString(),
                      QString::fromLocal8Bit(process_.readAllStandardError()));
    return false;
}

QJsonObject readMail(const QString& path) {
    QProcess p;
    p.start(python, {peerScript(QStringLiteral("read_mail.py")), path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning("read_mail.py failed: %s", p.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QString makeCertificate(const QString& folder, const QString& host) {
    const QString cert = folder + QStringLiteral("/cert.pem");
    QProcess p;
    p.start(QStringLiteral("openssl"),
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + host, "-addext",
             "subjectAltName=DNS:" + host + (host == "localhost" ? ",IP:127.0.0.1" : ""), "-days",
             "2", "-keyout", folder + QStringLiteral("/key.pem"), "-out", cert});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    p.start(QStringLiteral("openssl"), {"x509", "-fingerprint", "-sha256", "-noout", "-in", cert});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    return QString::fromLatin1(p.readAllStandardOutput().trimmed());
}

} // namespace ostrel::test
