#include "net/CommandChannel.h"
#include "net/WinsockErrors.h"

#include <QDebug>

#include <algorithm>

namespace ostrel {

namespace {

// A reply line longer than this, or a multi-line reply longer than maxReplyBytes, ends
// the control connection: no real server needs that much, and a hostile one must not
// make the client buffer without bound.
constexpr qsizetype maxReplyLine = 16 * 1024;
constexpr qsizetype maxReplyBytes = 256 * 1024;
// QTimer takes an int of milliseconds.
constexpr int maxTimeoutSeconds = 2'000'000;

} // namespace

QByteArray maskedCommand(const QByteArray& line) {
    for (const QByteArray& verb : {QByteArrayLiteral("PASS "), QByteArrayLiteral("AUTH ")})
        if (line.size() >= verb.size() && line.first(verb.size()).toUpper() == verb)
            return line.first(verb.size()) + "****";
    return line;
}

CommandChannel::CommandChannel(Protocol& protocol, const QLoggingCategory& log,
                               std::span<const char* const> stateNames, int timeoutSeconds,
                               QObject* parent)
    : QObject(parent), protocol_(protocol), log_(log), stateNames_(stateNames),
      timeout_(timeoutSeconds), reply_(maxReplyBytes) {
    control_.setLineMode(true);
    control_.setLineEndLoneLf(true);
    control_.setLineLimit(maxReplyLine);
    inactivity_.setSingleShot(true);
    overall_.setSingleShot(true);
    route(control_, &TAsyncSocket::OnSessionConnected, this, &CommandChannel::onConnected);
    route(control_, &TAsyncSocket::OnSessionClosed, this, &CommandChannel::onClosed);
    connect(&control_, &TAsyncSocket::OnLineReceived, this,
            [this](const QByteArray& line) { guard([&] { onLine(line); }); });
    for (QTimer* deadline : {&inactivity_, &overall_})
        connect(deadline, &QTimer::timeout, this, [this] {
            guard([&] {
                if (active()) onInactivity();
            });
        });
}

CommandChannel::~CommandChannel() = default;

void CommandChannel::setState(int state) {
    if (state == state_) return;
    qCDebug(log_, "state %s -> %s", stateNames_[state_], stateNames_[state]);
    state_ = state;
}

void CommandChannel::begin() {
    busy_ = true;
    result_ = 0;
    socketError_ = 0;
    errorMessage_.clear();
    awaitingReply_ = false;
    quitting_ = false;
    ++serial_;
    restartInactivity();
    if (maxDuration_ > 0)
        overall_.start(std::min(maxDuration_, maxTimeoutSeconds) * 1000);
    else
        overall_.stop();
}

void CommandChannel::cancel(const QString& message) {
    inactivity_.stop();
    overall_.stop();
    protocol_.ending();
    setState(0);
    awaitingReply_ = false;
    busy_ = false;
    errorMessage_ = message;
}

void CommandChannel::open(const QString& host, const QString& port, const QString& localAddr) {
    control_.setAddr(host);
    control_.setPort(port);
    control_.setLocalAddr(localAddr);
    control_.setLocalPort(QStringLiteral("0"));
    reply_.reset();
    qCDebug(log_, "connecting to %s port %s", qUtf8Printable(host), qUtf8Printable(port));
    awaitingReply_ = true; // the greeting
    control_.Connect();
}

void CommandChannel::send(const QByteArray& line, const QByteArray& shown) {
    awaitingReply_ = true;
    if (control_.Send(line + "\r\n") < 0) {
        lose(wsa::NotConnected);
        return;
    }
    qCDebug(log_, "> %s", maskedCommand(shown.isEmpty() ? line : shown).constData());
    emit commandSent(QString::fromUtf8(shown.isEmpty() ? line : shown));
}

void CommandChannel::sendQuit() {
    quitting_ = true;
    send("QUIT");
}

void CommandChannel::accept(int code, const QByteArray& line, std::initializer_list<int> accepted) {
    if (std::find(accepted.begin(), accepted.end(), code) != accepted.end())
        protocol_.stepDone();
    else
        protocol_.stepFailed(code, QString::fromUtf8(line), -1);
}

void CommandChannel::lose(int error) {
    control_.Abort();
    if (error == 0) error = wsa::ConnectionReset;
    noteSocketError(error);
    protocol_.controlLost(error);
}

void CommandChannel::restartInactivity() {
    if (timeout_ > 0)
        inactivity_.start(std::min(timeout_, maxTimeoutSeconds) * 1000);
    else
        inactivity_.stop();
}

void CommandChannel::noteFailure(int result, const QString& message, int statusCode) {
    if (result_ == 0) result_ = result;
    if (errorMessage_.isEmpty()) errorMessage_ = message;
    if (statusCode >= 0) statusCode_ = statusCode;
}

void CommandChannel::finish() {
    inactivity_.stop();
    overall_.stop();
    awaitingReply_ = false;
    protocol_.ending();
    setState(0);
    const quint64 serial = serial_;
    pendingDelivery_ = serial;
    qCDebug(log_, "request %llu ends with %d%s%s", serial, result_,
            errorMessage_.isEmpty() ? "" : ": ", qUtf8Printable(errorMessage_));
    QMetaObject::invokeMethod(
        this, [this, serial] { deliverNow(serial); }, Qt::QueuedConnection);
}

void CommandChannel::deliverNow(quint64 serial) {
    if (pendingDelivery_ != serial) return;
    pendingDelivery_ = 0;
    busy_ = false;
    emit requestDone(serial, result_);
}

void CommandChannel::abort() {
    control_.Abort();
    if (active()) end(426, QString::fromLatin1(channeltext::Aborted), 426);
}

void CommandChannel::failFromException(const QString& message) {
    if (active()) protocol_.stepFailed(500, message, -1);
}

void CommandChannel::onInactivity() {
    control_.Abort();
    // The deadline outranks a failure noted before it (one whose QUIT went unanswered).
    result_ = 426;
    errorMessage_ = QString::fromLatin1(channeltext::Timeout);
    statusCode_ = 426;
    finish();
}

void CommandChannel::onConnected(int error) {
    if (error == 0) return;
    noteSocketError(error);
    protocol_.stepFailed(error, QStringLiteral("500 ") + winsockErrorTail(error), 500);
}

void CommandChannel::onLine(const QByteArray& line) {
    qCDebug(log_, "< %s", line.constData());
    emit lineReceived(QString::fromUtf8(line));
    if (replyComplete_) replyLines_.clear();
    replyComplete_ = false;
    replyLines_.append(line); // bounded as the reply is
    switch (reply_.feed(line)) {
    case ReplyReader::Result::Pending:
        return;
    case ReplyReader::Result::TooLong:
        reply_.reset();
        replyComplete_ = true;
        if (active())
            lose(wsa::MessageTooLong);
        else
            control_.Abort();
        return;
    case ReplyReader::Result::Complete:
        replyComplete_ = true;
        break;
    }
    if (!active()) return; // nobody asked; a server's parting words
    statusCode_ = reply_.code();
    lastResponse_ = QString::fromUtf8(reply_.line());
    if (!awaitingReply_) return;
    awaitingReply_ = false;
    if (quitting_) control_.Close();
    protocol_.replied(reply_.code(), reply_.line());
}

void CommandChannel::onClosed(int error) {
    if (quitting_ && awaitingReply_) {
        // The server ended the session we were ending.
        awaitingReply_ = false;
        protocol_.stepDone();
        return;
    }
    lose(error);
}

} // namespace ostrel
