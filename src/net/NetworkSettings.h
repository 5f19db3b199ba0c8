#pragma once
// The network settings: the program's live copy (what motion detection, the website
// update's failure handling, remote host management and the main window's close read at
// the moment they need it) holds what was saved; the network settings dialog edits a copy
// of its own. Texts are kept as typed; numbers are read from them where used.
#include "platform/SettingsKeys.h"
#include <QString>
#include <QStringList>
#include <initializer_list>
#include <span>

namespace ostrel {

class IniFile;
class TFtpClient;
class TSmtpClient;

// A new user's settings are the keys' defaults.
struct NetworkSettings {
    // Upload policy.
    bool emailOnly = sif::key::EmailOnly.def;                // rbEmailOnly
    bool ftpUpload = sif::key::FtpUpload.def;                // rbFTPupload
    bool notification = sif::key::Notification.def;          // CheckBoxNotification
    bool failDisable = sif::key::DisableOnFail.def;          // CheckBoxFailDisable
    bool failNotification = sif::key::FailNotification.def;  // CheckBoxFailNotification
    QString cameraName = sif::defaultText(sif::key::Camera); // edCameraName
    int minFreeMb = sif::key::MinFreeMb.def;                 // seMinFreeMb

    // FTP account.
    QString ftpHost = sif::defaultText(sif::key::FtpHost);         // edFTPhost
    QString ftpPort = sif::defaultText(sif::key::FtpPort);         // edPort
    QString ftpTimeout = sif::defaultText(sif::key::FtpTimeout);   // edTimeout
    QString userId = sif::defaultText(sif::key::UserId);           // edUserID
    QString ftpPassword = sif::defaultText(sif::key::FtpPassword); // edPassword
    bool passiveMode = sif::key::PassiveMode.def;                  // CheckBoxPassive
    bool autoStart = sif::key::AutoStart.def;                      // CheckAutoStart
    // "None", "Explicit" or "Implicit"
    QString ftpSecurity = sif::defaultText(sif::key::FtpSecurity);
    QString ftpCertificateSha256 = sif::defaultText(sif::key::FtpCertificateSha256);

    // E-mail account.
    QString smtpHost = sif::defaultText(sif::key::SmtpHost);          // edSMTPhost
    QString smtpPort = sif::defaultText(sif::key::SmtpPort);          // edSMTPport
    QString smtpUserName = sif::defaultText(sif::key::SmtpUserName);  // edSMTPUserName
    QString emailPassword = sif::defaultText(sif::key::SmtpPassword); // edEmailPassword
    QString userEmail = sif::defaultText(sif::key::UserAddress);      // edUserEmail
    QString destinationAddress = sif::defaultText(sif::key::DestinationAddress);
    QString ccAddress = sif::defaultText(sif::key::CcAddress); // edCCAddress
    // "None", "STARTTLS" or "TLS"
    QString smtpSecurity = sif::defaultText(sif::key::SmtpSecurity);
    QString smtpCertificateSha256 = sif::defaultText(sif::key::SmtpCertificateSha256);

    // The notification box can be ticked only while images go out by FTP.
    bool notificationEnabled() const { return !emailOnly; }
    // The website update interval is not a field of the dialog but is loaded and saved
    // with it; `updateInterval` receives and supplies the main window's field text.
    void load(const IniFile& ini, QString* updateInterval);
    // Writes the keys `who` writes, in the file's order.
    void save(IniFile& ini, sif::Writer who, const QString* updateInterval = nullptr) const;
    // Writes the named keys that `who` writes, in the order named.
    void saveKeys(IniFile& ini, sif::Writer who, std::initializer_list<sif::AnyKey> keys) const;
};

// Who gets the program's mails: the destination address, then the copy address when it
// is another.
QStringList mailRecipients(const QString& destination, const QString& cc);

// A security choice as the settings file spells it, and its standard port. The windows
// list the choices in this order; the first is the keys' default.
struct SecurityOption {
    const char* text;
    const char* port;
};
inline constexpr SecurityOption ftpSecurityOptions[] = {
    {sif::key::FtpSecurity.def, sif::key::FtpPort.def}, {"Explicit", "21"}, {"Implicit", "990"}};
inline constexpr SecurityOption smtpSecurityOptions[] = {
    {sif::key::SmtpSecurity.def, sif::key::SmtpPort.def}, {"STARTTLS", "587"}, {"TLS", "465"}};
// The index of `text` among `options`, read as the settings file's words are (blanks
// around and letter case do not count); 0 (None) when it is none of them. The clients'
// `Security` values are these indexes.
int securityIndex(std::span<const SecurityOption> options, const QString& text);
// Changes the security choice `*security` to option `index`; a port left at the standard
// port of the old choice moves to the new one's, a port the user typed stays.
void chooseSecurity(std::span<const SecurityOption> options, int index, QString* security,
                    QString* port);

// Hands an account to its client: host, port, login, security and pinned certificate (and
// for FTP the passive mode and the time-out, for SMTP the sender). The time-out text is
// read as the settings file's numbers are, its default taking the place of one that is none.
void applyFtpAccount(const NetworkSettings& s, TFtpClient& ftp);
void applySmtpAccount(const NetworkSettings& s, TSmtpClient& smtp);

// An address passes when it holds "@" and "." anywhere.
bool looksLikeEmailAddress(const QString& address);

} // namespace ostrel
