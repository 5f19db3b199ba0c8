#include "net/FtpClient.h"
#include "net/WinsockErrors.h"
#include "picture/PictureLoading.h"
#include "platform/FileWrites.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>

namespace ostrel {

namespace {

Q_LOGGING_CATEGORY(lcFtp, "ostrel.ftp", QtWarningMsg)

// Upload pacing: the file is read in blocks and at most this much waits in the socket.
constexpr qint64 uploadBlock = 256 * 1024;
constexpr qint64 uploadHighWater = 1024 * 1024;
// Downloads are taken from the socket in blocks of at most this size.
constexpr qsizetype receiveBlock = 256 * 1024;

// For the log, in the order of TFtpClient::Step.
constexpr const char* stepNames[] = {"Idle",      "Open",      "User", "Pass", "Cwd",  "Type",
                                     "DataSetup", "Stor",      "Retr", "Nlst", "Dele", "Quit",
                                     "Auth",      "Handshake", "Pbsz", "Prot"};

bool holdsLineBreak(const QString& s) {
    return s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n')) || s.contains(QChar(0));
}

// The target of a download: written beside the local file and renamed over it only when
// whole, so a failed download leaves the old file as it was; a new file gets the
// permissions an existing one had. Unlike QSaveFile it does not wait for the data to reach
// the disk before the rename: a download can be fetched again, and on a large file that
// wait took longer than the transfer itself.
class PartFile {
public:
    explicit PartFile(const QString& target) : target_(target) {}
    ~PartFile() {
        if (part_.isEmpty()) return;
        file_.close();
        QFile::remove(part_);
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool open() {
        for (int attempt = 0; attempt < 16; ++attempt) {
            const QString part = downloadPartName(target_, QRandomGenerator::global()->generate());
            file_.setFileName(part);
            if (file_.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                part_ = part;
                if (QFile::exists(target_)) file_.setPermissions(QFile::permissions(target_));
                return true;
            }
            if (!QFile::exists(part)) break; // not a clash of names: the folder refuses
        }
        error_ = file_.errorString();
        return false;
    }
    bool write(const char* data, qint64 size) {
        if (file_.write(data, size) == size) return true;
        error_ = file_.errorString();
        return false;
    }
    bool commit() {
        file_.close();
        if (file_.error() != QFileDevice::NoError) {
            error_ = file_.errorString();
            return false;
        }
        if (std::rename(QFile::encodeName(part_).constData(),
                        QFile::encodeName(target_).constData()) != 0) {
            error_ = qt_error_string(errno);
            return false;
        }
        part_.clear();
        return true;
    }
    QString errorString() const { return error_; }

private:
    QString target_;
    QString part_; // while it exists
    QFile file_;
    QString error_;
};

} // namespace

struct TFtpClient::Transfer {
    std::unique_ptr<QFile> source;    // STOR
    std::unique_ptr<PartFile> target; // RETR and NLST
    bool preliminary = false;         // the 1xx reply came
    bool finalOk = false;             // an accepted final reply came
    bool dataOpen = false;            // the data connection is up
    bool protect = false;             // ... and is to be encrypted once the 1xx reply came
    bool handshaking = false;         // ... which has begun
    bool encrypted = false;           // ... and is over
    bool dataDone = false;            // ... and over
    bool dataBroken = false;          // it ended before all data went, or with an error
    bool sourceDone = false;          // the whole local file went into the socket
    qint64 received = 0;              // bytes of a download or listing so far
    qint64 limit = 0;                 // ... and the most it may bring (0: no limit)
    qint64 roomAskedAt = -1;          // ... and where the free space was last asked
};

TFtpClient::TFtpClient(QObject* parent)
    : QObject(parent), downloadLimit_(MaxPictureFileSize), channel_(*this, lcFtp(), stepNames, 15) {
    static_assert(std::size(stepNames) == std::size_t(Step::Prot) + 1);
    connect(&channel_, &CommandChannel::commandSent, this, &TFtpClient::OnCommand);
    connect(&channel_, &CommandChannel::lineReceived, this, &TFtpClient::OnResponse);
    connect(&channel_, &CommandChannel::requestDone, this, [this](quint64 serial, int result) {
        emit OnRequestDone(request_, result);
        emit chainEnded(serial, result, QPrivateSignal());
    });
    channel_.route(data_, &TAsyncSocket::OnSessionConnected, this, &TFtpClient::onDataConnected);
    channel_.route(data_, &TAsyncSocket::OnDataAvailable, this, &TFtpClient::onDataAvailable);
    channel_.route(data_, &TAsyncSocket::OnBytesWritten, this, &TFtpClient::onDataBytesWritten);
    channel_.route(data_, &TAsyncSocket::OnSessionClosed, this, &TFtpClient::onDataClosed);
    channel_.route(data_, &TAsyncSocket::OnTlsEstablished, this, &TFtpClient::onDataEncrypted);
    channel_.route(listener_, &TAsyncSocket::OnSessionAvailable, this,
                   &TFtpClient::onListenerAvailable);
    channel_.route(channel_.socket(), &TAsyncSocket::OnTlsEstablished, this,
                   &TFtpClient::onControlEncrypted);
}

TFtpClient::~TFtpClient() = default;

// ---- operations ---------------------------------------------------------------------------

// The steps that open a session; those its Security does not call for are skipped.
const QList<TFtpClient::Step> TFtpClient::opening = {Step::Open, Step::Auth, Step::User,
                                                     Step::Pass, Step::Pbsz, Step::Prot};

bool TFtpClient::Connect() {
    return runWaiting(Request::Connect, opening);
}

void TFtpClient::ConnectAsync() {
    startChain(Request::ConnectAsync, opening);
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
    return runWaiting(Request::Receive, opening + QList{Step::Cwd, Step::Type, Step::DataSetup,
                                                        Step::Retr, Step::Quit});
}

bool TFtpClient::Transmit() {
    return runWaiting(Request::Transmit, opening + QList{Step::Cwd, Step::Type, Step::DataSetup,
                                                         Step::Stor, Step::Quit});
}

bool TFtpClient::Ls() {
    return runWaiting(Request::Ls, {Step::DataSetup, Step::Nlst});
}

bool TFtpClient::List() {
    return runWaiting(Request::List,
                      opening + QList{Step::Cwd, Step::DataSetup, Step::Nlst, Step::Quit});
}

bool TFtpClient::Dele() {
    return runWaiting(Request::Dele, {Step::Dele});
}

bool TFtpClient::Delete() {
    return runWaiting(Request::Delete, opening + QList{Step::Cwd, Step::Dele, Step::Quit});
}

bool TFtpClient::Quit() {
    return runWaiting(Request::Quit, {Step::Quit});
}

void TFtpClient::Abort() {
    channel_.abort();
}

void TFtpClient::Cancel() {
    if (!channel_.busy()) return;
    const quint64 serial = channel_.serial();
    Abort();
    waitFor(serial);
}

// ---- chains -------------------------------------------------------------------------------

bool TFtpClient::runWaiting(Request request, QList<Step> steps) {
    try {
        startChain(request, std::move(steps));
    } catch (const Exception&) {
        return false;
    }
    return waitFor(channel_.serial());
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
    // A request that is running keeps its own ErrorMessage.
    if (channel_.busy()) throw EFtpException(QString::fromLatin1(ftptext::NotReady));
    try {
        checkUsage(steps);
    } catch (const Exception& e) {
        channel_.setErrorMessage(e.message());
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

    request_ = request;
    steps_ = std::move(steps);
    channel_.begin();
    try {
        nextStep();
    } catch (const Exception& e) {
        // Only the first step runs here, before anything was sent: a usage error.
        channel_.cancel(e.message());
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
        if (channel_.active() && channel_.serial() == serial) Abort();
        channel_.deliverNow(serial);
    }
    return ended && result == 0;
}

bool TFtpClient::skipped(Step step) const {
    switch (step) {
    case Step::Pass: // only when USER asked for it
        return !passNeeded_;
    case Step::Cwd: // only into a named folder
        return hostDirName_.isEmpty();
    case Step::Auth:
        return sessionSecurity_ != Security::Explicit;
    case Step::Pbsz:
    case Step::Prot:
        return sessionSecurity_ == Security::None;
    default:
        return false;
    }
}

void TFtpClient::nextStep() {
    while (!steps_.isEmpty() && skipped(steps_.first()))
        steps_.removeFirst();
    if (steps_.isEmpty()) {
        channel_.finish();
        return;
    }
    channel_.setState(int(steps_.takeFirst()));
    switch (step()) {
    case Step::Idle:
        break;
    case Step::Open: {
        sessionType_ = 0;
        sessionSecurity_ = security_;
        using Tls = TAsyncSocket::Tls;
        TAsyncSocket& control = channel_.socket();
        control.setTlsMode(security_ == Security::Implicit   ? Tls::FromStart
                           : security_ == Security::Explicit ? Tls::OnRequest
                                                             : Tls::Off);
        control.setPinnedSha256(pin_);
        channel_.open(hostName_, port_, localAddr_);
        break;
    }
    case Step::Auth:
        channel_.send("AUTH TLS");
        break;
    case Step::Handshake: // entered from Auth's reply
        break;
    case Step::Pbsz:
        channel_.send("PBSZ 0");
        break;
    case Step::Prot:
        channel_.send("PROT P");
        break;
    case Step::User:
        passNeeded_ = false;
        channel_.send("USER " + userName_.toUtf8());
        break;
    case Step::Pass:
        channel_.send("PASS " + passWord_.toUtf8(), "PASS ****");
        break;
    case Step::Cwd:
        channel_.send("CWD " + hostDirName_.toUtf8());
        break;
    case Step::Type:
        channel_.send(binary_ ? "TYPE I" : "TYPE A");
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
        channel_.send("DELE " + hostFileName_.toUtf8());
        break;
    case Step::Quit:
        channel_.sendQuit();
        break;
    }
}

void TFtpClient::stepDone() {
    nextStep();
}

void TFtpClient::stepFailed(int result, const QString& message, int statusCode) {
    channel_.noteFailure(result, message, statusCode);
    dropTransfer();
    // A chain that ends with QUIT still says goodbye while the server listens.
    const bool quitPending = step() != Step::Quit && steps_.contains(Step::Quit) &&
                             channel_.socket().state() == TAsyncSocket::State::Connected;
    steps_.clear();
    if (quitPending) steps_.append(Step::Quit);
    nextStep();
}

void TFtpClient::failLocal(const char* text, const QString& error) {
    stepFailed(426, QString::fromLatin1(text) + localFileName_ + QStringLiteral(": ") + error, 426);
}

void TFtpClient::controlLost(int error) {
    // A failed handshake tells why, as a failed connection does.
    const QString lead = step() == Step::Handshake ? QStringLiteral("500 ")
                                                   : QString::fromLatin1(ftptext::ControlClosed);
    stepFailed(500, lead + winsockErrorTail(error), 500);
}

void TFtpClient::onControlEncrypted() {
    if (step() == Step::Handshake) stepDone();
}

void TFtpClient::ending() {
    dropTransfer();
    steps_.clear();
}

void TFtpClient::replied(int code, const QByteArray& line) {
    switch (step()) {
    case Step::Idle:
        break;
    case Step::Open:
        channel_.accept(code, line, {220});
        break;
    case Step::User:
        passNeeded_ = code == 331;
        channel_.accept(code, line, {331, 230});
        break;
    case Step::Pass:
        // 202: the server needs no password for this account.
        channel_.accept(code, line, {230, 202});
        break;
    case Step::Cwd:
        channel_.accept(code, line, {200, 250, 257});
        break;
    case Step::Type:
        if (code == 200) sessionType_ = binary_ ? 'I' : 'A';
        channel_.accept(code, line, {200});
        break;
    case Step::DataSetup:
        if (code != 200 && code != 227) {
            stepFailed(code, QString::fromUtf8(line), -1);
        } else if (passive_) {
            const auto pasv = parsePasvReply(line);
            if (!pasv) {
                dataSetupFailed(wsa::AddressNotAvailable);
                return;
            }
            // The data connection goes to the server we are talking to, whatever address
            // the reply names: a reply naming another host would make the client connect
            // (and send the file) wherever the server points it.
            data_.setAddr(channel_.socket().peerAddress().toString());
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
        channel_.accept(code, line, {250, 257});
        break;
    case Step::Quit:
        channel_.accept(code, line, {221});
        break;
    case Step::Auth:
        if (code != 234) {
            // No credentials go out in clear: the session ends here.
            channel_.noteFailure(500, QString::fromLatin1(ftptext::NoAuthTls));
            steps_ = {Step::Quit};
            nextStep();
            break;
        }
        channel_.setState(int(Step::Handshake));
        channel_.socket().StartTls();
        break;
    case Step::Handshake:
        break; // no command is waiting for a reply
    case Step::Pbsz:
    case Step::Prot:
        channel_.accept(code, line, {200});
        break;
    }
}

// ---- data connection ----------------------------------------------------------------------

void TFtpClient::dataSetupFailed(int error) {
    channel_.noteSocketError(error);
    stepFailed(error, QString::fromLatin1(ftptext::DataConnection) + QString::number(error), -1);
}

void TFtpClient::startDataSetup() {
    dropTransfer();
    transfer_ = std::make_unique<Transfer>();
    // The data connection trusts what the control connection trusted, and resumes its
    // session. Its handshake waits for the transfer command's 1xx reply: servers (vsftpd,
    // ProFTPD, Pure-FTPd, pyftpdlib) start TLS on it only once they know what it is for.
    using Tls = TAsyncSocket::Tls;
    const TAsyncSocket& control = channel_.socket();
    transfer_->protect = sessionSecurity_ != Security::None;
    const Tls tls = transfer_->protect ? Tls::OnRequest : Tls::Off;
    data_.setTlsMode(tls);
    listener_.setTlsMode(tls);
    data_.setPinnedSha256(control.PinnedSha256());
    data_.setPeerVerifyName(control.Addr().trimmed());
    data_.setTlsSession(control.TlsSession());
    if (passive_) {
        channel_.send("PASV");
        return;
    }
    bool ok = false;
    const quint32 local = control.boundAddress().toIPv4Address(&ok);
    if (!ok) {
        dataSetupFailed(wsa::AddressNotAvailable);
        return;
    }
    listener_.setLocalAddr(control.boundAddress().toString());
    listener_.setLocalPort(QStringLiteral("0"));
    try {
        listener_.Listen();
    } catch (const ESocketException&) {
        dataSetupFailed(listener_.LastError() ? listener_.LastError() : wsa::AddressInUse);
        return;
    }
    channel_.send(portCommand(local, listener_.boundPort()));
}

// Passive: the connection is made.
void TFtpClient::onDataConnected(int error) {
    if (!transfer_) return;
    if (error != 0) {
        dataSetupFailed(error);
        return;
    }
    transfer_->dataOpen = true;
    if (step() == Step::DataSetup)
        stepDone();
    else
        dataReady();
}

void TFtpClient::onListenerAvailable(int) {
    if (!transfer_ || transfer_->dataOpen) {
        TAsyncSocket unwanted;
        listener_.Accept(unwanted);
        return;
    }
    if (!listener_.Accept(data_)) return;
    // Only the server may connect: anyone else who finds the port is turned away.
    if (data_.peerAddress() != channel_.socket().peerAddress()) {
        data_.Abort();
        return;
    }
    listener_.Close();
    transfer_->dataOpen = true;
    dataReady();
}

// The data connection is open: protected, it is encrypted once the transfer command was
// taken; then the data may flow.
void TFtpClient::dataReady() {
    Transfer& t = *transfer_;
    if (t.protect && !t.encrypted) {
        if (!t.preliminary || !t.dataOpen || t.dataDone || t.handshaking ||
            data_.state() != TAsyncSocket::State::Connected)
            return;
        t.handshaking = true;
        try {
            data_.StartTls();
        } catch (const ESocketException&) {
            dataSetupFailed(wsa::TlsHandshakeFailed);
        }
        return;
    }
    pumpUpload();
}

void TFtpClient::onDataEncrypted() {
    if (!transfer_) return;
    transfer_->encrypted = true;
    pumpUpload();
}

void TFtpClient::startTransfer() {
    Transfer& t = *transfer_;
    QByteArray command;
    if (step() == Step::Stor) {
        t.source = std::make_unique<QFile>(localFileName_);
        if (!t.source->open(QIODevice::ReadOnly)) {
            failLocal(ftptext::OpenLocalFile, t.source->errorString());
            return;
        }
        command = "STOR " + hostFileName_.toUtf8();
    } else {
        t.limit = step() == Step::Nlst ? ListingLimit : downloadLimit_;
        t.target = std::make_unique<PartFile>(localFileName_);
        if (roomCheck_ && !roomCheck_()) {
            failLocal(ftptext::WriteLocalFile, QString::fromLatin1(ftptext::NoRoom));
            return;
        }
        t.roomAskedAt = 0;
        if (!t.target->open()) {
            failLocal(ftptext::OpenLocalFile, t.target->errorString());
            return;
        }
        command = step() == Step::Retr ? "RETR " + hostFileName_.toUtf8() : QByteArray("NLST");
    }
    channel_.send(command);
}

void TFtpClient::transferReply(int code, const QByteArray& line) {
    Transfer& t = *transfer_;
    const bool stor = step() == Step::Stor;
    if (!t.preliminary) {
        const bool ok =
            stor ? (code == 125 || code == 150) : (code == 125 || (code >= 150 && code <= 159));
        if (!ok) {
            stepFailed(code, QString::fromUtf8(line), -1);
            return;
        }
        t.preliminary = true;
        channel_.expectReply(); // the final one
        if (t.protect && !t.encrypted && t.dataDone) {
            // The connection the server would encrypt is gone already.
            dataSetupFailed(wsa::ConnectionReset);
            return;
        }
        dataReady();
        return;
    }
    const bool ok =
        stor ? (code == 226 || code == 250) : (code == 125 || code == 226 || code == 250);
    if (!ok) {
        stepFailed(code, QString::fromUtf8(line), -1);
        return;
    }
    t.finalOk = true;
    completeTransferWhenDone();
}

void TFtpClient::pumpUpload() {
    if (!transfer_ || step() != Step::Stor) return;
    Transfer& t = *transfer_;
    if (!t.preliminary || !t.dataOpen || (t.protect && !t.encrypted) || t.sourceDone ||
        t.dataDone || !t.source)
        return;
    while (data_.BufferedByteCount() < uploadHighWater) {
        const QByteArray block = t.source->read(uploadBlock);
        if (block.isEmpty()) {
            if (!t.source->atEnd()) {
                failLocal(ftptext::ReadLocalFile, t.source->errorString());
                return;
            }
            // The end of the file is the end of the data: closing tells the server, and the
            // server's close tells whether it took it all.
            t.sourceDone = true;
            t.source.reset();
            if (!data_.FinishSending()) {
                t.dataDone = true;
                completeTransferWhenDone();
            }
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
    if (!transfer_) return;
    Transfer& t = *transfer_;
    if (t.protect && !t.encrypted) {
        // Clear text on a connection that is to be encrypted: nothing of it may count.
        stepFailed(426, QString::fromLatin1(ftptext::TransferBroken), 426);
        return;
    }
    if (receiveBuffer_.isEmpty()) receiveBuffer_.resize(receiveBlock);
    bool moved = false;
    while (const qint64 n = data_.Receive(receiveBuffer_.data(), receiveBuffer_.size())) {
        moved = true;
        if (!t.target) continue; // nothing is expected in this direction
        if (!takeReceived(receiveBuffer_.constData(), n)) return;
    }
    if (moved) channel_.restartInactivity();
}

// Writes a block of a download or listing; false when the chain ended instead.
bool TFtpClient::takeReceived(const char* data, qint64 size) {
    Transfer& t = *transfer_;
    t.received += size;
    if (t.limit > 0 && t.received > t.limit) {
        stepFailed(426, QString::fromLatin1(ftptext::TooLarge).arg(t.limit), 426);
        return false;
    }
    if (roomCheck_ && t.received - t.roomAskedAt >= RoomCheckStep) {
        t.roomAskedAt = t.received;
        if (!roomCheck_()) {
            failLocal(ftptext::WriteLocalFile, QString::fromLatin1(ftptext::NoRoom));
            return false;
        }
    }
    if (!t.target->write(data, size)) {
        failLocal(ftptext::WriteLocalFile, t.target->errorString());
        return false;
    }
    return true;
}

void TFtpClient::onDataBytesWritten(qint64) {
    if (!transfer_) return;
    channel_.restartInactivity();
    pumpUpload();
}

void TFtpClient::onDataClosed(int error) {
    if (!transfer_) return;
    Transfer& t = *transfer_;
    if (step() == Step::DataSetup) {
        dataSetupFailed(error != 0 ? error : wsa::ConnectionReset);
        return;
    }
    if (t.protect && !t.encrypted && t.preliminary) {
        // The handshake failed, or the server dropped the connection instead of one.
        dataSetupFailed(error != 0 ? error : wsa::ConnectionReset);
        return;
    }
    t.dataDone = true;
    if (error != 0 || (step() == Step::Stor && !t.sourceDone) || (t.protect && !t.encrypted))
        t.dataBroken = true;
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
        failLocal(ftptext::WriteLocalFile, t.target->errorString());
        return;
    }
    dropTransfer();
    stepDone();
}

void TFtpClient::dropTransfer() {
    data_.Abort();
    listener_.Abort();
    // An uncommitted download removes its part file: the old local file stays.
    transfer_.reset();
}

} // namespace ostrel
