#include "capture/DlgVirtualSource.h"
#include "ui_DlgVirtualSource.h"

#include "capture/CaptureSession.h"
#include "platform/Desktop.h"
#include "platform/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>

namespace ostrel {

TDlgVirtualSource::TDlgVirtualSource(QString programFolder, const VirtualCameraSettings& settings,
                                     QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TDlgVirtualSource>()),
      programFolder_(std::move(programFolder)) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    installHelpKey(this, helpcontext::VideoSource);
    ui_->seMotionInterval->setRange(0, VirtualCamera::MaxMotionInterval);
    ui_->seMotionInterval->setValue(settings.motionInterval);
    ui_->edSourceFile->setText(settings.source);
    (settings.source.isEmpty() ? ui_->rbScene : ui_->rbFile)->setChecked(true);
    updateEnabled();
    connect(ui_->rbFile, &QRadioButton::toggled, this, [this] { updateEnabled(); });
    connect(ui_->btnBrowse, &QPushButton::clicked, this, [this] { browse(); });
}

TDlgVirtualSource::~TDlgVirtualSource() = default;

void TDlgVirtualSource::updateEnabled() {
    const bool file = ui_->rbFile->isChecked();
    ui_->seMotionInterval->setEnabled(!file);
    ui_->edSourceFile->setEnabled(file);
    ui_->btnBrowse->setEnabled(file);
}

void TDlgVirtualSource::browse() {
    FileDialogRequest request;
    request.title = QStringLiteral("Video File");
    request.filter = QStringLiteral(
        "Video files|*.avi;*.mp4;*.mkv;*.mov;*.webm;*.mpg;*.mpeg;*.wmv;*.flv;*.mjpeg;*.mjpg|"
        "All files|*");
    const QString current = ui_->edSourceFile->text().trimmed();
    if (!current.isEmpty()) {
        const QFileInfo info(resolveIn(programFolder_, current));
        request.initialDir = info.absolutePath();
        request.fileName = info.fileName();
    } else {
        request.initialDir = programFolder_;
    }
    const QString chosen = desktop().openFileName(request, this);
    if (chosen.isEmpty()) return;
    ui_->edSourceFile->setText(chosen);
    ui_->rbFile->setChecked(true);
}

VirtualCameraSettings TDlgVirtualSource::settings() const {
    VirtualCameraSettings s;
    s.motionInterval = ui_->seMotionInterval->value();
    if (ui_->rbFile->isChecked()) {
        const QString name = ui_->edSourceFile->text().trimmed();
        const QString absolute = QFileInfo(resolveIn(programFolder_, name)).absoluteFilePath();
        const QString relative = QDir(programFolder_).relativeFilePath(absolute);
        // Inside the program folder the name moves with the folder.
        s.source = relative.startsWith(QLatin1String("../")) || QDir::isAbsolutePath(relative)
                       ? absolute
                       : relative;
        if (name.isEmpty()) s.source.clear();
    }
    return s;
}

void TDlgVirtualSource::accept() {
    if (ui_->rbFile->isChecked()) {
        const QString name = ui_->edSourceFile->text().trimmed();
        if (name.isEmpty()) {
            desktop().messageBeep();
            showError(QStringLiteral("Choose a video file to play."), this);
            return;
        }
        // A file the camera cannot play would leave it unable to connect, and with it
        // this dialog out of reach: refuse it here.
        SourceSpec spec;
        spec.url = resolveIn(programFolder_, name);
        QString why;
        if (!QFileInfo(spec.url).isFile()) {
            why = QStringLiteral("No such file");
        } else if (!CaptureSession::open(spec, &why)) {
            if (why.isEmpty()) why = QStringLiteral("Unknown format");
        } else {
            why.clear();
        }
        if (!why.isEmpty()) {
            desktop().messageBeep();
            showError(QStringLiteral("Can not play the video file \"%1\": %2").arg(name, why),
                      this);
            return;
        }
    }
    QDialog::accept();
}

} // namespace ostrel
