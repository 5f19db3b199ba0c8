#pragma once
// The setup wizard's final page: what was done and where to go next. OK ends the wizard.
#include "setup/SetupWizard.h"
#include <memory>

namespace Ui {
class TWizardDone;
}

namespace ostrel {

class TWizardDone : public QDialog {
    Q_OBJECT
public:
    TWizardDone(SetupWizard& wizard, QWidget* parent = nullptr);
    ~TWizardDone() override;
    Ui::TWizardDone* ui() const { return ui_.get(); }

    // The text for a set-up with uploads, or for e-mail only.
    void showUploaded(bool uploaded);

    // OK, and Escape alike: the wizard ends.
    void accept() override;
    void reject() override { accept(); }

private:
    SetupWizard& wizard_;
    std::unique_ptr<Ui::TWizardDone> ui_;
    QString designedText_;
};

} // namespace ostrel
