#pragma once
// A server that answers from a table, for the replies no real server sends: split greetings,
// lone LF, silence, floods, drops in the middle of a transfer, foreign passive addresses.
// Every line the client sends is recorded, so a test states the exact command lines it
// expects, the way curl's protocol tests do.
//
// The table maps a command to its reply, looked up by the whole line, then by the verb; ""
// is the greeting. A reply is sent as
// written, with CR LF added to a reply that does not end in LF; "" is silence. In a reply,
// "{pasv}" becomes "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" for a data listener opened
// right then; "{pause}" splits it into pieces sent 40 ms apart; "{drop}" cuts the
// connection; "{endless}" floods continuation lines and "{endless-line}" one line that never
// ends. One data token splits a reply in two: the part after it follows when the data
// connection is done: "{send}" the payload, "{send-slowly}" the same in six pieces,
// "{send-endless}" data for as long as the client takes it, "{trickle}" a byte every 200 ms
// for ever,
// "{receive}" until the client closes, "{receive-cut}" a little then a cut, "{drop-midway}"
// half the payload and then a cut of both connections (the rest is never sent), "{message}"
// (SMTP) the message lines up to ".", which are not kept.
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

namespace ostrel::test {

using Replies = QList<QPair<QByteArray, QByteArray>>;

class ScriptedServer : public QObject {
    Q_OBJECT
public:
    // `replies` override `defaults` entry by entry.
    ScriptedServer(const Replies& defaults, const Replies& replies);

    quint16 port() const { return server_.serverPort(); }

    // Settings.
    QByteArray payload;
    QHostAddress pasvAddress{QHostAddress::LocalHost}; // the address a {pasv} reply names

    // What happened.
    QStringList commands; // every line the client sent, in order
    QByteArray received;  // data received on the data connection
    qint64 flooded = 0;   // bytes sent by {endless}
    bool controlClosed() const {
        return !control_ || control_->state() == QAbstractSocket::UnconnectedState;
    }

private:
    void onLine(const QByteArray& line);
    void reply(QByteArray text);
    void send(const QByteArray& text);
    void writePieces(QList<QByteArray> pieces);
    // Writes `chunk` for as long as the client takes it, up to a cap.
    void floodWith(QTcpSocket* socket, const QByteArray& chunk);
    void startData(const QByteArray& action, const QByteArray& after);
    void withData(std::function<void(QTcpSocket*)> f);
    void dataDone(const QByteArray& after);

    QHash<QByteArray, QByteArray> table_;
    QTcpServer server_;
    QTcpServer dataServer_;
    QPointer<QTcpSocket> control_;
    QPointer<QTcpSocket> data_;
    QByteArray lineBuffer_;
    std::function<void(QTcpSocket*)> pendingData_;
    bool inMessage_ = false;
    QByteArray afterMessage_;
};

// What an FTP server answers that works; a test overrides what its case is about.
inline const Replies ftpServer{
    {"", "220 scripted server ready"},
    {"USER", "331 Password required"},
    {"PASS", "230 Logged in"},
    {"CWD", "250 Directory changed"},
    {"TYPE", "200 Type set to I"},
    {"PASV", "{pasv}"},
    {"PORT", "200 PORT ok"},
    {"RETR", "150 Opening BINARY mode data connection\r\n{send}226 Transfer complete"},
    {"STOR", "150 Ok\r\n{receive}226 Transfer complete"},
    {"NLST", "150 Here comes the list\r\n{send}226 Done"},
    {"DELE", "250 Deleted"},
    {"QUIT", "221 Bye"},
};

} // namespace ostrel::test

Q_DECLARE_METATYPE(ostrel::test::Replies)
