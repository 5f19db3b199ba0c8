#pragma once
// TAsyncSocket: the event-driven TCP socket under the FTP and SMTP clients. It lives on the
// user-interface thread; nothing here blocks. Name lookups run through QHostInfo, traffic
// through QTcpSocket and QTcpServer, and every outcome arrives as a signal carrying a
// Windows Sockets error number (0 = success).
//
// A client connection may be encrypted (QSslSocket): from the start, or later on request
// (StartTls). The server's certificate is verified against the system's store and the host
// name; a failure ends the connection with one of the wsa::Tls/Certificate numbers. A pinned
// SHA-256 fingerprint makes that one certificate trusted even when verification fails.
// A listening socket with a TlsMode other than Off hands out connections that can be
// encrypted; Accept into a socket whose TlsMode is FromStart or OnRequest makes this end the
// TLS client there too, at once or on StartTls (FTP's data connections, RFC 4217).
//
// Signals are emitted from Qt's socket notifications. A handler may call any operation on
// the socket that emitted, including Close, Abort and a new Connect; the socket notices and
// stops delivering what belonged to the old connection.
#include "net/ReplyParser.h"
#include "platform/Exception.h"
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpSocket;
class QTcpServer;
class QHostInfo;
class QSslError;
class QSslSocket;

namespace ostrel {

class ESocketException : public Exception {
public:
    using Exception::Exception;
};

class TAsyncSocket : public QObject {
    Q_OBJECT
public:
    // Opened and Bound are passed through inside Connect and Listen; Qt does not stop there.
    enum class State { Closed, Opened, Bound, DnsLookup, Connecting, Connected, Listening };
    Q_ENUM(State)
    // Off: plain TCP. FromStart: the handshake follows the connect, and OnSessionConnected
    // reports its end. OnRequest: plain until StartTls.
    enum class Tls { Off, FromStart, OnRequest };

    explicit TAsyncSocket(QObject* parent = nullptr);
    ~TAsyncSocket() override;

    // Settings.
    QString Addr() const { return addr_; } // host name or dotted IPv4 address
    void setAddr(const QString& a) { addr_ = a; }
    QString Port() const { return port_; } // number or service name ("ftp", "smtp")
    void setPort(const QString& p) { port_ = p; }
    QString Proto() const { return proto_; }
    void setProto(const QString& p) { proto_ = p; }
    QString LocalAddr() const { return localAddr_; }
    void setLocalAddr(const QString& a) { localAddr_ = a; }
    QString LocalPort() const { return localPort_; }
    void setLocalPort(const QString& p) { localPort_ = p; }
    Tls TlsMode() const { return tls_; } // read by Connect
    void setTlsMode(Tls mode) { tls_ = mode; }
    // Hex digits, colons and case as one likes ("openssl x509 -fingerprint -sha256" prints
    // it so); empty: none.
    QString PinnedSha256() const { return pin_; }
    void setPinnedSha256(const QString& fingerprint) { pin_ = fingerprint; }
    // The name the server's certificate must carry; empty: Addr.
    QString PeerVerifyName() const { return verifyName_; }
    void setPeerVerifyName(const QString& name) { verifyName_ = name; }
    // The TLS session to resume on the next handshake (from another connection's
    // TlsSession); empty: a full handshake.
    void setTlsSession(const QByteArray& session) { session_ = session; }
    // This connection's TLS session as the server last renewed it; empty when none.
    QByteArray TlsSession() const;

    // Line mode: received bytes are handed out one line at a time through OnLineReceived.
    // Lines end with CR LF, or also with a lone LF when LineEndLoneLf is set. A line longer
    // than LineLimit bytes closes the connection with error 10040 ("Message too long").
    bool LineMode() const { return lineMode_; }
    void setLineMode(bool on);
    bool LineEndLoneLf() const { return loneLf_; }
    void setLineEndLoneLf(bool on);
    qsizetype LineLimit() const { return lineLimit_; }
    void setLineLimit(qsizetype bytes);

    State state() const { return state_; }
    int LastError() const { return lastError_; }

    // Resolves Addr (a dotted address directly, a name through a lookup that never blocks)
    // and starts the connection; OnSessionConnected tells the outcome. Raises
    // ESocketException when the socket is in use or Port, Addr or Proto is missing or wrong.
    void Connect();
    // Binds LocalAddr:LocalPort ("0" = any free port) and waits for connections;
    // OnSessionAvailable tells of each. Raises ESocketException on failure.
    void Listen();
    // Hands the next waiting connection of this listening socket to `target` (closed
    // first when open). False when none is waiting.
    // With a TlsMode of FromStart on `target`, OnSessionConnected tells when the
    // handshake on the accepted connection is over.
    bool Accept(TAsyncSocket& target);

    // Starts the handshake on a connection opened with TlsMode OnRequest; OnTlsEstablished
    // tells its success, a failure closes the connection (OnSessionClosed). Raises
    // ESocketException when the connection cannot start one.
    void StartTls();
    bool Encrypted() const;
    // SHA-256 of the server's certificate ("AB:CD:..."), once a handshake got that far,
    // whether it succeeded or not: what a user would pin.
    QString PeerCertificateSha256() const { return peerSha256_; }

    // A lookup of its own; OnDnsLookupDone tells the outcome, DnsResult() the address.
    void DnsLookup(const QString& hostName);
    void CancelDnsLookup();
    QString DnsResult() const { return dnsResult_; }

    // Queues bytes for sending; returns the count taken, or -1 when not connected (the
    // error is then 10057 and nothing is raised).
    qint64 Send(QByteArrayView data);
    // Bytes handed to Send that the network has not taken yet.
    qint64 BufferedByteCount() const;
    // Raw mode: everything received so far.
    QByteArray ReceiveAll();
    // Raw mode: up to `size` bytes of what was received, into `data`; the count taken
    // (0 when nothing waits). A caller that reuses its buffer saves an allocation and a
    // copy per notification, which counts on a fast download.
    qint64 Receive(char* data, qint64 size);

    // Address and port of this end of a connected or listening socket, and of the peer.
    QHostAddress boundAddress() const;
    quint16 boundPort() const;
    QHostAddress peerAddress() const;

    // The orderly end of an upload that still reports: queued data goes out, then this end
    // closes its direction and waits for the peer's close, which OnSessionClosed tells: 0,
    // or 10054 when the peer reset the connection and so dropped data it had taken. False
    // when nothing will be told: the connection is not open, or it is encrypted and closes
    // as Close does (its close_notify tells the peer that the data is whole).
    bool FinishSending();
    // Orderly close: queued data still goes out in the background. Abort drops the
    // connection at once. Neither emits OnSessionClosed, which reports the peer's doing.
    void Close();
    void Abort();

signals:
    void OnSessionConnected(int error);
    void OnSessionAvailable(int error);
    void OnDataAvailable(int error);
    void OnLineReceived(const QByteArray& line);
    // The send buffer ran empty.
    void OnDataSent(int error);
    // The network took `bytes` more of the send buffer.
    void OnBytesWritten(qint64 bytes);
    void OnSessionClosed(int error);
    void OnDnsLookupDone(int error);
    void OnTlsEstablished();

private:
    void startLookup(bool thenConnect);
    void lookupDone(quint64 generation, bool thenConnect, const QHostInfo& info);
    bool startConnect(const QHostAddress& address);
    void attach(QTcpSocket* socket);
    void prepareTls(QSslSocket* ssl);
    void detach(bool abort);
    void end(bool abort); // Close and Abort: the same ending, with or without a graceful close
    void onConnected();
    void beginHandshake();
    void onSslErrors(const QList<QSslError>& errors);
    void onEncrypted();
    void onError(int socketError);
    void onReadyRead();
    void onBytesWritten(qint64 bytes);
    void onDisconnected();
    void deliverLines(quint64 generation);
    void failConnect(int error);
    void finishClosed(int error);
    void adopt(QTcpSocket* socket);
    quint16 connectPort() const;
    void handOver();

    QString addr_;
    QString port_;
    QString proto_ = QStringLiteral("tcp");
    QString localAddr_ = QStringLiteral("0.0.0.0");
    QString localPort_ = QStringLiteral("0");
    bool lineMode_ = false;
    bool loneLf_ = false;
    Tls tls_ = Tls::Off;
    QString pin_;
    QString verifyName_;
    QByteArray session_;
    qsizetype lineLimit_ = 0;

    State state_ = State::Closed;
    int lastError_ = 0;
    int pendingCloseError_ = 0;
    quint16 resolvedPort_ = 0;
    QHostAddress resolvedLocal_;
    quint16 resolvedLocalPort_ = 0;
    QString dnsResult_;
    bool handshaking_ = false;
    bool closeNotified_ = false; // the peer announced its close (TLS close_notify)
    int tlsError_ = 0;           // what verification found, for the handshake's failure
    QString peerSha256_;
    int lookupId_ = -1;
    // Bumped whenever the connection this object stands for changes, so notifications
    // of an old connection (or a handler that closed the socket) stop the delivery.
    quint64 generation_ = 0;
    QTcpSocket* socket_ = nullptr; // child; replaced per connection
    QTcpServer* server_ = nullptr; // child while listening
    bool finishing_ = false;       // FinishSending waits for the send buffer to empty
    QPointer<QObject> halfClosed_; // FinishSending's watch of the peer's close
    LineBuffer lines_;
};

} // namespace ostrel
