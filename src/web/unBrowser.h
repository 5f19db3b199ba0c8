#pragma once
// The remote host window: lists the motion pictures on the FTP host, views, downloads and
// deletes them, and uploads, restores or discards the web page changes prepared in the
// page look window. It uses the main window's one FTP client and never starts an
// operation on it while another is running.
#include "web/WebPageState.h"

#include <QDialog>
#include <atomic>
#include <memory>
#include <optional>

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
    // showing: the main window's live settings, which hold the saved account.
    TfrmBrowser(const QString& programFolder, WebPageState& state, TFtpClient& ftp,
                const NetworkSettings& account, QWidget* parent = nullptr);
    ~TfrmBrowser() override;

    Ui::TfrmBrowser* ui() const { return ui_.get(); }
    // A name change was cancelled in the page look window: the pending name reads so.
    void showNameUnchanged();

    // Shown in the status bar when the FTP client is running another operation.
    static constexpr const char* BusyText = "The FTP connection is busy; try again in a moment.";
    // Shown when Disconnect or the window's close ended a transfer of this window.
    static constexpr const char* StoppedText = "Transfer stopped.";

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

signals:
    // A page file of Upload Changes or a Restore button could not be read or written; the
    // user has been told, and `text` says which file and why.
    void pageFileFailed(const QString& text);

protected:
    bool event(QEvent* event) override; // hover help into the status bar
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override; // Escape closes through closeEvent

private:
    // Held by each handler that talks to the host: Disconnect and the close stop what such
    // a handler has under way, and the handler goes no further.
    class Working;
    bool clientFree(); // false (and says so) while the FTP client is busy
    bool stopped() const { return stopped_; }
    void stopOwnTransfer();
    QString serverFile(const QString& name) const;
    // A file of the Server folder for the user's click; a failure is told in a box and
    // through pageFileFailed.
    std::optional<QByteArray> readServerFile(const QString& name);
    bool writeServerFile(const QString& name, const QByteArray& bytes);
    void pageFailure(const QString& text);
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
    int working_ = 0;
    bool stopped_ = false;
    // The latest picture asked for: its number (older results are dropped) and the flag
    // that cancels its decode once it is superseded.
    quint64 pictureRequest_ = 0;
    std::shared_ptr<std::atomic<bool>> pictureCancel_;
};

} // namespace ostrel
