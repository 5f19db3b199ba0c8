#include "setup/SetupWizard.h"
#include "setup/unWizard1.h"
#include "setup/unWizard2.h"
#include "setup/unWizard3.h"
#include "setup/unWizardDone.h"
#include "platform/Desktop.h"
#include "platform/Guard.h"
#include <QEventLoop>

namespace ostrel {

WizardPage::WizardPage(SetupWizard& wizard, QWidget* parent) : QDialog(parent), wizard_(wizard) {
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // Windows that live for the whole run never keep the program alive on their own.
    setAttribute(Qt::WA_QuitOnClose, false);
    installHelpKey(this, SetupWizard::HelpContext);
}

void WizardPage::reject() {
    if (busy_) return;
    wizard_.end();
}

SetupWizard::SetupWizard(WizardParts parts, QWidget* parent)
    : QObject(parent), parts_(std::move(parts)) {
    page1_ = new TfrmWizard1(*this, parent);
    page2_ = new TfrmWizard2(*this, parent);
    page3_ = new TfrmWizard3(*this, parent);
    done_ = new TWizardDone(*this, parent);
}

SetupWizard::~SetupWizard() {
    if (loop_) loop_->exit();
}

TfrmWizard1* SetupWizard::page1() const {
    return page1_;
}
TfrmWizard2* SetupWizard::page2() const {
    return page2_;
}
TfrmWizard3* SetupWizard::page3() const {
    return page3_;
}
TWizardDone* SetupWizard::donePage() const {
    return done_;
}

void SetupWizard::run() {
    if (loop_) return;
    QEventLoop loop;
    loop_ = &loop;
    showPage(1);
    loop.exec(QEventLoop::DialogExec);
    loop_ = nullptr;
    parts_.host.wizardEnded();
}

void SetupWizard::end() {
    for (QDialog* page : QList<QDialog*>{page1_, page2_, page3_, done_})
        if (page) page->hide();
    if (loop_) loop_->exit();
}

void SetupWizard::showPage(int page) {
    const QList<QDialog*> pages{page1_, page2_, page3_};
    QDialog* shown = pages.value(page - 1);
    for (QDialog* p : pages)
        if (p != shown) p->hide();
    if (!shown) return;
    shown->show();
    shown->raise();
    shown->activateWindow();
}

void SetupWizard::cancelWizard(QWidget* page) {
    desktop().messageBeep();
    const MsgButton answer =
        desktop().messageBox(MsgKind::Warning,
                             QStringLiteral("If you cancel this Wizard it will not start\n"
                                            "again unless you run it from the menu \"File\".\n"
                                            "Do you really want to Cancel ?"),
                             MsgButton::Yes | MsgButton::No, page);
    if (answer != MsgButton::Yes) return;
    parts_.host.setFirstRun(false);
    end();
}

} // namespace ostrel
