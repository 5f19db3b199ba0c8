#pragma once
// The motion images viewer: one picture at a time, stretched to 400 x 300, and a copy
// saved elsewhere. One viewer lives as long as the program; it is shown and hidden.
#include "picture/PictureLoading.h"
#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class TfrmPicView;
}

namespace ostrel {

class TfrmPicView : public QDialog {
    Q_OBJECT
public:
    // `imageInfo` gives the text the caption repeats each time the window is shown.
    explicit TfrmPicView(std::function<QString()> imageInfo, QWidget* parent = nullptr);
    ~TfrmPicView() override;

    // Loads the picture at `path` into the picture area; raises Exception when it cannot
    // be read, leaving the picture shown before.
    void loadPicture(const QString& path);

    void btnSaveImageClick();
    void btnCloseClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();

    std::unique_ptr<Ui::TfrmPicView> ui_;
    std::function<QString()> imageInfo_;
    LoadedPicture picture_;
};

} // namespace ostrel
