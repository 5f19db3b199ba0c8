#pragma once
// What the main window reads from Ostrel.sif at start-up and writes at close, and the
// driver index of vcap.sif. Reading never fails: a missing file, section or key gives the
// key's default (see platform/SettingsKeys.h).
#include "net/NetworkSettings.h"
#include <QString>

namespace ostrel {

class IniFile;

// The keys of the main window's own controls: read at start-up, written at close.
struct MainWindowSettings {
    // [Motion Detection]
    int treshold = 0;
    int sensitivity = 100;
    QString interval = QStringLiteral("1");
    QString startDelay = QStringLiteral("0");
    bool delaySound = true;
    bool detectionSound = false;
    bool remoteSave = false;
    // [Other Settings]
    bool logErrors = true;
    bool errorBeep = false;
    bool firstRun = true;
    int minFreeMb = 500;
};

// [Capture Parameters]: the recording's settings of the capture device.
struct CaptureParameters {
    int frameRate = 15;
    int captureTime = 0;
    int indexSize = 0;
    int bufferSize = 0;
    bool captureAudio = false;
};

struct StoredSettings {
    MainWindowSettings window;
    CaptureParameters capture;
    // The keys the network settings dialog edits, with the website update interval and
    // the FTP time-out as the number the client takes.
    NetworkSettings network;
    QString updateInterval;
    int ftpTimeout = 15;
};
StoredSettings readStoredSettings(const IniFile& ini);

// What the main window writes when it closes: its controls, the interval field and the
// passwords as they stand.
struct CloseSettings {
    MainWindowSettings window;
    QString updateInterval;
    QString ftpPassword;
    QString smtpPassword;
};
void writeCloseSettings(IniFile& ini, const CloseSettings& s);

int readDriverIndex(const IniFile& vcap);
void writeDriverIndex(IniFile& vcap, int index);

} // namespace ostrel
