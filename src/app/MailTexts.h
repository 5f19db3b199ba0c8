#pragma once
// The texts of every mail the program sends by itself, in one place so that their wording
// stays alike. appName is the program's name; times are local, in the short date and long
// time of the locale.
#include <QDateTime>
#include <QStringList>

namespace ostrel {

struct MailText {
    QString subject;
    QStringList lines;
    QStringList files = {}; // attachments
};

// The one mail of a session that announces its first detection (FTP mode).
MailText notificationMail(const QString& appName, const QString& camera,
                          const QDateTime& detection);
// The mail that carries a detection image (e-mail mode).
MailText imageMail(const QString& appName, const QString& camera, const QString& sessionName,
                   const QString& remoteName, const QString& imageFile);
// The mails that tell the camera went away (`lost`) or is back, naming its device.
MailText cameraMail(const QString& appName, const QString& camera, const QString& device, bool lost,
                    const QDateTime& when);
// The website update gave up after failing for an hour.
MailText websiteDisabledMail(const QString& appName, const QString& camera, const QDateTime& when);
// The one mail of a disk shortage: what is free, what is wanted, since when nothing is saved.
MailText diskShortageMail(const QString& appName, const QString& camera, const QDateTime& when,
                          qint64 freeMb, int wantedMb);

} // namespace ostrel
