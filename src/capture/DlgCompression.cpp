#include "capture/DlgCompression.h"
#include "platform/Desktop.h"
#include "ui_DlgCompression.h"

#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsKeys.h"

#include <algorithm>

namespace ostrel {

namespace {

QString settingsFile(const QString& programFolder) {
    return resolveIn(programFolder, QString::fromLatin1(sif::DriverFile));
}
} // namespace

int readCompressionQuality(const QString& programFolder) {
    return std::clamp(sif::read(IniFile(settingsFile(programFolder)), sif::key::CompressionQuality),
                      MinCompressionQuality, MaxCompressionQuality);
}

void writeCompressionQuality(const QString& programFolder, int quality) {
    IniFile ini(settingsFile(programFolder));
    sif::write(ini, sif::DriverDialogs, sif::key::CompressionQuality,
               std::clamp(quality, MinCompressionQuality, MaxCompressionQuality));
}

TDlgVideoCompression::TDlgVideoCompression(int quality, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TDlgVideoCompression>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    installHelpKey(this, helpcontext::VideoCompression);
    ui_->seQuality->setValue(std::clamp(quality, MinCompressionQuality, MaxCompressionQuality));
}

TDlgVideoCompression::~TDlgVideoCompression() = default;

int TDlgVideoCompression::quality() const {
    return ui_->seQuality->value();
}

} // namespace ostrel
