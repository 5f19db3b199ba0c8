#pragma once
// The Motion Detection group: starting and stopping a detection session, the start
// delay, and what each detection does (image file, list, count, upload, mails).
#include "motion/MotionDetector.h"
#include <QObject>
#include <QString>
#include <QTimer>

namespace ostrel {

class MainWindowParts;
struct RequestReport;

class MotionController : public QObject {
    Q_OBJECT
public:
    MotionController(MainWindowParts& main, QObject* parent);

    void BitBtnMotionClick();
    // The start delay: one 1100 Hz tone of 800 ms a beat (when its sound is on) until the
    // time is up, then the checks start. Clicks meanwhile are ignored.
    void MotionStartDelay(quint32 milliseconds);
    void StartDelayTick();
    bool delaying() const { return delaying_; }
    // A close ends the delay: no session starts behind a closed window.
    void stopStartDelay();
    // The stop waits for the FTP request under way before it quits.
    bool quitPending() const { return quitPending_; }
    static constexpr int ToneHz = 1100;
    static constexpr int ToneMs = 800;
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
    void startChecks();
    void stopSession();
    void quitFtpWhenReady();
    void detectionSteps();
    void countDetection();
    int seenReturns_ = 0; // the camera's returns already taken into account

    MainWindowParts& main_;
    MotionDetector detector_;
    bool timer2Enabled_ = false;
    QTimer delayTimer_;
    bool delaying_ = false;
    quint32 delayStart_ = 0;
    quint32 delayLength_ = 0;
    bool quitPending_ = false;
    bool checking_ = false;
};

} // namespace ostrel
