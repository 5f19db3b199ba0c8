#include "net/NetworkSettings.h"
#include "platform/SettingsKeys.h"

namespace ostrel {

void NetworkSettings::load(const IniFile& ini, QString* updateInterval) {
    using namespace sif;
    ftpHost = read(ini, key::FtpHost);
    ftpPort = read(ini, key::FtpPort);
    ftpTimeout = readText(ini, key::FtpTimeout);
    userId = read(ini, key::UserId);
    ftpPassword = read(ini, key::FtpPassword);
    if (updateInterval) *updateInterval = read(ini, key::UpdateInterval);
    autoStart = read(ini, key::AutoStart);
    passiveMode = read(ini, key::PassiveMode);
    smtpHost = read(ini, key::SmtpHost);
    smtpPort = read(ini, key::SmtpPort);
    smtpUserName = read(ini, key::SmtpUserName);
    emailPassword = read(ini, key::SmtpPassword);
    userEmail = read(ini, key::UserAddress);
    destinationAddress = read(ini, key::DestinationAddress);
    ccAddress = read(ini, key::CcAddress);
    cameraName = read(ini, key::Camera);
    emailOnly = read(ini, key::EmailOnly);
    notification = read(ini, key::Notification);
    failDisable = read(ini, key::DisableOnFail);
    failNotification = read(ini, key::FailNotification);
    // The two choices are one radio group: only e-mail-only is consulted.
    ftpUpload = !emailOnly;
    if (ftpPort.isEmpty()) ftpPort = QString::fromLatin1(key::FtpPort.def);
}

void NetworkSettings::save(IniFile& ini, const QString& updateInterval) const {
    using namespace sif;
    write(ini, key::FtpHost, ftpHost);
    write(ini, key::FtpPort, ftpPort);
    writeText(ini, key::FtpTimeout, ftpTimeout);
    write(ini, key::UserId, userId);
    write(ini, key::FtpPassword, ftpPassword);
    write(ini, key::UpdateInterval, updateInterval);
    write(ini, key::AutoStart, autoStart);
    write(ini, key::PassiveMode, passiveMode);
    write(ini, key::SmtpHost, smtpHost);
    write(ini, key::SmtpPort, smtpPort);
    write(ini, key::SmtpUserName, smtpUserName);
    write(ini, key::SmtpPassword, emailPassword);
    write(ini, key::UserAddress, userEmail);
    write(ini, key::DestinationAddress, destinationAddress);
    write(ini, key::CcAddress, ccAddress);
    write(ini, key::Camera, cameraName);
    write(ini, key::EmailOnly, emailOnly);
    write(ini, key::FtpUpload, ftpUpload);
    write(ini, key::Notification, notification);
    write(ini, key::DisableOnFail, failDisable);
    write(ini, key::FailNotification, failNotification);
}

bool looksLikeEmailAddress(const QString& address) {
    return address.contains(u'@') && address.contains(u'.');
}

} // namespace ostrel
