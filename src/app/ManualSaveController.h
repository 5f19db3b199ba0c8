#pragma once
// The Manual Save group: the snapshot, starting and stopping a recording (button, menu,
// Escape, the close) and the capture parameters dialog.
#include <QObject>

class QTimer;

namespace ostrel {

class MainWindowParts;

class ManualSaveController : public QObject {
    Q_OBJECT
public:
    ManualSaveController(MainWindowParts& main, QObject* parent);

    void btnSnapshotClick();
    // Starts a recording to Videos/<file name field>, or stops the one running. The captions
    // follow the device's status events.
    void BtStartStopClick();
    // Ends a running recording; does nothing when none runs.
    void stopRecording();
    void menuCaptureparameter1Click();

    // While a recording runs, the disk guard is asked every few seconds: when it cannot
    // make room, the recording ends with a finished file and the reason.
    QTimer* recordingRoomTimer() const { return recordingRoom_; }
    void recordingRoomTimerTick();
    static constexpr int RecordingRoomInterval = 2000; // ms

private:
    MainWindowParts& main_;
    QTimer* recordingRoom_;
};

} // namespace ostrel
