#include "app/ManualSaveController.h"
#include "app/DiskGuard.h"
#include "app/ErrorLog.h"
#include "app/MainWindowParts.h"
#include "capture/DlgCapture.h"
#include "capture/VideoCapture.h"
#include "platform/Desktop.h"
#include "platform/Guard.h"
#include "ui_mainf.h"
#include <QShortcut>
#include <QTimer>

namespace ostrel {

ManualSaveController::ManualSaveController(MainWindowParts& main, QObject* parent)
    : QObject(parent), main_(main), recordingRoom_(new QTimer(this)) {
    recordingRoom_->setObjectName(QStringLiteral("TimerRecordingRoom"));
    recordingRoom_->setInterval(RecordingRoomInterval);
    connect(recordingRoom_, &QTimer::timeout, this, guarded([this] { recordingRoomTimerTick(); }));
    auto* ui = main.ui();
    connect(ui->btnSnapshot, &QPushButton::clicked, this, guarded([this] { btnSnapshotClick(); }));
    connect(ui->menuSnapshot, &QAction::triggered, this, guarded([this] { btnSnapshotClick(); }));
    connect(ui->BtStartStop, &QPushButton::clicked, this, guarded([this] { BtStartStopClick(); }));
    connect(ui->menuVideo, &QAction::triggered, this, guarded([this] { BtStartStopClick(); }));
    connect(ui->menuCaptureparameter1, &QAction::triggered, this,
            guarded([this] { menuCaptureparameter1Click(); }));

    // Escape ends a recording while the main window has the focus (a window shortcut).
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), main.dialogParent());
    connect(escape, &QShortcut::activated, this, guarded([this] { stopRecording(); }));
}

void ManualSaveController::btnSnapshotClick() {
    auto* video = main_.VideoCap1();
    // The name is used as typed; the same name replaces the earlier picture.
    video->setSingleImageFile(main_.programFolder() + QStringLiteral("Snapshots/") +
                              main_.ui()->EditCapPicture->text());
    if (video->GrabFrameLive() && video->SaveFrameFile()) return;
    main_.errorLog().addQuietly(QStringLiteral(" :   ") + video->FrameError());
    desktop().messageBeep();
    showError(QStringLiteral("Could not save picture. See Error Log\n") + video->FrameError(),
              main_.dialogParent());
}

void ManualSaveController::BtStartStopClick() {
    auto* video = main_.VideoCap1();
    if (video->IsRecording()) {
        recordingRoom_->stop();
        video->StopRecording();
    } else if (main_.diskGuard().roomToWrite(QStringLiteral("Recording not started"))) {
        video->setVideoFileName(main_.programFolder() + QStringLiteral("Videos/") +
                                main_.ui()->EditVideoFile->text());
        if (video->StartRecording()) recordingRoom_->start();
    }
    // The controls follow the status events the start and the stop send (300, 301).
}

void ManualSaveController::recordingRoomTimerTick() {
    auto* video = main_.VideoCap1();
    if (!video->IsRecording()) { // ended by itself or by the button
        recordingRoom_->stop();
        return;
    }
    DiskGuard& guard = main_.diskGuard();
    if (guard.roomToWrite(QStringLiteral("Recording ended"))) return;
    recordingRoom_->stop();
    video->StopRecording();
    // The device's own end message counts the frames; the reason stays in view after it.
    main_.showStatus(guard.refusal());
    main_.errorLog().add(QStringLiteral(" :   ") + guard.refusal());
}

void ManualSaveController::stopRecording() {
    if (main_.VideoCap1()->IsRecording()) BtStartStopClick();
}

void ManualSaveController::menuCaptureparameter1Click() {
    TDlgCapParam dialog(*main_.VideoCap1(), main_.programFolder(), main_.dialogParent());
    dialog.exec();
}

} // namespace ostrel
