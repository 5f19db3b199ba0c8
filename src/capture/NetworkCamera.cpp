#include "capture/NetworkCamera.h"
#include "capture/DlgNetworkSource.h"
#include "capture/DriverDialogs.h"
#include "platform/IniFile.h"
#include "platform/SettingsKeys.h"
#include <QLoggingCategory>
#include <QUrl>

Q_DECLARE_LOGGING_CATEGORY(lcCapture)

namespace ostrel {

using namespace sif;

NetworkCamera::NetworkCamera(QString programFolder) : programFolder_(std::move(programFolder)) {}

DriverDescription NetworkCamera::description() const {
    return {QStringLiteral("Ostrel Network Camera"), QStringLiteral("1.0")};
}

DriverCaps NetworkCamera::caps() const {
    DriverCaps c;
    c.hasSourceDialog = true;
    return c;
}

NetworkCameraSettings NetworkCamera::readSettings(const QString& programFolder) {
    const IniFile vcap(programFolder + QLatin1String(DriverFile));
    const IniFile program(programFolder + QLatin1String(ProgramFile));
    NetworkCameraSettings s;
    s.url = read(vcap, key::NetCameraUrl).trimmed();
    s.transport =
        read(vcap, key::NetCameraTransport).compare(QLatin1String("UDP"), Qt::CaseInsensitive) == 0
            ? QStringLiteral("UDP")
            : defaultText(key::NetCameraTransport);
    s.user = read(program, key::NetCameraUser);
    s.password = read(program, key::NetCameraPassword);
    s.certificateSha256 = read(vcap, key::NetCameraPin);
    // A login of the fields was the one used when both held one.
    if (takeLoginFromAddress(s, Login::Fill)) {
        try {
            writeSettings(programFolder, s);
        } catch (const std::exception& e) {
            // Used from memory all the same; the next reading tries again.
            qCWarning(lcCapture, "The camera's login stays in its address: %s", e.what());
        }
    }
    return s;
}

void NetworkCamera::writeSettings(const QString& programFolder,
                                  const NetworkCameraSettings& given) {
    NetworkCameraSettings s = given;
    takeLoginFromAddress(s, Login::Replace);
    // The login first: a write that fails half way never leaves it nowhere.
    IniFile program(programFolder + QLatin1String(ProgramFile), IniFile::Access::OwnerOnly);
    write(program, DriverDialogs, key::NetCameraUser, s.user);
    write(program, DriverDialogs, key::NetCameraPassword, s.password);
    IniFile vcap(programFolder + QLatin1String(DriverFile));
    write(vcap, DriverDialogs, key::NetCameraUrl, s.url.trimmed());
    write(vcap, DriverDialogs, key::NetCameraTransport, s.transport);
    write(vcap, DriverDialogs, key::NetCameraPin, s.certificateSha256.trimmed());
}

bool NetworkCamera::takeLoginFromAddress(NetworkCameraSettings& s, Login how) {
    QUrl url(s.url.trimmed());
    if (url.userInfo().isEmpty()) return false;
    if (how == Login::Replace || s.user.isEmpty()) {
        s.user = url.userName(QUrl::FullyDecoded);
        s.password = url.password(QUrl::FullyDecoded);
    }
    s.url = url.toString(QUrl::RemoveUserInfo);
    return true;
}

QString NetworkCamera::shownAddress(const QString& url) {
    return QUrl(url.trimmed()).toString(QUrl::RemoveUserInfo);
}

SourceSpec NetworkCamera::sourceFor(const NetworkCameraSettings& s) {
    SourceSpec spec;
    QUrl url(s.url.trimmed());
    if (!s.user.isEmpty()) {
        url.setUserName(s.user);
        url.setPassword(s.password);
    }
    spec.url = url.toString(QUrl::FullyEncoded);
    spec.shownUrl = shownAddress(s.url);
    const QString scheme = url.scheme().toLower();
    const bool rtsp = scheme == QLatin1String("rtsp") || scheme == QLatin1String("rtsps");
    if (rtsp) spec.options.insert(QStringLiteral("rtsp_transport"), s.transport.toLower());
    // What a camera's stream needs and nothing more: no files, playlists or other
    // protocols, whatever the address or the camera's answer names. RTSP carries its
    // pictures over RTP on UDP or inside its own TCP connection; an HTTP camera sends
    // multipart JPEG, or bare Motion JPEG. Any other address gets the HTTP lists, which
    // refuse it.
    const bool https = scheme == QLatin1String("https");
    const char* protocols = rtsp ? "rtp,udp,tcp" : https ? "https,tls,tcp" : "http,tcp";
    spec.options.insert(QStringLiteral("protocol_whitelist"), QLatin1String(protocols));
    spec.options.insert(QStringLiteral("format_whitelist"),
                        QLatin1String(rtsp ? "rtsp" : "mpjpeg,mjpeg"));
    spec.trustedSha256 = s.certificateSha256.trimmed();
    // Close to live: no read-ahead buffer, a short look at the stream before it plays.
    spec.options.insert(QStringLiteral("fflags"), QStringLiteral("nobuffer"));
    spec.options.insert(QStringLiteral("analyzeduration"), QStringLiteral("500000"));
    spec.options.insert(QStringLiteral("probesize"), QStringLiteral("500000"));
    spec.paced = true;
    spec.device = true;
    spec.openInBackground = true;
    spec.openTimeoutMs = OpenTimeoutMs;
    spec.stallTimeoutMs = StallTimeoutMs;
    return spec;
}

SourceSpec NetworkCamera::source() const {
    return sourceFor(readSettings(programFolder_));
}

bool NetworkCamera::showSourceDialog(QWidget* parent) {
    TDlgNetworkSource dialog(readSettings(programFolder_), parent);
    if (execDriverDialog(dialog) != QDialog::Accepted) return false;
    writeSettings(programFolder_, dialog.settings());
    return true;
}

QString NetworkCamera::deviceKey() const {
    // Only the address: the login lives in another file, which this need not read.
    const IniFile vcap(programFolder_ + QLatin1String(DriverFile));
    const QString address = shownAddress(read(vcap, key::NetCameraUrl));
    return address.isEmpty() ? QString() : QStringLiteral("net:") + address;
}

} // namespace ostrel
