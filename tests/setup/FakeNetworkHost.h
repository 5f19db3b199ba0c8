#pragma once
// The main window as the network settings dialog sees it, for the dialog's and the
// wizard's tests.
#include "setup/dlgNetwork.h"
#include "net/NetworkSettings.h"
#include <QList>
#include <QStringList>

namespace ostrel::test {

// `events` keeps the order of what it was asked.
struct FakeNetworkHost : NetworkDialogHost {
    QString interval = QStringLiteral("3"), ftpPassword, smtpPassword;
    QStringList events;
    QList<NetworkSettings> applied;
    bool emailOnly = false;
    int minFree = 500;

    QString updateIntervalText() const override { return interval; }
    void setUpdateIntervalText(const QString& text) override { interval = text; }
    QString storedFtpPassword() const override { return ftpPassword; }
    QString storedSmtpPassword() const override { return smtpPassword; }
    void setStoredPasswords(const QString& ftp, const QString& smtp) override {
        ftpPassword = ftp;
        smtpPassword = smtp;
    }
    void setEmailOnlyMode(bool on) override {
        emailOnly = on;
        events << (on ? "email only" : "ftp");
    }
    void applySavedSettings(const NetworkSettings& saved) override { applied << saved; }
    void startWebsiteUpdate() override { events << QStringLiteral("start"); }
    int minFreeMb() const override { return minFree; }
    void setMinFreeMb(int mb) override { minFree = mb; }
};

} // namespace ostrel::test
