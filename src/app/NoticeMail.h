#pragma once
// Mails the program sends of its own accord (the camera lost, the camera back). Each one
// waits until the one SMTP client is free, so a mail under way is never rewritten.
#include "motion/DetectionSession.h"
#include <QList>
#include <QObject>

namespace ostrel {

class MainWindowParts;

// Starts the mail the SMTP client holds; a mail that cannot even start (no host, a port
// that is no number) is reported like one that failed on its way.
void startMail(MainWindowParts& main);

class NoticeMail : public QObject {
    Q_OBJECT
public:
    NoticeMail(MainWindowParts& main, QObject* parent);
    // Sends a mail to the destination address (and the copy address) when the client is
    // next free; without a mail account or a destination there is nobody to tell.
    void send(const QString& subject, const QStringList& lines);
    template <typename Mail> void send(const Mail& mail) { send(mail.subject, mail.lines); }
    int pending() const { return int(pending_.size()); }

    static constexpr int MostPending = 8; // a camera that comes and goes is no mail flood

private:
    void sendNext();

    MainWindowParts& main_;
    QList<MailText> pending_;
};

} // namespace ostrel
