#pragma once
// "Video Format" of a V4L2 device: pixel format, frame size and frame rate, each chosen
// among those the device offers for the choices above it.
#include "capture/V4l2Driver.h"
#include <QDialog>
#include <memory>

namespace Ui {
class TDlgVideoFormat;
}

namespace ostrel {

class TDlgVideoFormat : public QDialog {
    Q_OBJECT
public:
    // `formats` are the usable ones; `current` is preselected where offered.
    TDlgVideoFormat(QList<V4l2Format> formats, const FormatChoice& current,
                    QWidget* parent = nullptr);
    ~TDlgVideoFormat() override;
    Ui::TDlgVideoFormat* ui() const { return ui_.get(); }

    FormatChoice choice() const;

    // "640 x 480", "30 frames per second", "29.97 frames per second"
    static QString sizeText(QSize size);
    static QString rateText(const FrameRate& rate);

private:
    const V4l2Format* currentFormat() const;
    const V4l2FrameSize* currentSize() const;
    void fillSizes(QSize keep);
    void fillRates(const FrameRate& keep);

    std::unique_ptr<Ui::TDlgVideoFormat> ui_;
    QList<V4l2Format> formats_;
};

} // namespace ostrel
