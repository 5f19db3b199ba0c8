#include "web/WebsiteUpdate.h"
#include "platform/DateTimeText.h"

namespace ostrel {

UpdateInterval updateIntervalFromField(const QString& text) {
    UpdateInterval result;
    bool ok = false;
    // Digits only reach the field by typing; anything else was pasted or is empty.
    const qlonglong minutes = text.trimmed().toLongLong(&ok);
    int clamped = 1;
    if (ok) clamped = int(std::clamp<qlonglong>(minutes, 1, 999));
    result.milliseconds = clamped * 60000;
    result.fieldText = (ok && clamped == minutes) ? text : QString::number(clamped);
    return result;
}

FailureMail websiteDisabledMail(const QString& appName, const QString& camera,
                                const QDateTime& when) {
    return {appName + QStringLiteral(": Notification of Website Update error."),
            {QStringLiteral(" "),
             appName + QStringLiteral(":  Notification of Website Update error - Camera: ") +
                 camera,
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

} // namespace ostrel
