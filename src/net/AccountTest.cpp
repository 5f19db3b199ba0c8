#include "net/AccountTest.h"
#include "net/FtpClient.h"
#include "net/SmtpClient.h"
#include "net/WinsockErrors.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

namespace ostrel {

namespace {

// A test gives up sooner than a mail would: the user is waiting in front of it.
constexpr int smtpTestTimeout = 30;

bool isCertificateError(int error) {
    return error >= wsa::CertificateExpired && error <= wsa::CertificateNotPinned;
}

QString names(qsizetype n) {
    return n == 1 ? QStringLiteral("1 name") : QStringLiteral("%1 names").arg(n);
}

} // namespace

QString plainFailure(AccountTest::Kind kind, int result, int error, const QString& message,
                     const QString& host, const QString& port) {
    const QString failed = QStringLiteral("Failed: ");
    switch (error) {
    case wsa::HostNotFound:
    case wsa::NoData:
    case wsa::TryAgain:
    case wsa::NoRecovery:
        return failed + QStringLiteral("the host name \"%1\" was not found.").arg(host);
    case wsa::ConnectionRefused:
        return failed +
               QStringLiteral("nothing answers at %1 on port %2. Check the host name and the port.")
                   .arg(host, port);
    case wsa::TimedOut:
        return failed + QStringLiteral("%1 did not answer in time.").arg(host);
    case wsa::NetworkDown:
    case wsa::NetworkUnreachable:
    case wsa::HostUnreachable:
        return failed +
               QStringLiteral("there is no route to %1. Check the network connection.").arg(host);
    case wsa::TlsHandshakeFailed:
        return failed + QStringLiteral("the secure connection could not be set up. Check the "
                                       "security choice and the port.");
    default:
        break;
    }
    if (isCertificateError(error))
        return failed + QStringLiteral("the server's certificate was refused: %1.")
                            .arg(WSocketErrorDesc(error));
    if (message == QLatin1String(channeltext::Timeout))
        return failed + QStringLiteral("%1 did not answer in time.").arg(host);
    const bool loginRefused = kind == AccountTest::Kind::Ftp
                                  ? result == 530
                                  : (result == 535 || result == 534 || result == 530);
    if (loginRefused)
        return failed + QStringLiteral("the server refused the user name or password (%1).")
                            .arg(message.trimmed());
    return failed + message.trimmed();
}

AccountTest::AccountTest(QObject* parent) : QObject(parent) {}

AccountTest::~AccountTest() {
    cancel();
}

void AccountTest::start(Kind kind, const NetworkSettings& account) {
    cancel();
    kind_ = kind;
    account_ = account;
    running_ = true;
    const quint64 run = ++run_;
    const auto said = [this, run](const QString& prefix) {
        return [this, run, prefix](const QString& line) {
            if (run != run_) return;
            emit conversation(prefix + line); // the clients mask their credentials
        };
    };
    if (kind == Kind::Ftp) {
        ftp_ = std::make_unique<TFtpClient>();
        applyFtpAccount(account, *ftp_);
        connect(ftp_.get(), &TFtpClient::OnCommand, this, said(QStringLiteral("> ")));
        connect(ftp_.get(), &TFtpClient::OnResponse, this, said(QStringLiteral("< ")));
        // The waiting List runs from the event loop, never inside the caller's handler.
        QTimer::singleShot(0, this, [this, run] {
            if (run == run_) runFtp();
        });
        return;
    }
    smtp_ = std::make_unique<TSmtpClient>();
    applySmtpAccount(account, *smtp_);
    smtp_->setTimeout(smtpTestTimeout);
    connect(smtp_.get(), &TSmtpClient::OnCommand, this, said(QStringLiteral("> ")));
    connect(smtp_.get(), &TSmtpClient::OnResponse, this, said(QStringLiteral("< ")));
    connect(smtp_.get(), &TSmtpClient::OnSessionDone, this, [this, run](int error) {
        if (run == run_) smtpSessionDone(error);
    });
    try {
        smtp_->CheckSignOn();
    } catch (const Exception& e) {
        const QString text = QStringLiteral("Failed: ") + e.message();
        QTimer::singleShot(0, this, [this, run, text] {
            if (run == run_) end({false, text, {}});
        });
    }
}

void AccountTest::runFtp() {
    const quint64 run = run_;
    QPointer<AccountTest> self(this);
    listFolder_ = std::make_unique<QTemporaryDir>();
    TFtpClient& ftp = *ftp_;
    ftp.setLocalFileName(listFolder_->filePath(QStringLiteral("list.txt")));
    ftp.setHostDirName({});
    int result = 0;
    const QMetaObject::Connection noted = connect(&ftp, &TFtpClient::OnRequestDone, this,
                                                  [&result](auto, int error) { result = error; });
    const bool ok = ftp.List();
    QObject::disconnect(noted);
    if (!self || run != run_) return; // cancelled or gone while it ran
    if (!ok) {
        end(failure(result, ftp.SocketError(), ftp.ErrorMessage(), ftp.PeerCertificateSha256()));
        return;
    }
    QFile list(ftp.LocalFileName());
    qsizetype count = 0;
    if (list.open(QIODevice::ReadOnly))
        for (const QByteArray& line : list.readAll().split('\n'))
            if (!line.trimmed().isEmpty()) ++count;
    const bool secure = ftp.security() != TFtpClient::Security::None;
    end({true,
         QStringLiteral("Success: logged in to %1%2 and listed the folder (%3).")
             .arg(account_.ftpHost,
                  secure ? QStringLiteral(" over an encrypted connection") : QString(),
                  names(count)),
         {}});
}

void AccountTest::smtpSessionDone(int error) {
    TSmtpClient& smtp = *smtp_;
    if (error == TSmtpClient::StepNotStarted) {
        end({false, QStringLiteral("Failed: ") + smtp.ErrorMessage(), {}});
        return;
    }
    if (error != 0) {
        end(failure(error, smtp.SocketError(), smtp.ErrorMessage(), smtp.PeerCertificateSha256()));
        return;
    }
    const bool secure = smtp.security() != TSmtpClient::Security::None;
    QString text = QStringLiteral("Success: %1 answered").arg(account_.smtpHost);
    if (!secure)
        text += account_.smtpUserName.isEmpty()
                    ? QStringLiteral(" (no encryption, no login).")
                    : QStringLiteral("; no login was tried, because the connection is not "
                                     "encrypted. Choose STARTTLS or TLS to log in.");
    else
        text += account_.smtpUserName.isEmpty()
                    ? QStringLiteral(" over an encrypted connection (no login).")
                    : QStringLiteral(" over an encrypted connection and accepted the login.");
    end({true, text, {}});
}

AccountTest::Outcome AccountTest::failure(int result, int socketError, const QString& message,
                                          const QString& peerSha256) const {
    const bool ftp = kind_ == Kind::Ftp;
    Outcome o;
    o.text = plainFailure(kind_, result, socketError, message,
                          ftp ? account_.ftpHost : account_.smtpHost,
                          ftp ? account_.ftpPort : account_.smtpPort);
    if (isCertificateError(socketError)) o.untrustedSha256 = peerSha256;
    return o;
}

void AccountTest::end(Outcome outcome) {
    running_ = false;
    ++run_;
    emit finished(outcome);
}

void AccountTest::cancel() {
    if (!running_) return;
    running_ = false;
    ++run_;
    if (ftp_) ftp_->Abort();
    if (smtp_) smtp_->Abort();
}

} // namespace ostrel
