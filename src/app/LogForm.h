#pragma once
// The error log window: the log's lines, Save As, Clear Log and Close, and the
// question to start a new log when the list grows past 61,440 characters.
#include <QDialog>
#include <memory>

namespace Ui {
class TLogForm;
}

namespace ostrel {

class ErrorLog;

class TLogForm : public QDialog {
    Q_OBJECT
public:
    TLogForm(ErrorLog& log, QWidget* parent = nullptr);
    ~TLogForm() override;

    static constexpr int SizeLimit = 61440;

    Ui::TLogForm* ui() const { return ui_.get(); }

public slots:
    void btnSaveClick();
    void btnClearLogClick();
    void btnCloseClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override; // Escape closes through closeEvent's question

private:
    bool saveAs(); // true when the user saved a copy
    void refresh();
    void formCloseQuery();

    ErrorLog& log_;
    std::unique_ptr<Ui::TLogForm> ui_;
    bool placed_ = false; // centred on the screen at the first showing
};

} // namespace ostrel
