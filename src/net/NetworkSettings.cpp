#include "net/NetworkSettings.h"
#include "net/FtpClient.h"
#include "net/SmtpClient.h"
#include "platform/Exception.h"
#include "platform/SettingsKeys.h"

namespace ostrel {

namespace {
using S = NetworkSettings;
using namespace sif;
// In the order of the file; the website update interval goes between Password and AutoStart.
const auto ftpFields =
    std::tuple{field(key::FtpHost, &S::ftpHost), field(key::FtpPort, &S::ftpPort),
               field(key::FtpTimeout, &S::ftpTimeout), field(key::UserId, &S::userId),
               field(key::FtpPassword, &S::ftpPassword)};
const auto otherFields = std::tuple{field(key::AutoStart, &S::autoStart),
                                    field(key::PassiveMode, &S::passiveMode),
                                    field(key::FtpSecurity, &S::ftpSecurity),
                                    field(key::FtpCertificateSha256, &S::ftpCertificateSha256),
                                    field(key::SmtpHost, &S::smtpHost),
                                    field(key::SmtpPort, &S::smtpPort),
                                    field(key::SmtpUserName, &S::smtpUserName),
                                    field(key::SmtpPassword, &S::emailPassword),
                                    field(key::SmtpSecurity, &S::smtpSecurity),
                                    field(key::SmtpCertificateSha256, &S::smtpCertificateSha256),
                                    field(key::UserAddress, &S::userEmail),
                                    field(key::DestinationAddress, &S::destinationAddress),
                                    field(key::CcAddress, &S::ccAddress),
                                    field(key::Camera, &S::cameraName),
                                    field(key::MinFreeMb, &S::minFreeMb),
                                    field(key::EmailOnly, &S::emailOnly),
                                    field(key::FtpUpload, &S::ftpUpload),
                                    field(key::Notification, &S::notification),
                                    field(key::DisableOnFail, &S::failDisable),
                                    field(key::FailNotification, &S::failNotification)};
} // namespace

void NetworkSettings::load(const IniFile& ini, QString* updateInterval) {
    readFields(ini, *this, ftpFields);
    if (updateInterval) *updateInterval = read(ini, key::UpdateInterval);
    readFields(ini, *this, otherFields);
    // The two choices are one radio group: only e-mail-only is consulted.
    ftpUpload = !emailOnly;
    if (ftpPort.isEmpty()) ftpPort = defaultText(key::FtpPort);
    ftpSecurity =
        QLatin1String(ftpSecurityOptions[securityIndex(ftpSecurityOptions, ftpSecurity)].text);
    smtpSecurity =
        QLatin1String(smtpSecurityOptions[securityIndex(smtpSecurityOptions, smtpSecurity)].text);
}

void NetworkSettings::save(IniFile& ini, Writer who, const QString* updateInterval) const {
    writeFields(ini, *this, ftpFields, who);
    if (updateInterval) write(ini, who, key::UpdateInterval, *updateInterval);
    writeFields(ini, *this, otherFields, who);
}

void NetworkSettings::saveKeys(IniFile& ini, Writer who, std::initializer_list<AnyKey> keys) const {
    for (const AnyKey& k : keys) {
        writeField(ini, *this, ftpFields, k, who);
        writeField(ini, *this, otherFields, k, who);
    }
}

QStringList mailRecipients(const QString& destination, const QString& cc) {
    QStringList to{destination};
    if (!cc.isEmpty() && cc != destination) to.append(cc);
    return to;
}

static_assert(std::size(ftpSecurityOptions) == std::size_t(TFtpClient::Security::Implicit) + 1);
static_assert(std::size(smtpSecurityOptions) == std::size_t(TSmtpClient::Security::Tls) + 1);

int securityIndex(std::span<const SecurityOption> options, const QString& text) {
    for (std::size_t i = 0; i < options.size(); ++i)
        if (text.trimmed().compare(QLatin1String(options[i].text), Qt::CaseInsensitive) == 0)
            return int(i);
    return 0;
}

void chooseSecurity(std::span<const SecurityOption> options, int index, QString* security,
                    QString* port) {
    if (index < 0 || std::size_t(index) >= options.size()) return;
    if (*port == QLatin1String(options[securityIndex(options, *security)].port))
        *port = QString::fromLatin1(options[index].port);
    *security = QString::fromLatin1(options[index].text);
}

void applyFtpAccount(const NetworkSettings& s, TFtpClient& ftp) {
    ftp.setHostName(s.ftpHost);
    ftp.setPort(s.ftpPort);
    ftp.setUserName(s.userId);
    ftp.setPassWord(s.ftpPassword);
    ftp.setPassive(s.passiveMode);
    ftp.setSecurity(TFtpClient::Security(securityIndex(ftpSecurityOptions, s.ftpSecurity)));
    ftp.setPinnedSha256(s.ftpCertificateSha256);
    ftp.setTimeout(strToIntDef(s.ftpTimeout, key::FtpTimeout.def));
}

void applySmtpAccount(const NetworkSettings& s, TSmtpClient& smtp) {
    smtp.setHost(s.smtpHost);
    smtp.setPort(s.smtpPort);
    smtp.setUsername(s.smtpUserName);
    smtp.setPassword(s.emailPassword);
    smtp.setSecurity(TSmtpClient::Security(securityIndex(smtpSecurityOptions, s.smtpSecurity)));
    smtp.setPinnedSha256(s.smtpCertificateSha256);
    smtp.setFromName(s.userEmail);
}

bool looksLikeEmailAddress(const QString& address) {
    return address.contains(u'@') && address.contains(u'.');
}

} // namespace ostrel
