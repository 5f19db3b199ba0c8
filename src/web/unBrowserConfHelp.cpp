#include "web/unBrowserConfHelp.h"
#include "ui_unBrowserConfHelp.h"

namespace ostrel {

TfrmBrowserConfHelp::TfrmBrowserConfHelp(QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::TfrmBrowserConfHelp>()) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    QPalette palette = ui_->MemoHelp->palette();
    palette.setColor(QPalette::Base, QColor(255, 255, 206));
    palette.setColor(QPalette::Text, Qt::black);
    ui_->MemoHelp->setPalette(palette);
}

TfrmBrowserConfHelp::~TfrmBrowserConfHelp() = default;

} // namespace ostrel
