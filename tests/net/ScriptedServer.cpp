#include "ScriptedServer.h"

#include <QTimer>

namespace ostrel::test {

namespace {
// A flood stops here even when the client never gives up, so a failing test ends.
constexpr qint64 floodCap = 64 * 1024 * 1024;
constexpr int slowPieces = 6; // {send-slowly}, 300 ms apart
const QList<QByteArray> dataTokens{"{send}",    "{send-slowly}", "{send-endless}", "{trickle}",
                                   "{receive}", "{receive-cut}", "{drop-midway}",  "{message}"};

QByteArray lineEnded(const QByteArray& text) {
    return text.isEmpty() || text.endsWith('\n') ? text : text + "\r\n";
}
} // namespace

ScriptedServer::ScriptedServer(const Replies& defaults, const Replies& replies) {
    for (const auto& [key, text] : defaults + replies)
        table_[key] = text;
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        QTcpSocket* socket = server_.nextPendingConnection();
        socket->setParent(this);
        control_ = socket;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            lineBuffer_ += socket->readAll();
            for (qsizetype lf; (lf = lineBuffer_.indexOf('\n')) >= 0;) {
                QByteArray line = lineBuffer_.left(lf);
                if (line.endsWith('\r')) line.chop(1);
                lineBuffer_.remove(0, lf + 1);
                onLine(line);
            }
        });
        reply(table_.value(""));
    });
    connect(&dataServer_, &QTcpServer::newConnection, this, [this] {
        QTcpSocket* socket = dataServer_.nextPendingConnection();
        socket->setParent(this);
        data_ = socket;
        if (pendingData_) std::exchange(pendingData_, nullptr)(socket);
    });
}

void ScriptedServer::onLine(const QByteArray& line) {
    if (inMessage_) {
        if (line == ".") {
            inMessage_ = false;
            send(afterMessage_);
        }
        return;
    }
    commands << QString::fromUtf8(line);
    const QByteArray verb = line.left(line.indexOf(' '));
    reply(table_.value(line, table_.value(verb, "500 Unknown command")));
}

void ScriptedServer::reply(QByteArray text) {
    if (!control_) return;
    if (text.contains("{pasv}")) {
        dataServer_.close();
        dataServer_.listen(QHostAddress::LocalHost, 0);
        const quint16 p = dataServer_.serverPort();
        text.replace("{pasv}", "227 Entering Passive Mode (" +
                                   pasvAddress.toString().replace('.', ',').toLatin1() + ',' +
                                   QByteArray::number(p >> 8) + ',' + QByteArray::number(p & 255) +
                                   ')');
    }
    if (text == "{endless}" || text == "{endless-line}") {
        floodWith(control_, text == "{endless}" ? "220-" + QByteArray(120, 'f') + "\r\n"
                                                : QByteArray(4096, 'x'));
        return;
    }
    if (text == "{drop}") {
        control_->abort();
        return;
    }
    for (const QByteArray& token : dataTokens) {
        const qsizetype at = text.indexOf(token);
        if (at < 0) continue;
        send(text.left(at));
        startData(token, text.mid(at + token.size()));
        return;
    }
    send(text);
}

void ScriptedServer::send(const QByteArray& text) {
    const QByteArray all = lineEnded(text);
    QList<QByteArray> pieces;
    qsizetype from = 0;
    for (qsizetype at; (at = all.indexOf("{pause}", from)) >= 0; from = at + 7)
        pieces << all.mid(from, at - from);
    writePieces(pieces << all.mid(from));
}

void ScriptedServer::writePieces(QList<QByteArray> pieces) {
    if (!control_ || pieces.isEmpty()) return;
    control_->write(pieces.takeFirst());
    if (!pieces.isEmpty()) QTimer::singleShot(40, this, [this, pieces] { writePieces(pieces); });
}

void ScriptedServer::floodWith(QTcpSocket* socket, const QByteArray& chunk) {
    QPointer<QTcpSocket> s = socket;
    const auto more = [this, s, chunk] {
        while (s && s->state() == QAbstractSocket::ConnectedState &&
               s->bytesToWrite() < 256 * 1024 && flooded < floodCap) {
            s->write(chunk);
            flooded += chunk.size();
        }
    };
    connect(s, &QTcpSocket::bytesWritten, this, more);
    more();
}

void ScriptedServer::withData(std::function<void(QTcpSocket*)> f) {
    if (data_)
        f(data_);
    else
        pendingData_ = std::move(f);
}

void ScriptedServer::dataDone(const QByteArray& after) {
    if (data_) data_->deleteLater();
    data_ = nullptr;
    send(after);
}

void ScriptedServer::startData(const QByteArray& action, const QByteArray& after) {
    if (action == "{message}") {
        inMessage_ = true;
        afterMessage_ = after;
    } else if (action == "{send}") {
        withData([this, after](QTcpSocket* d) {
            connect(d, &QTcpSocket::disconnected, this, [this, after] { dataDone(after); });
            d->write(payload);
            d->disconnectFromHost();
        });
    } else if (action == "{send-slowly}") {
        withData([this, after](QTcpSocket* d) {
            auto* timer = new QTimer(d);
            connect(timer, &QTimer::timeout, this, [this, d, timer, after, sent = 0]() mutable {
                const qsizetype piece = (payload.size() + slowPieces - 1) / slowPieces;
                d->write(payload.mid(sent * piece, piece));
                if (++sent < slowPieces) return;
                timer->stop();
                connect(d, &QTcpSocket::disconnected, this, [this, after] { dataDone(after); });
                d->disconnectFromHost();
            });
            timer->start(300);
        });
    } else if (action == "{send-endless}") {
        withData([this](QTcpSocket* d) { floodWith(d, QByteArray(64 * 1024, 'e')); });
    } else if (action == "{trickle}") {
        // A byte now and then, for ever.
        withData([this](QTcpSocket* d) {
            auto* timer = new QTimer(d);
            connect(timer, &QTimer::timeout, d, [d] { d->write("t"); });
            timer->start(200);
        });
    } else if (action == "{receive}") {
        withData([this, after](QTcpSocket* d) {
            received = d->readAll();
            connect(d, &QTcpSocket::readyRead, this, [this, d] { received += d->readAll(); });
            connect(d, &QTcpSocket::disconnected, this, [this, d, after] {
                received += d->readAll();
                dataDone(after);
            });
            if (d->state() == QAbstractSocket::UnconnectedState) dataDone(after);
        });
    } else if (action == "{receive-cut}") {
        withData([this, after](QTcpSocket* d) {
            received.clear();
            connect(d, &QTcpSocket::readyRead, this, [this, d, after] {
                received += d->readAll();
                if (received.size() < 64 * 1024) return;
                QObject::disconnect(d, nullptr, this, nullptr);
                d->abort();
                dataDone(after);
            });
        });
    } else if (action == "{drop-midway}") {
        withData([this](QTcpSocket* socket) {
            QPointer<QTcpSocket> d = socket;
            d->write(payload.left(payload.size() / 2));
            QTimer::singleShot(100, this, [this, d] {
                if (d) d->abort();
                if (control_) control_->abort();
            });
        });
    }
}

} // namespace ostrel::test
