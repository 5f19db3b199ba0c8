#pragma once
// Driver 0, always present: a synthetic camera. It films a still room (wall, floor, window,
// table) with a little sensor noise and a running clock; a figure crosses the room every
// `[Virtual Camera] Motion_Interval` seconds of vcap.sif. `[Virtual Camera] Source` names
// a video file to play (looped) instead of the room.
#include "capture/CaptureDriver.h"
#include "platform/SettingsKeys.h"

namespace ostrel {

// [Virtual Camera] of vcap.sif.
struct VirtualCameraSettings {
    int motionInterval = sif::key::MotionInterval.def; // seconds; 0 = the figure never comes
    QString source; // a video file to play instead of the room; empty: the room
};

class VirtualCamera : public CaptureDriver {
public:
    explicit VirtualCamera(QString programFolder);

    DriverDescription description() const override;
    DriverCaps caps() const override;
    // Reads vcap.sif each time, so a changed setting applies at the next connect.
    SourceSpec source() const override;
    // Motion interval and video file; true when confirmed (and stored).
    bool showSourceDialog(QWidget* parent) override;

    static VirtualCameraSettings readSettings(const QString& programFolder);
    // Raises EIniFileException when vcap.sif cannot be written.
    static void writeSettings(const QString& programFolder, const VirtualCameraSettings& s);

    static constexpr int Width = 640;
    static constexpr int Height = 480;
    static constexpr int FramesPerSecond = 15;
    // Seconds; 0 = the figure never comes.
    static constexpr int DefaultMotionInterval = sif::key::MotionInterval.def;
    static constexpr int MaxMotionInterval = 24 * 60 * 60;
    static constexpr int CrossingSeconds = 4;

    // The lavfi filter graph of the room. The figure enters at every multiple of
    // `motionInterval` seconds after the start (never when 0) and takes CrossingSeconds
    // (at most the interval) to cross. An empty `fontFile` leaves the clock out.
    static QString sceneGraph(int motionInterval, const QString& fontFile);
    // The Liberation Mono font file, or an empty string when fontconfig has none.
    static QString clockFontFile();

private:
    QString programFolder_;
};

} // namespace ostrel
