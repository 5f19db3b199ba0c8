#include "setup/unNetworkHelp.h"
#include "platform/Desktop.h"
#include "ui_unNetworkHelp.h"

namespace ostrel {

TfrmNetworkHelp::TfrmNetworkHelp(QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::TfrmNetworkHelp>()) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    showAsHelpText(ui_->MemoHelp);
}

TfrmNetworkHelp::~TfrmNetworkHelp() = default;

} // namespace ostrel
