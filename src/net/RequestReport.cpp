#include "net/RequestReport.h"

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

std::optional<TSmtpClient::Request> nextSmtpStep(TSmtpClient::Request finished) {
    using R = TSmtpClient::Request;
    switch (finished) {
    case R::Connect:
        return R::Helo;
    case R::Helo:
        return R::MailFrom;
    case R::MailFrom:
        return R::RcptTo;
    case R::RcptTo:
        return R::Data;
    case R::Data:
        return R::Quit;
    case R::Quit:
        break;
    }
    return std::nullopt;
}

RequestReport smtpRequestDone(TSmtpClient& client, TSmtpClient::Request request, int error,
                              bool beepOnErrors) {
    const QString prefix = QStringLiteral(" :   SMTP error = ");
    if (error != 0) return failure(prefix, client.ErrorMessage(), beepOnErrors);
    const auto next = nextSmtpStep(request);
    if (!next || !client.Connected()) return {};
    try {
        switch (*next) {
        case TSmtpClient::Request::Connect:
            client.Connect();
            break;
        case TSmtpClient::Request::Helo:
            client.Helo();
            break;
        case TSmtpClient::Request::MailFrom:
            client.MailFrom();
            break;
        case TSmtpClient::Request::RcptTo:
            client.RcptTo();
            break;
        case TSmtpClient::Request::Data:
            client.Data();
            break;
        case TSmtpClient::Request::Quit:
            client.Quit();
            break;
        }
    } catch (const Exception& e) {
        return failure(prefix, e.message(), beepOnErrors);
    }
    return {};
}

} // namespace ostrel
