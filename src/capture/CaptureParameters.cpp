#include "capture/CaptureParameters.h"
#include "capture/VideoCapture.h"
#include "platform/Exception.h"
#include <algorithm>
#include <limits>

namespace ostrel {

void applyCaptureParameters(TVideoCapture& device, const CaptureParameters& p, OutOfRange how) {
    const auto fit = [how](int value, int most) {
        if (how == OutOfRange::Clamp) return std::clamp(value, 0, most);
        if (value < 0 || value > most)
            throw Exception(QStringLiteral("%1 is out of range").arg(value));
        return value;
    };
    constexpr int Most16 = std::numeric_limits<quint16>::max();
    device.setCapAudio(p.captureAudio);
    device.setFrameRate(quint16(fit(p.frameRate, Most16)));
    device.setCapTimeLimit(quint16(fit(p.captureTime, Most16)));
    device.setCapIndexSize(quint32(fit(p.indexSize, std::numeric_limits<int>::max())));
    device.setBufferFileSize(quint16(fit(p.bufferSize, Most16)));
}

CaptureParameters captureParametersFromTexts(const CaptureParameterTexts& t) {
    CaptureParameters p;
    p.frameRate = strToInt(t.frameRate);
    p.captureTime = strToInt(t.captureTime);
    p.indexSize = strToInt(t.indexSize);
    p.bufferSize = strToInt(t.bufferSize);
    p.captureAudio = t.captureAudio;
    return p;
}

} // namespace ostrel
