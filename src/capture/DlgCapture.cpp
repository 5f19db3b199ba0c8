#include "capture/DlgCapture.h"
#include "capture/CaptureParameters.h"
#include "capture/VideoCapture.h"
#include "platform/Desktop.h"
#include "platform/DigitFilter.h"
#include "platform/Guard.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"
#include "ui_DlgCapture.h"
#include <QFile>
#include <QShowEvent>

namespace ostrel {

namespace {

using Texts = CaptureParameterTexts;

// Each field and the text of the parameter it shows.
QList<std::pair<QLineEdit*, QString Texts::*>> textFields(Ui::TDlgCapParam* ui) {
    return {{ui->edFrameRate, &Texts::frameRate},
            {ui->edCapTime, &Texts::captureTime},
            {ui->edIndexSize, &Texts::indexSize},
            {ui->edBufferSize, &Texts::bufferSize}};
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

    for (const auto& [field, member] : textFields(ui_.get()))
        DigitFilter::install(field);
    connect(ui_->OKBtn, &QPushButton::clicked, this, guarded([this] { OKBtnClick(); }));

    Texts t;
    t.frameRate = QString::number(device.FrameRate());
    t.captureTime = QString::number(device.CapTimeLimit());
    t.indexSize = QString::number(device.CapIndexSize());
    t.bufferSize = QString::number(device.BufferFileSize());
    t.captureAudio = device.CapAudio();
    showParameters(t);
}

TDlgCapParam::~TDlgCapParam() = default;

void TDlgCapParam::showParameters(const CaptureParameterTexts& t) {
    for (const auto& [field, member] : textFields(ui_.get()))
        field->setText(t.*member);
    ui_->CheckAudio->setChecked(t.captureAudio);
}

void TDlgCapParam::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        FormShow();
        centreOnScreen(this);
    }
    QDialog::showEvent(event);
}

void TDlgCapParam::FormShow() {
    if (!QFile::exists(settingsFile_)) return;
    Texts t;
    sif::readFields(IniFile(settingsFile_), t, captureParameterFields<Texts>());
    showParameters(t);
}

void TDlgCapParam::OKBtnClick() {
    Texts t;
    for (const auto& [field, member] : textFields(ui_.get()))
        t.*member = field->text();
    t.captureAudio = ui_->CheckAudio->isChecked();
    {
        IniFile ini(settingsFile_, IniFile::Access::OwnerOnly);
        sif::writeFields(ini, t, captureParameterFields<Texts>(), sif::CapParamDialog);
    }
    applyCaptureParameters(device_, captureParametersFromTexts(t), OutOfRange::Refuse);
    accept();
}

} // namespace ostrel
