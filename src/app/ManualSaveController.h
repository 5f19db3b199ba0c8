#pragma once
// The Manual Save group: the snapshot, starting and stopping a recording (button, menu,
// Escape, the close) and the capture parameters dialog.
#include <QObject>

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

private:
    MainWindowParts& main_;
};

} // namespace ostrel
