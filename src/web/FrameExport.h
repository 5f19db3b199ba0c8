#pragma once
// One export of the website update, shared by its start and by every update tick: grab
// a frame to Capture.bmp and convert it to Capture.jpg, then draw the camera name and
// the date and time on the stamp picture and save it as datetime.bmp.
#include <QDateTime>
#include <QImage>
#include <QString>
#include <functional>

namespace ostrel {

class TVideoCapture;

// Which handler runs the export; it decides how a failed frame save is logged.
enum class ExportKind { Start, Tick };

// What the caller reports when no frame could be saved.
struct FrameSaveFailure {
    QString logEntry;   // for the error log (after the date-time text), when Log Errors is on
    bool writeLogNow;   // write Error.log at once (tick) or only add the line (start)
    QString statusText; // for panel 1 of the status bar
};
// `cause` is the device's reason (TVideoCapture::FrameError), named after the failure.
FrameSaveFailure frameSaveFailure(ExportKind kind, const QString& cause);

struct ExportResult {
    bool frameSaved = false;
    // The full paths of the frame bitmap and its JPEG file; set only when the frame
    // was saved (and then converted).
    QString bitmapPath;
    QString jpegPath;
};

// File names in the program folder.
inline const QString CaptureBitmapName = QStringLiteral("Capture.bmp");
inline const QString CaptureJpegName = QStringLiteral("Capture.jpg");
inline const QString StampBitmapName = QStringLiteral("datetime.bmp");

constexpr int StampWidth = 200;
constexpr int StampHeight = 18;

// Appends single blanks while the name is shorter than 10 characters, at most nine.
void padCameraName(QString& camera);
// " " + camera + " " + date-time text + " ".
QString stampText(const QString& camera, const QDateTime& when);
// Draws `text` black on red at the top left of `picture`, a 200 x 18 picture kept
// between exports: only the part the text covers is redrawn. A picture of another size
// (a fresh one) is replaced by an all-red one first.
void drawStamp(QImage& picture, const QString& text);

// Runs the export. `camera` is the program-wide camera name and is padded in place;
// `stampPicture` is the persistent stamp picture. When the frame cannot be grabbed or
// saved, `onFrameNotSaved` is called with the report for `kind` before the stamp is made,
// no JPEG file is written and the export goes on. Raises Exception when the conversion
// to JPEG fails (no stamp is made then) or datetime.bmp cannot be written.
ExportResult
exportFrameAndStamp(TVideoCapture& device, const QString& programFolder, ExportKind kind,
                    QString& camera, QImage& stampPicture,
                    const std::function<void(const FrameSaveFailure&)>& onFrameNotSaved);

} // namespace ostrel
