#include "ScriptedServer.h"

#include <QTimer>

namespace ostrel::test {

namespace {
// A flood stops here even when the client never gives up, so a failing test ends.
constexpr qint64 floodCap = 64 * 1024 * 1024;
} // namespace

ScriptedServer::ScriptedServer(QList<Exchange> script, QObject* parent)
    : QObject(parent), script_(std::move(script)) {
    for (const Exchange& e : script_)
        if (!e.command.isEmpty()) scripted << QString::fromUtf8(e.command);
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, &ScriptedServer::onConnection);
    connect(&dataServer_, &QTcpServer::newConnection, this, &ScriptedServer::onDataConnection);
}

ScriptedServer::~ScriptedServer() = default;

QStringList ScriptedServer::commandsAsScripted() const {
    QStringList got = commands;
    for (qsizetype i = 0; i < got.size() && i < scripted.size(); ++i)
        if (scripted[i].endsWith('*') && got[i].startsWith(scripted[i].chopped(1)))
            got[i] = scripted[i];
    return got;
}

void ScriptedServer::onConnection() {
    QTcpSocket* socket = server_.nextPendingConnection();
    if (!socket) return;
    socket->setParent(this);
    control_ = socket;
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        lineBuffer_ += socket->readAll();
        qsizetype lf;
        while ((lf = lineBuffer_.indexOf('\n')) >= 0) {
            QByteArray line = lineBuffer_.left(lf);
            lineBuffer_.remove(0, lf + 1);
            if (line.endsWith('\r')) line.chop(1);
            onLine(line);
        }
    });
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        if (!floodLine_.isEmpty()) flood();
    });
    if (!script_.isEmpty() && script_.first().command.isEmpty())
        sendReply(script_.takeFirst().reply);
}

void ScriptedServer::onLine(const QByteArray& line) {
    if (collectingMessage_) {
        if (line == ".") {
            collectingMessage_ = false;
            sendReply(afterMessage_);
        } else {
            received += line + "\r\n";
        }
        return;
    }
    commands << QString::fromUtf8(line);
    if (line.startsWith("PORT ")) {
        const QList<QByteArray> n = line.mid(5).split(',');
        if (n.size() == 6) {
            portAddress_ = QHostAddress(QString::fromLatin1(n.mid(0, 4).join('.')));
            portPort_ = quint16(n[4].toInt() * 256 + n[5].toInt());
        }
    }
    if (script_.isEmpty()) {
        sendReply("500 Script ended\r\n");
        return;
    }
    const Exchange& next = script_.first();
    const bool match = next.command.endsWith('*') ? line.startsWith(next.command.chopped(1))
                                                  : line == next.command;
    if (!match) {
        sendReply("500 Unexpected command\r\n");
        return;
    }
    const Exchange e = script_.takeFirst();
    sendReply(e.reply);
    if (e.data == DataAction::Message) {
        collectingMessage_ = true;
        afterMessage_ = e.replyAfterData;
        received.clear();
    } else if (e.data != DataAction::None) {
        startData(e.data, e.replyAfterData);
    }
}

void ScriptedServer::sendReply(QByteArray reply) {
    if (!control_) return;
    if (reply.contains("{pasv}")) {
        dataServer_.close();
        dataServer_.listen(QHostAddress::LocalHost, 0);
        const quint16 p = dataServer_.serverPort();
        const QByteArray pasv =
            "227 Entering Passive Mode (" + pasvAddress.toString().replace('.', ',').toLatin1() +
            ',' + QByteArray::number(p >> 8) + ',' + QByteArray::number(p & 255) + ')';
        reply.replace("{pasv}", pasv);
    }
    if (reply == "{endless}" || reply == "{endless-line}") {
        floodLine_ =
            reply == "{endless}" ? "220-" + QByteArray(120, 'f') + "\r\n" : QByteArray(4096, 'x');
        flood();
        return;
    }
    if (reply == "{drop}") {
        control_->abort();
        return;
    }
    QList<QByteArray> pieces;
    qsizetype from = 0, at;
    while ((at = reply.indexOf("{pause}", from)) >= 0) {
        pieces << reply.mid(from, at - from);
        from = at + 7;
    }
    pieces << reply.mid(from);
    writePieces(pieces);
}

void ScriptedServer::writePieces(QList<QByteArray> pieces) {
    if (!control_ || pieces.isEmpty()) return;
    control_->write(pieces.takeFirst());
    if (!pieces.isEmpty()) QTimer::singleShot(40, this, [this, pieces] { writePieces(pieces); });
}

void ScriptedServer::flood() {
    while (control_ && control_->state() == QAbstractSocket::ConnectedState &&
           control_->bytesToWrite() < 256 * 1024 && flooded < floodCap) {
        control_->write(floodLine_);
        flooded += floodLine_.size();
    }
}

void ScriptedServer::onDataConnection() {
    QTcpSocket* socket = dataServer_.nextPendingConnection();
    if (!socket) return;
    socket->setParent(this);
    data_ = socket;
    if (pendingData_) {
        auto f = std::move(pendingData_);
        pendingData_ = nullptr;
        f(socket);
    }
}

void ScriptedServer::withData(std::function<void(QTcpSocket*)> f) {
    if (data_) {
        f(data_);
    } else if (portPort_ != 0) {
        auto* socket = new QTcpSocket(this);
        data_ = socket;
        connect(socket, &QTcpSocket::connected, this, [f, socket] { f(socket); });
        socket->connectToHost(portAddress_, portPort_);
    } else {
        pendingData_ = std::move(f);
    }
}

void ScriptedServer::dataFinished(const QByteArray& after) {
    if (data_) data_->deleteLater();
    data_ = nullptr;
    portPort_ = 0;
    if (!after.isEmpty()) sendReply(after);
}

void ScriptedServer::startData(DataAction action, QByteArray after) {
    switch (action) {
    case DataAction::None:
    case DataAction::Message:
        return;
    case DataAction::Send:
        withData([this, after](QTcpSocket* d) {
            connect(d, &QTcpSocket::disconnected, this, [this, after] { dataFinished(after); });
            d->write(payload);
            d->disconnectFromHost();
        });
        return;
    case DataAction::SendSlowly:
        withData([this, after](QTcpSocket* d) {
            auto* timer = new QTimer(d);
            auto sent = std::make_shared<int>(0);
            connect(timer, &QTimer::timeout, this, [this, d, timer, sent, after] {
                const qsizetype piece = (payload.size() + slowPieces - 1) / slowPieces;
                d->write(payload.mid(*sent * piece, piece));
                if (++*sent >= slowPieces) {
                    timer->stop();
                    connect(d, &QTcpSocket::disconnected, this,
                            [this, after] { dataFinished(after); });
                    d->disconnectFromHost();
                }
            });
            timer->start(slowIntervalMs);
        });
        return;
    case DataAction::Receive:
        withData([this, after](QTcpSocket* d) {
            received.clear();
            received += d->readAll();
            connect(d, &QTcpSocket::readyRead, this, [this, d] { received += d->readAll(); });
            connect(d, &QTcpSocket::disconnected, this, [this, d, after] {
                received += d->readAll();
                dataFinished(after);
            });
            if (d->state() == QAbstractSocket::UnconnectedState) dataFinished(after);
        });
        return;
    case DataAction::ReceiveAndCut:
        withData([this, after](QTcpSocket* d) {
            received.clear();
            connect(d, &QTcpSocket::readyRead, this, [this, d, after] {
                received += d->readAll();
                if (received.size() >= 64 * 1024) {
                    QObject::disconnect(d, nullptr, this, nullptr);
                    d->abort();
                    dataFinished(after);
                }
            });
        });
        return;
    case DataAction::DropMidway:
        withData([this](QTcpSocket* socket) {
            QPointer<QTcpSocket> d = socket;
            d->write(payload.left(payload.size() / 2));
            QTimer::singleShot(100, this, [this, d] {
                if (d) d->abort();
                if (control_) control_->abort();
            });
        });
        return;
    }
}

} // namespace ostrel::test
