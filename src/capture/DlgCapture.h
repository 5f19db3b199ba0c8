#pragma once
// "Capture parameters": the recording's frame rate, time limit, index size, buffer file and
// audio. Shows the device's values (or those kept in Ostrel.sif), and on OK writes the
// fields to [Capture Parameters] and applies them to the device.
#include <QDialog>
#include <memory>

namespace Ui {
class TDlgCapParam;
}

namespace ostrel {

class TVideoCapture;
struct CaptureParameterTexts;

class TDlgCapParam : public QDialog {
    Q_OBJECT
public:
    TDlgCapParam(TVideoCapture& device, const QString& programFolder, QWidget* parent = nullptr);
    ~TDlgCapParam() override;
    Ui::TDlgCapParam* ui() const { return ui_.get(); }

    // Writes the fields as they stand, then applies them one by one and closes. A field that
    // is no number or out of range raises and the dialog stays open; Ostrel.sif already
    // holds the texts and the values applied before the failing one are kept (see
    // applyCaptureParameters).
    void OKBtnClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void showParameters(const CaptureParameterTexts& t);

    TVideoCapture& device_;
    QString settingsFile_;
    std::unique_ptr<Ui::TDlgCapParam> ui_;
};

} // namespace ostrel
