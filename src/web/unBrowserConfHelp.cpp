#include "web/unBrowserConfHelp.h"
#include "platform/Desktop.h"
#include "ui_unBrowserConfHelp.h"

namespace ostrel {

TfrmBrowserConfHelp::TfrmBrowserConfHelp(QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::TfrmBrowserConfHelp>()) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    showAsHelpText(ui_->MemoHelp);
}

TfrmBrowserConfHelp::~TfrmBrowserConfHelp() = default;

} // namespace ostrel
