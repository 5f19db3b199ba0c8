#include "net/WinsockErrors.h"

#include <algorithm>
#include <iterator>

namespace ostrel {

namespace {

struct ErrorText {
    int code;
    const char* text;
};

// Sorted by code for the binary search below.
constexpr ErrorText errorTexts[] = {
    {0, "No Error"},
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Protocol wrong type for socket"},
    {10042, "Protocol not available"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Address not available"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection on reset"},
    {10053, "Connection aborted"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references: can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network sub-system is unusable"},
    {10092, "WinSock DLL cannot support this application"},
    {10093, "WinSock not initialized"},
    {10200, "TLS handshake failed"},
    {10201, "The server's certificate has expired"},
    {10202, "The server's certificate is not valid yet"},
    {10203, "The server's certificate is for another host name"},
    {10204, "The server's certificate is self-signed and not trusted"},
    {10205, "The server's certificate was issued by an unknown authority"},
    {10206, "The server's certificate is not trusted"},
    {10207, "The server's certificate does not match the trusted fingerprint"},
    {11001, "Host not found"},
    {11002, "Non-authoritative host not found"},
    {11003, "Non-recoverable error"},
    {11004, "No Data"},
};

} // namespace

QString WSocketErrorDesc(int code) {
    const auto* end = std::end(errorTexts);
    const auto* it = std::lower_bound(std::begin(errorTexts), end, code,
                                      [](const ErrorText& e, int c) { return e.code < c; });
    if (it != end && it->code == code) return QString::fromLatin1(it->text);
    return QStringLiteral("Not a WinSock error");
}

QString winsockErrorTail(int code) {
    return QStringLiteral("%1 (Winsock error #%2)").arg(WSocketErrorDesc(code)).arg(code);
}

int winsockErrorFromSocket(QAbstractSocket::SocketError error, const QString& errorString) {
    using E = QAbstractSocket::SocketError;
    switch (error) {
    case E::ConnectionRefusedError:
        return wsa::ConnectionRefused;
    case E::RemoteHostClosedError:
        return wsa::ConnectionReset;
    case E::HostNotFoundError:
        return wsa::HostNotFound;
    case E::SocketAccessError:
        return wsa::AccessDenied;
    case E::SocketResourceError:
        return wsa::NoBufferSpace;
    case E::SocketTimeoutError:
        return wsa::TimedOut;
    case E::DatagramTooLargeError:
        return wsa::MessageTooLong;
    case E::AddressInUseError:
        return wsa::AddressInUse;
    case E::SocketAddressNotAvailableError:
        return wsa::AddressNotAvailable;
    case E::UnsupportedSocketOperationError:
        return wsa::OperationNotSupported;
    case E::UnfinishedSocketOperationError:
        return wsa::InProgress;
    case E::TemporaryError:
        return wsa::WouldBlock;
    case E::OperationError:
        return wsa::InvalidArgument;
    case E::NetworkError:
    case E::UnknownSocketError:
    default:
        // Qt folds several system errors into these two; its (untranslated) text tells them apart.
        if (errorString.contains(QLatin1String("timed out"), Qt::CaseInsensitive))
            return wsa::TimedOut;
        if (errorString.contains(QLatin1String("Network unreachable"), Qt::CaseInsensitive))
            return wsa::NetworkUnreachable;
        if (errorString.contains(QLatin1String("Host unreachable"), Qt::CaseInsensitive))
            return wsa::HostUnreachable;
        if (errorString.contains(QLatin1String("refused"), Qt::CaseInsensitive))
            return wsa::ConnectionRefused;
        return error == E::NetworkError ? wsa::NetworkDown : wsa::ConnectionAborted;
    }
}

int winsockErrorFromLookup(QHostInfo::HostInfoError error) {
    switch (error) {
    case QHostInfo::NoError:
        return wsa::NoError;
    case QHostInfo::HostNotFound:
        return wsa::HostNotFound;
    case QHostInfo::UnknownError:
        return wsa::TryAgain;
    }
    return wsa::NoRecovery;
}

} // namespace ostrel
