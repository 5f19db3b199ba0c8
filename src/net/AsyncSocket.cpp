#include "net/AsyncSocket.h"
#include "net/CloseDrain.h"
#include "net/SocketAddresses.h"
#include "net/TlsTrust.h"
#include "net/WinsockErrors.h"
#include "platform/Fingerprint.h"

#include <QHostInfo>
#include <QSocketNotifier>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

namespace ostrel {

namespace {

QString callError(int code, const char* function) {
    return QStringLiteral("Error %1 in function %2\n%3")
        .arg(code)
        .arg(QLatin1String(function), WSocketErrorDesc(code));
}

} // namespace

TAsyncSocket::TAsyncSocket(QObject* parent) : QObject(parent) {}

TAsyncSocket::~TAsyncSocket() {
    if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
    // Sockets still handing over data in the background are children and go with us.
}

void TAsyncSocket::setLineMode(bool on) {
    lineMode_ = on;
    lines_.clear();
}

void TAsyncSocket::setLineEndLoneLf(bool on) {
    loneLf_ = on;
    lines_.setAcceptLoneLf(on);
}

void TAsyncSocket::setLineLimit(qsizetype bytes) {
    lineLimit_ = bytes;
    lines_.setMaxLineLength(bytes);
}

quint16 TAsyncSocket::connectPort() const {
    return resolvePortOrRaise(port_, false);
}

void TAsyncSocket::Connect() {
    if (state_ != State::Closed)
        throw ESocketException(QStringLiteral("Connect: Socket already in use"));
    if (port_.trimmed().isEmpty())
        throw ESocketException(QStringLiteral("Connect: No Port Specified"));
    if (addr_.trimmed().isEmpty())
        throw ESocketException(QStringLiteral("Connect: No IP Address Specified"));
    if (proto_.trimmed().isEmpty())
        throw ESocketException(QStringLiteral("Connect: No Protocol Specified"));
    if (proto_.trimmed().compare(QLatin1String("tcp"), Qt::CaseInsensitive) != 0)
        throw ESocketException(callError(wsa::ProtocolNotSupported, "socket"));
    resolvedPort_ = connectPort();
    resolvedLocal_ = resolveLocalOrRaise(localAddr_);
    resolvedLocalPort_ = resolvePortOrRaise(localPort_, true);
    lastError_ = 0;
    pendingCloseError_ = 0;
    lines_.clear();
    peerSha256_.clear();

    QHostAddress direct;
    if (direct.setAddress(addr_.trimmed()) && direct.protocol() == QAbstractSocket::IPv4Protocol) {
        if (!startConnect(direct)) throw ESocketException(callError(lastError_, "bind"));
        return;
    }
    startLookup(true);
}

void TAsyncSocket::DnsLookup(const QString& hostName) {
    if (hostName.trimmed().isEmpty())
        throw ESocketException(QStringLiteral("DNS lookup: invalid host name."));
    if (state_ != State::Closed)
        throw ESocketException(QStringLiteral("DNS lookup: Socket already in use"));
    addr_ = hostName;
    startLookup(false);
}

void TAsyncSocket::startLookup(bool thenConnect) {
    state_ = State::DnsLookup;
    const quint64 generation = ++generation_;
    dnsResult_.clear();
    lookupId_ = QHostInfo::lookupHost(addr_.trimmed(), this,
                                      [this, generation, thenConnect](const QHostInfo& info) {
                                          lookupDone(generation, thenConnect, info);
                                      });
    if (lookupId_ < 0) {
        state_ = State::Closed;
        throw ESocketException(QStringLiteral("%1: can't start DNS lookup, error #%2")
                                   .arg(addr_)
                                   .arg(wsa::NoRecovery));
    }
}

void TAsyncSocket::CancelDnsLookup() {
    if (lookupId_ >= 0) QHostInfo::abortHostLookup(lookupId_);
    lookupId_ = -1;
    if (state_ == State::DnsLookup) {
        ++generation_;
        state_ = State::Closed;
    }
}

void TAsyncSocket::lookupDone(quint64 generation, bool thenConnect, const QHostInfo& info) {
    if (generation != generation_ || state_ != State::DnsLookup) return;
    lookupId_ = -1;
    int error = winsockErrorFromLookup(info.error());
    QHostAddress found;
    if (error == 0) {
        // Windows Sockets 1.1 spoke IPv4 only, and the FTP PORT and PASV replies still do.
        for (const QHostAddress& a : info.addresses()) {
            const QHostAddress v4 = asIPv4(a);
            if (v4.protocol() == QAbstractSocket::IPv4Protocol) {
                found = v4;
                break;
            }
        }
        if (found.isNull()) error = wsa::NoData;
    }
    dnsResult_ = found.isNull() ? QString() : found.toString();
    emit OnDnsLookupDone(error);
    if (generation != generation_ || state_ != State::DnsLookup) return;
    if (!thenConnect) {
        state_ = State::Closed;
        return;
    }
    if (error != 0) {
        state_ = State::Closed;
        lastError_ = error;
        emit OnSessionConnected(error);
        return;
    }
    if (!startConnect(found)) failConnect(lastError_);
}

bool TAsyncSocket::startConnect(const QHostAddress& address) {
    QTcpSocket* socket = nullptr;
    if (tls_ == Tls::Off) {
        socket = new QTcpSocket(this);
    } else {
        auto* ssl = new QSslSocket(this);
        prepareTls(ssl);
        socket = ssl;
    }
    // Bound before our handlers listen: a failed bind is reported by Connect alone.
    if (resolvedLocal_ != QHostAddress(QHostAddress::AnyIPv4) || resolvedLocalPort_ != 0) {
        if (!socket->bind(resolvedLocal_, resolvedLocalPort_)) {
            lastError_ = winsockErrorFromSocket(socket->error(), socket->errorString());
            delete socket;
            state_ = State::Closed;
            return false;
        }
    }
    attach(socket);
    state_ = State::Connecting;
    socket->connectToHost(address, resolvedPort_);
    return true;
}

void TAsyncSocket::prepareTls(QSslSocket* ssl) {
    // The address is looked up here; the certificate must still name the host asked for.
    ssl->setPeerVerifyName(verifyName_.isEmpty() ? addr_.trimmed() : verifyName_);
    QSslConfiguration config = ssl->sslConfiguration();
    // Kept, so that another connection can resume the session (FTP's data connections).
    config.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    config.setSessionTicket(session_);
    ssl->setSslConfiguration(config);
    connect(ssl, &QSslSocket::sslErrors, this, &TAsyncSocket::onSslErrors);
    connect(ssl, &QSslSocket::encrypted, this, &TAsyncSocket::onEncrypted);
    // Encrypted bytes wait in a buffer of their own; their going out is what frees room.
    connect(ssl, &QSslSocket::encryptedBytesWritten, this, &TAsyncSocket::onBytesWritten);
}

QByteArray TAsyncSocket::TlsSession() const {
    auto* ssl = qobject_cast<QSslSocket*>(socket_);
    return ssl ? ssl->sslConfiguration().sessionTicket() : QByteArray();
}

void TAsyncSocket::attach(QTcpSocket* socket) {
    socket_ = socket;
    closeNotified_ = false;
    ++generation_;
    connect(socket, &QTcpSocket::connected, this, &TAsyncSocket::onConnected);
    connect(socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError e) { onError(int(e)); });
    connect(socket, &QTcpSocket::readyRead, this, &TAsyncSocket::onReadyRead);
    connect(socket, &QTcpSocket::bytesWritten, this, &TAsyncSocket::onBytesWritten);
    connect(socket, &QTcpSocket::disconnected, this, &TAsyncSocket::onDisconnected);
}

void TAsyncSocket::detach(bool abort) {
    lines_.clear();
    handshaking_ = false;
    if (!socket_) return;
    QTcpSocket* socket = socket_;
    socket_ = nullptr;
    ++generation_;
    QObject::disconnect(socket, nullptr, this, nullptr);
    if (auto* ssl = qobject_cast<QSslSocket*>(socket); !abort && ssl && ssl->isEncrypted()) {
        if (const int fd = ::dup(int(ssl->socketDescriptor())); fd >= 0) {
            auto* drain = new CloseDrain(fd, this);
            connect(ssl, &QObject::destroyed, drain, &CloseDrain::start);
        }
    }
    if (abort) {
        socket->abort();
    } else {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::errorOccurred, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        socket->disconnectFromHost();
        if (socket->state() != QAbstractSocket::UnconnectedState) {
            QTimer::singleShot(CloseGraceMs, socket, [socket] {
                socket->abort();
                socket->deleteLater();
            });
            return;
        }
    }
    socket->deleteLater();
}

void TAsyncSocket::failConnect(int error) {
    lastError_ = error;
    detach(true);
    state_ = State::Closed;
    // Qt may report a refused connection from inside connectToHost; the owner hears of
    // it from the event loop, never from inside its own Connect call.
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation, error] {
            if (generation == generation_) emit OnSessionConnected(error);
        },
        Qt::QueuedConnection);
}

void TAsyncSocket::onConnected() {
    if (tls_ == Tls::FromStart) {
        beginHandshake(); // OnSessionConnected waits for its end
        return;
    }
    state_ = State::Connected;
    lastError_ = 0;
    emit OnSessionConnected(0);
}

void TAsyncSocket::beginHandshake() {
    handshaking_ = true;
    tlsError_ = 0;
    peerSha256_.clear();
    static_cast<QSslSocket*>(socket_)->startClientEncryption();
}

void TAsyncSocket::StartTls() {
    auto* ssl = qobject_cast<QSslSocket*>(socket_);
    if (!ssl || tls_ != Tls::OnRequest || state_ != State::Connected || handshaking_ ||
        ssl->isEncrypted())
        throw ESocketException(QStringLiteral("StartTls: Socket cannot start TLS"));
    lines_.clear(); // nothing received in plain text counts once encrypted
    beginHandshake();
}

bool TAsyncSocket::Encrypted() const {
    auto* ssl = qobject_cast<QSslSocket*>(socket_);
    return ssl && ssl->isEncrypted();
}

void TAsyncSocket::onSslErrors(const QList<QSslError>& errors) {
    auto* ssl = qobject_cast<QSslSocket*>(socket_);
    if (!ssl) return;
    peerSha256_ = sha256Of(ssl->peerCertificate());
    if (fingerprintMatches(pin_, peerSha256_)) {
        ssl->ignoreSslErrors();
        return;
    }
    tlsError_ = normalizedFingerprint(pin_).isEmpty() ? verificationError(errors)
                                                      : wsa::CertificateNotPinned;
}

void TAsyncSocket::onEncrypted() {
    auto* ssl = qobject_cast<QSslSocket*>(socket_);
    if (!ssl) return;
    handshaking_ = false;
    peerSha256_ = sha256Of(ssl->peerCertificate());
    const quint64 generation = generation_;
    if (state_ == State::Connecting) {
        state_ = State::Connected;
        lastError_ = 0;
        emit OnTlsEstablished();
        if (generation == generation_) emit OnSessionConnected(0);
        return;
    }
    emit OnTlsEstablished();
}

void TAsyncSocket::onError(int socketError) {
    if (!socket_) return;
    const auto e = QAbstractSocket::SocketError(socketError);
    int code = winsockErrorFromSocket(e, socket_->errorString());
    if (handshaking_) {
        // Whatever ends a handshake, the user is told it was the handshake, and why.
        code = tlsError_ != 0 ? tlsError_ : wsa::TlsHandshakeFailed;
        if (state_ == State::Connected) { // StartTls
            lastError_ = code;
            detach(true);
            state_ = State::Closed;
            emit OnSessionClosed(code);
            return;
        }
    }
    if (state_ == State::Connecting) {
        failConnect(code);
        return;
    }
    if (state_ != State::Connected) return;
    // Qt reports a peer's close, orderly or reset, as RemoteHostClosedError; it cannot
    // tell the two apart, so that counts as a plain close. Over TLS an orderly close is
    // announced (close_notify), which Qt tells only by its text; a close without it may be
    // a cut made by someone in between, and counts as a reset.
    if (e == QAbstractSocket::RemoteHostClosedError) {
        auto* ssl = qobject_cast<QSslSocket*>(socket_);
        if (ssl &&
            socket_->errorString() == QSslSocket::tr("The TLS/SSL connection has been closed"))
            closeNotified_ = true;
        const bool cut = ssl && ssl->mode() != QSslSocket::UnencryptedMode && !closeNotified_;
        pendingCloseError_ = cut ? wsa::ConnectionReset : 0;
    } else {
        pendingCloseError_ = code;
    }
    lastError_ = pendingCloseError_;
    if (socket_->state() == QAbstractSocket::UnconnectedState) {
        const quint64 generation = generation_;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == generation_) onDisconnected();
            },
            Qt::QueuedConnection);
    }
}

void TAsyncSocket::onReadyRead() {
    if (!socket_) return;
    if (!lineMode_) {
        emit OnDataAvailable(0);
        return;
    }
    lines_.append(socket_->readAll());
    deliverLines(generation_);
}

void TAsyncSocket::deliverLines(quint64 generation) {
    while (generation == generation_) {
        std::optional<QByteArray> line = lines_.takeLine();
        if (!line) break;
        emit OnLineReceived(*line);
    }
    if (generation == generation_ && lines_.overflow()) {
        lastError_ = wsa::MessageTooLong;
        detach(true);
        state_ = State::Closed;
        emit OnSessionClosed(wsa::MessageTooLong);
    }
}

void TAsyncSocket::onBytesWritten(qint64 bytes) {
    const quint64 generation = generation_;
    emit OnBytesWritten(bytes);
    if (generation == generation_ && socket_ && BufferedByteCount() == 0) {
        emit OnDataSent(0);
        if (generation == generation_ && finishing_)
            QMetaObject::invokeMethod(
                this,
                [this, generation] {
                    if (generation == generation_ && finishing_) handOver();
                },
                Qt::QueuedConnection);
    }
}

void TAsyncSocket::onDisconnected() {
    if (!socket_ || (state_ != State::Connected && state_ != State::Connecting)) return;
    const quint64 generation = generation_;
    // Hand over what arrived together with the close before reporting it.
    if (socket_->bytesAvailable() > 0) {
        if (lineMode_) {
            lines_.append(socket_->readAll());
            deliverLines(generation);
        } else {
            emit OnDataAvailable(0);
        }
        if (generation != generation_) return;
    }
    if (lineMode_ && !lines_.overflow()) {
        const QByteArray rest = lines_.takeRest();
        if (!rest.isEmpty()) {
            emit OnLineReceived(rest);
            if (generation != generation_) return;
        }
    }
    finishClosed(pendingCloseError_);
}

void TAsyncSocket::finishClosed(int error) {
    lastError_ = error;
    detach(false);
    state_ = State::Closed;
    emit OnSessionClosed(error);
}

void TAsyncSocket::Listen() {
    if (state_ != State::Closed)
        throw ESocketException(QStringLiteral("Listen: Socket already in use"));
    const QHostAddress local = resolveLocalOrRaise(localAddr_);
    const quint16 port = resolvePortOrRaise(localPort_, true);
    auto* server = tls_ == Tls::Off ? new QTcpServer(this) : new TlsServer(this);
    if (!server->listen(local, port)) {
        const int error = winsockErrorFromSocket(server->serverError(), server->errorString());
        delete server;
        lastError_ = error;
        throw ESocketException(callError(error, "bind"));
    }
    server_ = server;
    ++generation_;
    connect(server, &QTcpServer::newConnection, this, [this] { emit OnSessionAvailable(0); });
    state_ = State::Listening;
    lastError_ = 0;
}

bool TAsyncSocket::Accept(TAsyncSocket& target) {
    if (!server_) return false;
    QTcpSocket* socket = server_->nextPendingConnection();
    if (!socket) return false;
    target.Abort();
    target.adopt(socket);
    return true;
}

void TAsyncSocket::adopt(QTcpSocket* socket) {
    socket->setParent(this);
    attach(socket);
    lastError_ = 0;
    pendingCloseError_ = 0;
    peerSha256_.clear();
    if (auto* ssl = qobject_cast<QSslSocket*>(socket); ssl && tls_ != Tls::Off) {
        prepareTls(ssl);
        if (tls_ == Tls::FromStart) {
            state_ = State::Connecting; // until the handshake is over
            beginHandshake();
            return;
        }
    }
    state_ = State::Connected;
    // The connection may have brought data, or even closed, before it was taken over;
    // those notifications went to nobody, so look again from the event loop.
    const quint64 generation = generation_;
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
            if (generation != generation_ || !socket_) return;
            if (socket_->bytesAvailable() > 0) onReadyRead();
            if (generation == generation_ && socket_ &&
                socket_->state() == QAbstractSocket::UnconnectedState)
                onDisconnected();
        },
        Qt::QueuedConnection);
}

qint64 TAsyncSocket::Send(QByteArrayView data) {
    if (!socket_ || state_ != State::Connected) {
        lastError_ = wsa::NotConnected;
        return -1;
    }
    return socket_->write(data.data(), data.size());
}

qint64 TAsyncSocket::BufferedByteCount() const {
    if (auto* ssl = qobject_cast<QSslSocket*>(socket_))
        return ssl->bytesToWrite() + ssl->encryptedBytesToWrite();
    return socket_ ? socket_->bytesToWrite() : 0;
}

QByteArray TAsyncSocket::ReceiveAll() {
    return socket_ ? socket_->readAll() : QByteArray();
}

qint64 TAsyncSocket::Receive(char* data, qint64 size) {
    if (!socket_) return 0;
    return std::max<qint64>(socket_->read(data, size), 0);
}

QHostAddress TAsyncSocket::boundAddress() const {
    if (server_) return asIPv4(server_->serverAddress());
    return socket_ ? asIPv4(socket_->localAddress()) : QHostAddress();
}

quint16 TAsyncSocket::boundPort() const {
    if (server_) return server_->serverPort();
    return socket_ ? socket_->localPort() : 0;
}

QHostAddress TAsyncSocket::peerAddress() const {
    return socket_ ? asIPv4(socket_->peerAddress()) : QHostAddress();
}

bool TAsyncSocket::FinishSending() {
    if (!socket_ || state_ != State::Connected) return false;
    if (qobject_cast<QSslSocket*>(socket_)) {
        Close();
        return false;
    }
    finishing_ = true;
    if (BufferedByteCount() == 0) {
        const quint64 generation = generation_;
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == generation_ && finishing_) handOver();
            },
            Qt::QueuedConnection);
    }
    return true;
}

void TAsyncSocket::handOver() {
    finishing_ = false;
    // A copy of the system socket keeps the connection open once Qt's socket is gone.
    const int fd = ::dup(int(socket_->socketDescriptor()));
    detach(true);
    const quint64 generation = generation_;
    const auto closed = [this, generation](int error) {
        halfClosed_ = nullptr; // it ends itself
        if (generation != generation_) return;
        ++generation_;
        lastError_ = error;
        state_ = State::Closed;
        emit OnSessionClosed(error);
    };
    if (fd < 0) { // nothing left to watch with: an orderly end it is
        QMetaObject::invokeMethod(
            this, [closed] { closed(0); }, Qt::QueuedConnection);
        return;
    }
    auto* drain = new CloseDrain(fd, this, closed);
    halfClosed_ = drain;
    drain->start();
}

void TAsyncSocket::Close() {
    end(false);
}

void TAsyncSocket::Abort() {
    end(true);
}

void TAsyncSocket::end(bool abort) {
    finishing_ = false;
    delete halfClosed_;
    CancelDnsLookup();
    if (server_) {
        server_->close();
        server_->deleteLater();
        server_ = nullptr;
    }
    detach(abort);
    ++generation_;
    state_ = State::Closed;
}

} // namespace ostrel
