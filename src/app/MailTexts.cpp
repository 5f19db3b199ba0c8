#include "app/MailTexts.h"
#include "platform/DateTimeText.h"

namespace ostrel {

MailText notificationMail(const QString& appName, const QString& camera,
                          const QDateTime& detection) {
    return {appName + QStringLiteral(": motion detection notification."),
            {QStringLiteral(" "),
             appName + QStringLiteral(": motion detection notification - Camera: ") + camera,
             QStringLiteral(" "),
             QStringLiteral("Movement was detected on ") + dateTimeToStr(detection) +
                 QStringLiteral(" (local system time)."),
             QStringLiteral(" "),
             QStringLiteral("These are the date and time of the first detection only."),
             QStringLiteral("Subsequent detections during the same session are not notified."),
             QStringLiteral("Please check the image files uploaded to your remote FTP server.")}};
}

MailText imageMail(const QString& appName, const QString& camera, const QString& sessionName,
                   const QString& remoteName, const QString& imageFile) {
    return {appName + QStringLiteral(" ") + camera +
                QStringLiteral(" motion detection - Session: ") + sessionName,
            {appName + QStringLiteral(" - Camera: ") + camera,
             QStringLiteral("(Date__Session Start__Time)"), remoteName},
            {imageFile}};
}

MailText cameraMail(const QString& appName, const QString& camera, const QString& device, bool lost,
                    const QDateTime& when) {
    const QString what = lost ? QStringLiteral("camera lost") : QStringLiteral("camera back");
    QStringList lines{QStringLiteral(" "),
                      appName + QStringLiteral(": ") + what + QStringLiteral(" - Camera: ") +
                          camera,
                      QStringLiteral(" ")};
    if (lost) {
        lines << QStringLiteral("The capture device \"") + device +
                     QStringLiteral("\" went away on ") + dateTimeToStr(when) +
                     QStringLiteral(" (local system time).")
              << QStringLiteral("No pictures are taken until it comes back; ") + appName +
                     QStringLiteral(" opens it again by itself and will tell you.");
    } else {
        lines << QStringLiteral("The capture device \"") + device +
                     QStringLiteral("\" is back since ") + dateTimeToStr(when) +
                     QStringLiteral(" (local system time).")
              << QStringLiteral("The live picture, a running detection session and the website "
                                "update go on.");
    }
    return {appName + QStringLiteral(": ") + what + QStringLiteral("."), lines};
}

MailText websiteDisabledMail(const QString& appName, const QString& camera, const QDateTime& when) {
    return {
        appName + QStringLiteral(": Notification of Website Update error."),
        {QStringLiteral(" "),
         appName + QStringLiteral(":  Notification of Website Update error - Camera: ") + camera,
         QStringLiteral(" "),
         QStringLiteral("There were consistent FTP errors while trying the periodic Website "
                        "Update function of ") +
             appName + QStringLiteral("."),
         QStringLiteral("The remote host was unreachable and remained unreachable after "
                        "several attempts during one hour."),
         QStringLiteral(" "),
         appName + QStringLiteral(" has stopped trying to update your website on ") +
             dateTimeToStr(when) + QStringLiteral(" (local system time)."),
         QStringLiteral(" "),
         QStringLiteral("Please check your remote host and your network settings.")}};
}

MailText diskShortageMail(const QString& appName, const QString& camera, const QDateTime& when,
                          qint64 freeMb, int wantedMb) {
    return {appName + QStringLiteral(": Notification of low disk space."),
            {QStringLiteral(" "),
             appName + QStringLiteral(":  Notification of low disk space - Camera: ") + camera,
             QStringLiteral(" "),
             QStringLiteral("Only %1 MB are free on the disk of the program folder, and %2 MB "
                            "are to be kept free.")
                 .arg(freeMb)
                 .arg(wantedMb),
             QStringLiteral("No older motion session is left to delete: detection images, "
                            "recordings and website pictures are not saved since ") +
                 dateTimeToStr(when) + QStringLiteral(" (local system time)."),
             QStringLiteral(" "),
             QStringLiteral("Saving resumes by itself when there is room again.")}};
}

} // namespace ostrel
