#pragma once
// SHA-256 fingerprints of certificates, as a user sees and types them: what a TLS
// connection shows and what a setting trusts are compared through these alone.
#include <QByteArray>
#include <QString>

namespace ostrel {

// "AB:CD:...", as openssl prints a fingerprint, from the digest's bytes.
QString fingerprintText(const QByteArray& sha256);
// A typed fingerprint as bare lower-case hex; whatever precedes a '=' ("sha256
// Fingerprint=") is dropped, so openssl's whole line may be pasted.
QString normalizedFingerprint(const QString& text);
// Whether the trusted fingerprint names the one shown; never for an empty one.
bool fingerprintMatches(const QString& trusted, const QString& shown);

} // namespace ostrel
