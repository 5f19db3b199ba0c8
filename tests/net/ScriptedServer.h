#pragma once
// A server that follows a script, for the replies no real server sends: split greetings,
// lone LF, silence, floods, drops in the middle of a transfer, foreign passive addresses.
// Each exchange names the command line the client must send and what the server answers;
// the test then compares the commands received with the ones expected, the way curl's
// protocol tests do.
#include <QHostAddress>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

namespace ostrel::test {

// What the data connection does once the exchange's reply has gone out.
enum class DataAction {
    None,
    Send,          // send `payload`, close, then replyAfterData
    SendSlowly,    // the same in `slowPieces` pieces, `slowIntervalMs` apart
    Receive,       // read until the client closes, then replyAfterData
    ReceiveAndCut, // read a little, cut the data connection, then replyAfterData anyway
    DropMidway,    // send half of `payload`, then cut data and control connection
    Message,       // SMTP: collect message lines up to ".", then replyAfterData
};

struct Exchange {
    QByteArray command; // the client's line; "" = the greeting; a trailing '*' matches any rest
    QByteArray reply;   // bytes sent in answer, see below
    DataAction data = DataAction::None;
    QByteArray replyAfterData;
};
inline Exchange greet(QByteArray reply) {
    return {QByteArray(), std::move(reply), DataAction::None, QByteArray()};
}
inline Exchange on(QByteArray command, QByteArray reply, DataAction data = DataAction::None,
                   QByteArray after = {}) {
    return {std::move(command), std::move(reply), data, std::move(after)};
}
// Reply text: "{pasv}" becomes "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" for a data
// listener opened right then; "{pause}" splits the reply into pieces sent 40 ms apart;
// "{endless}" floods continuation lines and "{endless-line}" one line that never ends, for
// as long as the client reads; "{drop}" cuts the connection; an empty reply is silence.

class ScriptedServer : public QObject {
    Q_OBJECT
public:
    explicit ScriptedServer(QList<Exchange> script, QObject* parent = nullptr);
    ~ScriptedServer() override;

    quint16 port() const { return server_.serverPort(); }

    // Settings.
    QByteArray payload;
    QHostAddress pasvAddress{QHostAddress::LocalHost}; // the address a {pasv} reply names
    int slowPieces = 6;
    int slowIntervalMs = 300;

    // What happened.
    QStringList commands; // every line the client sent, in order
    QStringList scripted; // the command lines the script expects, in order
    // `commands`, each line matched by a trailing-'*' pattern shown as that pattern: equal to
    // `scripted` exactly when the client sent the whole script and nothing else.
    QStringList commandsAsScripted() const;
    QByteArray received; // data received on the data connection, or the SMTP message
    qint64 flooded = 0;  // bytes sent by {endless}
    bool controlClosed() const {
        return !control_ || control_->state() == QAbstractSocket::UnconnectedState;
    }

private:
    void onConnection();
    void onLine(const QByteArray& line);
    void sendReply(QByteArray reply);
    void writePieces(QList<QByteArray> pieces);
    void flood();
    void startData(DataAction action, QByteArray after);
    void withData(std::function<void(QTcpSocket*)> f);
    void dataFinished(const QByteArray& after);
    void onDataConnection();

    QList<Exchange> script_;
    QTcpServer server_;
    QTcpServer dataServer_;
    QPointer<QTcpSocket> control_;
    QPointer<QTcpSocket> data_;
    QByteArray lineBuffer_;
    QHostAddress portAddress_;
    quint16 portPort_ = 0;
    std::function<void(QTcpSocket*)> pendingData_;
    bool collectingMessage_ = false;
    QByteArray afterMessage_;
    QByteArray floodLine_;
};

} // namespace ostrel::test

Q_DECLARE_METATYPE(ostrel::test::Exchange)
Q_DECLARE_METATYPE(QList<ostrel::test::Exchange>)
