#include "viewer/unAnimation.h"
#include "ui_unAnimation.h"

#include "picture/PictureLoading.h"
#include "platform/Application.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"
#include "platform/Guard.h"
#include "viewer/AnimationPlay.h"
#include "viewer/Volumes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QHideEvent>
#include <QShowEvent>

namespace ostrel {

namespace {

constexpr int HelpContext = 5;
constexpr int FolderRole = Qt::UserRole; // a folder list entry's absolute path

// The status bar's text while the mouse is over each control.
const QHash<QString, QString>& tips() {
    static const QHash<QString, QString> table{
        {QStringLiteral("PicListBox"),
         QStringLiteral("Images that will be included in animation sequence.")},
        {QStringLiteral("FileListBox"),
         QStringLiteral("Files available for animation. Add to Animation Files list.")},
        {QStringLiteral("btnAddAll"),
         QStringLiteral("Click to add all Available Files to Animation sequence.")},
        {QStringLiteral("btnRemoveAll"),
         QStringLiteral("Click to remove all images from Animation Files list.")},
        {QStringLiteral("SpeedBtnAdd"),
         QStringLiteral(
             "Click to add selected file in Available Files list to Animation sequence.")},
        {QStringLiteral("SpeedBtnRemove"),
         QStringLiteral("Click to remove selected file in Animation Files list from animation "
                        "sequence.")},
        {QStringLiteral("DirectoryListBox"), QStringLiteral("Select directory")},
        {QStringLiteral("CheckBoxLoop"),
         QStringLiteral("Check to loop animation until Stop button is clicked.")},
        {QStringLiteral("btnAnimate"),
         QStringLiteral("Click to start animation of images in Animation Files list.")},
        {QStringLiteral("btnStop"), QStringLiteral("Click to stop animation.")}};
    return table;
}

QString selectedText(const QListWidget* list) {
    const QList<QListWidgetItem*> selected = list->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void clearSilently(QListWidget* list) {
    const QSignalBlocker quiet(list);
    list->clearSelection();
}

QString inFolder(const QString& folder, const QString& name) {
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

} // namespace

TfrmAnimation::TfrmAnimation(const QString& programFolder, QWidget* parent)
    : QDialog(parent), programFolder_(QDir::cleanPath(programFolder)),
      ui_(std::make_unique<Ui::TfrmAnimation>()), volumeSource_(&mountedVolumes) {
    ui_->setupUi(this);
    setWindowTitle(QCoreApplication::applicationName() +
                   QStringLiteral(" - Local Images Animation"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // Created once and hidden when closed; it never keeps the program alive.
    setAttribute(Qt::WA_QuitOnClose, false);
    installHelpKey(this, HelpContext);
    AnimationTimer.setTimerType(Qt::PreciseTimer);

    Ui::TfrmAnimation& ui = *ui_;
    connect(ui.SpeedBtnAdd, &QToolButton::clicked, this, guarded([this] { SpeedBtnAddClick(); }));
    connect(ui.FileListBox, &QListWidget::itemDoubleClicked, this,
            guarded([this] { SpeedBtnAddClick(); }));
    connect(ui.btnAddAll, &QPushButton::clicked, this, guarded([this] { btnAddAllClick(); }));
    connect(ui.SpeedBtnRemove, &QToolButton::clicked, this,
            guarded([this] { SpeedBtnRemoveClick(); }));
    connect(ui.PicListBox, &QListWidget::itemDoubleClicked, this,
            guarded([this] { SpeedBtnRemoveClick(); }));
    connect(ui.btnRemoveAll, &QPushButton::clicked, this, guarded([this] { btnRemoveAllClick(); }));
    // A pick by mouse, keys or a screen reader's selection; the selection one list clears
    // in the other is cleared silently.
    connect(ui.FileListBox, &QListWidget::itemSelectionChanged, this,
            guarded([this] { FileListBoxClick(); }));
    connect(ui.PicListBox, &QListWidget::itemSelectionChanged, this,
            guarded([this] { PicListBoxClick(); }));
    connect(ui.ScrollBarSpeed, &QScrollBar::valueChanged, this,
            guarded([this] { ScrollBarSpeedChange(); }));
    connect(ui.btnAnimate, &QPushButton::clicked, this, guarded([this] { btnAnimateClick(); }));
    connect(&AnimationTimer, &QTimer::timeout, this, guarded([this] { AnimationTimerTimer(); }));
    connect(ui.btnStop, &QPushButton::clicked, this, guarded([this] { btnStopClick(); }));
    connect(ui.DriveComboBox, &QComboBox::activated, this,
            guarded([this] { DriveComboBoxChange(); }));
    connect(ui.DirectoryListBox, &QListWidget::itemActivated, this,
            guarded([this](QListWidgetItem* item) {
                setCurrentFolder(item->data(FolderRole).toString());
            }));
    installTips();
    FormShow();
}

TfrmAnimation::~TfrmAnimation() = default;

void TfrmAnimation::setVolumeSource(std::function<QStringList()> source) {
    volumeSource_ = std::move(source);
    refreshVolumes();
    setCurrentFolder(currentFolder_);
}

void TfrmAnimation::refreshVolumes() {
    volumes_ = volumeSource_();
    const QSignalBlocker blocker(ui_->DriveComboBox);
    ui_->DriveComboBox->clear();
    ui_->DriveComboBox->addItems(volumes_);
}

void TfrmAnimation::setCurrentFolder(const QString& folder) {
    currentFolder_ = QDir::cleanPath(folder);
    const int volume = volumeIndexOf(volumes_, currentFolder_);
    {
        const QSignalBlocker blocker(ui_->DriveComboBox);
        ui_->DriveComboBox->setCurrentIndex(volume);
    }

    // The folder list: the path from the volume down to the folder, then its subfolders.
    QListWidget* folders = ui_->DirectoryListBox;
    const QSignalBlocker folderBlocker(folders);
    folders->clear();
    QString path = volume >= 0 ? volumes_[volume] : QStringLiteral("/");
    const QStringList below =
        currentFolder_.mid(path.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    auto addFolder = [folders](const QString& text, int depth, const QString& target) {
        auto* item = new QListWidgetItem(QString(2 * depth, QLatin1Char(' ')) + text, folders);
        item->setData(FolderRole, target);
        item->setData(Qt::AccessibleTextRole, text); // without the indentation
    };
    addFolder(path, 0, path);
    int depth = 0;
    for (const QString& name : below) {
        path = inFolder(path, name);
        addFolder(name, ++depth, path);
    }
    folders->setCurrentRow(folders->count() - 1);
    const QDir dir(currentFolder_);
    for (const QString& name :
         dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase))
        addFolder(name, depth + 1, inFolder(currentFolder_, name));

    // Cameras write .JPG as often as .jpg.
    QListWidget* files = ui_->FileListBox;
    const QSignalBlocker fileBlocker(files);
    files->clear();
    files->addItems(
        dir.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void TfrmAnimation::FormShow() {
    refreshVolumes();
    setCurrentFolder(programFolder_);
    ui_->PicListBox->clear();
    ScrollBarSpeedChange();
}

void TfrmAnimation::FormClose() {
    // Later ticks would read the listed names in the program folder.
    stopAnimation();
    setCurrentFolder(programFolder_);
}

void TfrmAnimation::SpeedBtnAddClick() {
    const QString name = selectedText(ui_->FileListBox);
    if (!name.isEmpty()) ui_->PicListBox->addItem(name);
}

void TfrmAnimation::btnAddAllClick() {
    for (int i = 0; i < ui_->FileListBox->count(); ++i)
        ui_->PicListBox->addItem(ui_->FileListBox->item(i)->text());
}

void TfrmAnimation::SpeedBtnRemoveClick() {
    const QList<QListWidgetItem*> selected = ui_->PicListBox->selectedItems();
    if (!selected.isEmpty()) delete selected.first();
}

void TfrmAnimation::btnRemoveAllClick() {
    ui_->PicListBox->clear();
    clearSilently(ui_->FileListBox);
    const QString empty = inFolder(programFolder_, QStringLiteral("imgempty.jpg"));
    if (QFileInfo::exists(empty)) showPicture(empty);
}

void TfrmAnimation::FileListBoxClick() {
    clearSilently(ui_->PicListBox);
    const QString name = selectedText(ui_->FileListBox);
    if (!name.isEmpty() && QFileInfo::exists(inFolder(currentFolder_, name)))
        showPicture(inFolder(currentFolder_, name));
}

void TfrmAnimation::PicListBoxClick() {
    clearSilently(ui_->FileListBox);
    const QString name = selectedText(ui_->PicListBox);
    if (!name.isEmpty() && QFileInfo::exists(inFolder(currentFolder_, name)))
        showPicture(inFolder(currentFolder_, name));
}

void TfrmAnimation::ScrollBarSpeedChange() {
    setSpokenText(ui_->lblSpeed,
                  QStringLiteral("Animation speed :  %1 fps").arg(ui_->ScrollBarSpeed->value()));
}

void TfrmAnimation::btnAnimateClick() {
    if (ui_->PicListBox->count() == 0) return;
    clearSilently(ui_->PicListBox);
    position_ = 0;
    AnimationTimer.start(frameInterval(ui_->ScrollBarSpeed->value()));
    ui_->btnStop->setEnabled(true);
}

void TfrmAnimation::AnimationTimerTimer() {
    switch (playStep(position_, ui_->PicListBox->count(), ui_->CheckBoxLoop->isChecked())) {
    case PlayStep::Rewind:
        position_ = 0;
        return;
    case PlayStep::Finish:
        stopAnimation();
        position_ = 0;
        return;
    case PlayStep::Show:
        break;
    }
    try {
        showPicture(inFolder(currentFolder_, ui_->PicListBox->item(position_)->text()));
    } catch (const Exception& e) {
        // One box, not one a tick: the animation stops before the box opens.
        stopAnimation();
        showError(e.message(), this);
        return;
    }
    ++position_;
    // The picture is painted once the tick returns to the event loop.
}

void TfrmAnimation::btnStopClick() {
    stopAnimation();
}

void TfrmAnimation::DriveComboBoxChange() {
    const QString volume = ui_->DriveComboBox->currentText();
    if (volumeReadable(volume)) {
        setCurrentFolder(volume);
        return;
    }
    desktop().messageBeep();
    showError(QStringLiteral("There is no disk in Drive ") + volume, this);
    setCurrentFolder(programFolder_); // the drive box follows to the program folder's volume
}

void TfrmAnimation::stopAnimation() {
    AnimationTimer.stop();
    ui_->btnStop->setEnabled(false);
}

void TfrmAnimation::showPicture(const QString& path) {
    const LoadedPicture loaded = loadPicture(path, ui_->Image->fittingSize());
    ui_->Image->setPicture(loaded.image, QFileInfo(path).fileName());
}

void TfrmAnimation::installTips() {
    setMouseTracking(true);
    installEventFilter(this); // the free area empties the status bar
    for (QWidget* w : findChildren<QWidget*>()) {
        if (!tips().contains(w->objectName())) continue;
        w->setMouseTracking(true);
        w->installEventFilter(this);
        if (auto* list = qobject_cast<QAbstractScrollArea*>(w)) {
            list->viewport()->setMouseTracking(true);
            list->viewport()->installEventFilter(this);
        }
    }
}

bool TfrmAnimation::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        auto* widget = qobject_cast<QWidget*>(watched);
        // A list's viewport speaks for its list.
        if (widget && widget != this && !tips().contains(widget->objectName()))
            widget = widget->parentWidget();
        if (widget == this)
            ui_->StatusBar1->clearMessage();
        else if (widget)
            ui_->StatusBar1->showMessage(tips().value(widget->objectName()));
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAnimation::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return; // a window manager restoring the window is no new showing
    try {
        FormShow();
    } catch (...) {
        Application::showCurrentException();
    }
    if (!placed_) {
        placed_ = true;
        centreOnScreen(this);
    }
}

void TfrmAnimation::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    if (event->spontaneous()) return;
    try {
        FormClose();
    } catch (...) {
        Application::showCurrentException();
    }
}

} // namespace ostrel
