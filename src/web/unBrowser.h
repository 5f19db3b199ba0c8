#pragma once
// The remote host window: lists the motion pictures on the FTP host, views, downloads and
// deletes them, and uploads, restores or discards the web page changes prepared in the
// page look window. It uses the main window's one FTP client and never starts an
// operation on it while another is running.
#include "web/WebPageState.h"

#include <QDialog>
#include <atomic>
#include <memory>

namespace Ui {
class TfrmBrowser;
}

namespace ostrel {

class TFtpClient;
struct NetworkSettings;

class TfrmBrowser : public QDialog {
    Q_OBJECT
public:
    // `programFolder` ends with '/'. The FTP account is taken from `account` at every
    // showing: the network settings dialog's fields, saved or not.
    TfrmBrowser(const QString& programFolder, WebPageState& state, TFtpClient& ftp,
                const NetworkSettings& account, QWidget* parent = nullptr);
    ~TfrmBrowser() override;

    Ui::TfrmBrowser* ui() const { return ui_.get(); }
    // A name change was cancelled in the page look window: the pending name reads so.
    void showNameUnchanged();

    // Shown in the status bar when the FTP client is running another operation.
    static constexpr const char* BusyText = "The FTP connection is busy; try again in a moment.";

public slots:
    void FormShow();
    void DirListBoxClick(); // views the current entry
    void BitBtnSelectAllClick();
    void BitBtnDeselectAllClick();
    void BitBtnDeleteClick();
    void BitBtnDownloadClick();
    void BitBtnDisconnectClick();
    void BitBtnUploadHTMLClick();
    void btnRestoreNameClick();
    void btnRestoreLookClick();
    void btnDiscardClick();
    void FormClose();

protected:
    bool event(QEvent* event) override; // hover help into the status bar
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override; // Escape closes through closeEvent

private:
    bool clientFree(); // false (and says so) while the FTP client is busy
    QString serverFile(const QString& name) const;
    QString uploadAddress() const;
    void showPending();
    void fillList();
    // Decodes the picture at `path` (the placeholder when it cannot be shown) on a worker
    // thread and shows it under `name` once done, unless another picture was asked for
    // meanwhile or, with `dropWhenClosed`, the window was closed.
    void showPicture(const QString& path, const QString& name, bool dropWhenClosed = false);
    void setAllTicks(Qt::CheckState state);
    QStringList tickedNames() const;

    QString folder_;
    WebPageState& state_;
    TFtpClient& ftp_;
    const NetworkSettings& account_;
    std::unique_ptr<Ui::TfrmBrowser> ui_;
    // The latest picture asked for: its number (older results are dropped) and the flag
    // that cancels its decode once it is superseded.
    quint64 pictureRequest_ = 0;
    std::shared_ptr<std::atomic<bool>> pictureCancel_;
};

} // namespace ostrel
