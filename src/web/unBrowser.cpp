#include "web/unBrowser.h"
#include "ui_unBrowser.h"

#include "net/FtpClient.h"
#include "net/NetworkSettings.h"
#include "picture/PictureLoading.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/Guard.h"
#include "platform/ProgramFolder.h"
#include "web/RemoteNames.h"
#include "web/WebPage.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QStatusTipEvent>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <optional>

namespace ostrel {

namespace {
constexpr int HelpContext = 6;
const QString Caption = QStringLiteral("Ostrel - Remote Host File Management");
const QString NoChange = QStringLiteral("no change");
const QString DefaultPage = QStringLiteral("ostrel.html");
const QString NewLook = QStringLiteral("newlook.html");

// The file's bytes (at most `limit` of them), or nothing when it cannot be read.
std::optional<QByteArray> readFile(const QString& path, qint64 limit = MaxPictureFileSize) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return file.read(limit);
}

// A picture ready for the picture area, and what a screen reader calls it.
struct ShownPicture {
    QImage image;
    QString name;
};

// Runs on a worker thread and touches nothing of the window. Pictures here come from the
// server (or stand in for one), so they are held to a server picture's limits. Nothing
// comes back from a decode that was cancelled.
std::optional<ShownPicture> decodeForArea(const QString& path, const QString& name,
                                          const QString& placeholder, const QString& noPicture,
                                          QSize fitting,
                                          const std::shared_ptr<std::atomic<bool>>& cancelled) {
    PictureLimits limits = ServerPicture;
    limits.cancelled = cancelled.get();
    for (const auto& [file, shownAs] : {std::pair(path, name), std::pair(placeholder, noPicture)}) {
        try {
            return ShownPicture{loadPicture(file, fitting, limits).image, shownAs};
        } catch (...) {
            // Not a picture, or not one worth the cost: the next choice.
        }
        if (cancelled->load()) return std::nullopt;
    }
    return ShownPicture{{}, noPicture};
}
} // namespace

class TfrmBrowser::Working {
public:
    explicit Working(TfrmBrowser& w) : w_(w) {
        if (w_.working_++ == 0) w_.stopped_ = false;
    }
    ~Working() { --w_.working_; }
    Working(const Working&) = delete;
    Working& operator=(const Working&) = delete;

private:
    TfrmBrowser& w_;
};

TfrmBrowser::TfrmBrowser(const QString& programFolder, WebPageState& state, TFtpClient& ftp,
                         const NetworkSettings& account, QWidget* parent)
    : QDialog(parent), folder_(withSlash(programFolder)), state_(state), ftp_(ftp),
      account_(account), ui_(std::make_unique<Ui::TfrmBrowser>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // Created once and hidden when closed; it never keeps the program alive.
    setAttribute(Qt::WA_QuitOnClose, false);
    installHelpKey(this, HelpContext);

    Ui::TfrmBrowser& ui = *ui_;
    const auto onClick = [this](QPushButton* button, void (TfrmBrowser::*handler)()) {
        connect(button, &QPushButton::clicked, this,
                guarded([this, handler] { (this->*handler)(); }));
    };
    onClick(ui.BitBtnDelete, &TfrmBrowser::BitBtnDeleteClick);
    onClick(ui.BitBtnSelectAll, &TfrmBrowser::BitBtnSelectAllClick);
    onClick(ui.BitBtnDownload, &TfrmBrowser::BitBtnDownloadClick);
    onClick(ui.BitBtnDeselectAll, &TfrmBrowser::BitBtnDeselectAllClick);
    onClick(ui.BitBtnDisconnect, &TfrmBrowser::BitBtnDisconnectClick);
    onClick(ui.btnRestoreName, &TfrmBrowser::btnRestoreNameClick);
    onClick(ui.btnRestoreLook, &TfrmBrowser::btnRestoreLookClick);
    onClick(ui.BitBtnUploadHTML, &TfrmBrowser::BitBtnUploadHTMLClick);
    onClick(ui.btnDiscard, &TfrmBrowser::btnDiscardClick);
    // A click views the entry; so does a move by keys or a screen reader's pick (a mouse
    // press also moves the current entry, and its click follows).
    connect(ui.DirListBox, &QListWidget::itemClicked, this, guarded([this] { DirListBoxClick(); }));
    connect(ui.DirListBox, &QListWidget::currentItemChanged, this,
            guarded([this](QListWidgetItem* item) {
                if (item && QGuiApplication::mouseButtons() == Qt::NoButton) DirListBoxClick();
            }));
}

TfrmBrowser::~TfrmBrowser() {
    // A decode under way ends at its next row; its result goes nowhere.
    if (pictureCancel_) pictureCancel_->store(true);
}

bool TfrmBrowser::clientFree() {
    if (stopped_) return false;
    if (ftp_.Ready()) return true;
    ui_->StatusBar1->showMessage(QString::fromLatin1(BusyText));
    return false;
}

void TfrmBrowser::stopOwnTransfer() {
    if (working_ == 0 || ftp_.Ready()) return;
    stopped_ = true;
    ftp_.Abort();
    ui_->StatusBar1->showMessage(QString::fromLatin1(StoppedText));
}

QString TfrmBrowser::serverFile(const QString& name) const {
    return folder_ + QStringLiteral("Server/") + name;
}

QString TfrmBrowser::uploadAddress() const {
    return QStringLiteral("Upload to:   ftp://") + ftp_.HostName() + QLatin1Char('/') +
           ftp_.UserName() + QLatin1Char('/');
}

void TfrmBrowser::showNameUnchanged() {
    setSpokenText(ui_->lblChangedName, NoChange);
}

void TfrmBrowser::showPending() {
    const bool pending = state_.PageChangesPending;
    setSpokenText(ui_->lblChangedName, pending ? state_.NewPageName : NoChange);
    setSpokenText(ui_->lblChangedSize, pending ? state_.SizeLabel : NoChange);
    setSpokenText(ui_->lblChangedRate, pending ? state_.RefreshLabel : NoChange);
}

void TfrmBrowser::FormShow() {
    const Working working(*this);
    if (!clientFree()) return;
    setWindowTitle(Caption);
    if (ftp_.Connected()) ftp_.Quit();
    applyFtpAccount(account_, ftp_);
    ftp_.setHostDirName(QStringLiteral("/"));
    ftp_.setHostFileName({});
    setWindowTitle(Caption + QStringLiteral(" :   ftp://") + account_.ftpHost);
    setSpokenText(ui_->lblURL, uploadAddress());
    showPending();

    ftp_.setLocalFileName(folder_ + QStringLiteral("HostImagesList.lst"));
    if (!ftp_.Connected()) ftp_.Connect();
    if (stopped()) return;
    if (ftp_.Connected())
        ftp_.Ls();
    else
        ftp_.List();
    fillList();
    // Closed while the listing was waiting: the close could not quit a busy client.
    if (!isVisible() && ftp_.Connected() && ftp_.Ready()) ftp_.Quit();
}

void TfrmBrowser::fillList() {
    QListWidget* list = ui_->DirListBox;
    const QSignalBlocker quiet(list); // filling is not a pick
    list->clear();
    const auto listing =
        readFile(folder_ + QStringLiteral("HostImagesList.lst"), TFtpClient::ListingLimit);
    if (!listing) return;
    for (const QString& name : listedPictures(*listing)) {
        auto* item = new QListWidgetItem(name, list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
}

void TfrmBrowser::showPicture(const QString& path, const QString& name, bool dropWhenClosed) {
    if (pictureCancel_) pictureCancel_->store(true);
    pictureCancel_ = std::make_shared<std::atomic<bool>>(false);
    const quint64 request = ++pictureRequest_;
    using Watcher = QFutureWatcher<std::optional<ShownPicture>>;
    auto* watcher = new Watcher(this);
    connect(watcher, &Watcher::finished, this, guarded([this, watcher, request, dropWhenClosed] {
                watcher->deleteLater();
                if (request != pictureRequest_ || (dropWhenClosed && !isVisible())) return;
                if (const auto shown = watcher->result())
                    ui_->Image->setPicture(shown->image, shown->name);
            }));
    watcher->setFuture(QtConcurrent::run(decodeForArea, path, name,
                                         folder_ + QStringLiteral("imgempty.jpg"), tr("No picture"),
                                         ui_->Image->fittingSize(), pictureCancel_));
}

void TfrmBrowser::DirListBoxClick() {
    const Working working(*this);
    const QListWidgetItem* item = ui_->DirListBox->currentItem();
    if (!item || !clientFree()) return;
    const QString name = item->text();
    const QString local = folder_ + QStringLiteral("TempRemoteFile.jpg");
    ftp_.setHostFileName(name);
    ftp_.setLocalFileName(local);
    // A view always starts a fresh connection.
    if (ftp_.Connected()) ftp_.Quit();
    if (stopped()) return;
    if (!ftp_.Connected())
        ftp_.Receive();
    else
        ftp_.Get();
    showPicture(local, name, true);
}

void TfrmBrowser::setAllTicks(Qt::CheckState state) {
    for (int i = 0; i < ui_->DirListBox->count(); ++i)
        ui_->DirListBox->item(i)->setCheckState(state);
}

void TfrmBrowser::BitBtnSelectAllClick() {
    setAllTicks(Qt::Checked);
}

void TfrmBrowser::BitBtnDeselectAllClick() {
    setAllTicks(Qt::Unchecked);
}

QStringList TfrmBrowser::tickedNames() const {
    QStringList names;
    for (int i = 0; i < ui_->DirListBox->count(); ++i) {
        const QListWidgetItem* item = ui_->DirListBox->item(i);
        if (item->checkState() == Qt::Checked) names.append(item->text());
    }
    return names;
}

void TfrmBrowser::BitBtnDeleteClick() {
    const Working working(*this);
    if (!ui_->DirListBox->currentItem() || !clientFree()) return;
    if (desktop().messageBox(MsgKind::Confirmation,
                             QStringLiteral("This action can not be undone. \nAre you sure ?"),
                             MsgButton::Yes | MsgButton::No, this) == MsgButton::No)
        return;
    for (const QString& name : tickedNames()) {
        if (!clientFree()) return;
        ftp_.setHostFileName(name);
        if (ftp_.Connected())
            ftp_.Dele();
        else
            ftp_.Delete();
    }
    if (!stopped()) FormShow();
}

void TfrmBrowser::BitBtnDownloadClick() {
    const Working working(*this);
    if (!ui_->DirListBox->currentItem() || !clientFree()) return;
    const QString target = folder_ + QStringLiteral("Downloaded Images/");
    QDir().mkpath(target);
    for (int i = 0; i < ui_->DirListBox->count(); ++i) {
        QListWidgetItem* item = ui_->DirListBox->item(i);
        if (item->checkState() != Qt::Checked) continue;
        if (!clientFree()) return;
        ftp_.setHostFileName(item->text());
        ftp_.setLocalFileName(target + item->text());
        if (ftp_.Connected())
            ftp_.Get();
        else
            ftp_.Receive();
        item->setCheckState(Qt::Unchecked);
    }
}

void TfrmBrowser::BitBtnDisconnectClick() {
    if (working_ > 0) {
        stopOwnTransfer();
        return;
    }
    if (clientFree() && ftp_.Connected()) ftp_.Quit();
}

std::optional<QByteArray> TfrmBrowser::readServerFile(const QString& name) {
    QString error;
    auto bytes = webpage::readPageFile(serverFile(name), &error);
    if (!bytes) pageFailure(error);
    return bytes;
}

bool TfrmBrowser::writeServerFile(const QString& name, const QByteArray& bytes) {
    QString error;
    if (webpage::writePageFile(serverFile(name), bytes, &error)) return true;
    pageFailure(error);
    return false;
}

void TfrmBrowser::pageFailure(const QString& text) {
    emit pageFileFailed(text);
    showError(text, this);
}

void TfrmBrowser::BitBtnUploadHTMLClick() {
    const Working working(*this);
    const QString newLook = serverFile(NewLook);
    if (!QFile::exists(newLook)) {
        desktop().messageBeep();
        showInformation(QStringLiteral("There are no changes to upload."), this);
        state_.PageChangesPending = false;
        return;
    }
    if (!clientFree()) return;
    desktop().messageBeep();
    if (desktop().messageBox(MsgKind::Warning,
                             QStringLiteral("This action will replace the existing file on the "
                                            "server. Do you really want to do this?"),
                             MsgButton::Yes | MsgButton::No, this) != MsgButton::Yes) {
        state_.PageChangesPending = false;
        return;
    }
    if (!clientFree()) return;
    const auto text = readServerFile(NewLook);
    if (!text) return;
    QString name = !state_.NewPageName.isEmpty() && state_.NewPageName != state_.OldPageName
                       ? state_.NewPageName
                       : state_.OldPageName;
    if (name.isEmpty()) name = state_.WebPageName;
    // A page that cannot be written locally cannot be sent; the change stays pending.
    if (!writeServerFile(name, *text)) return;
    ftp_.setLocalFileName(serverFile(name));
    ftp_.setHostFileName(name);
    const bool sent = ftp_.Connected() ? ftp_.Put() : ftp_.Transmit();
    // A failed upload keeps the change for another try.
    if (!sent) return;
    state_.WebPageName = name;
    state_.PageChangesPending = false;
    for (QLabel* label : {ui_->lblChangedName, ui_->lblChangedSize, ui_->lblChangedRate})
        setSpokenText(label, NoChange);
    QFile::remove(newLook);
    // The local copy under the page's name stays: it is the page now on the server, which a
    // later rename or Restore Default Name starts from.
    ui_->StatusBar1->showMessage(QStringLiteral("The web page was uploaded as %1.").arg(name));
}

void TfrmBrowser::btnRestoreNameClick() {
    const bool lookPending = QFile::exists(serverFile(NewLook));
    const auto text = readServerFile(lookPending ? NewLook : state_.WebPageName);
    // Upload Changes sends newlook.html under NewPageName: the current page under the
    // default name.
    if (!text || !writeServerFile(DefaultPage, *text) ||
        (!lookPending && !writeServerFile(NewLook, *text)))
        return;
    state_.NewPageName = DefaultPage;
    setSpokenText(ui_->lblChangedName, QStringLiteral("ostrel.html (Default)"));
    setSpokenText(ui_->lblURL, uploadAddress());
    state_.PageChangesPending = true;
}

void TfrmBrowser::btnRestoreLookClick() {
    const auto page = readServerFile(QStringLiteral("ostrel.bkp"));
    if (!page || !writeServerFile(DefaultPage, *page) || !writeServerFile(NewLook, *page)) return;
    setSpokenText(ui_->lblChangedSize, QStringLiteral("600x450 (Default)"));
    setSpokenText(ui_->lblChangedRate, QStringLiteral("60 sec (Default)"));
    state_.PageChangesPending = true;
}

void TfrmBrowser::btnDiscardClick() {
    state_.PageChangesPending = false;
    state_.WebPageName = state_.OldPageName;
    for (QLabel* label : {ui_->lblChangedName, ui_->lblChangedSize, ui_->lblChangedRate})
        setSpokenText(label, NoChange);
    QFile::remove(serverFile(NewLook));
}

void TfrmBrowser::FormClose() {
    stopOwnTransfer();
    if (working_ == 0 && ftp_.Connected() && clientFree()) ftp_.Quit();
    const QString empty = folder_ + QStringLiteral("imgempty.jpg");
    if (QFile::exists(empty)) showPicture(empty, tr("No picture"));
}

bool TfrmBrowser::event(QEvent* event) {
    // Hover help: a control's status tip while the mouse is over it, cleared on leaving.
    if (event->type() == QEvent::StatusTip) {
        ui_->StatusBar1->showMessage(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QDialog::event(event);
}

void TfrmBrowser::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return; // a window manager restoring the window is not a new showing
    // The listing waits for the server; the window is up meanwhile.
    QTimer::singleShot(0, this, guarded([this] {
                           if (isVisible()) FormShow();
                       }));
}

void TfrmBrowser::closeEvent(QCloseEvent* event) {
    try {
        FormClose();
    } catch (...) {
        Application::showCurrentException();
    }
    setResult(QDialog::Rejected);
    event->accept();
}

void TfrmBrowser::reject() {
    close();
}

} // namespace ostrel
