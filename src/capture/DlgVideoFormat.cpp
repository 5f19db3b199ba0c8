#include "capture/DlgVideoFormat.h"
#include "platform/Desktop.h"
#include "ui_DlgVideoFormat.h"

namespace ostrel {

TDlgVideoFormat::TDlgVideoFormat(QList<V4l2Format> formats, const FormatChoice& current,
                                 QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TDlgVideoFormat>()), formats_(std::move(formats)) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    installHelpKey(this, helpcontext::VideoFormat);

    int selected = formats_.isEmpty() ? -1 : 0;
    for (int i = 0; i < formats_.size(); ++i) {
        const V4l2Format& f = formats_[i];
        const QString code = fourccText(f.fourcc);
        ui_->cbPixelFormat->addItem(f.description.isEmpty() || f.description == code
                                        ? code
                                        : QStringLiteral("%1 (%2)").arg(f.description, code));
        if (f.fourcc == current.fourcc) selected = i;
    }
    ui_->cbPixelFormat->setCurrentIndex(selected);
    fillSizes(current.size);
    fillRates(current.rate);
    ui_->OKBtn->setEnabled(!formats_.isEmpty());

    // A new format keeps the size where it has it, a new size the rate.
    connect(ui_->cbPixelFormat, &QComboBox::currentIndexChanged, this, [this] {
        const FormatChoice before = choice();
        fillSizes(before.size);
        fillRates(before.rate);
    });
    connect(ui_->cbFrameSize, &QComboBox::currentIndexChanged, this,
            [this] { fillRates(choice().rate); });
}

TDlgVideoFormat::~TDlgVideoFormat() = default;

QString TDlgVideoFormat::sizeText(QSize size) {
    return QStringLiteral("%1 x %2").arg(size.width()).arg(size.height());
}

QString TDlgVideoFormat::rateText(const FrameRate& rate) {
    return QStringLiteral("%1 frames per second").arg(QString::number(rate.value(), 'g', 4));
}

const V4l2Format* TDlgVideoFormat::currentFormat() const {
    const int i = ui_->cbPixelFormat->currentIndex();
    return i >= 0 && i < formats_.size() ? &formats_[i] : nullptr;
}

const V4l2FrameSize* TDlgVideoFormat::currentSize() const {
    const V4l2Format* f = currentFormat();
    const int i = ui_->cbFrameSize->currentIndex();
    return f && i >= 0 && i < f->sizes.size() ? &f->sizes[i] : nullptr;
}

void TDlgVideoFormat::fillSizes(QSize keep) {
    const QSignalBlocker block(ui_->cbFrameSize);
    ui_->cbFrameSize->clear();
    const V4l2Format* f = currentFormat();
    if (!f || f->sizes.isEmpty()) {
        // The device does not list its sizes: it keeps its own.
        ui_->cbFrameSize->setEnabled(false);
        return;
    }
    ui_->cbFrameSize->setEnabled(true);
    int selected = -1;
    for (int i = 0; i < f->sizes.size(); ++i) {
        ui_->cbFrameSize->addItem(sizeText(f->sizes[i].size));
        if (f->sizes[i].size == keep) selected = i;
    }
    if (selected < 0) {
        // The size nearest the one before (by area) stands in for it.
        selected = 0;
        const qint64 wanted = qint64(keep.width()) * keep.height();
        qint64 bestDistance = -1;
        for (int i = 0; i < f->sizes.size(); ++i) {
            const QSize s = f->sizes[i].size;
            const qint64 distance = qAbs(qint64(s.width()) * s.height() - wanted);
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                selected = i;
            }
        }
    }
    ui_->cbFrameSize->setCurrentIndex(selected);
}

void TDlgVideoFormat::fillRates(const FrameRate& keep) {
    ui_->cbFrameRate->clear();
    const V4l2FrameSize* s = currentSize();
    if (!s || s->rates.isEmpty()) {
        ui_->cbFrameRate->setEnabled(false);
        return;
    }
    ui_->cbFrameRate->setEnabled(true);
    int selected = -1;
    for (int i = 0; i < s->rates.size(); ++i) {
        ui_->cbFrameRate->addItem(rateText(s->rates[i]));
        if (s->rates[i] == keep) selected = i;
    }
    if (selected < 0) {
        // The fastest rate that is not faster than the one before.
        selected = 0;
        for (int i = 0; i < s->rates.size(); ++i)
            if (s->rates[i].value() <= keep.value() + 1e-6) {
                selected = i;
                break;
            }
    }
    ui_->cbFrameRate->setCurrentIndex(selected);
}

FormatChoice TDlgVideoFormat::choice() const {
    FormatChoice c;
    const V4l2Format* f = currentFormat();
    if (!f) return c;
    c.fourcc = f->fourcc;
    if (const V4l2FrameSize* s = currentSize()) {
        c.size = s->size;
        const int r = ui_->cbFrameRate->currentIndex();
        if (r >= 0 && r < s->rates.size()) c.rate = s->rates[r];
    }
    return c;
}

} // namespace ostrel
