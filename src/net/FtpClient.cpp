#include "net/FtpClient.h"
#include "net/WinsockErrors.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QSaveFile>

#include <algorithm>
#include <exception>

namespace ostrel {

namespace {

// A reply line longer than this, or a multi-line reply longer than maxReplyBytes, ends
// the control connection: no real server needs that much, and a hostile one must not
// make the client buffer without bound.
constexpr qsizetype maxReplyLine = 16 * 1024;
constexpr qsizetype maxReplyBytes = 256 * 1024;
// Upload pacing: the file is read in blocks and at most this much waits in the socket.
constexpr qint64 uploadBlock = 256 * 1024;
constexpr qint64 uploadHighWater = 1024 * 1024;
// QTimer takes an int of milliseconds.
constexpr int maxTimeoutSeconds = 2'000'000;

bool holdsLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n')) || s.contains(QChar(0));
}

} // namespace

struct TFtpClient::Transfer {
    std::unique_ptr<QFile> source;     // STOR
    std::unique_ptr<QSaveFile> target; // RETR and NLST: replaces the local file only when whole
    bool preliminary = false;          // the 1xx reply came
    bool finalOk = false;              // an accepted final reply came
    bool dataOpen = false;             // the data connection is up
    bool dataDone = false;             // ... and over
    bool dataBroken = false;           // it ended before all data went, or with an error
    bool sourceDone = false;           // the whole local file went into the socket
};

TFtpClient::TFtpClient(QObject* parent) : QObject(parent) {
    control_.setLineMode(true);
    control_.setLineEndLoneLf(true);
    control_.setLineLimit(maxReplyLine);
    reply_ = ReplyReader(maxReplyBytes);
    inactivity_.setSingleShot(true);

    connect(&control_, &TAsyncSocket::OnSessionConnected, this,
            [this](int e) { guard([&] { onControlConnected(e); }); });
    connect(&control_, &TAsyncSocket::OnLineReceived, this,
            [this](const QByteArray& l) { guard([&] { onControlLine(l); }); });
    connect(&control_, &TAsyncSocket::OnSessionClosed, this,
            [this](int e) { guard([&] { onControlClosed(e); }); });
    connect(&data_, &TAsyncSocket::OnSessionConnected, this,
            [this](int e) { guard([&] { onDataConnected(e); }); });
    connect(&data_, &TAsyncSocket::OnDataAvailable, this,
            [this](int e) { guard([&] { onDataAvailable(e); }); });
    connect(&data_, &TAsyncSocket::OnBytesWritten, this,
            [this](qint64 n) { guard([&] { onDataBytesWritten(n); }); });
    connect(&data_, &TAsyncSocket::OnSessionClosed, this,
            [this](int e) { guard([&] { onDataClosed(e); }); });
    connect(&listener_, &TAsyncSocket::OnSessionAvailable, this,
            [this](int e) { guard([&] { onListenerAvailable(e); }); });
    connect(&inactivity_, &QTimer::timeout, this, [this] { guard([&] { onInactivity(); }); });
}

TFtpClient::~TFtpClient() = default;

template <typename F> void TFtpClient::guard(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        if (busy_ && !pendingDelivery_) stepFailed(500, e.message());
    } catch (const std::exception& e) {
        if (busy_ && !pendingDelivery_) stepFailed(500, QString::fromLocal8Bit(e.what()));
    }
}

bool TFtpClient::Connected() const {
    return control_.state() != TAsyncSocket::State::Closed;
}

// ---- operations ---------------------------------------------------------------------------

bool TFtpClient::Connect() {
    return runWaiting(Request::Connect, {Step::Open, Step::User, Step::Pass});
}

void TFtpClient::ConnectAsync() {
    startChain(Request::ConnectAsync, {Step::Open, Step::User, Step::Pass});
}

bool TFtpClient::Put() {
    return runWaiting(Request::Put, {Step::DataSetup, Step::Stor});
}

void TFtpClient::PutAsync() {
    startChain(Request::PutAsync, {Step::DataSetup, Step::Stor});
}

bool TFtpClient::Get() {
    return runWaiting(Request::Get, {Step::DataSetup, Step::Retr});
}

bool TFtpClient::Receive() {
    return runWaiting(Request::Receive, {Step::Open, Step::User, Step::Pass, Step::Cwd, Step::Type,
                                         Step::DataSetup, Step::Retr, Step::Quit});
}

bool TFtpClient::Transmit() {
    return runWaiting(Request::Transmit, {Step::Open, Step::User, Step::Pass, Step::Cwd, Step::Type,
                                          Step::DataSetup, Step::Stor, Step::Quit});
}

bool TFtpClient::Ls() {
    return runWaiting(Request::Ls, {Step::DataSetup, Step::Nlst});
}

bool TFtpClient::List() {
    return runWaiting(Request::List, {Step::Open, Step::User, Step::Pass, Step::Cwd,
                                      Step::DataSetup, Step::Nlst, Step::Quit});
}

bool TFtpClient::Dele() {
    return runWaiting(Request::Dele, {Step::Dele});
}

bool TFtpClient::Delete() {
    return runWaiting(Request::Delete,
                      {Step::Open, Step::User, Step::Pass, Step::Cwd, Step::Dele, Step::Quit});
}

bool TFtpClient::Quit() {
    return runWaiting(Request::Quit, {Step::Quit});
}

void TFtpClient::Abort() {
    control_.Abort();
    dropTransfer();
    if (busy_ && !pendingDelivery_) {
        if (errorMessage_.isEmpty()) errorMessage_ = QString::fromLatin1(ftptext::Aborted);
        statusCode_ = 426;
        if (result_ == 0) result_ = 426;
        steps_.clear();
        finishChain();
    }
}

// ---- chains -------------------------------------------------------------------------------

bool TFtpClient::runWaiting(Request request, QList<Step> steps) {
    try {
        startChain(request, std::move(steps));
    } catch (const Exception&) {
        return false;
    }
    return waitFor(serial_);
}

void TFtpClient::checkUsage(const QList<Step>& steps) const {
    const auto has = [&](Step s) { return steps.contains(s); };
    if (has(Step::Open) && Connected())
        throw EFtpException(QString::fromLatin1(ftptext::AlreadyConnected));
    if (!has(Step::Open) && !Connected())
        throw EFtpException(QString::fromLatin1(has(Step::Stor) ? ftptext::StorNotConnected
                                                                : ftptext::NotConnected));
    const bool transfer = has(Step::Stor) || has(Step::Retr) || has(Step::Nlst);
    if (transfer && localFileName_.isEmpty())
        throw EFtpException(QString::fromLatin1(ftptext::LocalFileNameEmpty));
    // Every argument goes out on one command line; a line break inside one would let a
    // file name (which may come from a server's listing) smuggle in commands of its own.
    const auto checkLine = [](const QString& value, const char* field) {
        if (holdsLineBreak(value))
            throw EFtpException(QStringLiteral("%1 holds a line break").arg(QLatin1String(field)));
    };
    if (has(Step::User)) {
        checkLine(userName_, "UserName");
        checkLine(passWord_, "PassWord");
    }
    if (has(Step::Cwd)) checkLine(hostDirName_, "HostDirName");
    if (has(Step::Stor) || has(Step::Retr) || has(Step::Dele))
        checkLine(hostFileName_, "HostFileName");
}

void TFtpClient::startChain(Request request, QList<Step> steps) {
    if (busy_) throw EFtpException(QString::fromLatin1(ftptext::NotReady));
    try {
        checkUsage(steps);
    } catch (const Exception& e) {
        errorMessage_ = e.message();
        throw;
    }
    // Binary transfers must not depend on the server's default type (ASCII, which some
    // servers apply by rewriting line ends): a chain without a TYPE step of its own gets
    // one before its data setup while the session's type is not the one wanted.
    const int wantedType = binary_ ? 'I' : 'A';
    const qsizetype setup = steps.indexOf(Step::DataSetup);
    if (setup >= 0 && !steps.contains(Step::Type) && !steps.contains(Step::Open) &&
        sessionType_ != wantedType)
        steps.insert(setup, Step::Type);

    busy_ = true;
    request_ = request;
    steps_ = std::move(steps);
    result_ = 0;
    errorMessage_.clear();
    awaitingReply_ = false;
    ++serial_;
    restartInactivity();
    try {
        nextStep();
    } catch (const Exception& e) {
        // Only the first step runs here, before anything was sent: a usage error.
        control_.Abort();
        dropTransfer();
        inactivity_.stop();
        steps_.clear();
        busy_ = false;
        errorMessage_ = e.message();
        throw;
    }
}

bool TFtpClient::waitFor(quint64 serial) {
    QPointer<TFtpClient> self(this);
    bool ended = false;
    int result = -1;
    QEventLoop loop;
    connect(this, &TFtpClient::chainEnded, &loop, [&](quint64 s, int r) {
        if (s != serial) return;
        ended = true;
        result = r;
        loop.quit();
    });
    if (QCoreApplication* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    // A client deleted by a handler while we wait must not leave the wait running for ever.
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (!QCoreApplication::closingDown()) loop.exec();
    if (!self) return false;
    if (!ended) {
        // The application is shutting down: end the chain here and now.
        if (pendingDelivery_ != serial && busy_ && serial_ == serial) Abort();
        if (pendingDelivery_ == serial) deliverDone(serial);
    }
    return ended && result == 0;
}

void TFtpClient::nextStep() {
    if (steps_.isEmpty()) {
        finishChain();
        return;
    }
    current_ = steps_.takeFirst();
    awaitingReply_ = false;
    switch (current_) {
    case Step::Open:
        control_.setAddr(hostName_);
        control_.setPort(port_);
        control_.setLocalAddr(localAddr_);
        control_.setLocalPort(QStringLiteral("0"));
        reply_.reset();
        sessionType_ = 0;
        awaitingReply_ = true; // the greeting
        control_.Connect();
        break;
    case Step::User:
        passNeeded_ = false;
        sendCommand("USER " + userName_.toUtf8());
        break;
    case Step::Pass:
        if (!passNeeded_) return nextStep();
        sendCommand("PASS " + passWord_.toUtf8());
        break;
    case Step::Cwd:
        if (hostDirName_.isEmpty()) return nextStep();
        sendCommand("CWD " + hostDirName_.toUtf8());
        break;
    case Step::Type:
        sendCommand(binary_ ? "TYPE I" : "TYPE A");
        break;
    case Step::DataSetup:
        startDataSetup();
        break;
    case Step::Stor:
    case Step::Retr:
    case Step::Nlst:
        startTransfer();
        break;
    case Step::Dele:
        sendCommand("DELE " + hostFileName_.toUtf8());
        break;
    case Step::Quit:
        sendCommand("QUIT");
        break;
    }
}

void TFtpClient::sendCommand(const QByteArray& line) {
    awaitingReply_ = true;
    if (control_.Send(line + "\r\n") < 0) {
        controlLost(wsa::NotConnected);
        return;
    }
    emit OnCommand(QString::fromUtf8(line));
}

void TFtpClient::stepDone() {
    awaitingReply_ = false;
    nextStep();
}

void TFtpClient::stepFailed(int result, const QString& message, int statusCode) {
    awaitingReply_ = false;
    if (result_ == 0) result_ = result;
    if (errorMessage_.isEmpty()) errorMessage_ = message;
    if (statusCode >= 0) statusCode_ = statusCode;
    dropTransfer();
    const bool quitPending = current_ != Step::Quit && steps_.contains(Step::Quit) &&
                             control_.state() == TAsyncSocket::State::Connected;
    steps_.clear();
    if (quitPending) steps_.append(Step::Quit);
    nextStep();
}

void TFtpClient::controlLost(int error) {
    control_.Abort();
    const int code = error != 0 ? error : wsa::ConnectionReset;
    stepFailed(500, QString::fromLatin1(ftptext::ControlClosed) + winsockErrorTail(code), 500);
}

void TFtpClient::finishChain() {
    dropTransfer();
    inactivity_.stop();
    steps_.clear();
    awaitingReply_ = false;
    const quint64 serial = serial_;
    pendingDelivery_ = serial;
    QMetaObject::invokeMethod(
        this, [this, serial] { deliverDone(serial); }, Qt::QueuedConnection);
}

void TFtpClient::deliverDone(quint64 serial) {
    if (pendingDelivery_ != serial) return;
    pendingDelivery_ = 0;
    busy_ = false;
    const Request request = request_;
    const int result = result_;
    emit OnRequestDone(request, result);
    emit chainEnded(serial, result, QPrivateSignal());
}

void TFtpClient::restartInactivity() {
    if (timeout_ > 0)
        inactivity_.start(std::min(timeout_, maxTimeoutSeconds) * 1000);
    else
        inactivity_.stop();
}

void TFtpClient::onInactivity() {
    if (!busy_ || pendingDelivery_) return;
    control_.Abort();
    dropTransfer();
    errorMessage_ = QString::fromLatin1(ftptext::Timeout);
    statusCode_ = 426;
    result_ = 426;
    steps_.clear();
    finishChain();
}

// ---- control connection -------------------------------------------------------------------

void TFtpClient::onControlConnected(int error) {
    if (!busy_ || pendingDelivery_ || current_ != Step::Open) return;
    if (error != 0) stepFailed(error, QStringLiteral("500 ") + winsockErrorTail(error), 500);
}

void TFtpClient::onControlLine(const QByteArray& line) {
    switch (reply_.feed(line)) {
    case ReplyReader::Result::Pending:
        return;
    case ReplyReader::Result::TooLong:
        reply_.reset();
        if (busy_ && !pendingDelivery_)
            controlLost(wsa::MessageTooLong);
        else
            control_.Abort();
        return;
    case ReplyReader::Result::Complete:
        break;
    }
    if (!busy_ || pendingDelivery_) return; // nobody asked; a server's parting words
    statusCode_ = reply_.code();
    lastResponse_ = QString::fromUtf8(reply_.line());
    if (!awaitingReply_) return;
    onReply(reply_.code(), reply_.line());
}

void TFtpClient::onControlClosed(int error) {
    if (!busy_ || pendingDelivery_) return;
    if (current_ == Step::Quit && awaitingReply_) {
        // The server ended the session we were ending.
        stepDone();
        return;
    }
    controlLost(error);
}

void TFtpClient::onReply(int code, const QByteArray& line) {
    const QString text = QString::fromUtf8(line);
    const auto accept = [&](std::initializer_list<int> codes) {
        if (std::find(codes.begin(), codes.end(), code) != codes.end()) {
            stepDone();
        } else {
            stepFailed(code, text);
        }
    };
    switch (current_) {
    case Step::Open:
        accept({220});
        break;
    case Step::User:
        passNeeded_ = code == 331;
        accept({331, 230});
        break;
    case Step::Pass:
        // 202: the server needs no password for this account.
        accept({230, 202});
        break;
    case Step::Cwd:
        accept({200, 250, 257});
        break;
    case Step::Type:
        if (code == 200) sessionType_ = binary_ ? 'I' : 'A';
        accept({200});
        break;
    case Step::DataSetup:
        if (code != 200 && code != 227) {
            stepFailed(code, text);
        } else if (passive_) {
            awaitingReply_ = false;
            const auto pasv = parsePasvReply(line);
            if (!pasv) {
                dataSetupFailed(wsa::AddressNotAvailable);
                return;
            }
            // The data connection goes to the server we are talking to, whatever address
            // the reply names: a reply naming another host would make the client connect
            // (and send the file) wherever the server points it.
            data_.setAddr(control_.peerAddress().toString());
            data_.setPort(QString::number(pasv->port));
            data_.setLocalAddr(localAddr_);
            try {
                data_.Connect();
            } catch (const ESocketException&) {
                dataSetupFailed(data_.LastError() ? data_.LastError() : wsa::InvalidArgument);
            }
        } else {
            stepDone();
        }
        break;
    case Step::Stor:
    case Step::Retr:
    case Step::Nlst:
        transferReply(code, line);
        break;
    case Step::Dele:
        accept({250, 257});
        break;
    case Step::Quit:
        control_.Close();
        accept({221});
        break;
    }
}

// ---- data connection ----------------------------------------------------------------------

void TFtpClient::dataSetupFailed(int error) {
    dropTransfer();
    stepFailed(error, QString::fromLatin1(ftptext::DataConnection) + QString::number(error));
}

void TFtpClient::startDataSetup() {
    dropTransfer();
    transfer_ = std::make_unique<Transfer>();
    if (passive_) {
        sendCommand("PASV");
        return;
    }
    bool ok = false;
    const quint32 local = control_.boundAddress().toIPv4Address(&ok);
    if (!ok) {
        dataSetupFailed(wsa::AddressNotAvailable);
        return;
    }
    listener_.setLocalAddr(control_.boundAddress().toString());
    listener_.setLocalPort(QStringLiteral("0"));
    try {
        listener_.Listen();
    } catch (const ESocketException&) {
        dataSetupFailed(listener_.LastError() ? listener_.LastError() : wsa::AddressInUse);
        return;
    }
    sendCommand(portCommand(local, listener_.boundPort()));
}

void TFtpClient::onDataConnected(int error) {
    if (!busy_ || pendingDelivery_ || current_ != Step::DataSetup || !transfer_) return;
    if (error != 0) {
        dataSetupFailed(error);
        return;
    }
    transfer_->dataOpen = true;
    stepDone();
}

void TFtpClient::onListenerAvailable(int) {
    const bool wanted = busy_ && !pendingDelivery_ && transfer_ && !transfer_->dataOpen;
    if (!wanted) {
        TAsyncSocket unwanted;
        listener_.Accept(unwanted);
        return;
    }
    if (!listener_.Accept(data_)) return;
    // Only the server may connect: anyone else who finds the port is turned away.
    if (data_.peerAddress() != control_.peerAddress()) {
        data_.Abort();
        return;
    }
    listener_.Close();
    transfer_->dataOpen = true;
    pumpUpload();
}

void TFtpClient::startTransfer() {
    Transfer& t = *transfer_;
    QByteArray command;
    if (current_ == Step::Stor) {
        t.source = std::make_unique<QFile>(localFileName_);
        if (!t.source->open(QIODevice::ReadOnly)) {
            stepFailed(426,
                       QString::fromLatin1(ftptext::OpenLocalFile) + localFileName_ +
                           QStringLiteral(": ") + t.source->errorString(),
                       426);
            return;
        }
        command = "STOR " + hostFileName_.toUtf8();
    } else {
        t.target = std::make_unique<QSaveFile>(localFileName_);
        if (!t.target->open(QIODevice::WriteOnly)) {
            stepFailed(426,
                       QString::fromLatin1(ftptext::OpenLocalFile) + localFileName_ +
                           QStringLiteral(": ") + t.target->errorString(),
                       426);
            return;
        }
        command = current_ == Step::Retr ? "RETR " + hostFileName_.toUtf8() : QByteArray("NLST");
    }
    sendCommand(command);
}

void TFtpClient::transferReply(int code, const QByteArray& line) {
    Transfer& t = *transfer_;
    const bool stor = current_ == Step::Stor;
    if (!t.preliminary) {
        const bool ok =
            stor ? (code == 125 || code == 150) : (code == 125 || (code >= 150 && code <= 159));
        if (!ok) {
            stepFailed(code, QString::fromUtf8(line));
            return;
        }
        t.preliminary = true;
        pumpUpload();
        return;
    }
    const bool ok =
        stor ? (code == 226 || code == 250) : (code == 125 || code == 226 || code == 250);
    if (!ok) {
        stepFailed(code, QString::fromUtf8(line));
        return;
    }
    t.finalOk = true;
    awaitingReply_ = false;
    completeTransferWhenDone();
}

void TFtpClient::pumpUpload() {
    if (!transfer_ || current_ != Step::Stor) return;
    Transfer& t = *transfer_;
    if (!t.preliminary || !t.dataOpen || t.sourceDone || t.dataDone || !t.source) return;
    while (data_.BufferedByteCount() < uploadHighWater) {
        const QByteArray block = t.source->read(uploadBlock);
        if (block.isEmpty()) {
            if (!t.source->atEnd()) {
                stepFailed(426,
                           QString::fromLatin1(ftptext::ReadLocalFile) + localFileName_ +
                               QStringLiteral(": ") + t.source->errorString(),
                           426);
                return;
            }
            // The end of the file is the end of the data: closing tells the server.
            t.sourceDone = true;
            t.source.reset();
            data_.Close();
            t.dataDone = true;
            completeTransferWhenDone();
            return;
        }
        if (data_.Send(block) < 0) {
            t.dataDone = true;
            t.dataBroken = true;
            completeTransferWhenDone();
            return;
        }
    }
}

void TFtpClient::onDataAvailable(int) {
    const QByteArray bytes = data_.ReceiveAll();
    if (bytes.isEmpty() || !busy_ || pendingDelivery_ || !transfer_) return;
    restartInactivity();
    Transfer& t = *transfer_;
    if (!t.target) return; // nothing is expected in this direction
    if (t.target->write(bytes) != bytes.size()) {
        stepFailed(426,
                   QString::fromLatin1(ftptext::WriteLocalFile) + localFileName_ +
                       QStringLiteral(": ") + t.target->errorString(),
                   426);
    }
}

void TFtpClient::onDataBytesWritten(qint64) {
    if (!busy_ || pendingDelivery_ || !transfer_) return;
    restartInactivity();
    pumpUpload();
}

void TFtpClient::onDataClosed(int error) {
    if (!busy_ || pendingDelivery_ || !transfer_) return;
    Transfer& t = *transfer_;
    if (current_ == Step::DataSetup) {
        dataSetupFailed(error != 0 ? error : wsa::ConnectionReset);
        return;
    }
    t.dataDone = true;
    if (error != 0 || (current_ == Step::Stor && !t.sourceDone)) t.dataBroken = true;
    completeTransferWhenDone();
}

void TFtpClient::completeTransferWhenDone() {
    if (!transfer_) return;
    Transfer& t = *transfer_;
    if (!t.finalOk || !t.dataDone) return;
    if (t.dataBroken) {
        stepFailed(426, QString::fromLatin1(ftptext::TransferBroken), 426);
        return;
    }
    if (t.target && !t.target->commit()) {
        stepFailed(426,
                   QString::fromLatin1(ftptext::WriteLocalFile) + localFileName_ +
                       QStringLiteral(": ") + t.target->errorString(),
                   426);
        return;
    }
    dropTransfer();
    stepDone();
}

void TFtpClient::dropTransfer() {
    data_.Abort();
    listener_.Abort();
    // An uncommitted QSaveFile removes its temporary file: the old local file stays.
    transfer_.reset();
}

} // namespace ostrel
