#pragma once
// [Capture Parameters] of Ostrel.sif: the recording's frame rate, time limit, index size,
// buffer file and sound, and the one way they reach the capture device.
#include "platform/SettingsKeys.h"
#include <QString>

namespace ostrel {

class TVideoCapture;

// The values as the device takes them (the main window reads these).
struct CaptureParameters {
    int frameRate = sif::key::FrameRate.def;
    int captureTime = sif::key::CaptureTime.def;
    int indexSize = sif::key::IndexSize.def;
    int bufferSize = sif::key::BufferSize.def;
    bool captureAudio = sif::key::CaptureAudio.def;
};

// The values as the capture parameters dialog shows and stores them: the digits as typed.
struct CaptureParameterTexts {
    QString frameRate = sif::defaultText(sif::key::FrameRate);
    QString captureTime = sif::defaultText(sif::key::CaptureTime);
    QString indexSize = sif::defaultText(sif::key::IndexSize);
    QString bufferSize = sif::defaultText(sif::key::BufferSize);
    bool captureAudio = sif::key::CaptureAudio.def;
};

// The keys and the members they fill, in the file's order, for either form.
template <typename S> auto captureParameterFields() {
    using namespace sif;
    return std::tuple{field(key::FrameRate, &S::frameRate),
                      field(key::CaptureTime, &S::captureTime),
                      field(key::IndexSize, &S::indexSize), field(key::BufferSize, &S::bufferSize),
                      field(key::CaptureAudio, &S::captureAudio)};
}

// A value outside the device's range (0 to 65535; the index size 0 to the largest int)
// either never reaches it or reaches it cut to the range. What the user typed is refused,
// "<value> is out of range", so the dialog stays open to mend it; what a file holds is
// cut, as nobody is there to ask at start-up. Either way the sound comes first and then
// each value in field order, so the values before a refused one are set.
enum class OutOfRange { Refuse, Clamp };
void applyCaptureParameters(TVideoCapture& device, const CaptureParameters& p, OutOfRange how);

// The texts as numbers, in field order; the first that is none raises.
CaptureParameters captureParametersFromTexts(const CaptureParameterTexts& t);

} // namespace ostrel
