#include "app/About.h"
#include "platform/Desktop.h"
#include "ui_About.h"
#include <QApplication>
#include <QMouseEvent>
#include <QStyle>

namespace ostrel {

QString versionText(const QString& fourPartVersion) {
    QStringList parts = fourPartVersion.split('.');
    while (parts.size() < 4) parts.append(QStringLiteral("0"));
    return QStringLiteral("Version %1.%2  (Build %3)").arg(parts[0], parts[1], parts[3]);
}

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TAboutDlg>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui_->ProductName->setText(QCoreApplication::applicationName() +
                              QStringLiteral(" :  webcam surveillance application"));
    ui_->Version->setText(versionText(QStringLiteral(OSTREL_VERSION)));
    ui_->ProgramIcon->setPixmap(style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(64, 64));
    ui_->lblLink->setCursor(Qt::PointingHandCursor);
    ui_->lblLink->setMouseTracking(true);
    ui_->lblLink->installEventFilter(this);
    ui_->lblLink->setStyleSheet(QStringLiteral("color: navy;"));
}

TAboutDlg::~TAboutDlg() = default;

bool TAboutDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->lblLink) {
        switch (event->type()) {
        case QEvent::Enter:
            ui_->lblLink->setStyleSheet(QStringLiteral("color: red; text-decoration: underline;"));
            break;
        case QEvent::Leave:
            ui_->lblLink->setStyleSheet(QStringLiteral("color: navy;"));
            break;
        case QEvent::MouseButtonRelease:
            openLink();
            return true;
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TAboutDlg::openLink() {
    QString address = ui_->lblLink->text();
    if (address.contains('@') && !address.contains(QStringLiteral("://")))
        address.prepend(QStringLiteral("mailto:"));
    QApplication::setOverrideCursor(Qt::WaitCursor);
    desktop().openUrl(address);
    QApplication::restoreOverrideCursor();
}

} // namespace ostrel
