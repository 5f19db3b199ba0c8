#include "app/Outbox.h"
#include "app/ErrorLog.h"
#include "app/MainWindowParts.h"
#include "app/RequestReport.h"
#include "net/NetworkSettings.h"
#include "net/SmtpClient.h"
#include "platform/Exception.h"
#include "platform/Guard.h"

namespace ostrel {

Outbox::Outbox(MainWindowParts& main, QObject* parent) : QObject(parent), main_(main) {
    // Queued: the request's own handler has finished its step before this looks.
    connect(main.SmtpClient(), &TSmtpClient::OnSessionDone, this, guarded([this] { sendNext(); }),
            Qt::QueuedConnection);
}

void Outbox::send(const MailText& mail) {
    if (pending_.size() < MostPending) pending_.append(mail);
    sendNext();
}

void Outbox::sendNotice(const MailText& mail) {
    const NetworkSettings& net = main_.network();
    if (net.smtpHost.isEmpty() || net.destinationAddress.isEmpty()) return;
    send(mail);
}

void Outbox::sendNext() {
    auto* smtp = main_.SmtpClient();
    if (pending_.isEmpty() || !smtp->Ready() || smtp->Connected()) return;
    const MailText mail = pending_.takeFirst();
    // The addresses as saved now.
    const NetworkSettings& net = main_.network();
    smtp->setRcptName(mailRecipients(net.destinationAddress, net.ccAddress));
    smtp->setHdrSubject(mail.subject);
    smtp->MailMessage() = mail.lines;
    smtp->EmailFiles().clear();
    try {
        for (const QString& file : mail.files)
            smtp->addEmailFile(file);
        smtp->SendMail();
    } catch (const Exception& e) {
        // A mail that cannot even start (no host, a port that is no number, an attachment
        // gone) is reported like one that failed on its way; the next one still gets its turn.
        main_.report(smtpMailDone(TSmtpClient::StepNotStarted, e.message(),
                                  main_.errorLog().beepOnErrors()));
        sendNext();
    }
}

} // namespace ostrel
