#pragma once
// CommandChannel: the command/reply engine under the FTP and SMTP clients. It owns the
// control connection (line mode, a lone LF ends a line too, reply lines of at most 16 KiB,
// replies of at most 256 KiB), the inactivity deadline, and the life of one request: it
// starts under a new serial number, sends command lines, reads the replies, ends with one
// result and hands that result over from the event loop exactly once. A protocol supplies
// only its states and what its replies mean (Protocol).
//
// Every state change of a client goes through setState. With debug output of the client's
// logging category switched on (QT_LOGGING_RULES="ostrel.ftp.debug=true"), each state
// change, command line sent and reply line received is logged, passwords masked.
#include "net/AsyncSocket.h"
#include "net/ReplyParser.h"
#include <QLoggingCategory>
#include <QTimer>
#include <initializer_list>
#include <span>

namespace ostrel {

// Texts the engine itself ends a request with.
namespace channeltext {
inline constexpr const char Aborted[] = "426 Operation aborted.";
inline constexpr const char Timeout[] = "426 Timeout";
} // namespace channeltext

// A command line as the log shows it: what follows "PASS " or "AUTH " is masked.
QByteArray maskedCommand(const QByteArray& line);

class CommandChannel : public QObject {
    Q_OBJECT
public:
    // What a protocol supplies. The engine calls these only while a request runs.
    class Protocol {
    public:
        // A complete reply that answers the last command (the reply is consumed: a
        // protocol that waits for a further reply says so with expectReply).
        virtual void replied(int code, const QByteArray& line) = 0;
        virtual void stepDone() = 0;
        // statusCode -1 leaves StatusCode as the last reply set it.
        virtual void stepFailed(int result, const QString& message, int statusCode) = 0;
        // The control connection is gone (error is never 0); the socket is closed already.
        virtual void controlLost(int error) = 0;
        // The request ends: drop what belongs to it.
        virtual void ending() = 0;

    protected:
        ~Protocol() = default;
    };

    // `stateNames` names the protocol's states for the log, in order; state 0 is idle.
    CommandChannel(Protocol& protocol, const QLoggingCategory& log,
                   std::span<const char* const> stateNames, int timeoutSeconds,
                   QObject* parent = nullptr);
    ~CommandChannel() override;

    const QLoggingCategory& log() const { return log_; }
    TAsyncSocket& socket() { return control_; }
    const TAsyncSocket& socket() const { return control_; }
    bool connected() const { return control_.state() != TAsyncSocket::State::Closed; }

    int timeout() const { return timeout_; } // seconds; 0 or less: no deadline
    void setTimeout(int seconds) { timeout_ = seconds; }
    // The most a request may take however its data moves, so a server that trickles a byte
    // now and then cannot hold the client for ever; seconds, 0 or less: no limit. At the
    // limit the request ends as at the inactivity deadline.
    int maxDuration() const { return maxDuration_; }
    void setMaxDuration(int seconds) { maxDuration_ = seconds; }

    // Results.
    int statusCode() const { return statusCode_; }
    QString lastResponse() const { return lastResponse_; }
    // Every line of the last complete reply (a multi-line reply lists capabilities).
    const QByteArrayList& replyLines() const { return replyLines_; }
    QString errorMessage() const { return errorMessage_; }
    void setErrorMessage(const QString& message) { errorMessage_ = message; }
    int result() const { return result_; }
    // The socket error (a Winsock number) behind the request's failure, also when its
    // message leads with a reply code; 0 when no socket failed.
    int socketError() const { return socketError_; }
    void noteSocketError(int error) {
        if (socketError_ == 0) socketError_ = error;
    }

    // A request runs or waits for its outcome to be handed over.
    bool busy() const { return busy_; }
    // A request runs: its outcome is not decided yet.
    bool active() const { return busy_ && !pendingDelivery_; }
    quint64 serial() const { return serial_; }

    int state() const { return state_; }
    void setState(int state);

    // Starts a request: a new serial number, no result yet, the deadline running.
    void begin();
    // Takes back a request that could not start (a usage error found by its first step):
    // no outcome will be handed over, and ErrorMessage tells why.
    void cancel(const QString& message);

    // Opens the control connection; the greeting is the first reply. Raises
    // ESocketException as TAsyncSocket::Connect does.
    void open(const QString& host, const QString& port, const QString& localAddr);
    // Sends one command line and emits commandSent; a connection that is gone ends the step
    // through controlLost. `shown`, when given, stands for the line in the log and in
    // commandSent (a line of credentials).
    void send(const QByteArray& line, const QByteArray& shown = {});
    // "QUIT": its reply closes the connection, and so may the server, which counts as done.
    void sendQuit();
    // The running step waits for another reply to the same command.
    void expectReply() { awaitingReply_ = true; }
    // The step ends with stepDone when `code` is one of `accepted`, else with stepFailed.
    void accept(int code, const QByteArray& line, std::initializer_list<int> accepted);
    // Ends the step with the connection lost (error 0 counts as a reset).
    void lose(int error);

    // The deadline starts again (each move of a transfer).
    void restartInactivity();

    // The first failure of a request decides its result and ErrorMessage.
    void noteFailure(int result, const QString& message, int statusCode = -1);
    // Ends the running request with the result noted so far; its outcome is handed over
    // from the event loop.
    void finish();
    void end(int result, const QString& message, int statusCode = -1) {
        noteFailure(result, message, statusCode);
        finish();
    }
    // Drops the connection; a running request ends with "426 Operation aborted.".
    void abort();

    // Hands the outcome over now, when it still waits (the application is shutting down).
    void deliverNow(quint64 serial);

    // Runs a notification handler; whatever it raises fails the running step instead of
    // unwinding into Qt.
    template <typename F> void guard(F&& f);
    // Connects a notification of `source` to `handler`, run through guard and only while a
    // request runs.
    template <typename Owner, typename... A>
    void route(TAsyncSocket& source, void (TAsyncSocket::*signal)(A...), Owner* owner,
               void (Owner::*handler)(A...));

signals:
    void commandSent(const QString& line);
    // Every line the server sends on the control connection.
    void lineReceived(const QString& line);
    // The outcome of request `serial`, from the event loop; the channel is ready again.
    void requestDone(quint64 serial, int result);

private:
    void onConnected(int error);
    void onLine(const QByteArray& line);
    void onClosed(int error);
    void onInactivity();
    void failFromException(const QString& message);

    Protocol& protocol_;
    const QLoggingCategory& log_;
    std::span<const char* const> stateNames_;
    int timeout_;
    int maxDuration_ = 300;

    int statusCode_ = 0;
    QString lastResponse_;
    QByteArrayList replyLines_;
    bool replyComplete_ = true;
    QString errorMessage_;
    int result_ = 0;
    int socketError_ = 0;

    bool busy_ = false;
    quint64 serial_ = 0;
    quint64 pendingDelivery_ = 0;
    int state_ = 0;
    bool awaitingReply_ = false;
    bool quitting_ = false;

    TAsyncSocket control_;
    ReplyReader reply_;
    QTimer inactivity_;
    QTimer overall_;
};

template <typename F> void CommandChannel::guard(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        failFromException(e.message());
    } catch (const std::exception& e) {
        failFromException(QString::fromLocal8Bit(e.what()));
    }
}

template <typename Owner, typename... A>
void CommandChannel::route(TAsyncSocket& source, void (TAsyncSocket::*signal)(A...), Owner* owner,
                           void (Owner::*handler)(A...)) {
    connect(&source, signal, owner, [this, owner, handler](A... args) {
        guard([&] {
            if (active()) (owner->*handler)(args...);
        });
    });
}

} // namespace ostrel
