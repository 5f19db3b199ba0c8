#include "capture/DlgDriver.h"
#include "capture/VideoCapture.h"
#include "platform/Desktop.h"
#include "ui_DlgDriver.h"

namespace ostrel {

namespace {
DialogRunner& installedRunner() {
    static DialogRunner runner;
    return runner;
}
} // namespace

void setCaptureDriverDialogRunner(DialogRunner runner) {
    installedRunner() = std::move(runner);
}

TDlgCapDriver::TDlgCapDriver(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TDlgCapDriver>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    installHelpKey(this, HelpContext);
    setFixedSize(sizeHint());
}

TDlgCapDriver::~TDlgCapDriver() = default;

void runCaptureDriverCommand(TVideoCapture& device, QWidget* parent, const DialogRunner& exec) {
    TDlgCapDriver dialog(parent); // owned here, so it is freed however the command ends
    const QStringList drivers = device.ListDrivers();
    dialog.ui()->ComboBox1->addItems(drivers);
    device.setDriverOpen(false);
    const int current = device.DriverIndex();
    dialog.ui()->ComboBox1->setCurrentIndex(current < drivers.size() ? current : -1);

    const DialogRunner& runner = exec ? exec : installedRunner();
    const int result = runner ? runner(dialog) : dialog.exec();
    if (result == QDialog::Accepted) device.setDriverIndex(dialog.ui()->ComboBox1->currentIndex());
    device.setDriverOpen(true);
}

} // namespace ostrel
