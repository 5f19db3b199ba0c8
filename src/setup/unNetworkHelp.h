#pragma once
// The network settings help: a resizable window with a fixed text on light yellow, shown
// beside the network settings dialog without closing it.
#include <QWidget>
#include <memory>

namespace Ui {
class TfrmNetworkHelp;
}

namespace ostrel {

class TfrmNetworkHelp : public QWidget {
    Q_OBJECT
public:
    // A window of its own; with the network settings dialog as `parent` it takes input
    // while that dialog is modal.
    explicit TfrmNetworkHelp(QWidget* parent = nullptr);
    ~TfrmNetworkHelp() override;

    Ui::TfrmNetworkHelp* ui() const { return ui_.get(); }

private:
    std::unique_ptr<Ui::TfrmNetworkHelp> ui_;
};

} // namespace ostrel
