#include "platform/SettingsKeys.h"

namespace ostrel::sif {

namespace {

template <typename T> constexpr KeyInfo info(const Key<T>& k, Type type) {
    return {k.file, k.section, k.name, type, k.writers};
}
constexpr KeyInfo info(const StringKey& k) {
    return info(k, Type::String);
}
constexpr KeyInfo info(const IntKey& k) {
    return info(k, Type::Integer);
}
constexpr KeyInfo info(const BoolKey& k) {
    return info(k, Type::Bool);
}

template <typename T> QString sectionOf(const Key<T>& k, const QString& section) {
    return section.isEmpty() ? QString::fromLatin1(k.section) : section;
}

using namespace key;
constexpr KeyInfo keys[] = {
    info(Treshold),       info(Sensitivity),
    info(Interval),       info(StartDelay),
    info(DelaySound),     info(DetectionSound),
    info(RemoteSave),     info(FrameRate),
    info(CaptureTime),    info(IndexSize),
    info(BufferSize),     info(CaptureAudio),
    info(FtpHost),        info(FtpPort),
    info(FtpTimeout),     info(UserId),
    info(FtpPassword),    info(PassiveMode),
    info(UpdateInterval), info(AutoStart),
    info(FtpSecurity),    info(FtpCertificateSha256),
    info(LogErrors),      info(ErrorBeep),
    info(FirstRun),       info(Camera),
    info(SmtpHost),       info(SmtpPort),
    info(SmtpUserName),   info(SmtpPassword),
    info(SmtpSecurity),   info(SmtpCertificateSha256),
    info(UserAddress),    info(DestinationAddress),
    info(CcAddress),      info(EmailOnly),
    info(FtpUpload),      info(Notification),
    info(DisableOnFail),  info(FailNotification),
    info(DriverIndex),    info(CompressionQuality),
    info(MotionInterval), info(VirtualSource),
    info(PixelFormat),    info(Width),
    info(Height),         info(DeviceFrameRate),
    info(Input),          info(MinFreeMb),
    info(NetCameraUrl),   info(NetCameraTransport),
    info(NetCameraUser),  info(NetCameraPassword),
    info(NetCameraPin),
};

} // namespace

std::span<const KeyInfo> allKeys() {
    return keys;
}

QString read(const IniFile& ini, const StringKey& k, const QString& section) {
    return ini.readString(sectionOf(k, section), QString::fromLatin1(k.name),
                          QString::fromLatin1(k.def));
}

int read(const IniFile& ini, const IntKey& k, const QString& section) {
    return ini.readInteger(sectionOf(k, section), QString::fromLatin1(k.name), k.def);
}

bool read(const IniFile& ini, const BoolKey& k, const QString& section) {
    return ini.readBool(sectionOf(k, section), QString::fromLatin1(k.name), k.def);
}

QString readText(const IniFile& ini, const IntKey& k, const QString& section) {
    return ini.readString(sectionOf(k, section), QString::fromLatin1(k.name),
                          QString::number(k.def));
}

namespace {

template <typename T> bool mayWrite(Writer who, const Key<T>& k) {
    if (k.writers & who) return true;
    qWarning("[%s] %s is not written by writer %u", k.section, k.name, unsigned(who));
    return false;
}

} // namespace

void write(IniFile& ini, Writer who, const StringKey& k, const QString& value,
           const QString& section) {
    if (mayWrite(who, k))
        ini.writeString(sectionOf(k, section), QString::fromLatin1(k.name), value);
}

void write(IniFile& ini, Writer who, const IntKey& k, int value, const QString& section) {
    if (mayWrite(who, k))
        ini.writeInteger(sectionOf(k, section), QString::fromLatin1(k.name), value);
}

void write(IniFile& ini, Writer who, const BoolKey& k, bool value, const QString& section) {
    if (mayWrite(who, k)) ini.writeBool(sectionOf(k, section), QString::fromLatin1(k.name), value);
}

void writeText(IniFile& ini, Writer who, const IntKey& k, const QString& digits,
               const QString& section) {
    if (mayWrite(who, k))
        ini.writeString(sectionOf(k, section), QString::fromLatin1(k.name), digits);
}

} // namespace ostrel::sif
