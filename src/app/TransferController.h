#pragma once
// The end of every FTP and SMTP request, whichever window started it: the FTP transfer
// state (Tag), the hourglass, and the report of failures (beep, status bar, error log);
// for SMTP also the next step of the mail under way.
#include "net/FtpClient.h"
#include "net/SmtpClient.h"
#include <QObject>
#include <functional>

namespace ostrel {

class MainWindowParts;
struct RequestReport;

class TransferController : public QObject {
    Q_OBJECT
public:
    TransferController(MainWindowParts& main, QObject* parent);
    ~TransferController() override;

    void FtpClientCommand(const QString& line);
    void FtpClientRequestDone(TFtpClient::Request rqType, int error);
    void SmtpClientMailDone(int error);

    // Called when a request succeeds while the website update is suspended.
    std::function<void()> onReestablished;

private:
    MainWindowParts& main_;
    bool hourglass_ = false;
};

} // namespace ostrel
