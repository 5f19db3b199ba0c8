#pragma once
// The pure parts of the website update and its failure handling: the interval rule, the
// suspension bookkeeping and the texts it logs, shows and mails.
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace ostrel {

struct UpdateInterval {
    int milliseconds = 60000;
    QString fieldText; // what the interval field shows afterwards
};
// Whole minutes from the field, clamped to 1..999 before any multiplication; an empty or
// unreadable field counts as 1 minute. The field is rewritten when the value was clamped.
UpdateInterval updateIntervalFromField(const QString& text);

constexpr int SuspensionInterval = 600000; // 10 minutes
constexpr int DisableThreshold = 8;

// The remote names of the two website pictures and the local stop pictures.
inline const QString RemoteCaptureName = QStringLiteral("Capture.jpg");
inline const QString RemoteStampName = QStringLiteral("datetime.bmp");
inline const QString StopCaptureName = QStringLiteral("stopcap.jpg");
inline const QString StopStampName = QStringLiteral("stoptime.bmp");

inline const QString SuspendedLogEntry =
    QStringLiteral(" :   FTP Host unreachable. Website Update will be suspended during 10 minutes.");
inline const QString DisabledLogEntry = QStringLiteral(
    " :   Website Update was disabled. Reason: consistent FTP errors: host unreachable");
inline const QString ReestablishedLogEntry = QStringLiteral(
    " :   Website Update was reestablished. Reason: FTP Host is reachable again");
// Lines separated by single carriage returns, as the message box shows them.
inline const QString DisabledWarning =
    QStringLiteral("         Website Update was disabled.\rReason: consistent FTP errors: host "
                   "unreachable.\r       Check Host and Network Settings.");

// The suspension line is logged for the second to the seventh failure in a row.
inline bool logsSuspension(int failureCount) { return failureCount >= 2 && failureCount <= 7; }

} // namespace ostrel
