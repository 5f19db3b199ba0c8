#include "capture/DlgCapture.h"
#include "capture/VideoCapture.h"
#include "platform/Desktop.h"
#include "platform/DigitFilter.h"
#include "platform/Exception.h"
#include "platform/Guard.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"
#include "ui_DlgCapture.h"
#include <QFile>
#include <QShowEvent>
#include <limits>

namespace ostrel {

namespace {

int inRange(int value, int most) {
    if (value < 0 || value > most) throw Exception(QStringLiteral("%1 is out of range").arg(value));
    return value;
}

} // namespace

TDlgCapParam::TDlgCapParam(TVideoCapture& device, const QString& programFolder, QWidget* parent)
    : QDialog(parent), device_(device),
      settingsFile_(resolveIn(programFolder, QString::fromLatin1(sif::ProgramFile))),
      ui_(std::make_unique<Ui::TDlgCapParam>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    installHelpKey(this, helpcontext::CaptureParameters);
    setFixedSize(sizeHint());

    auto* ui = ui_.get();
    for (QLineEdit* field : {ui->edFrameRate, ui->edCapTime, ui->edIndexSize, ui->edBufferSize})
        DigitFilter::install(field);
    connect(ui->OKBtn, &QPushButton::clicked, this, guarded([this] { OKBtnClick(); }));

    ui->CheckAudio->setChecked(device.CapAudio());
    ui->edFrameRate->setText(QString::number(device.FrameRate()));
    ui->edCapTime->setText(QString::number(device.CapTimeLimit()));
    ui->edIndexSize->setText(QString::number(device.CapIndexSize()));
    ui->edBufferSize->setText(QString::number(device.BufferFileSize()));
}

TDlgCapParam::~TDlgCapParam() = default;

void TDlgCapParam::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
        centreOnScreen(this);
    }
    QDialog::showEvent(event);
}

void TDlgCapParam::FormShow() {
    if (!QFile::exists(settingsFile_)) return;
    const IniFile ini(settingsFile_);
    auto* ui = ui_.get();
    ui->edFrameRate->setText(sif::readText(ini, sif::key::FrameRate));
    ui->edCapTime->setText(sif::readText(ini, sif::key::CaptureTime));
    ui->edIndexSize->setText(sif::readText(ini, sif::key::IndexSize));
    ui->edBufferSize->setText(sif::readText(ini, sif::key::BufferSize));
    ui->CheckAudio->setChecked(sif::read(ini, sif::key::CaptureAudio));
}

void TDlgCapParam::OKBtnClick() {
    auto* ui = ui_.get();
    {
        IniFile ini(settingsFile_, IniFile::Access::OwnerOnly);
        sif::writeText(ini, sif::key::FrameRate, ui->edFrameRate->text());
        sif::writeText(ini, sif::key::CaptureTime, ui->edCapTime->text());
        sif::writeText(ini, sif::key::IndexSize, ui->edIndexSize->text());
        sif::writeText(ini, sif::key::BufferSize, ui->edBufferSize->text());
        sif::write(ini, sif::key::CaptureAudio, ui->CheckAudio->isChecked());
    }
    const int frameRate = strToInt(ui->edFrameRate->text());
    const int capTime = strToInt(ui->edCapTime->text());
    const int indexSize = strToInt(ui->edIndexSize->text());
    const int bufferSize = strToInt(ui->edBufferSize->text());

    constexpr int Most16 = std::numeric_limits<quint16>::max();
    device_.setCapAudio(ui->CheckAudio->isChecked());
    device_.setFrameRate(quint16(inRange(frameRate, Most16)));
    device_.setCapTimeLimit(quint16(inRange(capTime, Most16)));
    device_.setCapIndexSize(quint32(inRange(indexSize, std::numeric_limits<int>::max())));
    device_.setBufferFileSize(quint16(inRange(bufferSize, Most16)));
    accept();
}

} // namespace ostrel
