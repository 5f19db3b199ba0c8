#include "net/SmtpClient.h"
#include "net/WinsockErrors.h"
#include "platform/Desktop.h"

#include <QFileInfo>
#include <QHostInfo>

#include <algorithm>
#include <exception>

namespace ostrel {

namespace {
constexpr qsizetype maxReplyLine = 16 * 1024;
constexpr qsizetype maxReplyBytes = 256 * 1024;
constexpr qint64 dataHighWater = 1024 * 1024;
constexpr int maxTimeoutSeconds = 2'000'000;
} // namespace

TSmtpClient::TSmtpClient(QObject* parent) : QObject(parent) {
    control_.setLineMode(true);
    control_.setLineEndLoneLf(true);
    control_.setLineLimit(maxReplyLine);
    reply_ = ReplyReader(maxReplyBytes);
    inactivity_.setSingleShot(true);
    connect(&control_, &TAsyncSocket::OnSessionConnected, this,
            [this](int e) { guard([&] { onConnected(e); }); });
    connect(&control_, &TAsyncSocket::OnLineReceived, this,
            [this](const QByteArray& l) { guard([&] { onLine(l); }); });
    connect(&control_, &TAsyncSocket::OnSessionClosed, this,
            [this](int e) { guard([&] { onClosed(e); }); });
    connect(&control_, &TAsyncSocket::OnBytesWritten, this, [this](qint64) {
        guard([&] {
            if (dataPhase_ != DataPhase::Sending || !busy_ || pendingDelivery_) return;
            restartInactivity();
            pumpData();
        });
    });
    connect(&inactivity_, &QTimer::timeout, this, [this] {
        guard([&] {
            if (!busy_ || pendingDelivery_) return;
            control_.Abort();
            fail(426, QString::fromLatin1(smtptext::Timeout));
        });
    });
}

TSmtpClient::~TSmtpClient() = default;

template <typename F> void TSmtpClient::guard(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        if (busy_ && !pendingDelivery_) {
            control_.Abort();
            fail(500, e.message());
        }
    } catch (const std::exception& e) {
        if (busy_ && !pendingDelivery_) {
            control_.Abort();
            fail(500, QString::fromLocal8Bit(e.what()));
        }
    }
}

bool TSmtpClient::Connected() const {
    return control_.state() != TAsyncSocket::State::Closed;
}

void TSmtpClient::addEmailFile(const QString& fileName) {
    if (!QFileInfo(fileName).isFile()) throw EFileNotFound(fileName);
    emailFiles_.append(fileName);
}

// ---- steps --------------------------------------------------------------------------------

void TSmtpClient::begin(Request request) {
    if (busy_) throw ESmtpException(QString::fromLatin1(smtptext::NotReady));
    if (request == Request::Connect && Connected())
        throw ESmtpException(QString::fromLatin1(smtptext::AlreadyConnected));
    if (request != Request::Connect && !Connected())
        throw ESmtpException(QString::fromLatin1(smtptext::NotConnected));
    busy_ = true;
    request_ = request;
    result_ = 0;
    errorMessage_.clear();
    awaitingReply_ = false;
    dataPhase_ = DataPhase::None;
    ++serial_;
    restartInactivity();
}

void TSmtpClient::Connect() {
    begin(Request::Connect);
    control_.setAddr(host_);
    control_.setPort(port_);
    control_.setLocalAddr(localAddr_);
    control_.setLocalPort(QStringLiteral("0"));
    reply_.reset();
    try {
        awaitingReply_ = true; // the greeting
        control_.Connect();
    } catch (const Exception& e) {
        inactivity_.stop();
        busy_ = false;
        errorMessage_ = e.message();
        throw;
    }
}

void TSmtpClient::Helo() {
    begin(Request::Helo);
    QString name = signOn_.trimmed();
    if (name.isEmpty()) name = QHostInfo::localHostName();
    if (name.isEmpty()) name = QStringLiteral("localhost");
    sendCommand("HELO " + singleLineHeaderValue(name).toUtf8());
}

void TSmtpClient::MailFrom() {
    begin(Request::MailFrom);
    sendCommand(envelopeCommand("MAIL FROM:", fromName_));
}

void TSmtpClient::RcptTo() {
    begin(Request::RcptTo);
    recipients_.clear();
    for (const QString& r : std::as_const(rcptName_))
        if (!r.trimmed().isEmpty()) recipients_.append(r);
    recipient_ = 0;
    if (recipients_.isEmpty()) {
        fail(500, QString::fromLatin1(smtptext::RcptNameEmpty));
        return;
    }
    sendRecipient();
}

void TSmtpClient::sendRecipient() {
    sendCommand(envelopeCommand("RCPT TO:", recipients_[recipient_]));
}

void TSmtpClient::Data() {
    begin(Request::Data);
    MailContent content;
    content.header = header_;
    content.charSet = charSet_;
    content.body = mailMessage_;
    content.attachments = emailFiles_;
    try {
        composer_ = std::make_unique<MailComposer>(content, desktop().now());
    } catch (const Exception& e) {
        // Nothing was sent for this mail's data; the session is closed so the next mail
        // starts afresh rather than finding it half used.
        inactivity_.stop();
        control_.Close();
        busy_ = false;
        errorMessage_ = e.message();
        throw;
    }
    dataPhase_ = DataPhase::AwaitGo;
    sendCommand("DATA");
}

void TSmtpClient::Quit() {
    begin(Request::Quit);
    sendCommand("QUIT");
}

void TSmtpClient::Abort() {
    control_.Abort();
    if (busy_ && !pendingDelivery_) fail(426, QString::fromLatin1(smtptext::Aborted));
}

void TSmtpClient::sendCommand(const QByteArray& line) {
    awaitingReply_ = true;
    if (control_.Send(line + "\r\n") < 0) {
        control_.Abort();
        fail(wsa::NotConnected, QStringLiteral("500 ") + winsockErrorTail(wsa::NotConnected));
        return;
    }
    emit OnCommand(QString::fromUtf8(line));
}

void TSmtpClient::pumpData() {
    while (composer_ && control_.BufferedByteCount() < dataHighWater) {
        const QByteArray piece = composer_->next();
        if (!piece.isEmpty() && control_.Send(piece) < 0) return; // the close is reported
        if (composer_->atEnd()) {
            composer_.reset();
            dataPhase_ = DataPhase::Sent;
            return;
        }
    }
}

void TSmtpClient::succeed() {
    finish(0);
}

void TSmtpClient::fail(int error, const QString& message) {
    if (errorMessage_.isEmpty()) errorMessage_ = message;
    // The mail is over; the session goes with it so the next mail connects afresh.
    control_.Close();
    finish(error);
}

void TSmtpClient::finish(int error) {
    inactivity_.stop();
    awaitingReply_ = false;
    dataPhase_ = DataPhase::None;
    composer_.reset();
    result_ = error;
    const quint64 serial = serial_;
    pendingDelivery_ = serial;
    QMetaObject::invokeMethod(
        this, [this, serial] { deliverDone(serial); }, Qt::QueuedConnection);
}

void TSmtpClient::deliverDone(quint64 serial) {
    if (pendingDelivery_ != serial) return;
    pendingDelivery_ = 0;
    busy_ = false;
    emit OnRequestDone(request_, result_);
}

void TSmtpClient::restartInactivity() {
    if (timeout_ > 0)
        inactivity_.start(std::min(timeout_, maxTimeoutSeconds) * 1000);
    else
        inactivity_.stop();
}

// ---- connection ---------------------------------------------------------------------------

void TSmtpClient::onConnected(int error) {
    if (!busy_ || pendingDelivery_ || request_ != Request::Connect) return;
    if (error != 0) fail(error, QStringLiteral("500 ") + winsockErrorTail(error));
}

void TSmtpClient::onLine(const QByteArray& line) {
    switch (reply_.feed(line)) {
    case ReplyReader::Result::Pending:
        return;
    case ReplyReader::Result::TooLong:
        reply_.reset();
        control_.Abort();
        if (busy_ && !pendingDelivery_)
            fail(wsa::MessageTooLong,
                 QStringLiteral("500 ") + winsockErrorTail(wsa::MessageTooLong));
        return;
    case ReplyReader::Result::Complete:
        break;
    }
    if (!busy_ || pendingDelivery_) return;
    statusCode_ = reply_.code();
    lastResponse_ = QString::fromUtf8(reply_.line());
    if (!awaitingReply_) return;
    onReply(reply_.code(), reply_.line());
}

void TSmtpClient::onClosed(int error) {
    if (!busy_ || pendingDelivery_) return;
    if (request_ == Request::Quit && awaitingReply_) {
        succeed(); // the server ended the session we were ending
        return;
    }
    const int code = error != 0 ? error : wsa::ConnectionReset;
    fail(code, QStringLiteral("500 ") + winsockErrorTail(code));
}

void TSmtpClient::onReply(int code, const QByteArray& line) {
    const QString text = QString::fromUtf8(line);
    const auto accept = [&](std::initializer_list<int> codes) {
        if (std::find(codes.begin(), codes.end(), code) != codes.end())
            succeed();
        else
            fail(code, text);
    };
    switch (request_) {
    case Request::Connect:
        accept({220});
        break;
    case Request::Helo:
    case Request::MailFrom:
        accept({250});
        break;
    case Request::RcptTo:
        if (code != 250 && code != 251) {
            fail(code, text);
        } else if (++recipient_ < recipients_.size()) {
            sendRecipient();
        } else {
            succeed();
        }
        break;
    case Request::Data:
        if (dataPhase_ == DataPhase::AwaitGo) {
            if (code != 354) {
                fail(code, text);
                return;
            }
            dataPhase_ = DataPhase::Sending;
            pumpData();
        } else if (dataPhase_ == DataPhase::Sent) {
            accept({250});
        } else {
            // The server spoke up in the middle of the message: whatever it said, the
            // mail did not go through as sent.
            control_.Abort();
            fail(code >= 400 ? code : 500, text);
        }
        break;
    case Request::Quit:
        control_.Close();
        accept({221});
        break;
    }
}

} // namespace ostrel
