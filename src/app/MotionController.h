#pragma once
// The Motion Detection group: starting and stopping a detection session, the start
// delay, and what each detection does (image file, list, count, upload, mails).
#include "motion/MotionDetector.h"
#include <QObject>
#include <QString>

namespace ostrel {

class TMain;
struct RequestReport;

class MotionController : public QObject {
    Q_OBJECT
public:
    explicit MotionController(TMain& main);

    void BitBtnMotionClick();
    void MotionStartDelay(quint32 milliseconds);
    void Timer2Timer();
    void CheckMotion();

    // A session runs exactly while this is true (the motion timer is enabled).
    bool running() const { return timer2Enabled_; }
    MotionDetector& detector() { return detector_; }

    QString MotionSessionName;
    QString MotionSessionFolder;
    int MotionImageCounter = 0;
    int MotionDetectCount = 0;
    bool MotionNotified = false;
    QString MotionImageFile;
    QString MotionRemoteName;

private:
    void startSession();
    void stopSession();
    void setSessionControlsEnabled(bool enabled);
    void detectionSteps();
    bool smtpIdle() const;
    // Starts sending the prepared mail; a start that fails is reported, not raised.
    void startMail();
    // Beep, status bar panel 1 and error log, as the request-done handlers report.
    void report(const RequestReport& r);

    TMain& main_;
    MotionDetector detector_;
    bool timer2Enabled_ = false;
    bool busy_ = false; // the start delay or the stop's FTP wait is under way
    bool checking_ = false;
};

} // namespace ostrel
