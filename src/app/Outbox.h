#pragma once
// Every mail the program sends by itself: a detection's notification or image, the camera
// lost or back, a full disk, the website update given up. Each waits its turn for the one
// SMTP client, so a mail under way (the user's own test among them) is never rewritten and
// none is dropped because another was on its way.
#include "app/MailTexts.h"
#include <QList>
#include <QObject>

namespace ostrel {

class MainWindowParts;

class Outbox : public QObject {
    Q_OBJECT
public:
    Outbox(MainWindowParts& main, QObject* parent);
    // A mail the user asked for: it goes even without a server or an address, so that
    // the missing setting is reported like any mail that failed on its way.
    void send(const MailText& mail);
    // A notice the program adds of its own accord: without a mail server or a destination
    // there is nobody to tell.
    void sendNotice(const MailText& mail);
    int pending() const { return int(pending_.size()); }

    static constexpr int MostPending = 8; // a camera that comes and goes is no mail flood

private:
    void sendNext();

    MainWindowParts& main_;
    QList<MailText> pending_;
};

} // namespace ostrel
