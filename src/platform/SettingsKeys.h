#pragma once
// Every key of the two settings files, declared once: file, section, name, type, default
// and the windows that write it. Readers and writers go through these declarations only,
// so a key's spelling and default cannot drift apart between the places that use it.
#include "platform/IniFile.h"
#include <QString>
#include <span>
#include <tuple>

namespace ostrel::sif {

inline constexpr const char ProgramFile[] = "Ostrel.sif"; // every user setting
inline constexpr const char DriverFile[] = "vcap.sif";    // the capture driver and its choices

// Who writes a key (a bit set): the main window's close or destroy, the network settings
// dialog, the setup wizard, the capture parameters dialog, the capture drivers' dialogs. A
// writer that goes through a table of bindings writes only the keys declared as its own.
enum Writer : unsigned {
    MainClose = 0x01,
    MainDestroy = 0x02,
    NetworkDialog = 0x04,
    Wizard = 0x08,
    CapParamDialog = 0x10,
    DriverDialogs = 0x20,
};

enum class Type { String, Integer, Bool };

// `section` is empty for the keys kept per device; their section is named when reading.
template <typename T> struct Key {
    const char* file;
    const char* section;
    const char* name;
    T def;
    unsigned writers;
};
using StringKey = Key<const char*>;
using IntKey = Key<int>;
using BoolKey = Key<bool>;

// A key's declaration without its type, for walking all of them.
struct KeyInfo {
    const char* file;
    const char* section;
    const char* name;
    Type type;
    unsigned writers;
};
std::span<const KeyInfo> allKeys();

QString read(const IniFile& ini, const StringKey& key, const QString& section = {});
int read(const IniFile& ini, const IntKey& key, const QString& section = {});
bool read(const IniFile& ini, const BoolKey& key, const QString& section = {});
// A number key as the digits stored (dialogs show and write them as text).
QString readText(const IniFile& ini, const IntKey& key, const QString& section = {});

// Every write names its writer; a key not declared for that writer is left as it is (and
// the slip logged), so no window can write a key that is not its own.
void write(IniFile& ini, Writer who, const StringKey& key, const QString& value,
           const QString& section = {});
void write(IniFile& ini, Writer who, const IntKey& key, int value, const QString& section = {});
void write(IniFile& ini, Writer who, const BoolKey& key, bool value, const QString& section = {});
// A number key written as typed: the same digits read back as the number.
void writeText(IniFile& ini, Writer who, const IntKey& key, const QString& digits,
               const QString& section = {});

// A key bound to a member of a settings struct: one table of bindings serves both the
// reading and the writing of that struct, so the two cannot list different keys.
template <typename S, typename K, typename M> struct Field {
    const K* key;
    M S::*member;
};
template <typename S, typename K, typename M>
constexpr Field<S, K, M> field(const K& key, M S::*member) {
    return {&key, member};
}

inline void readInto(const IniFile& ini, const StringKey& k, QString& v) {
    v = read(ini, k);
}
inline void readInto(const IniFile& ini, const IntKey& k, int& v) {
    v = read(ini, k);
}
inline void readInto(const IniFile& ini, const IntKey& k, QString& v) {
    v = readText(ini, k);
}
inline void readInto(const IniFile& ini, const BoolKey& k, bool& v) {
    v = read(ini, k);
}
inline void writeFrom(IniFile& ini, Writer who, const StringKey& k, const QString& v) {
    write(ini, who, k, v);
}
inline void writeFrom(IniFile& ini, Writer who, const IntKey& k, int v) {
    write(ini, who, k, v);
}
inline void writeFrom(IniFile& ini, Writer who, const IntKey& k, const QString& v) {
    writeText(ini, who, k, v);
}
inline void writeFrom(IniFile& ini, Writer who, const BoolKey& k, bool v) {
    write(ini, who, k, v);
}

// A key's default as the text a field shows and a settings struct starts with.
inline QString defaultText(const StringKey& k) {
    return QString::fromLatin1(k.def);
}
inline QString defaultText(const IntKey& k) {
    return QString::number(k.def);
}

// Reads every bound key, in the table's order.
template <typename S, typename Fields>
void readFields(const IniFile& ini, S& s, const Fields& fields) {
    std::apply([&](const auto&... f) { (readInto(ini, *f.key, s.*(f.member)), ...); }, fields);
}
// Writes the bound keys that `who` writes, in the table's order.
template <typename S, typename Fields>
void writeFields(IniFile& ini, const S& s, const Fields& fields, Writer who) {
    std::apply(
        [&](const auto&... f) {
            ((f.key->writers & who ? writeFrom(ini, who, *f.key, s.*(f.member)) : void()), ...);
        },
        fields);
}

// A key of any type, to name it in a list of keys.
struct AnyKey {
    const void* key;
    template <typename T> AnyKey(const Key<T>& k) : key(&k) {}
};
// Writes `key` when it is bound in the table and `who` writes it.
template <typename S, typename Fields>
void writeField(IniFile& ini, const S& s, const Fields& fields, AnyKey key, Writer who) {
    std::apply(
        [&](const auto&... f) {
            ((f.key == key.key && (f.key->writers & who)
                  ? writeFrom(ini, who, *f.key, s.*(f.member))
                  : void()),
             ...);
        },
        fields);
}

// Ostrel.sif, in the order the main window reads it.
namespace key {
inline constexpr IntKey Treshold{ProgramFile, "Motion Detection", "Treshold", 0, MainClose};
inline constexpr IntKey Sensitivity{ProgramFile, "Motion Detection", "Sensitivity", 100, MainClose};
inline constexpr StringKey Interval{ProgramFile, "Motion Detection", "Interval", "1", MainClose};
inline constexpr StringKey StartDelay{ProgramFile, "Motion Detection", "Start_Delay", "0",
                                      MainClose};
inline constexpr BoolKey DelaySound{ProgramFile, "Motion Detection", "Delay_Sound", true,
                                    MainClose};
inline constexpr BoolKey DetectionSound{ProgramFile, "Motion Detection", "Detection_Sound", false,
                                        MainClose};
inline constexpr BoolKey RemoteSave{ProgramFile, "Motion Detection", "Remote_Save", false,
                                    MainClose};

inline constexpr IntKey FrameRate{ProgramFile, "Capture Parameters", "FrameRate", 15,
                                  CapParamDialog};
inline constexpr IntKey CaptureTime{ProgramFile, "Capture Parameters", "Capture_Time", 0,
                                    CapParamDialog};
inline constexpr IntKey IndexSize{ProgramFile, "Capture Parameters", "Index_Size", 0,
                                  CapParamDialog};
inline constexpr IntKey BufferSize{ProgramFile, "Capture Parameters", "Buffer_Size", 0,
                                   CapParamDialog};
inline constexpr BoolKey CaptureAudio{ProgramFile, "Capture Parameters", "Capture_Audio", false,
                                      CapParamDialog};

inline constexpr StringKey FtpHost{ProgramFile, "FTP Settings", "FTP_Host", "",
                                   NetworkDialog | Wizard};
inline constexpr StringKey FtpPort{ProgramFile, "FTP Settings", "FTP_Port", "21",
                                   NetworkDialog | Wizard};
inline constexpr IntKey FtpTimeout{ProgramFile, "FTP Settings", "FTP_Timeout", 15,
                                   NetworkDialog | Wizard};
inline constexpr StringKey UserId{ProgramFile, "FTP Settings", "User_ID", "",
                                  NetworkDialog | Wizard};
inline constexpr StringKey FtpPassword{ProgramFile, "FTP Settings", "Password", "",
                                       MainClose | NetworkDialog | Wizard};
inline constexpr BoolKey PassiveMode{ProgramFile, "FTP Settings", "Passive_Mode", true,
                                     NetworkDialog | Wizard};
inline constexpr StringKey UpdateInterval{ProgramFile, "FTP Settings", "Update_Interval", "5",
                                          MainClose | NetworkDialog};
inline constexpr BoolKey AutoStart{ProgramFile, "FTP Settings", "AutoStart", false, NetworkDialog};
// "None", "Explicit" or "Implicit"; any other value counts as None.
inline constexpr StringKey FtpSecurity{ProgramFile, "FTP Settings", "Security", "None",
                                       NetworkDialog | Wizard};
// SHA-256 fingerprint of the one server certificate trusted without verification.
inline constexpr StringKey FtpCertificateSha256{ProgramFile, "FTP Settings", "Certificate_SHA256",
                                                "", NetworkDialog};

inline constexpr BoolKey LogErrors{ProgramFile, "Other Settings", "LogErrors", true, MainClose};
inline constexpr BoolKey ErrorBeep{ProgramFile, "Other Settings", "ErrorBeep", false, MainClose};
inline constexpr BoolKey FirstRun{ProgramFile, "Other Settings", "FirstRun", true, MainClose};
// Megabytes kept free on the program folder's disk before pictures and recordings are
// written; 0 switches the guard off.
inline constexpr IntKey MinFreeMb{ProgramFile, "Other Settings", "Min_Free_MB", 500,
                                  MainClose | NetworkDialog};
inline constexpr StringKey Camera{ProgramFile, "Other Settings", "Camera", "Location 1",
                                  NetworkDialog};

inline constexpr StringKey SmtpHost{ProgramFile, "Email Settings", "SMTP_Host", "",
                                    NetworkDialog | Wizard};
inline constexpr StringKey SmtpPort{ProgramFile, "Email Settings", "SMTP_Port", "25",
                                    NetworkDialog | Wizard};
inline constexpr StringKey SmtpUserName{ProgramFile, "Email Settings", "SMTP_UserName", "",
                                        NetworkDialog | Wizard};
inline constexpr StringKey SmtpPassword{ProgramFile, "Email Settings", "SMTP_Password", "",
                                        MainClose | NetworkDialog | Wizard};
// "None", "STARTTLS" or "TLS"; any other value counts as None.
inline constexpr StringKey SmtpSecurity{ProgramFile, "Email Settings", "Security", "None",
                                        NetworkDialog | Wizard};
// SHA-256 fingerprint of the one server certificate trusted without verification.
inline constexpr StringKey SmtpCertificateSha256{ProgramFile, "Email Settings",
                                                 "Certificate_SHA256", "", NetworkDialog};
inline constexpr StringKey UserAddress{ProgramFile, "Email Settings", "User_Address", "",
                                       NetworkDialog | Wizard};
inline constexpr StringKey DestinationAddress{ProgramFile, "Email Settings", "Destination_Address",
                                              "", NetworkDialog | Wizard};
inline constexpr StringKey CcAddress{ProgramFile, "Email Settings", "CC_Address", "",
                                     NetworkDialog};

inline constexpr BoolKey EmailOnly{ProgramFile, "Protocol Settings", "EmailOnly", false,
                                   NetworkDialog | Wizard};
inline constexpr BoolKey FtpUpload{ProgramFile, "Protocol Settings", "FTPupload", true,
                                   NetworkDialog | Wizard};
inline constexpr BoolKey Notification{ProgramFile, "Protocol Settings", "Notification", false,
                                      NetworkDialog | Wizard};
inline constexpr BoolKey DisableOnFail{ProgramFile, "Protocol Settings", "DisableOnFail", false,
                                       NetworkDialog};
inline constexpr BoolKey FailNotification{ProgramFile, "Protocol Settings", "FailNotification",
                                          false, NetworkDialog};

// vcap.sif
inline constexpr IntKey DriverIndex{DriverFile, "Driver", "index", -1, MainDestroy};
inline constexpr IntKey CompressionQuality{DriverFile, "Video Compression", "Quality", 75,
                                           DriverDialogs};
inline constexpr IntKey MotionInterval{DriverFile, "Virtual Camera", "Motion_Interval", 20,
                                       DriverDialogs};
inline constexpr StringKey VirtualSource{DriverFile, "Virtual Camera", "Source", "", DriverDialogs};
// Kept per camera, in a section named after the device.
inline constexpr StringKey PixelFormat{DriverFile, "", "Pixel_Format", "", DriverDialogs};
inline constexpr IntKey Width{DriverFile, "", "Width", 0, DriverDialogs};
inline constexpr IntKey Height{DriverFile, "", "Height", 0, DriverDialogs};
inline constexpr StringKey DeviceFrameRate{DriverFile, "", "Frame_Rate", "", DriverDialogs};
inline constexpr IntKey Input{DriverFile, "", "Input", -1, DriverDialogs};
// The network camera: its address and transport here, its login in Ostrel.sif, which only
// its owner can read.
inline constexpr StringKey NetCameraUrl{DriverFile, "Network Camera", "URL", "", DriverDialogs};
inline constexpr StringKey NetCameraTransport{DriverFile, "Network Camera", "Transport", "TCP",
                                              DriverDialogs};
// An https camera's certificate trusted by its SHA-256 fingerprint (hex, colons allowed).
inline constexpr StringKey NetCameraPin{DriverFile, "Network Camera", "Certificate_SHA256", "",
                                        DriverDialogs};
inline constexpr StringKey NetCameraUser{ProgramFile, "Network Camera", "User", "", DriverDialogs};
inline constexpr StringKey NetCameraPassword{ProgramFile, "Network Camera", "Password", "",
                                             DriverDialogs};
// One key per camera control: the prefix, then the control's id in eight hex digits.
inline constexpr const char ControlKeyPrefix[] = "Control_";
} // namespace key

} // namespace ostrel::sif
