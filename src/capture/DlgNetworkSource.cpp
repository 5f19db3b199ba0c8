#include "capture/DlgNetworkSource.h"
#include "capture/CaptureSession.h"
#include "capture/VideoCapture.h"
#include "platform/Desktop.h"
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace ostrel {

namespace {
constexpr QSize PictureSize(320, 240);

QLabel* labelFor(QWidget* field, const QString& text) {
    auto* label = new QLabel(text);
    label->setBuddy(field);
    return label;
}
} // namespace

TDlgNetworkSource::TDlgNetworkSource(const NetworkCameraSettings& settings, QWidget* parent)
    : QDialog(parent), address_(new QLineEdit(settings.url)), transport_(new QComboBox),
      user_(new QLineEdit(settings.user)), password_(new QLineEdit(settings.password)),
      test_(new QPushButton(QStringLiteral("&Test"))),
      trust_(new QPushButton(QStringLiteral("Trust this &certificate"))), picture_(new QLabel),
      outcome_(new QLabel), trustedSha256_(settings.certificateSha256) {
    setWindowTitle(QStringLiteral("Video Source"));
    installHelpKey(this, helpcontext::VideoSource);
    address_->setPlaceholderText(QStringLiteral("rtsp://192.168.1.20:554/stream1"));
    address_->setMinimumWidth(360);
    transport_->addItems({QStringLiteral("TCP"), QStringLiteral("UDP")});
    transport_->setCurrentIndex(settings.transport == QLatin1String("UDP") ? 1 : 0);
    password_->setEchoMode(QLineEdit::Password);
    address_->setAccessibleName(QStringLiteral("Camera address"));
    transport_->setAccessibleName(QStringLiteral("RTSP transport"));
    user_->setAccessibleName(QStringLiteral("User name"));
    password_->setAccessibleName(QStringLiteral("Password"));
    test_->setAccessibleName(QStringLiteral("Test"));
    trust_->setAccessibleName(QStringLiteral("Trust this certificate"));
    trust_->hide();
    picture_->setFixedSize(PictureSize);
    picture_->setAlignment(Qt::AlignCenter);
    picture_->setFrameShape(QFrame::StyledPanel);
    picture_->setAccessibleName(QStringLiteral("Test picture"));
    outcome_->setWordWrap(true);
    outcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    setSpokenText(outcome_, QString());

    auto* form = new QFormLayout;
    form->addRow(labelFor(address_, QStringLiteral("Camera &address :")), address_);
    form->addRow(labelFor(transport_, QStringLiteral("RTSP t&ransport :")), transport_);
    form->addRow(labelFor(user_, QStringLiteral("&User name :")), user_);
    form->addRow(labelFor(password_, QStringLiteral("&Password :")), password_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(test_, 0, Qt::AlignLeft);
    layout->addWidget(picture_, 0, Qt::AlignHCenter);
    layout->addWidget(outcome_);
    layout->addWidget(trust_, 0, Qt::AlignLeft);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(test_, &QPushButton::clicked, this, [this] { startTest(); });
    connect(trust_, &QPushButton::clicked, this, [this] { trust(); });
    connect(address_, &QLineEdit::editingFinished, this, [this] { takeLoginFromAddress(); });
}

TDlgNetworkSource::~TDlgNetworkSource() = default; // joins a test under way

NetworkCameraSettings TDlgNetworkSource::settings() const {
    NetworkCameraSettings s;
    s.url = address_->text().trimmed();
    s.transport = transport_->currentText();
    s.user = user_->text();
    s.password = password_->text();
    s.certificateSha256 = trustedSha256_;
    return s;
}

void TDlgNetworkSource::takeLoginFromAddress() {
    NetworkCameraSettings s = settings();
    s.url = address_->text().trimmed();
    if (!NetworkCamera::takeLoginFromAddress(s, NetworkCamera::Login::Replace)) return;
    address_->setText(s.url);
    user_->setText(s.user);
    password_->setText(s.password);
}

void TDlgNetworkSource::accept() {
    takeLoginFromAddress();
    const QUrl url(address_->text().trimmed());
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) {
        showError(QStringLiteral("Type the camera's address, such as "
                                 "rtsp://192.168.1.20:554/stream1 or http://camera/video.mjpg."),
                  this);
        address_->setFocus();
        return;
    }
    endTest();
    QDialog::accept();
}

void TDlgNetworkSource::startTest() {
    endTest();
    takeLoginFromAddress();
    picture_->clear();
    trust_->hide();
    untrustedSha256_.clear();
    const quint64 test = ++testNumber_;
    SourceSpec spec = NetworkCamera::sourceFor(settings());
    QString why;
    testSession_ = CaptureSession::open(spec, &why);
    if (!testSession_) {
        testFailed(test, why);
        return;
    }
    setSpokenText(outcome_,
                  QStringLiteral("Testing: opening ") + spec.shownUrl + QStringLiteral("..."));
    // The answers come from the capture thread; the dialog takes them in its own time.
    CaptureSession::Callbacks callbacks;
    callbacks.frame = [this, test](const QImage& frame, const QImage&) {
        QMetaObject::invokeMethod(
            this, [this, test, frame] { testFrame(test, frame); }, Qt::QueuedConnection);
    };
    callbacks.error = [this, test](int, const QString& text) {
        QMetaObject::invokeMethod(
            this, [this, test, text] { testFailed(test, text); }, Qt::QueuedConnection);
    };
    testSession_->setPreviewRate(1);
    testSession_->setDelivering(true);
    testSession_->start(std::move(callbacks));
}

void TDlgNetworkSource::testFrame(quint64 test, const QImage& frame) {
    if (test != testNumber_ || !testSession_) return;
    // The frame holds BGR bytes in an RGB888-sized image.
    const QImage shown =
        frame.rgbSwapped().scaled(PictureSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture_->setPixmap(QPixmap::fromImage(shown));
    setSpokenText(outcome_, QStringLiteral("Success: the camera sends pictures of %1 x %2.")
                                .arg(frame.width())
                                .arg(frame.height()));
    endTest();
}

void TDlgNetworkSource::testFailed(quint64 test, const QString& text) {
    if (test != testNumber_) return;
    QString reason = text;
    if (reason.startsWith(QLatin1String(DeviceLostText)))
        reason = reason.mid(qstrlen(DeviceLostText)).trimmed();
    if (reason.isEmpty()) reason = QStringLiteral("The stream ended before a picture came.");
    untrustedSha256_ = testSession_ ? testSession_->untrustedCertificate() : QString();
    if (!untrustedSha256_.isEmpty())
        reason += QStringLiteral("\nIf this is your own camera and you know its certificate, "
                                 "compare its SHA-256 fingerprint with this one before you trust "
                                 "it:\n") +
                  untrustedSha256_;
    setSpokenText(outcome_, QStringLiteral("Failed: ") + reason);
    trust_->setVisible(!untrustedSha256_.isEmpty());
    endTest();
}

void TDlgNetworkSource::trust() {
    if (untrustedSha256_.isEmpty()) return;
    trustedSha256_ = untrustedSha256_;
    startTest();
}

void TDlgNetworkSource::endTest() {
    ++testNumber_;
    testSession_.reset();
}

} // namespace ostrel
