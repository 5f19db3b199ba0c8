#include "dialogs/unNetworkHelp.h"
#include "ui_unNetworkHelp.h"

namespace ostrel {

TfrmNetworkHelp::TfrmNetworkHelp(QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::TfrmNetworkHelp>()) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette palette = ui_->MemoHelp->palette();
    palette.setColor(QPalette::Base, QColor(255, 255, 206));
    palette.setColor(QPalette::Text, Qt::black);
    ui_->MemoHelp->setPalette(palette);
}

TfrmNetworkHelp::~TfrmNetworkHelp() = default;

} // namespace ostrel
