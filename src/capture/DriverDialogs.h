#pragma once
// How the drivers' dialogs (Video Format, Video Source, Video Compression) are shown:
// modally through QDialog::exec, or through a runner a test installs to answer them.
#include <QDialog>
#include <functional>

namespace ostrel {

using DriverDialogRunner = std::function<int(QDialog&)>;

// Test hook: when set, every driver dialog is shown through `runner` instead of exec.
void setDriverDialogRunner(DriverDialogRunner runner);
int execDriverDialog(QDialog& dialog);

} // namespace ostrel
