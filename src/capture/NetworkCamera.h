#pragma once
// The network camera, always listed after the V4L2 devices: an RTSP or HTTP (MJPEG)
// stream, or anything else FFmpeg opens by address. It is opened in the background and
// kept close to live; a camera that stops answering is a lost device, tried again.
#include "capture/CaptureDriver.h"
#include "platform/SettingsKeys.h"

namespace ostrel {

struct NetworkCameraSettings {
    QString url; // vcap.sif [Network Camera] URL, no login
    QString transport = sif::defaultText(sif::key::NetCameraTransport); // RTSP over "TCP" or "UDP"
    QString user;              // Ostrel.sif [Network Camera] User
    QString password;          // Ostrel.sif [Network Camera] Password
    QString certificateSha256; // vcap.sif: an https camera's certificate trusted by fingerprint
};

class NetworkCamera : public CaptureDriver {
public:
    explicit NetworkCamera(QString programFolder);

    DriverDescription description() const override;
    DriverCaps caps() const override;
    SourceSpec source() const override; // reads the settings each time
    QString deviceKey() const override; // the address, without a login
    bool showSourceDialog(QWidget* parent) override;

    // An address stored with a login in it (as older versions did) is written back without
    // it, the login moving to Ostrel.sif where that holds none.
    static NetworkCameraSettings readSettings(const QString& programFolder);
    // The address is stored without a login; one typed into it is stored as the login.
    // Raises EIniFileException when a settings file cannot be written.
    static void writeSettings(const QString& programFolder, const NetworkCameraSettings& s);
    // Takes a login out of the address into the login fields: replacing theirs, or only
    // where they hold none. True when the address held one.
    enum class Login { Replace, Fill };
    static bool takeLoginFromAddress(NetworkCameraSettings& s, Login how);
    // What FFmpeg opens for these settings: the login put into the address, the RTSP
    // transport, short buffers, bounded waits, and only the protocols and formats such a
    // camera needs, so its answer cannot lead FFmpeg to other addresses or files.
    static SourceSpec sourceFor(const NetworkCameraSettings& s);
    // The address as messages may show it: any login taken out.
    static QString shownAddress(const QString& url);

    static constexpr int OpenTimeoutMs = 10000;
    static constexpr int StallTimeoutMs = 10000;

private:
    QString programFolder_;
};

} // namespace ostrel
