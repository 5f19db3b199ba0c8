#pragma once
// The local images animation window: browse to a folder of JPEG pictures, pick them into
// an animation list and play the list at 1 to 30 pictures a second, once or in a loop.
#include <QDialog>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>

namespace Ui {
class TfrmAnimation;
}

namespace ostrel {

class TfrmAnimation : public QDialog {
    Q_OBJECT
public:
    // `programFolder` ends with '/'.
    explicit TfrmAnimation(const QString& programFolder, QWidget* parent = nullptr);
    ~TfrmAnimation() override;

    Ui::TfrmAnimation* ui() const { return ui_.get(); }
    QTimer& animationTimer() { return AnimationTimer; }

    // Where the drive box takes its volumes from (this machine's mounts unless set);
    // read at every showing.
    void setVolumeSource(std::function<QStringList()> source);
    // The folder the folder list shows; names in the animation list resolve against it.
    const QString& currentFolder() const { return currentFolder_; }
    // Shows `folder` in the folder list and its pictures in the file list.
    void setCurrentFolder(const QString& folder);

public slots:
    void FormShow();
    void FormClose();
    void SpeedBtnAddClick();
    void btnAddAllClick();
    void SpeedBtnRemoveClick();
    void btnRemoveAllClick();
    void FileListBoxClick();
    void PicListBoxClick();
    void ScrollBarSpeedChange();
    void btnAnimateClick();
    void AnimationTimerTimer();
    void btnStopClick();
    void DriveComboBoxChange();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void refreshVolumes();
    void stopAnimation();
    void showPicture(const QString& path);
    void installTips();

    QString programFolder_; // without the trailing '/'
    std::unique_ptr<Ui::TfrmAnimation> ui_;
    QTimer AnimationTimer;
    std::function<QStringList()> volumeSource_;
    QStringList volumes_;
    QString currentFolder_;
    int position_ = 0; // the play position in the animation list
    bool placed_ = false;
};

} // namespace ostrel
