#pragma once
// A black, sunken picture area that stretches its picture to fill it, without keeping
// the aspect ratio. A screen reader hears the name of the picture shown.
#include <QFrame>
#include <QImage>

namespace ostrel {

class PictureArea : public QFrame {
    Q_OBJECT
public:
    explicit PictureArea(QWidget* parent = nullptr);

    // Shows `picture`; `name` is what a screen reader says for it.
    void setPicture(const QImage& picture, const QString& name);
    const QImage& picture() const { return picture_; }
    // The size a picture needs to fill the area without being enlarged.
    QSize fittingSize() const { return contentsRect().size(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
};

} // namespace ostrel
