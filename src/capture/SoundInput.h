#pragma once
// Sound from the desktop's input as 8000 Hz mono 8-bit samples, read on a thread of its
// own and placed on the wall clock: a gap in the input becomes silence, and an input
// clock that drifts is pulled back, so the samples taken line up with pictures stamped
// by the same clock. The recording takes them in whole chunks while it runs.
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace ostrel {

class SoundInput {
public:
    static constexpr int Rate = 8000;
    static constexpr uint8_t Silence = 0x80;

    // Opens the first of `inputs` (libavdevice format, device; an empty device is the
    // default) that gives sound, with `startWallUs` (av_gettime) as sample 0. The opening
    // gives up after a few seconds or as soon as `cancelled` says so. nullptr and why
    // (for the first failure's words, the last input's) when none opens. `warning` is
    // called on the reading thread when the input stops later.
    static std::shared_ptr<SoundInput> open(const QList<std::pair<QString, QString>>& inputs,
                                            int64_t startWallUs, std::function<bool()> cancelled,
                                            std::function<void(const QString&)> warning,
                                            QString* why);
    SoundInput(const SoundInput&) = delete;
    SoundInput& operator=(const SoundInput&) = delete;
    ~SoundInput();

    // Starts the reading thread.
    void start();
    // The samples waiting: as many as make whole multiples of `chunk` (1: all of them).
    std::vector<uint8_t> take(size_t chunk);
    // Ends the reading: waits a little for the thread, which blocks inside the input's
    // read for as long as no sound comes, then leaves it to end by itself. No warning
    // follows once this returns.
    void end();

private:
    struct State;
    explicit SoundInput(std::shared_ptr<State> state);
    std::shared_ptr<State> s; // shared with the reading thread, which may outlive this
};

} // namespace ostrel
