#pragma once
// The keys of Ostrel.sif the main window reads at start-up and writes at close, and the
// driver index of vcap.sif. Reading never fails: a missing file, section or key gives the
// key's default.
#include <QString>

namespace ostrel {

class IniFile;

inline constexpr const char* SettingsFileName = "Ostrel.sif";
inline constexpr const char* DriverFileName = "vcap.sif";

struct StoredSettings {
    // [Motion Detection]
    int treshold = 0;
    int sensitivity = 100;
    QString interval = QStringLiteral("1");
    QString startDelay = QStringLiteral("0");
    bool delaySound = true;
    bool detectionSound = false;
    bool remoteSave = false;
    // [Capture Parameters]
    int frameRate = 15;
    int captureTime = 0;
    int indexSize = 0;
    int bufferSize = 0;
    bool captureAudio = false;
    // [FTP Settings]
    QString ftpHost;
    QString ftpPort = QStringLiteral("21");
    int ftpTimeout = 15;
    QString userId;
    QString ftpPassword;
    bool passiveMode = true;
    QString updateInterval = QStringLiteral("5");
    bool autoStart = false;
    // [Other Settings]
    bool logErrors = true;
    bool errorBeep = false;
    bool firstRun = true;
    QString camera = QStringLiteral("Location 1");
    // [Email Settings]
    QString smtpHost;
    QString smtpPort = QStringLiteral("25");
    QString smtpUserName;
    QString smtpPassword;
    QString userAddress;
    QString destinationAddress;
    QString ccAddress;
    // [Protocol Settings]
    bool emailOnly = false;
    bool ftpUpload = true;
    bool notification = false;
    bool disableOnFail = false;
    bool failNotification = false;
};

// Every key the main window reads, in file order.
StoredSettings readStoredSettings(const IniFile& ini);

// What the main window writes when it closes.
struct CloseSettings {
    QString ftpPassword;
    QString updateInterval;
    int treshold = 0;
    int sensitivity = 100;
    QString interval;
    QString startDelay;
    bool delaySound = true;
    bool detectionSound = false;
    bool remoteSave = false;
    bool logErrors = true;
    bool errorBeep = false;
    bool firstRun = true;
    QString smtpPassword;
};
void writeCloseSettings(IniFile& ini, const CloseSettings& s);

int readDriverIndex(const IniFile& vcap);
void writeDriverIndex(IniFile& vcap, int index);

} // namespace ostrel
