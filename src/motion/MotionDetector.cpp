#include "motion/MotionDetector.h"

#include "capture/VideoCapture.h"
#include "picture/Bitmap.h"
#include "platform/ProgramFolder.h"

#include <QFile>

namespace ostrel {
namespace {

// No bitmap the codec accepts is larger than this: the largest header and tables plus
// the largest picture at 32 bits per pixel. A bigger file is refused unread.
constexpr qint64 MaxBitmapFileSize = bitmap::FileHeaderSize + 124 + 12 + 256 * 4 +
                                     qint64(bitmap::MaxDimension) * bitmap::MaxDimension * 4;

} // namespace

quint32 MotionDetector::sumBitmapFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EBitmapError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(fileName, file.errorString()));
    const qint64 size = file.size();
    if (size > MaxBitmapFileSize)
        throw EBitmapError(QStringLiteral("Bitmap file \"%1\" is too large").arg(fileName));
    // resize() keeps the allocation when the new size fits, so frames of one size are
    // read into the same memory every time.
    fileBuffer_.resize(qsizetype(size));
    if (file.read(fileBuffer_.data(), size) != size)
        throw EBitmapError(
            QStringLiteral("Cannot read file \"%1\". %2").arg(fileName, file.errorString()));
    workBitmap_ = bitmap::decode(fileBuffer_); // always 24-bit, whatever the file held
    return frameSum(workBitmap_);
}

quint32 MotionDetector::GetFrameSum(TVideoCapture& device, const QString& programFolder) {
    const QString fileName = resolveIn(programFolder, SingleImageFileName);
    // A temp00.bmp left by an earlier grab (the detection images go through it too)
    // would otherwise be summed as if it were the frame of this check when the grab
    // fails; without it, a failed grab ends in the file error below.
    QFile::remove(fileName);
    device.setSingleImageFile(fileName);
    // The file is deleted right after the load: waiting for the disk would only make the
    // check slower. A failed save leaves no file, which the load reports.
    if (device.GrabFrameLive()) device.SaveFrameFile(bitmap::Durability::Unsynced);
    const quint32 sum = sumBitmapFile(fileName);
    QFile::remove(fileName); // not checked: the next grab overwrites whatever is left
    return sum;
}

Comparison MotionDetector::compareAndAdvance(quint32 newSum, int sensitivity, int treshold) {
    const Comparison result = compareFrameSums(lastFrameSum_, newSum, sensitivity, treshold);
    lastFrameSum_ = newSum;
    return result;
}

Comparison MotionDetector::check(TVideoCapture& device, const QString& programFolder,
                                 int sensitivity, int treshold) {
    return compareAndAdvance(GetFrameSum(device, programFolder), sensitivity, treshold);
}

} // namespace ostrel
