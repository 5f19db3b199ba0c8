#include "app/Settings.h"
#include "platform/IniFile.h"
#include "platform/SettingsKeys.h"

namespace ostrel {

using namespace sif;

namespace {
using W = MainWindowSettings;
const auto windowFields = std::tuple{
    field(key::Treshold, &W::treshold),     field(key::Sensitivity, &W::sensitivity),
    field(key::Interval, &W::interval),     field(key::StartDelay, &W::startDelay),
    field(key::DelaySound, &W::delaySound), field(key::DetectionSound, &W::detectionSound),
    field(key::RemoteSave, &W::remoteSave), field(key::LogErrors, &W::logErrors),
    field(key::ErrorBeep, &W::errorBeep),   field(key::FirstRun, &W::firstRun),
    field(key::MinFreeMb, &W::minFreeMb)};
} // namespace

StoredSettings readStoredSettings(const IniFile& ini) {
    StoredSettings s;
    readFields(ini, s.window, windowFields);
    readFields(ini, s.capture, captureParameterFields<CaptureParameters>());
    s.network.load(ini, &s.updateInterval);
    return s;
}

void writeCloseSettings(IniFile& ini, const CloseSettings& s) {
    write(ini, MainClose, key::FtpPassword, s.ftpPassword);
    write(ini, MainClose, key::UpdateInterval, s.updateInterval);
    writeFields(ini, s.window, windowFields, MainClose);
    write(ini, MainClose, key::SmtpPassword, s.smtpPassword);
}

int readDriverIndex(const IniFile& vcap) {
    return read(vcap, key::DriverIndex);
}

void writeDriverIndex(IniFile& vcap, int index) {
    write(vcap, MainDestroy, key::DriverIndex, index);
}

} // namespace ostrel
