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
    : script_(script), arguments_(arguments) {}

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

namespace {

// What a script of tests/peers printed; empty on failure.
QByteArray runScript(const QString& name, const QStringList& arguments) {
    QProcess p;
    p.start(python, QStringList{peerScript(name)} + arguments);
    if (!p.waitForFinished(30000) || p.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(name), p.readAllStandardError().constData());
        return {};
    }
    return p.readAllStandardOutput();
}

} // namespace

QJsonObject readMail(const QString& path) {
    return QJsonDocument::fromJson(runScript(QStringLiteral("read_mail.py"), {path})).object();
}

QString makeCertificate(const QString& folder, const QString& host) {
    return QString::fromLatin1(
        runScript(QStringLiteral("make_ca.py"), {folder, QStringLiteral("--self-signed"), host})
            .trimmed());
}

} // namespace ostrel::test
