#pragma once
// Step 1 of the setup wizard: the two questions (webspace with FTP, e-mail notification)
// and the account fields they call for. "Next" checks the fields, copies them into the
// live settings and the running clients, writes them to the settings file and shows the
// summary. A user without webspace ("No") gets e-mail-only storage: the e-mail account
// and the destination the images are mailed to.
#include "setup/SetupWizard.h"
#include <memory>

class QAbstractButton;
class QLineEdit;

namespace Ui {
class TfrmWizard1;
}

namespace ostrel {

class TfrmWizard1 : public WizardPage {
    Q_OBJECT
public:
    TfrmWizard1(SetupWizard& wizard, QWidget* parent = nullptr);
    ~TfrmWizard1() override;
    Ui::TfrmWizard1* ui() const { return ui_.get(); }

public slots:
    void cbYesFTPClick();
    void cbNoFTPClick();
    void cbYesNotifyClick();
    void cbNoNotifyClick();
    void BitBtnBackClick();
    void BitBtnNextClick();

private:
    QString addressError(QLineEdit* field);
    // The answers call for these fields; false (after the error box) when one is empty.
    bool allFilled(const QList<QLineEdit*>& fields);
    void takeFtpAccount();
    void takeEmailAccount();
    void writeAnswers(bool withEmail);
    void setNavigation(bool enabled);
    // One notify box ticked or unticked: the other goes, and the fields it calls for show.
    void notifyAnswered(QAbstractButton* box, QAbstractButton* other, bool notify);
    // Runs a reaction to an answer; the boxes it ticks and unticks do not react themselves.
    void react(void (TfrmWizard1::*handler)());

    std::unique_ptr<Ui::TfrmWizard1> ui_;
    bool reacting_ = false; // an answer's reaction is changing the boxes
};

} // namespace ostrel
