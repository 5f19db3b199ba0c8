#include "app/TransferController.h"
#include "platform/Guard.h"
#include "app/mainf.h"
#include "net/RequestReport.h"
#include "platform/Desktop.h"
#include <QApplication>
#include <QLabel>

namespace ostrel {

TransferController::TransferController(TMain& main) : QObject(&main), main_(main) {
    connect(main.FtpClient(), &TFtpClient::OnCommand, this,
            guarded([this](const QString& line) { FtpClientCommand(line); }));
    connect(main.FtpClient(), &TFtpClient::OnRequestDone, this,
            guarded([this](TFtpClient::Request rq, int error) { FtpClientRequestDone(rq, error); }));
    connect(main.SmtpClient(), &TSmtpClient::OnRequestDone, this,
            guarded([this](TSmtpClient::Request rq, int error) {
                SmtpClientRequestDone(rq, error);
            }));
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
    const FtpRequestOutcome outcome = ftpRequestDone(error, ftp->Tag(), ftp->ErrorMessage(),
                                                     main_.errorLog().beepOnErrors());
    if (hourglass_) {
        QApplication::restoreOverrideCursor();
        hourglass_ = false;
    }
    ftp->setTag(outcome.tag);
    if (outcome.reestablish && onReestablished) onReestablished();
    report(outcome.report);
}

void TransferController::SmtpClientRequestDone(TSmtpClient::Request rqType, int error) {
    report(smtpRequestDone(*main_.SmtpClient(), rqType, error, main_.errorLog().beepOnErrors()));
}

void TransferController::report(const RequestReport& r) {
    if (!r.failed) return;
    if (r.beep) desktop().messageBeep();
    if (!r.statusText.isEmpty()) main_.statusPanel(1)->setText(r.statusText);
    if (!r.logEntry.isEmpty()) main_.errorLog().add(r.logEntry);
}

} // namespace ostrel
