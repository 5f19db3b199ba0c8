#pragma once
// AccountTest: tries an account's settings with a real login on a client of its own, so a
// running website update or mail is not disturbed. FTP: connect, log in, list the folder,
// quit. SMTP: connect, greet, secure the connection and log in as chosen, quit. The
// conversation is handed out line by line and the end told in plain words, so a user can
// fix a setting without reading a log.
#include "net/NetworkSettings.h"
#include <QObject>
#include <QString>
#include <memory>

class QTemporaryDir;

namespace ostrel {

class TFtpClient;
class TSmtpClient;

class AccountTest : public QObject {
    Q_OBJECT
public:
    enum class Kind { Ftp, Smtp };
    struct Outcome {
        bool ok = false;
        QString text; // plain words
        // The server's certificate when verification refused it: what a user may trust.
        QString untrustedSha256;
    };

    explicit AccountTest(QObject* parent = nullptr);
    ~AccountTest() override;

    // Starts a test of `account`'s FTP or e-mail settings; `finished` tells the end, from
    // the event loop. A test still running is cancelled first.
    void start(Kind kind, const NetworkSettings& account);
    // Ends a running test at once; `finished` is not emitted for it.
    void cancel();
    bool running() const { return running_; }

signals:
    // "> command" for what was sent (passwords masked), "< reply" for what came back.
    void conversation(const QString& line);
    void finished(const ostrel::AccountTest::Outcome& outcome);

private:
    void runFtp();
    void smtpSessionDone(int error);
    void end(Outcome outcome);
    Outcome failure(int result, int socketError, const QString& message,
                    const QString& peerSha256) const;

    Kind kind_ = Kind::Ftp;
    NetworkSettings account_;
    bool running_ = false;
    quint64 run_ = 0; // numbers the runs, so a cancelled one stays silent
    std::unique_ptr<TFtpClient> ftp_;
    std::unique_ptr<TSmtpClient> smtp_;
    std::unique_ptr<QTemporaryDir> listFolder_;
};

// What a failed test says: the reason in plain words from the socket error behind the
// failure, else the request's result (a server's reply code) and its error message.
QString plainFailure(AccountTest::Kind kind, int result, int socketError, const QString& message,
                     const QString& host, const QString& port);

} // namespace ostrel
