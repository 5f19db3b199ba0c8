#pragma once
// What the main window's request-done handlers do with a finished FTP or SMTP request,
// computed without the window: whether to beep, what status bar panel 1 shows, which
// error log entry to add, and the FTP transfer state (Tag) that follows.
#include <QString>

namespace ostrel {

struct RequestReport {
    bool failed = false;
    bool beep = false;  // the default message sound
    QString statusText; // for status bar panel 1; empty: leave it as it is
    QString logEntry;   // for ErrorLog::add(entry, true) (which logs only while Log Errors is on)
};

// The FTP transfer state kept in TFtpClient::Tag.
namespace ftptag {
inline constexpr int None = 0;
inline constexpr int Succeeded = 1;
inline constexpr int Failed = 2;
inline constexpr int Suspended = 3;
} // namespace ftptag

struct FtpRequestOutcome {
    RequestReport report;
    int tag = ftptag::None;   // the new Tag
    bool reestablish = false; // a success while suspended: the website update comes back
};

// FtpClientRequestDone: a request failed when its error is not 0. The client reports 0
// for every chain that succeeded, so any other number (an unexpected 1xx-3xx reply as
// much as a 5xx one) is a failure and never sets the state to "succeeded".
FtpRequestOutcome ftpRequestDone(int error, int tag, const QString& errorMessage,
                                 bool beepOnErrors);

// The end of a mail (TSmtpClient::OnSessionDone): a failure is reported.
RequestReport smtpMailDone(int error, const QString& errorMessage, bool beepOnErrors);

} // namespace ostrel
