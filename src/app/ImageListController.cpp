#include "app/ImageListController.h"
#include "app/MainWindowParts.h"
#include "app/MotionController.h"
#include "platform/DateTimeText.h"
#include "platform/Desktop.h"
#include "platform/FileTimes.h"
#include "platform/Guard.h"
#include "ui_mainf.h"
#include "viewer/PicView.h"

#include <QDir>
#include <QFile>
#include <QSignalBlocker>

namespace ostrel {

namespace {
const QString NoImageInfo = QStringLiteral("Date and Time of Selected image");
}

ImageListController::ImageListController(MainWindowParts& main, const MotionController& motion,
                                         QObject* parent)
    : QObject(parent), main_(main), motion_(motion) {
    auto* ui = main.ui();
    // Selection, not the current item: a keyboard, a mouse and a screen reader all select.
    connect(ui->ListBox1, &QListWidget::itemSelectionChanged, this,
            guarded([this] { ListBox1Click(); }));
    connect(ui->ListBox1, &QListWidget::itemActivated, this,
            guarded([this] { ListBox1DblClick(); }));
    connect(ui->btnView, &QPushButton::clicked, this, guarded([this] { btnViewClick(); }));
    connect(ui->btnDelete, &QPushButton::clicked, this, guarded([this] { btnDeleteClick(); }));
    connect(ui->btnDeleteAll, &QPushButton::clicked, this,
            guarded([this] { btnDeleteAllClick(); }));
}

ImageListController::~ImageListController() = default;

QString ImageListController::selectedPath() const {
    const QList<QListWidgetItem*> selected = main_.ui()->ListBox1->selectedItems();
    if (selected.isEmpty()) return {};
    return motion_.MotionSessionFolder + QLatin1Char('/') + selected.first()->text();
}

void ImageListController::resetImageInfo() {
    main_.ui()->lblImageInfo->setText(NoImageInfo);
}

void ImageListController::ListBox1Click() {
    const QString path = selectedPath();
    if (path.isEmpty()) return;
    const QDateTime created = fileCreationTime(path);
    main_.ui()->lblImageInfo->setText(QStringLiteral("Recorded:  ") +
                                      (created.isValid() ? longDateTimeText(created) : QString()));
}

TfrmPicView* ImageListController::frmPicView() {
    if (!frmPicView_) {
        auto* info = main_.ui()->lblImageInfo;
        frmPicView_ = new TfrmPicView([info] { return info->text(); }, main_.dialogParent());
        frmPicView_->setObjectName(QStringLiteral("frmPicView"));
    }
    return frmPicView_;
}

void ImageListController::btnViewClick() {
    const QString path = selectedPath();
    if (path.isEmpty()) return;
    TfrmPicView* viewer = frmPicView();
    viewer->loadPicture(path);
    viewer->show();
    viewer->raise();
}

void ImageListController::btnDeleteClick() {
    auto* list = main_.ui()->ListBox1;
    const QString path = selectedPath();
    if (path.isEmpty()) return;
    QFile::remove(path); // a file already gone is no reason to keep its entry
    {
        const QSignalBlocker quiet(list);
        delete list->selectedItems().first();
        list->clearSelection();
    }
    resetImageInfo();
}

void ImageListController::btnDeleteAllClick() {
    auto* list = main_.ui()->ListBox1;
    if (selectedPath().isEmpty()) return;
    if (desktop().messageBox(MsgKind::Confirmation,
                             QStringLiteral("Delete all files locally saved in this session ?"),
                             MsgButton::Yes | MsgButton::No, main_.dialogParent()) == MsgButton::No)
        return;
    const QString folder = motion_.MotionSessionFolder;
    for (int i = 0; i < list->count(); ++i)
        QFile::remove(folder + QLatin1Char('/') + list->item(i)->text());
    QDir().rmdir(folder); // only an empty folder goes
    {
        const QSignalBlocker quiet(list);
        list->clear();
    }
    resetImageInfo();
}

} // namespace ostrel
