#pragma once
// The help of the look and name window: a resizable window with a fixed text on light
// yellow, shown beside that window without closing it.
#include <QWidget>
#include <memory>

namespace Ui {
class TfrmBrowserConfHelp;
}

namespace ostrel {

class TfrmBrowserConfHelp : public QWidget {
    Q_OBJECT
public:
    // A window of its own; with the look and name window as `parent` it takes input while
    // that window is modal.
    explicit TfrmBrowserConfHelp(QWidget* parent = nullptr);
    ~TfrmBrowserConfHelp() override;

    Ui::TfrmBrowserConfHelp* ui() const { return ui_.get(); }

private:
    std::unique_ptr<Ui::TfrmBrowserConfHelp> ui_;
};

} // namespace ostrel
