#include "app/NoticeMail.h"
#include "app/ErrorLog.h"
#include "app/MainWindowParts.h"
#include "net/NetworkSettings.h"
#include "net/RequestReport.h"
#include "net/SmtpClient.h"
#include "platform/Exception.h"
#include "platform/Guard.h"

namespace ostrel {

void startMail(MainWindowParts& main) {
    try {
        main.SmtpClient()->Connect();
    } catch (const Exception& e) {
        RequestReport r;
        r.failed = true;
        r.beep = main.errorLog().beepOnErrors();
        r.statusText = e.message();
        r.logEntry = QStringLiteral(" :   SMTP error = ") + e.message();
        main.report(r);
    }
}

NoticeMail::NoticeMail(MainWindowParts& main, QObject* parent) : QObject(parent), main_(main) {
    // Queued: the request's own handler has finished its step before this looks.
    connect(main.SmtpClient(), &TSmtpClient::OnRequestDone, this, guarded([this] { sendNext(); }),
            Qt::QueuedConnection);
}

void NoticeMail::send(const QString& subject, const QStringList& lines) {
    const NetworkSettings& net = main_.network();
    if (net.smtpHost.isEmpty() || net.destinationAddress.isEmpty()) return;
    if (pending_.size() < MostPending) pending_.append({subject, lines});
    sendNext();
}

void NoticeMail::sendNext() {
    auto* smtp = main_.SmtpClient();
    if (pending_.isEmpty() || !smtp->Ready() || smtp->Connected()) return;
    const MailText mail = pending_.takeFirst();
    // The addresses as saved now, as for every mail of its own.
    const NetworkSettings& net = main_.network();
    smtp->RcptName().clear();
    smtp->RcptName().append(net.destinationAddress);
    if (!net.ccAddress.isEmpty() && net.ccAddress != net.destinationAddress)
        smtp->RcptName().append(net.ccAddress);
    smtp->EmailFiles().clear();
    smtp->setHdrSubject(mail.subject);
    smtp->MailMessage() = mail.lines;
    startMail(main_);
}

} // namespace ostrel
