#include "setup/AccountTestWindow.h"
#include "platform/Desktop.h"
#include "platform/Guard.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace ostrel {

TfrmAccountTest::TfrmAccountTest(QWidget* parent)
    : QDialog(parent), lblOutcome_(new QLabel(this)), memoConversation_(new QPlainTextEdit(this)),
      btnTrust_(new QPushButton(QStringLiteral("&Trust this certificate"), this)),
      btnClose_(new QPushButton(QStringLiteral("&Close"), this)) {
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowModality(Qt::WindowModal);
    resize(560, 360);
    lblOutcome_->setObjectName(QStringLiteral("lblOutcome"));
    lblOutcome_->setWordWrap(true);
    lblOutcome_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    memoConversation_->setObjectName(QStringLiteral("memoConversation"));
    memoConversation_->setReadOnly(true);
    memoConversation_->setAccessibleName(QStringLiteral("Server conversation"));
    memoConversation_->setLineWrapMode(QPlainTextEdit::NoWrap);
    btnTrust_->setObjectName(QStringLiteral("btnTrust"));
    btnTrust_->setAccessibleName(QStringLiteral("Trust this certificate"));
    btnTrust_->hide();
    btnClose_->setObjectName(QStringLiteral("btnClose"));
    btnClose_->setAccessibleName(QStringLiteral("Close"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnTrust_);
    buttons->addStretch();
    buttons->addWidget(btnClose_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblOutcome_);
    layout->addWidget(memoConversation_, 1);
    layout->addLayout(buttons);

    connect(&test_, &AccountTest::conversation, memoConversation_,
            &QPlainTextEdit::appendPlainText);
    connect(&test_, &AccountTest::finished, this,
            guarded([this](const AccountTest::Outcome& o) { showOutcome(o); }));
    connect(btnTrust_, &QPushButton::clicked, this, guarded([this] { trust(); }));
    connect(btnClose_, &QPushButton::clicked, this, &QDialog::close);
}

void TfrmAccountTest::run(AccountTest::Kind kind, const NetworkSettings& account) {
    kind_ = kind;
    account_ = account;
    const bool ftp = kind == AccountTest::Kind::Ftp;
    setWindowTitle(ftp ? QStringLiteral("Test FTP Account") : QStringLiteral("Test Email Account"));
    memoConversation_->clear();
    btnTrust_->hide();
    untrusted_.clear();
    setSpokenText(lblOutcome_,
                  QStringLiteral("Testing %1 ...").arg(ftp ? account.ftpHost : account.smtpHost));
    show();
    raise();
    activateWindow();
    btnClose_->setFocus();
    test_.start(kind, account);
}

void TfrmAccountTest::showOutcome(const AccountTest::Outcome& outcome) {
    QString text = outcome.text;
    untrusted_ = outcome.untrustedSha256;
    if (!untrusted_.isEmpty())
        text += QStringLiteral("\nIf this is your own server and you know its certificate, compare "
                               "its SHA-256 fingerprint with this one before you trust it:\n") +
                untrusted_;
    setSpokenText(lblOutcome_, text);
    btnTrust_->setVisible(!untrusted_.isEmpty());
}

void TfrmAccountTest::trust() {
    if (untrusted_.isEmpty()) return;
    const QString sha256 = untrusted_;
    if (kind_ == AccountTest::Kind::Ftp)
        account_.ftpCertificateSha256 = sha256;
    else
        account_.smtpCertificateSha256 = sha256;
    emit certificateTrusted(kind_, sha256);
    run(kind_, account_);
}

void TfrmAccountTest::hideEvent(QHideEvent* event) {
    // Closed by its button, the title bar or Escape alike: the test stops with it.
    test_.cancel();
    QDialog::hideEvent(event);
}

} // namespace ostrel
