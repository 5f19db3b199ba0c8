#pragma once
// "Video Compression": the quality of recorded video (Motion JPEG, 1 to 100), kept in
// vcap.sif as [Video Compression] Quality for every driver alike.
#include "platform/SettingsKeys.h"
#include <QDialog>
#include <memory>

namespace Ui {
class TDlgVideoCompression;
}

namespace ostrel {

constexpr int MinCompressionQuality = 1;
constexpr int MaxCompressionQuality = 100;
constexpr int DefaultCompressionQuality = sif::key::CompressionQuality.def;

int readCompressionQuality(const QString& programFolder);
// Raises EIniFileException when vcap.sif cannot be written.
void writeCompressionQuality(const QString& programFolder, int quality);

class TDlgVideoCompression : public QDialog {
    Q_OBJECT
public:
    explicit TDlgVideoCompression(int quality, QWidget* parent = nullptr);
    ~TDlgVideoCompression() override;
    Ui::TDlgVideoCompression* ui() const { return ui_.get(); }
    int quality() const;

private:
    std::unique_ptr<Ui::TDlgVideoCompression> ui_;
};

} // namespace ostrel
