#include "web/unBrowserConf.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"
#include "platform/FileWrites.h"
#include "platform/Guard.h"
#include "platform/ProgramFolder.h"
#include "ui_unBrowserConf.h"
#include "web/unBrowserConfHelp.h"
#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <QValidator>

namespace ostrel {

namespace {

using webpage::NameRefusal;

const QString NewLook = QStringLiteral("newlook.html");
const QString DoneHint = QStringLiteral("Click on the \"Done\" button when you are finished\n"
                                        "changing the Name and Look of your Webpage.");

// The size and countdown the window shows at every showing, whatever the page holds.
constexpr int DefaultSizeItem = 2;
constexpr int DefaultRefreshItem = 1;

// Drops what a page name may not hold from every edit, typed, pasted or dropped, and
// reports each edit that lost characters.
class NameValidator : public QValidator {
public:
    NameValidator(std::function<void(NameRefusal)> refused, QObject* parent)
        : QValidator(parent), refused_(std::move(refused)) {}

    State validate(QString& input, int& pos) const override {
        NameRefusal refusal = NameRefusal::None;
        const QString kept = webpage::acceptedName(input, &refusal);
        if (refusal != NameRefusal::None) {
            pos = webpage::acceptedName(input.left(pos)).size();
            input = kept;
            refused_(refusal);
        }
        return Acceptable;
    }

private:
    std::function<void(NameRefusal)> refused_;
};

// The sample photograph the previews stretch: a house on a hill under a summer sky.
QPixmap samplePhoto() {
    QPixmap photo(400, 300);
    QPainter p(&photo);
    QLinearGradient sky(0, 0, 0, 200);
    sky.setColorAt(0, QColor(70, 130, 200));
    sky.setColorAt(1, QColor(190, 220, 245));
    p.fillRect(photo.rect(), sky);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 220, 90));
    p.drawEllipse(QPoint(330, 60), 28, 28);
    p.setBrush(QColor(80, 150, 70));
    p.drawEllipse(QRect(-120, 180, 640, 260));
    p.setBrush(QColor(200, 190, 170));
    p.drawRect(150, 150, 100, 70);
    p.setBrush(QColor(160, 60, 50));
    p.drawPolygon(QPolygon({QPoint(140, 150), QPoint(200, 105), QPoint(260, 150)}));
    p.setBrush(QColor(90, 70, 50));
    p.drawRect(190, 180, 20, 40);
    return photo;
}

// Copies overwrite; a source that cannot be read leaves the target as it was.
void copyFile(const QString& from, const QString& to) {
    QFile source(from);
    if (source.open(QIODevice::ReadOnly)) writeFileAtomically(to, source.readAll());
}

} // namespace

TfrmBrowserConf::TfrmBrowserConf(const QString& programFolder, WebPageState& state,
                                 WebPageHooks hooks, QWidget* parent)
    : QDialog(parent), server_(withSlash(programFolder) + QStringLiteral("Server/")), state_(state),
      hooks_(std::move(hooks)), ui_(std::make_unique<Ui::TfrmBrowserConf>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    // A window that lives for the whole run never keeps the program alive on its own.
    setAttribute(Qt::WA_QuitOnClose, false);
    help_ = new TfrmBrowserConfHelp(this);

    const QPixmap photo = samplePhoto();
    for (QFrame* panel : {ui_->pnlPreview640, ui_->pnlPreview800, ui_->pnlPreview1024}) {
        panel->setAutoFillBackground(true);
        QPalette palette = panel->palette();
        palette.setColor(QPalette::Window, Qt::white);
        panel->setPalette(palette);
    }
    for (QLabel* picture : {ui_->imgPreview640, ui_->imgPreview800, ui_->imgPreview1024})
        picture->setPixmap(photo);

    // Boxes wait until the edit is over: the field is in the middle of changing its text.
    ui_->edNewName->setValidator(new NameValidator(
        [this](NameRefusal refusal) {
            QTimer::singleShot(
                0, this, [this, refusal] { guarded([this, refusal] { refuseName(refusal); })(); });
        },
        ui_->edNewName));

    connectControls();
    FormCreate();
}

TfrmBrowserConf::~TfrmBrowserConf() = default;

QString TfrmBrowserConf::serverFile(const QString& name) const {
    return server_ + name;
}

void TfrmBrowserConf::connectControls() {
    auto* ui = ui_.get();
    connect(ui->ComboSize, &QComboBox::currentIndexChanged, this,
            guarded([this] { ComboSizeChange(); }));
    connect(ui->ComboRefresh, &QComboBox::currentIndexChanged, this,
            guarded([this] { ComboRefreshChange(); }));
    connect(ui->edNewName, &QLineEdit::textChanged, this, guarded([this] { edNewNameChange(); }));
    const QList<std::pair<QPushButton*, void (TfrmBrowserConf::*)()>> buttons{
        {ui->btnConfirmNameChange, &TfrmBrowserConf::btnConfirmNameChangeClick},
        {ui->btnCancelNameChange, &TfrmBrowserConf::btnCancelNameChangeClick},
        {ui->btnSave, &TfrmBrowserConf::btnSaveClick},
        {ui->btnPreview, &TfrmBrowserConf::btnPreviewClick},
        {ui->btnHelp, &TfrmBrowserConf::btnHelpClick},
        {ui->btnChangesDone, &TfrmBrowserConf::btnChangesDoneClick}};
    for (const auto& [button, handler] : buttons)
        connect(button, &QPushButton::clicked, this,
                guarded([this, h = handler] { (this->*h)(); }));
}

void TfrmBrowserConf::FormCreate() {
    setWindowTitle(QStringLiteral("Ostrel") +
                   QStringLiteral(" - Website :  Look and Name Configuration"));
    selectDefaultLook();
    state_.OldPageName = state_.WebPageName;

    QDir().mkpath(server_);
    const QList<std::pair<const char*, const char*>> missing{{"ostrel.bkp", "ostrel.html"},
                                                             {"stopcap.jpg", "Capture.jpg"},
                                                             {"stoptime.bmp", "datetime.bmp"}};
    for (const auto& [from, to] : missing)
        if (!QFile::exists(serverFile(QLatin1String(to))))
            copyFile(serverFile(QLatin1String(from)), serverFile(QLatin1String(to)));

    // The current page is read and written back as it is: a page that could not be made
    // from the template is left behind empty.
    const QString current = serverFile(state_.WebPageName);
    if (QFile::exists(current)) MemoHTML = webpage::readPage(current);
    writeFileAtomically(serverFile(state_.OldPageName), webpage::pageBytes(MemoHTML));

    // Every start edits a fresh copy of the template.
    const QString preview = serverFile(QStringLiteral("testview.html"));
    copyFile(serverFile(QStringLiteral("ostrel.bkp")), preview);
    MemoHTML = webpage::readPage(preview);

    showPreviews(ui_->ComboSize->currentText());
    showAddress(state_.WebPageName);
    showCurrentName(state_.WebPageName);
}

void TfrmBrowserConf::FormShow() {
    selectDefaultLook();
    showPreviews(ui_->ComboSize->currentText());
    showAddress(state_.WebPageName);
    showCurrentName(state_.WebPageName);
}

void TfrmBrowserConf::showEvent(QShowEvent* event) {
    guarded([this] { FormShow(); })();
    if (!placed_) {
        placed_ = true;
        centreOnScreen(this);
    }
    QDialog::showEvent(event);
}

void TfrmBrowserConf::selectDefaultLook() {
    // Showing the defaults is not a choice: the page text keeps what was chosen before.
    const QSignalBlocker size(ui_->ComboSize), refresh(ui_->ComboRefresh);
    ui_->ComboSize->setCurrentIndex(DefaultSizeItem);
    ui_->ComboRefresh->setCurrentIndex(DefaultRefreshItem);
}

void TfrmBrowserConf::showPreviews(const QString& sizeItem) {
    const auto sizes = webpage::previewSizes(sizeItem);
    QLabel* const pictures[] = {ui_->imgPreview640, ui_->imgPreview800, ui_->imgPreview1024};
    for (int i = 0; i < 3; ++i)
        pictures[i]->setGeometry(webpage::previewLeft(sizes[i].width()), 0, sizes[i].width(),
                                 sizes[i].height());
}

void TfrmBrowserConf::showAddress(const QString& page) {
    const QString address =
        webpage::webAddress(hooks_.ftpHost ? hooks_.ftpHost() : QString(),
                            hooks_.ftpUser ? hooks_.ftpUser() : QString(), page);
    ui_->lblURL->setText(address);
    ui_->lblURL->setAccessibleName(address);
}

void TfrmBrowserConf::showCurrentName(const QString& name) {
    ui_->lblCurrentName2->setText(name);
    ui_->lblCurrentName2->setAccessibleName(name);
}

void TfrmBrowserConf::writePreview() {
    // The preview is deleted at exit: no need to wait for the disk.
    writeFileAtomically(serverFile(QStringLiteral("testview.html")), webpage::pageBytes(MemoHTML),
                        nullptr, false, false);
    ui_->btnSave->setEnabled(true);
}

void TfrmBrowserConf::ComboSizeChange() {
    const QString item = ui_->ComboSize->currentText();
    showPreviews(item);
    const auto size = webpage::sizeAttributes(item);
    webpage::replaceLine(MemoHTML, webpage::SizeLine, webpage::sizeLine(size));
    state_.SizeLabel = webpage::sizeLabel(size);
    writePreview();
}

void TfrmBrowserConf::ComboRefreshChange() {
    state_.RefreshSeconds = webpage::refreshSeconds(ui_->ComboRefresh->currentText());
    webpage::replaceLine(MemoHTML, webpage::CountdownLine,
                         webpage::countdownLine(state_.RefreshSeconds));
    state_.RefreshLabel = QString::number(state_.RefreshSeconds) + QStringLiteral(" sec");
    writePreview();
}

void TfrmBrowserConf::btnSaveClick() {
    QString error;
    if (!writeFileAtomically(serverFile(NewLook), webpage::pageBytes(MemoHTML), &error))
        throw Exception(error);
    ui_->btnSave->setEnabled(false);
    state_.PageChangesPending = true;
    showInformation(DoneHint, this);
}

void TfrmBrowserConf::btnPreviewClick() {
    desktop().openUrl(QStringLiteral("file://") + serverFile(QStringLiteral("testview.html")));
}

void TfrmBrowserConf::refuseName(NameRefusal refusal) {
    desktop().messageBeep();
    showError(refusal == NameRefusal::Dot
                  ? QStringLiteral("Enter ONLY the name, without the extension.")
                  : QStringLiteral("Use only letters, digits, \"-\" and \"_\" in the name."),
              this);
}

void TfrmBrowserConf::edNewNameChange() {
    const QString text = ui_->edNewName->text();
    // An emptied field keeps the last name typed.
    if (!text.isEmpty()) state_.NewPageName = text;
    ui_->btnCancelNameChange->setEnabled(true);
    showAddress(state_.NewPageName);
}

void TfrmBrowserConf::btnConfirmNameChangeClick() {
    const QString text = ui_->edNewName->text();
    if (text.isEmpty()) return;
    // Upload Changes sends newlook.html under the new name. Without a saved look, that is
    // the current page as it is.
    const QString newLook = serverFile(NewLook);
    if (!QFile::exists(newLook)) {
        QString error;
        const auto page = webpage::readPageFile(serverFile(state_.WebPageName), &error);
        if (!page || !webpage::writePageFile(newLook, *page, &error)) throw Exception(error);
    }
    state_.OldPageName = state_.WebPageName;
    state_.NewPageName = text + QStringLiteral(".html");
    showCurrentName(state_.NewPageName);
    ui_->edNewName->clear();
    ui_->btnCancelNameChange->setEnabled(false);
    // WebPageName follows only when the page is uploaded under the new name.
    state_.PageChangesPending = true;
    showInformation(DoneHint, this);
}

void TfrmBrowserConf::btnCancelNameChangeClick() {
    if (ui_->edNewName->text().isEmpty()) return;
    state_.NewPageName.clear();
    ui_->edNewName->clear();
    if (hooks_.nameChangeCancelled) hooks_.nameChangeCancelled();
    showCurrentName(state_.WebPageName);
    showAddress(state_.WebPageName);
}

void TfrmBrowserConf::btnHelpClick() {
    help_->show();
    help_->raise();
    help_->activateWindow();
}

void TfrmBrowserConf::btnChangesDoneClick() {
    if (!state_.PageChangesPending) {
        QDialog::reject();
        return;
    }
    showInformation(
        QStringLiteral("You will now be taken to the \"Remote Host Management\" window where\n"
                       "you should click on the \"Upload Changes\" button to upload your "
                       "changes."),
        this);
    QDialog::reject();
    // Opened from the event loop, once exec() has returned: not a modal window inside this
    // one's.
    if (hooks_.openRemoteHostManagement)
        QTimer::singleShot(
            0, this, [open = hooks_.openRemoteHostManagement] { guarded([&open] { open(); })(); });
}

void TfrmBrowserConf::reject() {
    // The title bar and Esc act as "Done".
    guarded([this] { btnChangesDoneClick(); })();
}

} // namespace ostrel
