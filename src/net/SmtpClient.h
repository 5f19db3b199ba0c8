#pragma once
// TSmtpClient: the program's SMTP client (RFC 821 client side: plain text mails with
// optional attachments, no authentication). One instance, owned by the main window.
//
// A mail is a chain of single steps (Connect, Helo, MailFrom, RcptTo, Data, Quit), each
// started by one call that returns at once; OnRequestDone reports its end from the event
// loop, and the main window starts the next step from there (see smtpRequestDone in
// RequestReport.h). A failed step ends the mail: ErrorMessage tells why, and the client
// closes the connection so that the next mail starts on a fresh one instead of finding a
// half-used session still open.
//
// Timeout bounds the wait for each reply and the pauses of the data stream, so a server
// that falls silent cannot keep the client (and every later mail) waiting for ever.
#include "net/AsyncSocket.h"
#include "net/MailFormat.h"
#include "platform/Exception.h"
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace ostrel {

class ESmtpException : public Exception {
public:
    using Exception::Exception;
};

namespace smtptext {
inline constexpr const char NotReady[] = "SMTP component not ready";
inline constexpr const char AlreadyConnected[] = "SMTP component already connected";
inline constexpr const char NotConnected[] = "SMTP component not connected";
inline constexpr const char RcptNameEmpty[] = "RcptName list is empty";
inline constexpr const char Aborted[] = "426 Operation aborted.";
inline constexpr const char Timeout[] = "426 Timeout";
} // namespace smtptext

class TSmtpClient : public QObject {
    Q_OBJECT
public:
    enum class Request { Connect = 0, Helo = 1, MailFrom = 2, RcptTo = 4, Data = 5, Quit = 6 };
    Q_ENUM(Request)

    explicit TSmtpClient(QObject* parent = nullptr);
    ~TSmtpClient() override;

    // Settings.
    QString Host() const { return host_; }
    void setHost(const QString& v) { host_ = v; }
    QString Port() const { return port_; } // number or service name; default "smtp"
    void setPort(const QString& v) { port_ = v; }
    QString Username() const { return username_; } // kept; no authentication is performed
    void setUsername(const QString& v) { username_ = v; }
    QString FromName() const { return fromName_; } // the envelope sender
    void setFromName(const QString& v) { fromName_ = v; }
    QString CharSet() const { return charSet_; }
    void setCharSet(const QString& v) { charSet_ = v; }
    QString LocalAddr() const { return localAddr_; }
    void setLocalAddr(const QString& v) { localAddr_ = v; }
    QString SignOn() const { return signOn_; } // HELO name; empty: the local host name
    void setSignOn(const QString& v) { signOn_ = v; }
    int Timeout() const { return timeout_; } // seconds; 0 or less: no limit
    void setTimeout(int seconds) { timeout_ = seconds; }

    // The mail.
    QStringList& RcptName() { return rcptName_; }
    void setRcptName(const QStringList& v) { rcptName_ = v; }
    QString HdrSubject() const { return header_.subject; }
    void setHdrSubject(const QString& v) { header_.subject = v; }
    QStringList& MailMessage() { return mailMessage_; }
    void setMailMessage(const QStringList& v) { mailMessage_ = v; }
    QStringList& EmailFiles() { return emailFiles_; }
    void setEmailFiles(const QStringList& v) { emailFiles_ = v; }
    // Adds an attachment; raises EFileNotFound when the file does not exist.
    void addEmailFile(const QString& fileName);
    QString HdrFrom() const { return header_.from; }
    void setHdrFrom(const QString& v) { header_.from = v; }
    QString HdrTo() const { return header_.to; }
    void setHdrTo(const QString& v) { header_.to = v; }
    QString HdrCc() const { return header_.cc; }
    void setHdrCc(const QString& v) { header_.cc = v; }
    QString HdrReplyTo() const { return header_.replyTo; }
    void setHdrReplyTo(const QString& v) { header_.replyTo = v; }
    QString HdrReturnPath() const { return header_.returnPath; }
    void setHdrReturnPath(const QString& v) { header_.returnPath = v; }
    QString HdrSender() const { return header_.sender; }
    void setHdrSender(const QString& v) { header_.sender = v; }

    // Results.
    QString ErrorMessage() const { return errorMessage_; }
    int StatusCode() const { return statusCode_; }
    QString LastResponse() const { return lastResponse_; }
    bool Connected() const;
    bool Ready() const { return !busy_; }

    // The steps. Each raises ESmtpException when another step runs ("SMTP component not
    // ready"), Connect when connected, the others when not connected. Data raises
    // EFileNotFound (and closes the connection) when an attachment cannot be opened.
    void Connect();
    void Helo();
    void MailFrom();
    void RcptTo();
    void Data();
    void Quit();
    // Drops the connection; a running step ends with "426 Operation aborted.".
    void Abort();

signals:
    void OnCommand(const QString& line);
    void OnRequestDone(ostrel::TSmtpClient::Request rqType, int error);

private:
    enum class DataPhase { None, AwaitGo, Sending, Sent };

    void begin(Request request);
    void sendCommand(const QByteArray& line);
    void sendRecipient();
    void pumpData();
    void succeed();
    void fail(int error, const QString& message);
    void finish(int error);
    void deliverDone(quint64 serial);
    void restartInactivity();
    void onConnected(int error);
    void onLine(const QByteArray& line);
    void onClosed(int error);
    void onReply(int code, const QByteArray& line);

    template <typename F> void guard(F&& f);

    QString host_;
    QString port_ = QStringLiteral("smtp");
    QString username_;
    QString fromName_;
    QString charSet_ = QStringLiteral("iso-8859-1");
    QString localAddr_ = QStringLiteral("0.0.0.0");
    QString signOn_;
    int timeout_ = 120;

    QStringList rcptName_;
    QStringList mailMessage_;
    QStringList emailFiles_;
    MailHeaderFields header_;

    QString errorMessage_;
    int statusCode_ = 0;
    QString lastResponse_;

    bool busy_ = false;
    Request request_ = Request::Connect;
    quint64 serial_ = 0;
    quint64 pendingDelivery_ = 0;
    int result_ = 0;
    bool awaitingReply_ = false;
    QStringList recipients_; // of the running RcptTo
    qsizetype recipient_ = 0;
    DataPhase dataPhase_ = DataPhase::None;
    std::unique_ptr<MailComposer> composer_;

    TAsyncSocket control_;
    ReplyReader reply_;
    QTimer inactivity_;
};

} // namespace ostrel
