#include "setup/unWizardDone.h"
#include "platform/Desktop.h"
#include "ui_unWizardDone.h"

namespace ostrel {

TWizardDone::TWizardDone(SetupWizard& wizard, QWidget* parent)
    : QDialog(parent), wizard_(wizard), ui_(std::make_unique<Ui::TWizardDone>()) {
    ui_->setupUi(this);
    // A fixed dialog without title-bar buttons: OK is the way out.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(sizeHint());
    setAttribute(Qt::WA_QuitOnClose, false);
    installHelpKey(this, SetupWizard::HelpContext);
    connect(ui_->OKBtn, &QPushButton::clicked, this, &TWizardDone::accept);
}

TWizardDone::~TWizardDone() = default;

void TWizardDone::showUploaded(bool uploaded) {
    if (designedText_.isEmpty()) designedText_ = ui_->Intro->toHtml();
    if (uploaded) {
        ui_->Intro->setHtml(designedText_);
        return;
    }
    ui_->Intro->setHtml(QStringLiteral(
        "<p>The wizard has saved your settings and will now close.</p>"
        "<p>Ostrel keeps the motion detection images on this computer; with \"Local and "
        "Remote\" chosen for motion detection, it also sends each of them by email to the "
        "destination address. If something went wrong, File &gt;&gt; View Error Log tells "
        "what it was.</p>"
        "<p>You can change every setting under Settings &gt;&gt; Network Settings, and run "
        "this wizard again from File &gt;&gt; Run Configuration Wizard.</p>"));
}

void TWizardDone::accept() {
    QDialog::accept();
    wizard_.end();
}

} // namespace ostrel
