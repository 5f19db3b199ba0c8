#include "viewer/PicView.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"
#include "platform/FileWrites.h"
#include "platform/Guard.h"
#include "ui_PicView.h"

#include <QFileInfo>
#include <QShowEvent>

namespace ostrel {

TfrmPicView::TfrmPicView(std::function<QString()> imageInfo, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TfrmPicView>()), imageInfo_(std::move(imageInfo)) {
    ui_->setupUi(this);
    setAttribute(Qt::WA_QuitOnClose, false);
    connect(ui_->btnSaveImage, &QPushButton::clicked, this,
            guarded([this] { btnSaveImageClick(); }));
    connect(ui_->btnClose, &QPushButton::clicked, this, guarded([this] { btnCloseClick(); }));
}

TfrmPicView::~TfrmPicView() = default;

void TfrmPicView::loadPicture(const QString& path) {
    LoadedPicture picture = ostrel::loadPicture(path, ui_->ImageView->fittingSize());
    ui_->ImageView->setPicture(picture.image, QFileInfo(path).fileName());
    picture_ = std::move(picture);
}

void TfrmPicView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmPicView::FormShow() {
    // Set only when the window comes up: a second picture opened meanwhile keeps it.
    setWindowTitle(QStringLiteral("Motion Image - ") + imageInfo_());
}

void TfrmPicView::btnSaveImageClick() {
    FileDialogRequest request;
    request.title = QStringLiteral("Save Picture as...");
    request.filter = QStringLiteral("JPG (JPEG) Picture files|*.jpg");
    request.defaultExtension = QStringLiteral("jpg");
    const QString target = desktop().saveFileName(request, this);
    if (target.isEmpty() || picture_.bytes.isEmpty()) return;
    // The file as it was read: a JPEG picture is never compressed a second time.
    QString error;
    if (!writeFileAtomically(target, picture_.bytes, &error))
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2").arg(target, error));
}

void TfrmPicView::btnCloseClick() {
    hide();
}

} // namespace ostrel
