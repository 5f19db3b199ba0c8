#pragma once
// The reference of the motion check and the frame grab behind it. Each check grabs a
// frame through the capture device into the program folder's temp00.bmp, loads it back,
// deletes the file and sums the picture; the sum is compared with the sum of the check
// before (LastFrameSum), which then moves on to the new one.
#include "motion/FrameComparison.h"
#include <QByteArray>
#include <QImage>
#include <QString>

namespace ostrel {

class TVideoCapture;

class MotionDetector {
public:
    // The file every frame sum goes through, in the program folder.
    static inline const QString SingleImageFileName = QStringLiteral("temp00.bmp");

    // The reference: 0 at program start; seeded by the motion start/stop command and
    // replaced by every check.
    quint32 LastFrameSum() const { return lastFrameSum_; }
    void setLastFrameSum(quint32 sum) { lastFrameSum_ = sum; }

    // Grabs a fresh frame and returns its sum. Sets the device's SingleImageFile to
    // programFolder + "temp00.bmp". A frame that could not be grabbed or saved leaves no
    // file, and loading it raises an Exception (as does a damaged file); LastFrameSum is
    // not touched either way.
    quint32 GetFrameSum(TVideoCapture& device, const QString& programFolder);

    // One motion check: new sum, similarity against LastFrameSum, LastFrameSum := new
    // sum (on every check that got a sum), and the detection decided by the slider
    // positions given. Raises like GetFrameSum, before anything changes.
    Comparison check(TVideoCapture& device, const QString& programFolder, int sensitivity,
                     int treshold);

    // The comparison and the move of the reference, for a sum obtained elsewhere.
    Comparison compareAndAdvance(quint32 newSum, int sensitivity, int treshold);

    // Loads a bitmap file into the work bitmap and returns its sum (no grab, no delete).
    quint32 sumBitmapFile(const QString& fileName);

private:
    quint32 lastFrameSum_ = 0;
    // Both live as long as the detector: the file buffer keeps its capacity from check
    // to check, and the work bitmap holds the latest frame.
    QByteArray fileBuffer_;
    QImage workBitmap_;
};

} // namespace ostrel
