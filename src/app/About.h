#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class TAboutDlg;
}

namespace ostrel {

// "Version 1.0  (Build 1)" from a four-part version "1.0.0.1" (first, second and fourth).
QString versionText(const QString& fourPartVersion);

class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDlg(QWidget* parent = nullptr);
    ~TAboutDlg() override;
    Ui::TAboutDlg* ui() const { return ui_.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void openLink();
    std::unique_ptr<Ui::TAboutDlg> ui_;
};

} // namespace ostrel
