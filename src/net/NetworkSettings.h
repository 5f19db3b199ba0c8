#pragma once
// The network settings: the program's live copy (what motion detection, the website
// update's failure handling, remote host management and the main window's close read at
// the moment they need it) holds what was saved; the network settings dialog edits a copy
// of its own. Texts are kept as typed; numbers are read from them where used.
#include <QString>
#include <span>

namespace ostrel {

class IniFile;
class TFtpClient;
class TSmtpClient;

struct NetworkSettings {
    // Upload policy.
    bool emailOnly = false;                            // rbEmailOnly
    bool ftpUpload = true;                             // rbFTPupload
    bool notification = false;                         // CheckBoxNotification
    bool failDisable = false;                          // CheckBoxFailDisable
    bool failNotification = false;                     // CheckBoxFailNotification
    QString cameraName = QStringLiteral("Location 1"); // edCameraName

    // FTP account.
    QString ftpHost;                              // edFTPhost
    QString ftpPort = QStringLiteral("21");       // edPort
    QString ftpTimeout = QStringLiteral("15");    // edTimeout
    QString userId;                               // edUserID
    QString ftpPassword;                          // edPassword
    bool passiveMode = true;                      // CheckBoxPassive
    bool autoStart = false;                       // CheckAutoStart
    QString ftpSecurity = QStringLiteral("None"); // "None", "Explicit" or "Implicit"
    QString ftpCertificateSha256;                 // the pinned server certificate

    // E-mail account.
    QString smtpHost;                              // edSMTPhost
    QString smtpPort = QStringLiteral("25");       // edSMTPport
    QString smtpUserName;                          // edSMTPUserName
    QString emailPassword;                         // edEmailPassword
    QString userEmail;                             // edUserEmail
    QString destinationAddress;                    // edDestinationAddress
    QString ccAddress;                             // edCCAddress
    QString smtpSecurity = QStringLiteral("None"); // "None", "STARTTLS" or "TLS"
    QString smtpCertificateSha256;                 // the pinned server certificate

    // The notification box can be ticked only while images go out by FTP.
    bool notificationEnabled() const { return !emailOnly; }
    // The website update interval is not a field of the dialog but is loaded and saved
    // with it; `updateInterval` receives and supplies the main window's field text.
    void load(const IniFile& ini, QString* updateInterval);
    void save(IniFile& ini, const QString& updateInterval) const;
};

// A security choice as the settings file spells it, and its standard port. The windows
// list the choices in this order.
struct SecurityOption {
    const char* text;
    const char* port;
};
inline constexpr SecurityOption ftpSecurityOptions[] = {
    {"None", "21"}, {"Explicit", "21"}, {"Implicit", "990"}};
inline constexpr SecurityOption smtpSecurityOptions[] = {
    {"None", "25"}, {"STARTTLS", "587"}, {"TLS", "465"}};
// The index of `text` among `options`; 0 (None) when it is none of them.
int securityIndex(std::span<const SecurityOption> options, const QString& text);
// Changes the security choice `*security` to option `index`; a port left at the standard
// port of the old choice moves to the new one's, a port the user typed stays.
void chooseSecurity(std::span<const SecurityOption> options, int index, QString* security,
                    QString* port);

// Hands an account to its client: host, port, login, security and pinned certificate (and
// for FTP the passive mode, for SMTP the sender). The FTP timeout is the caller's: it is
// read from the file as a number.
void applyFtpAccount(const NetworkSettings& s, TFtpClient& ftp);
void applySmtpAccount(const NetworkSettings& s, TSmtpClient& smtp);

// An address passes when it holds "@" and "." anywhere.
bool looksLikeEmailAddress(const QString& address);

} // namespace ostrel
