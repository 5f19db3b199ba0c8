#include "net/SmtpClient.h"
#include "net/WinsockErrors.h"
#include "platform/Desktop.h"

#include <QFileInfo>
#include <QHostInfo>
#include <QPointer>

namespace ostrel {

namespace {
Q_LOGGING_CATEGORY(lcSmtp, "ostrel.smtp", QtWarningMsg)
// For the log, in the order of TSmtpClient::State.
constexpr const char* stateNames[] = {"Idle",      "Connect",   "Helo",        "MailFrom",
                                      "RcptTo",    "DataGo",    "DataSending", "DataSent",
                                      "Quit",      "Ehlo",      "StartTls",    "Handshake",
                                      "AuthPlain", "AuthLogin", "AuthUser",    "AuthPass"};
// At most this much of the message waits in the socket.
constexpr qint64 dataHighWater = 1024 * 1024;

// What an EHLO reply offers of what the client uses.
struct Extensions {
    bool startTls = false;
    bool plain = false;
    bool login = false;
};

Extensions extensionsOf(const QByteArrayList& reply) {
    Extensions e;
    for (const QByteArray& line : reply) {
        const QByteArray text = line.mid(4).trimmed().toUpper();
        if (text == "STARTTLS") e.startTls = true;
        // "AUTH=" is how servers older than RFC 2554 spelt it.
        if (!text.startsWith("AUTH ") && !text.startsWith("AUTH=")) continue;
        const QByteArrayList mechanisms = text.mid(5).split(' ');
        e.plain = e.plain || mechanisms.contains("PLAIN");
        e.login = e.login || mechanisms.contains("LOGIN");
    }
    return e;
}
} // namespace

TSmtpClient::TSmtpClient(QObject* parent)
    : QObject(parent), channel_(*this, lcSmtp(), stateNames, 120) {
    static_assert(std::size(stateNames) == std::size_t(State::AuthPass) + 1);
    connect(&channel_, &CommandChannel::commandSent, this, &TSmtpClient::OnCommand);
    connect(&channel_, &CommandChannel::lineReceived, this, &TSmtpClient::OnResponse);
    connect(&channel_, &CommandChannel::requestDone, this, [this](quint64, int result) {
        const QPointer<TSmtpClient> alive(this); // a listener may delete the client
        emit OnRequestDone(request_, result);
        if (alive) sessionStepDone(result);
    });
    channel_.route(channel_.socket(), &TAsyncSocket::OnBytesWritten, this,
                   &TSmtpClient::onBytesWritten);
    channel_.route(channel_.socket(), &TAsyncSocket::OnTlsEstablished, this,
                   &TSmtpClient::onTlsEstablished);
}

TSmtpClient::~TSmtpClient() = default;

void TSmtpClient::addEmailFile(const QString& fileName) {
    if (!QFileInfo(fileName).isFile()) throw EFileNotFound(fileName);
    emailFiles_.append(fileName);
}

// ---- steps --------------------------------------------------------------------------------

void TSmtpClient::begin(Request request, State state) {
    if (channel_.busy()) throw ESmtpException(QString::fromLatin1(smtptext::NotReady));
    if (request == Request::Connect && Connected())
        throw ESmtpException(QString::fromLatin1(smtptext::AlreadyConnected));
    if (request != Request::Connect && !Connected())
        throw ESmtpException(QString::fromLatin1(smtptext::NotConnected));
    request_ = request;
    channel_.begin();
    channel_.setState(int(state));
}

void TSmtpClient::Connect() {
    begin(Request::Connect, State::Connect);
    sessionSecurity_ = security_;
    using Tls = TAsyncSocket::Tls;
    TAsyncSocket& socket = channel_.socket();
    socket.setTlsMode(sessionSecurity_ == Security::Tls        ? Tls::FromStart
                      : sessionSecurity_ == Security::StartTls ? Tls::OnRequest
                                                               : Tls::Off);
    socket.setPinnedSha256(pin_);
    try {
        channel_.open(host_, port_, localAddr_);
    } catch (const Exception& e) {
        channel_.cancel(e.message());
        throw;
    }
}

QByteArray TSmtpClient::signOnName() const {
    QString name = signOn_.trimmed();
    if (name.isEmpty()) name = QHostInfo::localHostName();
    if (name.isEmpty()) name = QStringLiteral("localhost");
    return singleLineHeaderValue(name).toUtf8();
}

void TSmtpClient::Helo() {
    begin(Request::Helo, State::Helo);
    if (sessionSecurity_ == Security::None)
        channel_.send("HELO " + signOnName());
    else
        sendEhlo();
}

void TSmtpClient::sendEhlo() {
    channel_.setState(int(State::Ehlo));
    channel_.send("EHLO " + signOnName());
}

void TSmtpClient::afterEhlo() {
    const Extensions offered = extensionsOf(channel_.replyLines());
    if (sessionSecurity_ == Security::StartTls && !channel_.socket().Encrypted()) {
        if (!offered.startTls) {
            refuse(QString::fromLatin1(smtptext::NoStartTls));
            return;
        }
        channel_.setState(int(State::StartTls));
        channel_.send("STARTTLS");
        return;
    }
    if (username_.isEmpty()) {
        stepDone();
    } else if (!channel_.socket().Encrypted()) {
        refuse(QString::fromLatin1(smtptext::LoginInClear));
    } else if (offered.plain) {
        channel_.setState(int(State::AuthPlain));
        const QByteArray credentials = '\0' + username_.toUtf8() + '\0' + password_.toUtf8();
        channel_.send("AUTH PLAIN " + credentials.toBase64(), "AUTH PLAIN ****");
    } else if (offered.login) {
        channel_.setState(int(State::AuthLogin));
        channel_.send("AUTH LOGIN");
    } else {
        refuse(QString::fromLatin1(smtptext::NoLogin));
    }
}

// The session cannot go on as the user asked: it ends politely, the step failed.
void TSmtpClient::refuse(const QString& message) {
    channel_.noteFailure(500, message);
    channel_.setState(int(State::Quit));
    channel_.sendQuit();
}

void TSmtpClient::onTlsEstablished() {
    // RFC 3207: what the server offered in clear counts no more; ask again.
    if (state() == State::Handshake) sendEhlo();
}

void TSmtpClient::MailFrom() {
    begin(Request::MailFrom, State::MailFrom);
    channel_.send(envelopeCommand("MAIL FROM:", fromName_));
}

void TSmtpClient::RcptTo() {
    begin(Request::RcptTo, State::RcptTo);
    recipients_.clear();
    for (const QString& r : std::as_const(rcptName_))
        if (!r.trimmed().isEmpty()) recipients_.append(r);
    recipient_ = 0;
    if (recipients_.isEmpty()) {
        stepFailed(500, QString::fromLatin1(smtptext::RcptNameEmpty), -1);
        return;
    }
    sendRecipient();
}

void TSmtpClient::sendRecipient() {
    channel_.send(envelopeCommand("RCPT TO:", recipients_[recipient_]));
}

void TSmtpClient::Data() {
    begin(Request::Data, State::DataGo);
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
        channel_.socket().Close();
        channel_.cancel(e.message());
        throw;
    }
    channel_.send("DATA");
}

void TSmtpClient::Quit() {
    begin(Request::Quit, State::Quit);
    channel_.sendQuit();
}

void TSmtpClient::Abort() {
    channel_.abort();
}

void TSmtpClient::SendMail() {
    runSession({&TSmtpClient::Helo, &TSmtpClient::MailFrom, &TSmtpClient::RcptTo,
                &TSmtpClient::Data, &TSmtpClient::Quit});
}

void TSmtpClient::CheckSignOn() {
    runSession({&TSmtpClient::Helo, &TSmtpClient::Quit});
}

void TSmtpClient::runSession(QList<Step> steps) {
    Connect();
    sessionSteps_ = std::move(steps);
    sessionRunning_ = true;
}

void TSmtpClient::sessionStepDone(int result) {
    if (!sessionRunning_) return;
    if (result == 0 && !sessionSteps_.isEmpty()) {
        try {
            (this->*sessionSteps_.takeFirst())();
            return;
        } catch (const Exception& e) {
            channel_.socket().Close();
            channel_.setErrorMessage(e.message());
            result = StepNotStarted;
        }
    }
    sessionRunning_ = false;
    sessionSteps_.clear();
    emit OnSessionDone(result);
}

void TSmtpClient::onBytesWritten(qint64) {
    if (state() != State::DataSending) return;
    channel_.restartInactivity();
    pumpData();
}

void TSmtpClient::pumpData() {
    TAsyncSocket& control = channel_.socket();
    while (composer_ && control.BufferedByteCount() < dataHighWater) {
        const QByteArray piece = composer_->next();
        if (!piece.isEmpty() && control.Send(piece) < 0) return; // the close is reported
        if (composer_->atEnd()) {
            composer_.reset();
            channel_.setState(int(State::DataSent));
            return;
        }
    }
}

void TSmtpClient::stepDone() {
    channel_.finish();
}

void TSmtpClient::stepFailed(int result, const QString& message, int statusCode) {
    // The mail is over; the session goes with it so the next mail connects afresh. A
    // message cut off in its data is dropped, never ended in order.
    if (state() == State::DataSending)
        channel_.socket().Abort();
    else
        channel_.socket().Close();
    channel_.end(result, message, statusCode);
}

void TSmtpClient::controlLost(int error) {
    stepFailed(error, QStringLiteral("500 ") + winsockErrorTail(error), -1);
}

void TSmtpClient::ending() {
    composer_.reset();
}

void TSmtpClient::replied(int code, const QByteArray& line) {
    switch (state()) {
    case State::Idle:
        break;
    case State::Connect:
        channel_.accept(code, line, {220});
        break;
    case State::Helo:
    case State::MailFrom:
        channel_.accept(code, line, {250});
        break;
    case State::RcptTo:
        if (code != 250 && code != 251)
            stepFailed(code, QString::fromUtf8(line), -1);
        else if (++recipient_ < recipients_.size())
            sendRecipient();
        else
            stepDone();
        break;
    case State::DataGo:
        if (code != 354) {
            stepFailed(code, QString::fromUtf8(line), -1);
            break;
        }
        channel_.setState(int(State::DataSending));
        channel_.expectReply(); // the acceptance after the data
        pumpData();
        break;
    case State::DataSending:
        // The server spoke up in the middle of the message: whatever it said, the mail did
        // not go through as sent.
        stepFailed(code >= 400 ? code : 500, QString::fromUtf8(line), -1);
        break;
    case State::DataSent:
        channel_.accept(code, line, {250});
        break;
    case State::Quit:
        channel_.accept(code, line, {221});
        break;
    case State::Ehlo:
        if (code == 250)
            afterEhlo();
        else
            stepFailed(code, QString::fromUtf8(line), -1);
        break;
    case State::StartTls:
        if (code != 220) {
            stepFailed(code, QString::fromUtf8(line), -1);
            break;
        }
        channel_.setState(int(State::Handshake));
        channel_.socket().StartTls();
        break;
    case State::Handshake:
        break; // no command is waiting for a reply
    case State::AuthLogin:
    case State::AuthUser:
        if (code != 334) {
            stepFailed(code, QString::fromUtf8(line), -1);
        } else if (state() == State::AuthLogin) {
            channel_.setState(int(State::AuthUser));
            channel_.send(username_.toUtf8().toBase64(), "****");
        } else {
            channel_.setState(int(State::AuthPass));
            channel_.send(password_.toUtf8().toBase64(), "****");
        }
        break;
    case State::AuthPlain:
    case State::AuthPass:
        channel_.accept(code, line, {235});
        break;
    }
}

} // namespace ostrel
