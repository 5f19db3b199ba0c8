#include "app/LogForm.h"
#include "ui_LogForm.h"

#include "app/ErrorLog.h"
#include "platform/Application.h"
#include "platform/Desktop.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>

namespace ostrel {

namespace {
constexpr int HelpContext = 9;
}

TLogForm::TLogForm(ErrorLog& log, QWidget* parent)
    : QDialog(parent), log_(log), ui_(std::make_unique<Ui::TLogForm>()) {
    ui_->setupUi(this);
    // A hidden helper window never keeps the program alive, nor ends it when closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    installHelpKey(this, HelpContext);

    connect(ui_->btnSave, &QPushButton::clicked, this, &TLogForm::btnSaveClick);
    connect(ui_->btnClose, &QPushButton::clicked, this, &TLogForm::btnCloseClick);
    connect(ui_->btnClearLog, &QPushButton::clicked, this, &TLogForm::btnClearLogClick);
    connect(&log_, &ErrorLog::changed, this, [this] {
        if (isVisible()) refresh();
    });

    log_.reload();
    refresh();
}

TLogForm::~TLogForm() = default;

void TLogForm::refresh() {
    ui_->LogMemo->setPlainText(log_.lines().join(QLatin1Char('\n')));
    // The newest entries are at the end; show them.
    ui_->LogMemo->moveCursor(QTextCursor::End);
    ui_->LogMemo->ensureCursorVisible();
}

bool TLogForm::saveAs() {
    FileDialogRequest request;
    request.title = QStringLiteral("Save Error Log as...");
    request.filter = QStringLiteral("Text files|*.txt");
    request.defaultExtension = QStringLiteral("txt");
    const QString fileName = desktop().saveFileName(request, this);
    if (fileName.isEmpty()) return false;
    log_.saveTo(fileName);
    return true;
}

void TLogForm::btnSaveClick() {
    saveAs();
}

void TLogForm::btnClearLogClick() {
    desktop().messageBeep();
    if (desktop().messageBox(MsgKind::Confirmation,
                             QStringLiteral("This action can not be undone. \nAre you sure ?"),
                             MsgButton::Yes | MsgButton::No, this) != MsgButton::Yes)
        return;
    log_.clear();
    log_.save();
}

void TLogForm::btnCloseClick() {
    close();
}

void TLogForm::formCloseQuery() {
    if (log_.text().size() <= SizeLimit) return;
    desktop().messageBeep();
    if (desktop().messageBox(MsgKind::Warning,
                             QStringLiteral("The Error Log grows too large. Do you want to\n"
                                            "copy it to a text file and start a new one ?"),
                             MsgButton::Yes | MsgButton::No, this) != MsgButton::Yes)
        return;
    // A copy that could not be written throws before the list is emptied.
    if (saveAs()) log_.clear();
    log_.save();
}

void TLogForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) return; // a window manager restoring the window is not a new showing
    const QString folder = QFileInfo(log_.filePath()).absolutePath();
    QDir::setCurrent(folder);
    log_.reload();
    refresh();
    if (!placed_) {
        placed_ = true;
        centreOnScreen(this);
    }
}

void TLogForm::closeEvent(QCloseEvent* event) {
    // The question (and any write it makes) must not keep the window open: a failure is
    // shown and the window closes all the same.
    try {
        formCloseQuery();
    } catch (...) {
        Application::showCurrentException();
    }
    setResult(QDialog::Rejected);
    event->accept();
    // QDialog::closeEvent would call reject(), which comes back here.
}

void TLogForm::reject() {
    close();
}

} // namespace ostrel
