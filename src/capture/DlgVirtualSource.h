#pragma once
// "Video Source" of the virtual camera: how often the figure crosses the room, or a
// video file to play (looped) instead of the room.
#include "capture/VirtualCamera.h"
#include <QDialog>
#include <memory>

namespace Ui {
class TDlgVirtualSource;
}

namespace ostrel {

class TDlgVirtualSource : public QDialog {
    Q_OBJECT
public:
    TDlgVirtualSource(QString programFolder, const VirtualCameraSettings& settings,
                      QWidget* parent = nullptr);
    ~TDlgVirtualSource() override;
    Ui::TDlgVirtualSource* ui() const { return ui_.get(); }

    // The settings as edited; a file inside the program folder is named relative to it.
    VirtualCameraSettings settings() const;

    // Takes the settings only with a file FFmpeg can play, or with the built-in scene.
    void accept() override;

private:
    void browse();
    void updateEnabled();

    std::unique_ptr<Ui::TDlgVirtualSource> ui_;
    QString programFolder_;
};

} // namespace ostrel
