#include "platform/PictureArea.h"

#include <QPainter>

namespace ostrel {

PictureArea::PictureArea(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAccessibleName(tr("No picture"));
    setAccessibleDescription(tr("Picture"));
}

void PictureArea::setPicture(const QImage& picture, const QString& name) {
    picture_ = picture;
    setAccessibleName(name);
    update();
}

void PictureArea::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (picture_.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(contentsRect(), picture_);
}

} // namespace ostrel
