#pragma once
// Driver 0, always present: a synthetic camera. It films a still room (wall, floor, window,
// table) with a little sensor noise and a running clock; a figure crosses the room every
// `[Virtual Camera] Motion_Interval` seconds of vcap.sif. `[Virtual Camera] Source` names
// a video file to play (looped) instead of the room.
#include "capture/CaptureDriver.h"

namespace ostrel {

class VirtualCamera : public CaptureDriver {
public:
    explicit VirtualCamera(QString programFolder);

    DriverDescription description() const override;
    DriverCaps caps() const override;
    // Reads vcap.sif each time, so a changed setting applies at the next connect.
    SourceSpec source() const override;

    static constexpr int Width = 640;
    static constexpr int Height = 480;
    static constexpr int FramesPerSecond = 15;
    static constexpr int DefaultMotionInterval = 20; // seconds; 0 = the figure never comes
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
