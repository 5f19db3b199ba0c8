#pragma once
// The certificate of a camera reached over TLS. FFmpeg, built here with GnuTLS, accepts any
// certificate unless told to verify, and cannot trust one by its fingerprint. So the
// certificate is first checked with Qt the way the program's accounts check theirs (the
// system's store and the host name, else one SHA-256 fingerprint the user trusts), and
// FFmpeg is then handed exactly that certificate as the only one it may accept, with
// verification on: a server that shows FFmpeg's own connection anything else is refused.
// FFmpeg 5.1 opens an rtsps:// connection without any of its TLS options, so there nothing
// could be verified: such an address is refused instead.
#include <QMap>
#include <QString>
#include <functional>
#include <memory>

class QTemporaryFile;

namespace ostrel {

struct CameraTrust {
    QString refusal;         // plain words; empty: FFmpeg may open the address
    QString untrustedSha256; // the refused certificate's fingerprint, which the user may trust
    QMap<QString, QString> options;              // for FFmpeg's TLS
    std::shared_ptr<QTemporaryFile> certificate; // the file `ca_file` names
};

// Whether FFmpeg would speak TLS for this address.
bool isTlsAddress(const QString& url);

// For `url` (what FFmpeg opens, login included). Nothing to do for a plain address. For an
// https address the server's certificate is fetched and checked; when no certificate can be
// had (nothing answers, no TLS), FFmpeg still verifies against the system's store and host
// name and tells its own failure. Waits on the network with an event loop of its own, so it
// runs on the capture thread; `interrupted` ends the wait.
CameraTrust establishCameraTrust(const QString& url, const QString& trustedSha256,
                                 const std::function<bool()>& interrupted);

} // namespace ostrel
