#pragma once
// Step 2 of the setup wizard: the answers and accounts of step 1 as they will be set up.
#include "setup/SetupWizard.h"
#include <memory>

namespace Ui {
class TfrmWizard2;
}

namespace ostrel {

class TfrmWizard2 : public WizardPage {
    Q_OBJECT
public:
    TfrmWizard2(SetupWizard& wizard, QWidget* parent = nullptr);
    ~TfrmWizard2() override;
    Ui::TfrmWizard2* ui() const { return ui_.get(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TfrmWizard2> ui_;
};

} // namespace ostrel
