#include "app/RequestReport.h"

namespace ostrel {

namespace {

RequestReport failure(const QString& prefix, const QString& message, bool beepOnErrors) {
    RequestReport r;
    r.failed = true;
    r.beep = beepOnErrors;
    r.statusText = message;
    r.logEntry = prefix + message;
    return r;
}

} // namespace

FtpRequestOutcome ftpRequestDone(int error, int tag, const QString& errorMessage,
                                 bool beepOnErrors) {
    FtpRequestOutcome out;
    if (error == 0) {
        out.reestablish = tag == ftptag::Suspended;
        out.tag = ftptag::Succeeded;
        return out;
    }
    out.report = failure(QStringLiteral(" :   FTP error = "), errorMessage, beepOnErrors);
    out.tag = ftptag::Failed;
    return out;
}

RequestReport smtpMailDone(int error, const QString& errorMessage, bool beepOnErrors) {
    if (error == 0) return {};
    return failure(QStringLiteral(" :   SMTP error = "), errorMessage, beepOnErrors);
}

} // namespace ostrel
