#include "app/Settings.h"
#include "platform/IniFile.h"
#include "platform/SettingsKeys.h"

namespace ostrel {

using namespace sif;

StoredSettings readStoredSettings(const IniFile& ini) {
    StoredSettings s;
    s.treshold = read(ini, key::Treshold);
    s.sensitivity = read(ini, key::Sensitivity);
    s.interval = read(ini, key::Interval);
    s.startDelay = read(ini, key::StartDelay);
    s.delaySound = read(ini, key::DelaySound);
    s.detectionSound = read(ini, key::DetectionSound);
    s.remoteSave = read(ini, key::RemoteSave);

    s.frameRate = read(ini, key::FrameRate);
    s.captureTime = read(ini, key::CaptureTime);
    s.indexSize = read(ini, key::IndexSize);
    s.bufferSize = read(ini, key::BufferSize);
    s.captureAudio = read(ini, key::CaptureAudio);

    s.logErrors = read(ini, key::LogErrors);
    s.errorBeep = read(ini, key::ErrorBeep);
    s.firstRun = read(ini, key::FirstRun);

    s.network.load(ini, &s.updateInterval);
    s.ftpTimeout = read(ini, key::FtpTimeout);
    return s;
}

void writeCloseSettings(IniFile& ini, const CloseSettings& s) {
    write(ini, key::FtpPassword, s.ftpPassword);
    write(ini, key::UpdateInterval, s.updateInterval);
    write(ini, key::Treshold, s.treshold);
    write(ini, key::Sensitivity, s.sensitivity);
    write(ini, key::Interval, s.interval);
    write(ini, key::StartDelay, s.startDelay);
    write(ini, key::DelaySound, s.delaySound);
    write(ini, key::DetectionSound, s.detectionSound);
    write(ini, key::RemoteSave, s.remoteSave);
    write(ini, key::LogErrors, s.logErrors);
    write(ini, key::ErrorBeep, s.errorBeep);
    write(ini, key::FirstRun, s.firstRun);
    write(ini, key::SmtpPassword, s.smtpPassword);
}

int readDriverIndex(const IniFile& vcap) { return read(vcap, key::DriverIndex); }

void writeDriverIndex(IniFile& vcap, int index) { write(vcap, key::DriverIndex, index); }

} // namespace ostrel
