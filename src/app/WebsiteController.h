#pragma once
// The Website Update group: start and stop, the periodic tick that exports and uploads
// Capture.jpg and datetime.bmp, the stop pictures, and the suspension of the update while
// the FTP host cannot be reached.
#include <QImage>
#include <QObject>
#include <QString>

namespace ostrel {

class MainWindowParts;

class WebsiteController : public QObject {
    Q_OBJECT
public:
    WebsiteController(MainWindowParts& main, QObject* parent);

    void BitBtnFrameCapClick(); // start or stop, by whether Timer1 runs
    void Start();
    void Stop();
    void Timer1Timer();
    void FTPerror();
    // A request succeeded while the update was suspended.
    void Reestablish();
    // The main window's close while the update runs; false when the close sequence ends
    // here because the FTP host could not be reached.
    bool StopForClose();

    // From Start until Stop, or until repeated failures disable the update.
    bool running() const { return started_; }
    bool hasRun() const { return hasRun_; }
    int FailureCount = 0;
    int UpdateIntervalMs = 60000;
    QString CaptureBitmapPath; // the last frame bitmap and its JPEG file
    QString CaptureJpegPath;
    QImage Image1; // the stamp picture, kept between exports

private:
    // Without room on the disk the pictures are neither made nor uploaded.
    bool roomForPictures();
    void exportFrame(bool atStart);
    void oneUpload();
    bool put(const QString& remote, const QString& local);
    void setBusyLight(bool busy);
    void setStartedLook(bool started);
    void connectIfNeeded();

    MainWindowParts& main_;
    bool disabledByFailures_ = false; // set when FTPerror disables; read by Start
    bool started_ = false;
    bool hasRun_ = false;
};

} // namespace ostrel
