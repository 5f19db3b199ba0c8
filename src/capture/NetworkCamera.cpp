#include "capture/NetworkCamera.h"
#include "capture/DlgNetworkSource.h"
#include "capture/DriverDialogs.h"
#include "platform/IniFile.h"
#include "platform/SettingsKeys.h"
#include <QUrl>

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
            : QStringLiteral("TCP");
    s.user = read(program, key::NetCameraUser);
    s.password = read(program, key::NetCameraPassword);
    return s;
}

void NetworkCamera::writeSettings(const QString& programFolder, const NetworkCameraSettings& s) {
    IniFile vcap(programFolder + QLatin1String(DriverFile));
    write(vcap, key::NetCameraUrl, s.url.trimmed());
    write(vcap, key::NetCameraTransport, s.transport);
    IniFile program(programFolder + QLatin1String(ProgramFile), IniFile::Access::OwnerOnly);
    write(program, key::NetCameraUser, s.user);
    write(program, key::NetCameraPassword, s.password);
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
