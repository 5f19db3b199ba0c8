#include "web/FrameExport.h"

#include "capture/VideoCapture.h"
#include "picture/Bitmap.h"
#include "picture/JpegExport.h"
#include "platform/DateTimeText.h"
#include "platform/Desktop.h"
#include "platform/ProgramFolder.h"

#include <QPainter>

namespace ostrel {
namespace {

constexpr int CameraNameWidth = 10;
constexpr int MaxPadding = 9;
constexpr int StampPointSize = 10;
// Points are drawn at 96 dots per inch whatever the screen says, so the stamp looks the
// same on every machine: 10 points are 13 1/3 pixels.
constexpr int StampDotsPerMeter = 3780;

QFont stampFont() {
    // "Courier New" is matched to a metric-compatible monospace font by fontconfig
    // (Liberation Mono); the hint picks another fixed-pitch font where that is missing.
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(StampPointSize);
    return font;
}

} // namespace

FrameSaveFailure frameSaveFailure(ExportKind kind, const QString& cause) {
    QString reason = QStringLiteral("Could not save captured frame to disk");
    if (!cause.isEmpty()) reason += QStringLiteral(": ") + cause;
    const QString status = QStringLiteral("ERROR: ") + reason;
    if (kind == ExportKind::Start) return {QStringLiteral(" :   ") + reason, false, status};
    return {QStringLiteral(" :   Video Error = ") + reason, true, status};
}

void padCameraName(QString& camera) {
    for (int i = 0; i < MaxPadding; ++i)
        if (camera.size() < CameraNameWidth) camera += QLatin1Char(' ');
}

QString stampText(const QString& camera, const QDateTime& when) {
    return QLatin1Char(' ') + camera + QLatin1Char(' ') + dateTimeToStr(when) + QLatin1Char(' ');
}

void drawStamp(QImage& picture, const QString& text) {
    if (picture.size() != QSize(StampWidth, StampHeight)) {
        // A new picture would start white; red makes the first stamp look like every
        // later one.
        picture = QImage(StampWidth, StampHeight, QImage::Format_RGB888);
        if (picture.isNull())
            throw Exception(QStringLiteral("Not enough memory for the stamp picture"));
        picture.fill(Qt::red);
    }
    picture.setDotsPerMeterX(StampDotsPerMeter);
    picture.setDotsPerMeterY(StampDotsPerMeter);

    QPainter painter(&picture);
    // Opaque background: red is painted behind the text and nowhere else, so the part of
    // the picture the text does not reach keeps what an earlier, longer text left there.
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(QBrush(Qt::red));
    painter.setPen(Qt::black);
    const QFont font = stampFont();
    painter.setFont(font);
    // The text's top at row 0; what passes the right edge is cut off by the picture.
    painter.drawText(QPointF(0, QFontMetricsF(font, &picture).ascent()), text);
}

ExportResult
exportFrameAndStamp(TVideoCapture& device, const QString& programFolder, ExportKind kind,
                    QString& camera, QImage& stampPicture,
                    const std::function<void(const FrameSaveFailure&)>& onFrameNotSaved) {
    ExportResult result;
    const QString bitmapPath = resolveIn(programFolder, CaptureBitmapName);
    // The full name, so the file lands in this program folder whatever the device's is.
    device.setSingleImageFile(bitmapPath);
    // A failed grab would save the previous frame again, and publishing that under a
    // fresh date and time would pass an old picture off as the current one.
    result.frameSaved = device.GrabFrameLive() && device.SaveFrameFile();
    if (result.frameSaved) {
        result.bitmapPath = bitmapPath;
        result.jpegPath = resolveIn(programFolder, CaptureJpegName);
        SaveBitmapAsJpeg(result.bitmapPath, result.jpegPath);
    } else if (onFrameNotSaved) {
        onFrameNotSaved(frameSaveFailure(kind, device.FrameError()));
    }

    padCameraName(camera);
    drawStamp(stampPicture, stampText(camera, desktop().now()));
    bitmap::save(resolveIn(programFolder, StampBitmapName), stampPicture);
    return result;
}

} // namespace ostrel
