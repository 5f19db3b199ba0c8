#pragma once
// "Select Capture Driver": the dialog and the command that runs it.
#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class TDlgCapDriver;
}

namespace ostrel {

class TVideoCapture;

class TDlgCapDriver : public QDialog {
    Q_OBJECT
public:
    explicit TDlgCapDriver(QWidget* parent = nullptr);
    ~TDlgCapDriver() override;
    Ui::TDlgCapDriver* ui() const { return ui_.get(); }

    static constexpr int HelpContext = 10;

private:
    std::unique_ptr<Ui::TDlgCapDriver> ui_;
};

// Lets the user pick a driver and reconnects the device. Shows the dialog through
// `exec` (tests replace it to answer the dialog). Raises the device's open error when
// no driver is chosen or the chosen one will not connect; the dialog never outlives it.
using DialogRunner = std::function<int(TDlgCapDriver&)>;
void runCaptureDriverCommand(TVideoCapture& device, QWidget* parent,
                             const DialogRunner& exec = {});

// Test hook: when set, runCaptureDriverCommand uses it instead of QDialog::exec.
void setCaptureDriverDialogRunner(DialogRunner runner);

} // namespace ostrel
