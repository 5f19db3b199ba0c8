#include "capture/DriverDialogs.h"

namespace ostrel {

namespace {
DriverDialogRunner& installedRunner() {
    static DriverDialogRunner runner;
    return runner;
}
} // namespace

void setDriverDialogRunner(DriverDialogRunner runner) {
    installedRunner() = std::move(runner);
}

int execDriverDialog(QDialog& dialog) {
    const DriverDialogRunner& runner = installedRunner();
    return runner ? runner(dialog) : dialog.exec();
}

} // namespace ostrel
