#include "app/TransferController.h"
#include "app/ErrorLog.h"
#include "app/MainWindowParts.h"
#include "app/RequestReport.h"
#include "net/NetworkSettings.h"
#include "platform/Desktop.h"
#include "platform/Guard.h"
#include <QApplication>
#include <QLabel>

namespace ostrel {

TransferController::TransferController(MainWindowParts& main, QObject* parent)
    : QObject(parent), main_(main) {
    connect(main.FtpClient(), &TFtpClient::OnCommand, this,
            guarded([this](const QString& line) { FtpClientCommand(line); }));
    connect(
        main.FtpClient(), &TFtpClient::OnRequestDone, this,
        guarded([this](TFtpClient::Request rq, int error) { FtpClientRequestDone(rq, error); }));
    connect(main.SmtpClient(), &TSmtpClient::OnSessionDone, this,
            guarded([this](int error) { SmtpClientMailDone(error); }));
}

TransferController::~TransferController() {
    if (hourglass_) QApplication::restoreOverrideCursor();
}

void TransferController::FtpClientCommand(const QString&) {
    if (hourglass_) return; // one hourglass for the whole chain
    QApplication::setOverrideCursor(Qt::WaitCursor);
    hourglass_ = true;
}

void TransferController::FtpClientRequestDone(TFtpClient::Request, int error) {
    auto* ftp = main_.FtpClient();
    const FtpRequestOutcome outcome =
        ftpRequestDone(error, ftp->Tag(), ftp->ErrorMessage(), main_.errorLog().beepOnErrors());
    if (hourglass_) {
        QApplication::restoreOverrideCursor();
        hourglass_ = false;
    }
    ftp->setTag(outcome.tag);
    if (outcome.reestablish && onReestablished) onReestablished();
    main_.report(outcome.report);
}

void TransferController::SmtpClientMailDone(int error) {
    main_.report(
        smtpMailDone(error, main_.SmtpClient()->ErrorMessage(), main_.errorLog().beepOnErrors()));
}

} // namespace ostrel
