#pragma once
// TFtpClient: the program's FTP client (RFC 959, client side). One instance, owned by the
// main window, serves every window that talks to the FTP host.
//
// Each operation runs a chain of steps (open, USER, PASS, CWD, TYPE, data setup, STOR/RETR/
// NLST, DELE, QUIT). The waiting operations keep the event loop running until their chain
// has ended and return whether it succeeded; the two no-wait operations (ConnectAsync,
// PutAsync) return at once. Every chain ends with one OnRequestDone, delivered from the
// event loop before a waiting operation returns. Usage errors found before anything is
// sent make a waiting operation return false without any event and are raised by the
// no-wait ones.
//
// Security Explicit (RFC 4217) asks for AUTH TLS after the greeting and encrypts the
// control connection before the login; Implicit speaks TLS from the first byte (port 990).
// Either way PBSZ 0 and PROT P follow the login and every data connection is encrypted
// too, trusting what the control connection trusted and resuming its TLS session (which
// servers such as vsftpd require); its handshake starts when the transfer command's 1xx
// reply came, as servers expect. None keeps the plain session.
//
// Timeout bounds inactivity: the deadline is set when a chain starts and moved on with
// every block that moves on the data connection. At the deadline the chain ends with
// "426 Timeout" (OnRequestDone reports 426). The no-wait operations are bounded the same
// way, so a silent server cannot keep the client busy for ever; MaxDuration bounds a whole
// chain the same way, so neither can one that trickles.
//
// What a server sends is bounded too: a listing at ListingLimit bytes, a download at
// DownloadLimit; more ends the chain. A download asks RoomCheck (the free-space guard)
// before it writes and again as it grows.
#include "net/CommandChannel.h"
#include "platform/Exception.h"
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace ostrel {

// Texts of the client's own that can stand in ErrorMessage or be raised.
namespace ftptext {
inline constexpr const char NotReady[] = "FTP component not ready";
inline constexpr const char AlreadyConnected[] = "FTP component already connected";
inline constexpr const char NotConnected[] = "FTP component not connected";
inline constexpr const char LocalFileNameEmpty[] = "LocalFileName empty";
inline constexpr const char StorNotConnected[] = "STOR/APPE: not connected";
inline constexpr const char OpenLocalFile[] = "426 Unable to open local file ";
inline constexpr const char WriteLocalFile[] = "426 Unable to write local file ";
inline constexpr const char ReadLocalFile[] = "426 Unable to read local file ";
inline constexpr const char DataConnection[] = "Unable to establish data connection, error #";
inline constexpr const char ControlClosed[] = "500 Control connection closed. ";
inline constexpr const char TransferBroken[] = "426 Connection closed; transfer aborted.";
inline constexpr const char NoAuthTls[] = "The server does not offer FTP over TLS (AUTH TLS)";
inline constexpr const char TooLarge[] = "426 Transfer aborted: the server sent more than %1 bytes";
inline constexpr const char NoRoom[] = "not enough free space on the disk";
using namespace channeltext; // Aborted, Timeout
} // namespace ftptext

class EFtpException : public Exception {
public:
    using Exception::Exception;
};

class TFtpClient : public QObject, private CommandChannel::Protocol {
    Q_OBJECT
public:
    enum class Request {
        None,
        Connect,
        ConnectAsync,
        Put,
        PutAsync,
        Get,
        Receive,
        Transmit,
        Ls,
        List,
        Dele,
        Delete,
        Quit,
        Abort
    };
    Q_ENUM(Request)
    enum class Security { None, Explicit, Implicit };
    Q_ENUM(Security) // in the order of the settings' security choices (NetworkSettings.h)

    explicit TFtpClient(QObject* parent = nullptr);
    ~TFtpClient() override;

    // Settings.
    QString HostName() const { return hostName_; }
    void setHostName(const QString& v) { hostName_ = v; }
    QString Port() const { return port_; } // number or service name; default "ftp"
    void setPort(const QString& v) { port_ = v; }
    QString UserName() const { return userName_; }
    void setUserName(const QString& v) { userName_ = v; }
    QString PassWord() const { return passWord_; }
    void setPassWord(const QString& v) { passWord_ = v; }
    int Timeout() const { return channel_.timeout(); } // seconds; 0 or less: no deadline
    void setTimeout(int seconds) { channel_.setTimeout(seconds); }
    // Seconds a chain may take in all; 0 or less: no limit. Default 300.
    int MaxDuration() const { return channel_.maxDuration(); }
    void setMaxDuration(int seconds) { channel_.setMaxDuration(seconds); }
    // The most bytes a download (RETR) may bring; 0: no limit. Default: the largest picture
    // file the program reads.
    qint64 DownloadLimit() const { return downloadLimit_; }
    void setDownloadLimit(qint64 bytes) { downloadLimit_ = bytes; }
    // A name listing (NLST) is never longer than this.
    static constexpr qint64 ListingLimit = 4 * 1024 * 1024;
    // Asked before a download writes its first block and after every RoomCheckStep bytes;
    // false ends the chain (the local file stays as it was). Empty: never asked.
    void setRoomCheck(std::function<bool()> check) { roomCheck_ = std::move(check); }
    static constexpr qint64 RoomCheckStep = 4 * 1024 * 1024;
    bool Passive() const { return passive_; }
    void setPassive(bool on) { passive_ = on; }
    bool Binary() const { return binary_; }
    void setBinary(bool on) { binary_ = on; }
    QString LocalAddr() const { return localAddr_; }
    void setLocalAddr(const QString& v) { localAddr_ = v; }
    Security security() const { return security_; } // read when a chain opens the session
    void setSecurity(Security v) { security_ = v; }
    // A certificate with this SHA-256 is trusted even when verification fails; empty: none.
    QString PinnedSha256() const { return pin_; }
    void setPinnedSha256(const QString& v) { pin_ = v; }
    // Of the server's certificate, also after a handshake that failed.
    QString PeerCertificateSha256() const { return channel_.socket().PeerCertificateSha256(); }

    // Per request.
    QString HostDirName() const { return hostDirName_; }
    void setHostDirName(const QString& v) { hostDirName_ = v; }
    QString HostFileName() const { return hostFileName_; }
    void setHostFileName(const QString& v) { hostFileName_ = v; }
    QString LocalFileName() const { return localFileName_; }
    void setLocalFileName(const QString& v) { localFileName_ = v; }

    // Results.
    int StatusCode() const { return channel_.statusCode(); }
    QString LastResponse() const { return channel_.lastResponse(); }
    QString ErrorMessage() const { return channel_.errorMessage(); }
    // The socket error behind the last failure; 0 when no socket failed.
    int SocketError() const { return channel_.socketError(); }
    bool Connected() const { return channel_.connected(); }
    // No chain is running (or waiting for its OnRequestDone).
    bool Ready() const { return !channel_.busy(); }

    // The main window's outcome of the last request: 0 none or busy, 1 succeeded,
    // 2 failed, 3 website update suspended.
    int Tag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

    // "open" stands for the session's opening: the connection, AUTH TLS and its handshake
    // (Explicit), USER, PASS, and PBSZ and PROT (Explicit, Implicit).
    bool Connect();      // open
    void ConnectAsync(); // the same, no wait
    bool Put();          // data setup, STOR
    void PutAsync();     // the same, no wait
    bool Get();          // data setup, RETR
    bool Receive();      // open, USER, PASS, CWD, TYPE, data setup, RETR, QUIT
    bool Transmit();     // open, USER, PASS, CWD, TYPE, data setup, STOR, QUIT
    bool Ls();           // data setup, NLST
    bool List();         // open, USER, PASS, CWD, data setup, NLST, QUIT
    bool Dele();         // DELE
    bool Delete();       // open, USER, PASS, CWD, DELE, QUIT
    bool Quit();         // QUIT, then close
    // Closes both connections at once; a running chain ends with "426 Operation aborted.".
    void Abort();
    // Abort, and returns once the chain's OnRequestDone has been delivered, so the client is
    // ready for the next request.
    void Cancel();

signals:
    void OnCommand(const QString& line); // the password shown as "PASS ****"
    void OnResponse(const QString& line);
    void OnRequestDone(ostrel::TFtpClient::Request rqType, int error);
    // A chain has ended and its OnRequestDone has been delivered (for the waits).
    void chainEnded(quint64 serial, int result, QPrivateSignal);

private:
    // Auth and Handshake (explicit TLS) follow Open; Pbsz and Prot (either TLS) follow Pass.
    enum class Step {
        Idle,
        Open,
        User,
        Pass,
        Cwd,
        Type,
        DataSetup,
        Stor,
        Retr,
        Nlst,
        Dele,
        Quit,
        Auth,
        Handshake,
        Pbsz,
        Prot
    };
    struct Transfer;
    static const QList<Step> opening;

    Step step() const { return Step(channel_.state()); }
    bool runWaiting(Request request, QList<Step> steps);
    void startChain(Request request, QList<Step> steps);
    void checkUsage(const QList<Step>& steps) const;
    bool waitFor(quint64 serial);
    void nextStep();
    void failLocal(const char* text, const QString& error);

    // CommandChannel::Protocol
    void replied(int code, const QByteArray& line) override;
    void stepDone() override;
    void stepFailed(int result, const QString& message, int statusCode) override;
    void controlLost(int error) override;
    void ending() override;

    bool skipped(Step step) const;
    void onControlEncrypted();
    void startDataSetup();
    void dataSetupFailed(int error);
    void onDataConnected(int error);
    void dataReady();
    void onDataEncrypted();
    void onListenerAvailable(int error);
    void onDataAvailable(int error);
    bool takeReceived(const char* data, qint64 size);
    void onDataBytesWritten(qint64 bytes);
    void onDataClosed(int error);
    void startTransfer();
    void transferReply(int code, const QByteArray& line);
    void pumpUpload();
    void completeTransferWhenDone();
    void dropTransfer();

    QString hostName_;
    QString port_ = QStringLiteral("ftp");
    QString userName_;
    QString passWord_;
    bool passive_ = true;
    bool binary_ = true;
    QString localAddr_ = QStringLiteral("0.0.0.0");
    Security security_ = Security::None;
    QString pin_;
    QString hostDirName_;
    QString hostFileName_;
    QString localFileName_;
    int tag_ = 0;
    qint64 downloadLimit_;
    std::function<bool()> roomCheck_;

    Request request_ = Request::None;
    QList<Step> steps_;
    bool passNeeded_ = false;
    int sessionType_ = 0; // 'I' or 'A' once a TYPE was accepted in this session
    Security sessionSecurity_ = Security::None; // of the session opened last

    CommandChannel channel_;
    TAsyncSocket data_;
    TAsyncSocket listener_;
    std::unique_ptr<Transfer> transfer_;
    QByteArray receiveBuffer_; // reused by every download
};

} // namespace ostrel
