#pragma once
// TSmtpClient: the program's SMTP client (RFC 821 client side: plain text mails with
// optional attachments). One instance, owned by the main window.
//
// Security None keeps the plain HELO session. StartTls (RFC 3207) and Tls (encrypted from
// the start, port 465) greet with EHLO and, with a user name, log in with AUTH PLAIN
// (RFC 4616) or AUTH LOGIN, whichever the server offers, PLAIN preferred. A login never
// crosses the network in clear: without encryption the user name is not used, and a
// connection that is not encrypted when the login is due ends the step instead.
//
// The security chosen when a session connects holds for the whole session: a choice saved
// while a mail is on its way (a session opened in clear, then TLS and a login saved) is
// for the next session.
//
// A mail is a chain of single steps (Connect, Helo, MailFrom, RcptTo, Data, Quit), each
// started by one call that returns at once and reported by OnRequestDone from the event
// loop. SendMail runs the whole chain in one call and ends it with OnSessionDone. A failed
// step ends the mail: ErrorMessage tells why, and the client closes the connection so that
// the next mail starts on a fresh one instead of finding a half-used session still open.
//
// Timeout bounds the wait for each reply and the pauses of the data stream, so a server
// that falls silent cannot keep the client (and every later mail) waiting for ever.
#include "net/CommandChannel.h"
#include "net/MailFormat.h"
#include "platform/Exception.h"
#include <QObject>
#include <QStringList>
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
inline constexpr const char NoStartTls[] = "The server does not offer STARTTLS";
inline constexpr const char NoLogin[] = "The server offers no login (AUTH PLAIN or LOGIN)";
inline constexpr const char LoginInClear[] =
    "The connection is not encrypted, so the login was not sent";
using namespace channeltext; // Aborted, Timeout
} // namespace smtptext

class TSmtpClient : public QObject, private CommandChannel::Protocol {
    Q_OBJECT
public:
    enum class Request { Connect = 0, Helo = 1, MailFrom = 2, RcptTo = 4, Data = 5, Quit = 6 };
    Q_ENUM(Request)
    enum class Security { None, StartTls, Tls };
    Q_ENUM(Security) // in the order of the settings' security choices (NetworkSettings.h)

    explicit TSmtpClient(QObject* parent = nullptr);
    ~TSmtpClient() override;

    // Settings.
    QString Host() const { return host_; }
    void setHost(const QString& v) { host_ = v; }
    QString Port() const { return port_; } // number or service name; default "smtp"
    void setPort(const QString& v) { port_ = v; }
    Security security() const { return security_; } // read by Connect, for the session
    void setSecurity(Security v) { security_ = v; }
    QString Username() const { return username_; } // the login; used only when encrypted
    void setUsername(const QString& v) { username_ = v; }
    QString Password() const { return password_; }
    void setPassword(const QString& v) { password_ = v; }
    // The one certificate trusted even when verification fails (see TAsyncSocket).
    QString PinnedSha256() const { return pin_; }
    void setPinnedSha256(const QString& v) { pin_ = v; }
    // Of the server's certificate, also after a handshake that failed.
    QString PeerCertificateSha256() const { return channel_.socket().PeerCertificateSha256(); }
    QString FromName() const { return fromName_; } // the envelope sender
    void setFromName(const QString& v) { fromName_ = v; }
    QString CharSet() const { return charSet_; }
    void setCharSet(const QString& v) { charSet_ = v; }
    QString LocalAddr() const { return localAddr_; }
    void setLocalAddr(const QString& v) { localAddr_ = v; }
    QString SignOn() const { return signOn_; } // HELO name; empty: the local host name
    void setSignOn(const QString& v) { signOn_ = v; }
    int Timeout() const { return channel_.timeout(); } // seconds; 0 or less: no limit
    void setTimeout(int seconds) { channel_.setTimeout(seconds); }

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
    QString ErrorMessage() const { return channel_.errorMessage(); }
    int StatusCode() const { return channel_.statusCode(); }
    QString LastResponse() const { return channel_.lastResponse(); }
    // The socket error behind the last failure; 0 when no socket failed.
    int SocketError() const { return channel_.socketError(); }
    bool Connected() const { return channel_.connected(); }
    bool Ready() const { return !channel_.busy(); }

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

    // A whole mail in one call: Connect, Helo, MailFrom, RcptTo, Data and Quit, each still
    // reported by OnRequestDone, then OnSessionDone with 0 or the error of the step that
    // failed. A step that cannot start (an attachment gone missing) ends the session with
    // StepNotStarted and its reason in ErrorMessage. Raises as Connect does when the mail
    // cannot even begin; nothing is reported then.
    void SendMail();
    // A sign-on check the same way: Connect, Helo (with the login when one is set), Quit.
    void CheckSignOn();
    static constexpr int StepNotStarted = -1;

signals:
    void OnCommand(const QString& line);
    void OnResponse(const QString& line);
    void OnRequestDone(ostrel::TSmtpClient::Request rqType, int error);
    void OnSessionDone(int error);

private:
    // Connect waits for the greeting; Data for the go-ahead (DataGo), then sends the message
    // (DataSending) and waits for its acceptance (DataSent).
    // Helo with encryption or a login: Ehlo, then StartTls and Handshake (and Ehlo again), then
    // AuthPlain, or AuthLogin, AuthUser and AuthPass.
    enum class State {
        Idle,
        Connect,
        Helo,
        MailFrom,
        RcptTo,
        DataGo,
        DataSending,
        DataSent,
        Quit,
        Ehlo,
        StartTls,
        Handshake,
        AuthPlain,
        AuthLogin,
        AuthUser,
        AuthPass
    };

    State state() const { return State(channel_.state()); }
    void begin(Request request, State state);
    QByteArray signOnName() const;
    void sendEhlo();
    void afterEhlo();
    void refuse(const QString& message);
    void onTlsEstablished();
    void sendRecipient();
    void pumpData();
    void onBytesWritten(qint64 bytes);
    using Step = void (TSmtpClient::*)();
    void runSession(QList<Step> steps);
    void sessionStepDone(int result);

    // CommandChannel::Protocol
    void replied(int code, const QByteArray& line) override;
    void stepDone() override;
    void stepFailed(int result, const QString& message, int statusCode) override;
    void controlLost(int error) override;
    void ending() override;

    QString host_;
    QString port_ = QStringLiteral("smtp");
    Security security_ = Security::None;
    Security sessionSecurity_ = Security::None; // of the session opened last
    QString username_;
    QString password_;
    QString pin_;
    QString fromName_;
    QString charSet_ = QStringLiteral("iso-8859-1");
    QString localAddr_ = QStringLiteral("0.0.0.0");
    QString signOn_;

    QStringList rcptName_;
    QStringList mailMessage_;
    QStringList emailFiles_;
    MailHeaderFields header_;

    Request request_ = Request::Connect;
    bool sessionRunning_ = false;
    QList<Step> sessionSteps_; // what a running session does after its current step
    QStringList recipients_;   // of the running RcptTo
    qsizetype recipient_ = 0;
    std::unique_ptr<MailComposer> composer_;

    CommandChannel channel_;
};

} // namespace ostrel
