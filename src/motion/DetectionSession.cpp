#include "motion/DetectionSession.h"
#include "platform/DateTimeText.h"

namespace ostrel {

QString motionSessionName(const QDateTime& start) {
    return fileNameSafe(dateTimeToStr(start));
}

QString motionImageName(int number) {
    return QStringLiteral("image%1.jpg").arg(number, 3, 10, QLatin1Char('0'));
}

int nextMotionImageNumber(int counter) {
    return counter >= 999 || counter < 0 ? 1 : counter + 1;
}

QString motionRemoteName(const QString& sessionName, const QTime& detection) {
    return fileNameSafe(sessionName + QStringLiteral("_") + timeToStr(detection) +
                        QStringLiteral(".jpg"));
}

QString detectCountText(int count) {
    return QStringLiteral(" Latest Motion Detection Count: %1 ").arg(count);
}

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
                   const QString& remoteName) {
    return {appName + QStringLiteral(" ") + camera +
                QStringLiteral(" motion detection - Session: ") + sessionName,
            {appName + QStringLiteral(" - Camera: ") + camera,
             QStringLiteral("(Date__Session Start__Time)"), remoteName}};
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

} // namespace ostrel
