#include "app/Settings.h"
#include "platform/IniFile.h"

namespace ostrel {

namespace {
const QString Motion = QStringLiteral("Motion Detection");
const QString Capture = QStringLiteral("Capture Parameters");
const QString Ftp = QStringLiteral("FTP Settings");
const QString Other = QStringLiteral("Other Settings");
const QString Email = QStringLiteral("Email Settings");
const QString Protocol = QStringLiteral("Protocol Settings");
} // namespace

StoredSettings readStoredSettings(const IniFile& ini) {
    StoredSettings s;
    s.treshold = ini.readInteger(Motion, "Treshold", 0);
    s.sensitivity = ini.readInteger(Motion, "Sensitivity", 100);
    s.interval = ini.readString(Motion, "Interval", "1");
    s.startDelay = ini.readString(Motion, "Start_Delay", "0");
    s.delaySound = ini.readBool(Motion, "Delay_Sound", true);
    s.detectionSound = ini.readBool(Motion, "Detection_Sound", false);
    s.remoteSave = ini.readBool(Motion, "Remote_Save", false);

    s.frameRate = ini.readInteger(Capture, "FrameRate", 15);
    s.captureTime = ini.readInteger(Capture, "Capture_Time", 0);
    s.indexSize = ini.readInteger(Capture, "Index_Size", 0);
    s.bufferSize = ini.readInteger(Capture, "Buffer_Size", 0);
    s.captureAudio = ini.readBool(Capture, "Capture_Audio", false);

    s.ftpHost = ini.readString(Ftp, "FTP_Host", "");
    s.ftpPort = ini.readString(Ftp, "FTP_Port", "21");
    s.ftpTimeout = ini.readInteger(Ftp, "FTP_Timeout", 15);
    s.userId = ini.readString(Ftp, "User_ID", "");
    s.ftpPassword = ini.readString(Ftp, "Password", "");
    s.passiveMode = ini.readBool(Ftp, "Passive_Mode", true);
    s.updateInterval = ini.readString(Ftp, "Update_Interval", "5");
    s.autoStart = ini.readBool(Ftp, "AutoStart", false);

    s.logErrors = ini.readBool(Other, "LogErrors", true);
    s.errorBeep = ini.readBool(Other, "ErrorBeep", false);
    s.firstRun = ini.readBool(Other, "FirstRun", true);
    s.camera = ini.readString(Other, "Camera", "Location 1");

    s.smtpHost = ini.readString(Email, "SMTP_Host", "");
    s.smtpPort = ini.readString(Email, "SMTP_Port", "25");
    s.smtpUserName = ini.readString(Email, "SMTP_UserName", "");
    s.smtpPassword = ini.readString(Email, "SMTP_Password", "");
    s.userAddress = ini.readString(Email, "User_Address", "");
    s.destinationAddress = ini.readString(Email, "Destination_Address", "");
    s.ccAddress = ini.readString(Email, "CC_Address", "");

    s.emailOnly = ini.readBool(Protocol, "EmailOnly", false);
    s.ftpUpload = ini.readBool(Protocol, "FTPupload", true);
    s.notification = ini.readBool(Protocol, "Notification", false);
    s.disableOnFail = ini.readBool(Protocol, "DisableOnFail", false);
    s.failNotification = ini.readBool(Protocol, "FailNotification", false);
    return s;
}

void writeCloseSettings(IniFile& ini, const CloseSettings& s) {
    ini.writeString(Ftp, "Password", s.ftpPassword);
    ini.writeString(Ftp, "Update_Interval", s.updateInterval);
    ini.writeInteger(Motion, "Treshold", s.treshold);
    ini.writeInteger(Motion, "Sensitivity", s.sensitivity);
    ini.writeString(Motion, "Interval", s.interval);
    ini.writeString(Motion, "Start_Delay", s.startDelay);
    ini.writeBool(Motion, "Delay_Sound", s.delaySound);
    ini.writeBool(Motion, "Detection_Sound", s.detectionSound);
    ini.writeBool(Motion, "Remote_Save", s.remoteSave);
    ini.writeBool(Other, "LogErrors", s.logErrors);
    ini.writeBool(Other, "ErrorBeep", s.errorBeep);
    ini.writeBool(Other, "FirstRun", s.firstRun);
    ini.writeString(Email, "SMTP_Password", s.smtpPassword);
}

int readDriverIndex(const IniFile& vcap) {
    return vcap.readInteger(QStringLiteral("Driver"), QStringLiteral("index"), -1);
}

void writeDriverIndex(IniFile& vcap, int index) {
    vcap.writeInteger(QStringLiteral("Driver"), QStringLiteral("index"), index);
}

} // namespace ostrel
