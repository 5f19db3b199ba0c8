#pragma once
// Step 3 of the setup wizard: "Finish" uploads the page and the stop pictures to the FTP
// account, writes the settings and shows the final page. A user without webspace gets the
// settings written and no uploads.
#include "setup/SetupWizard.h"
#include <memory>

namespace Ui {
class TfrmWizard3;
}

namespace ostrel {

class TfrmWizard3 : public WizardPage {
    Q_OBJECT
public:
    TfrmWizard3(SetupWizard& wizard, QWidget* parent = nullptr);
    ~TfrmWizard3() override;
    Ui::TfrmWizard3* ui() const { return ui_.get(); }

public slots:
    void BitBtnFinishClick();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void progressStep();
    void upload(const QString& local, const QString& remote);
    void writeSettings();
    void setBusy(bool busy);

    std::unique_ptr<Ui::TfrmWizard3> ui_;
};

} // namespace ostrel
