#pragma once
// The window of an account test: the server conversation as it happens, the outcome in
// plain words, and, when the server's certificate was refused, its fingerprint with a
// button to trust that one certificate.
#include "net/AccountTest.h"
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace ostrel {

class TfrmAccountTest : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAccountTest(QWidget* parent = nullptr);

    // Shows the window and tests `account`; a test still running is cancelled.
    void run(AccountTest::Kind kind, const NetworkSettings& account);

    QLabel* outcomeLabel() const { return lblOutcome_; }
    QPlainTextEdit* conversation() const { return memoConversation_; }
    QPushButton* trustButton() const { return btnTrust_; }
    QPushButton* closeButton() const { return btnClose_; }

signals:
    // The user trusts the certificate shown (its SHA-256 fingerprint); the test runs again
    // with it.
    void certificateTrusted(ostrel::AccountTest::Kind kind, const QString& sha256);

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void showOutcome(const AccountTest::Outcome& outcome);
    void trust();

    AccountTest test_;
    AccountTest::Kind kind_ = AccountTest::Kind::Ftp;
    NetworkSettings account_;
    QString untrusted_;
    QLabel* lblOutcome_;
    QPlainTextEdit* memoConversation_;
    QPushButton* btnTrust_;
    QPushButton* btnClose_;
};

} // namespace ostrel
