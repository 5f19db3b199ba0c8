#pragma once
// What the main window reads from Ostrel.sif at start-up and writes at close, and the
// driver index of vcap.sif. Reading never fails: a missing file, section or key gives the
// key's default (see platform/SettingsKeys.h).
#include "capture/CaptureParameters.h"
#include "net/NetworkSettings.h"
#include "platform/SettingsKeys.h"
#include <QString>

namespace ostrel {

class IniFile;

// The keys of the main window's own controls: read at start-up, written at close.
struct MainWindowSettings {
    // [Motion Detection]
    int treshold = sif::key::Treshold.def;
    int sensitivity = sif::key::Sensitivity.def;
    QString interval = sif::defaultText(sif::key::Interval);
    QString startDelay = sif::defaultText(sif::key::StartDelay);
    bool delaySound = sif::key::DelaySound.def;
    bool detectionSound = sif::key::DetectionSound.def;
    bool remoteSave = sif::key::RemoteSave.def;
    // [Other Settings]
    bool logErrors = sif::key::LogErrors.def;
    bool errorBeep = sif::key::ErrorBeep.def;
    bool firstRun = sif::key::FirstRun.def;
    int minFreeMb = sif::key::MinFreeMb.def;
};

struct StoredSettings {
    MainWindowSettings window;
    CaptureParameters capture;
    // The keys the network settings dialog edits, with the website update interval.
    NetworkSettings network;
    QString updateInterval;
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
