#pragma once
// Windows-style INI settings file. Section and key names compare without case; values
// read are at most 2047 characters; every write goes to disk at once, atomically
// (written beside, then renamed). Nothing is cached between calls.
//
// Damaged files: lines end with CRLF, LF or CR; bytes that are not text are kept as they
// are when the file is rewritten. Only the first section of a name counts (reads and
// writes alike). A file larger than 4 MiB, or one that is not a regular file, is not a
// settings file: reads give the defaults and writes raise rather than replace it.
#include "platform/Exception.h"
#include <QString>

namespace ostrel {

// "Unable to write to <file>"
class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

class IniFile {
public:
    enum class Access { Normal, OwnerOnly }; // OwnerOnly: the file is created with mode 0600

    explicit IniFile(QString fileName, Access access = Access::Normal);

    const QString& fileName() const { return fileName_; }
    bool exists() const;
    // Why the file cannot be read (unreadable, not a regular file, too large): then every
    // read gives its default. Empty when the file reads, or does not exist.
    QString problem() const;

    QString readString(const QString& section, const QString& key, const QString& def) const;
    // Decimal, or hexadecimal after "0x"/"0X"; text that is not a number yields `def`.
    int readInteger(const QString& section, const QString& key, int def) const;
    // Any integer other than 0 is true; text that is not a number yields `def`.
    bool readBool(const QString& section, const QString& key, bool def) const;

    // Throw EIniFileException when the file cannot be written. Line breaks inside a value
    // are written as blanks (a value is one line); surrounding blanks do not read back.
    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value); // "1" / "0"

    bool sectionExists(const QString& section) const;
    bool valueExists(const QString& section, const QString& key) const;

    static constexpr int MaxValueLength = 2047;

private:
    QString fileName_;
    Access access_;
};

} // namespace ostrel
