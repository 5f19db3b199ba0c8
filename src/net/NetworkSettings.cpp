#include "net/NetworkSettings.h"
#include "platform/IniFile.h"

namespace ostrel {

namespace {
const QString Ftp = QStringLiteral("FTP Settings");
const QString Email = QStringLiteral("Email Settings");
const QString Other = QStringLiteral("Other Settings");
const QString Protocol = QStringLiteral("Protocol Settings");
} // namespace

void NetworkSettings::load(const IniFile& ini, QString* updateInterval) {
    ftpHost = ini.readString(Ftp, "FTP_Host", "");
    ftpPort = ini.readString(Ftp, "FTP_Port", "21");
    ftpTimeout = ini.readString(Ftp, "FTP_Timeout", "15");
    userId = ini.readString(Ftp, "User_ID", "");
    ftpPassword = ini.readString(Ftp, "Password", "");
    if (updateInterval) *updateInterval = ini.readString(Ftp, "Update_Interval", "5");
    autoStart = ini.readBool(Ftp, "AutoStart", false);
    passiveMode = ini.readBool(Ftp, "Passive_Mode", true);
    smtpHost = ini.readString(Email, "SMTP_Host", "");
    smtpPort = ini.readString(Email, "SMTP_Port", "25");
    smtpUserName = ini.readString(Email, "SMTP_UserName", "");
    emailPassword = ini.readString(Email, "SMTP_Password", "");
    userEmail = ini.readString(Email, "User_Address", "");
    destinationAddress = ini.readString(Email, "Destination_Address", "");
    ccAddress = ini.readString(Email, "CC_Address", "");
    cameraName = ini.readString(Other, "Camera", "Location 1");
    emailOnly = ini.readBool(Protocol, "EmailOnly", false);
    ftpUpload = ini.readBool(Protocol, "FTPupload", true);
    notification = ini.readBool(Protocol, "Notification", false);
    failDisable = ini.readBool(Protocol, "DisableOnFail", false);
    failNotification = ini.readBool(Protocol, "FailNotification", false);
    // The two choices are one radio group: only e-mail-only is consulted.
    ftpUpload = !emailOnly;
    if (ftpPort.isEmpty()) ftpPort = QStringLiteral("21");
}

void NetworkSettings::save(IniFile& ini, const QString& updateInterval) const {
    ini.writeString(Ftp, "FTP_Host", ftpHost);
    ini.writeString(Ftp, "FTP_Port", ftpPort);
    ini.writeString(Ftp, "FTP_Timeout", ftpTimeout);
    ini.writeString(Ftp, "User_ID", userId);
    ini.writeString(Ftp, "Password", ftpPassword);
    ini.writeString(Ftp, "Update_Interval", updateInterval);
    ini.writeBool(Ftp, "AutoStart", autoStart);
    ini.writeBool(Ftp, "Passive_Mode", passiveMode);
    ini.writeString(Email, "SMTP_Host", smtpHost);
    ini.writeString(Email, "SMTP_Port", smtpPort);
    ini.writeString(Email, "SMTP_UserName", smtpUserName);
    ini.writeString(Email, "SMTP_Password", emailPassword);
    ini.writeString(Email, "User_Address", userEmail);
    ini.writeString(Email, "Destination_Address", destinationAddress);
    ini.writeString(Email, "CC_Address", ccAddress);
    ini.writeString(Other, "Camera", cameraName);
    ini.writeBool(Protocol, "EmailOnly", emailOnly);
    ini.writeBool(Protocol, "FTPupload", ftpUpload);
    ini.writeBool(Protocol, "Notification", notification);
    ini.writeBool(Protocol, "DisableOnFail", failDisable);
    ini.writeBool(Protocol, "FailNotification", failNotification);
}

bool looksLikeEmailAddress(const QString& address) {
    return address.contains(u'@') && address.contains(u'.');
}

} // namespace ostrel
