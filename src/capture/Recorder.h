#pragma once
// One AVI recording. The capture thread hands each decoded frame over through a bounded
// queue; an encoder thread of the recording's own writes it as Motion JPEG at the
// recording's frame rate, repeating or skipping pictures against the camera's own rate
// so that the file lasts as long as the recording did, and interleaves 8-bit sound from
// the desktop's default input when asked. Files may pass 1 GB (OpenDML).
#include "platform/SettingsKeys.h"
#include <QList>
#include <QSize>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <utility>

struct AVFrame;

namespace ostrel {

struct RecordingSettings {
    QString file;
    // A pre-allocated buffer file is written over from its start, keeping its blocks.
    bool keepAllocation = false;
    quint32 microSecPerFrame = 66667;
    quint16 timeLimit = 0; // seconds; 0: none
    quint32 indexSize = 0; // index entries (pictures and sound chunks); 0: no limit
    int quality = sif::key::CompressionQuality.def; // 1 (smallest) to 100 (best)
    bool audio = false;                             // 8000 Hz, mono, 8 bits
    // Sound inputs (libavdevice format, device) tried in order.
    QList<std::pair<QString, QString>> audioInputs = {{QStringLiteral("pulse"), {}},
                                                      {QStringLiteral("alsa"), {}}};
};

struct RecordingResult {
    qint64 frames = 0;         // pictures in the file
    qint64 dropped = 0;        // of those, repeats: no new frame came in time
    qint64 soundSamples = 0;   // 0 without sound
    qint64 bytes = 0;          // length of the file's content
    QString error;             // why the recording ended early; empty otherwise
    bool limitReached = false; // the time limit or the index ended it
};

class Recorder {
public:
    using Clock = std::chrono::steady_clock;
    struct Callbacks {
        // Both run on the recording's thread. The recording ended by itself (time limit,
        // full index, failed write) and its file is finished; the owner calls stop().
        std::function<void()> ended;
        // Something went wrong that the recording goes on without (no sound input).
        std::function<void(const QString&)> warning;
    };

    // Creates the file and starts the recording's thread; nullptr and the reason when the
    // file cannot be made. `frameSize` is the size of the pictures in the file.
    static std::unique_ptr<Recorder> start(const RecordingSettings& settings, QSize frameSize,
                                           Callbacks callbacks, QString* error);
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    ~Recorder(); // stops

    // Capture thread: a decoded frame arrived. Takes a reference and never waits.
    void push(const AVFrame* frame, Clock::time_point arrival);
    // Ends the recording now, finishes the file and tells what it holds. Later calls
    // return the same result.
    RecordingResult stop();
    // The recording ended by itself.
    bool ended() const;

    // The index sizes a recording may have.
    static constexpr quint32 MinIndexSize = 1800;
    static constexpr quint32 MaxIndexSize = 324000;
    // Motion JPEG quantiser scale (2 best to 31 smallest) for a quality of 1 to 100.
    static int qscale(int quality);
    // Index entries for a recording: a time limit sizes it to the recording (pictures
    // plus five sound chunks a second); otherwise `requested`, or 100000 when none is
    // set. Always within 1800 to 324000.
    static quint32 indexSizeFor(quint16 frameRate, quint16 timeLimit, bool audio,
                                quint32 requested);

private:
    struct Impl;
    explicit Recorder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

} // namespace ostrel
