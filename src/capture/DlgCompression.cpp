#include "capture/DlgCompression.h"
#include "ui_DlgCompression.h"

#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <algorithm>

namespace ostrel {

namespace {
const QString Section = QStringLiteral("Video Compression");
const QString QualityKey = QStringLiteral("Quality");

QString settingsFile(const QString& programFolder) {
    return resolveIn(programFolder, QStringLiteral("vcap.sif"));
}
} // namespace

int readCompressionQuality(const QString& programFolder) {
    return std::clamp(IniFile(settingsFile(programFolder))
                          .readInteger(Section, QualityKey, DefaultCompressionQuality),
                      MinCompressionQuality, MaxCompressionQuality);
}

void writeCompressionQuality(const QString& programFolder, int quality) {
    IniFile ini(settingsFile(programFolder));
    ini.writeInteger(Section, QualityKey,
                     std::clamp(quality, MinCompressionQuality, MaxCompressionQuality));
}

TDlgVideoCompression::TDlgVideoCompression(int quality, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TDlgVideoCompression>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui_->seQuality->setValue(std::clamp(quality, MinCompressionQuality, MaxCompressionQuality));
}

TDlgVideoCompression::~TDlgVideoCompression() = default;

int TDlgVideoCompression::quality() const {
    return ui_->seQuality->value();
}

} // namespace ostrel
