#pragma once
// The error log: time-stamped lines kept in memory and written whole to Error.log in
// the program folder (CRLF line ends). Writers add only while Log Errors is on.
#include <QObject>
#include <QStringList>

namespace ostrel {

class ErrorLog : public QObject {
    Q_OBJECT
public:
    explicit ErrorLog(QString programFolder, QObject* parent = nullptr);

    QString filePath() const; // program folder + "Error.log"
    const QStringList& lines() const { return lines_; }
    // The list's text as the window shows it: lines joined with CRLF.
    QString text() const;

    // Settings menu switches, consulted at the moment an error happens.
    bool logErrors() const { return logErrors_; }
    void setLogErrors(bool on) { logErrors_ = on; }
    bool beepOnErrors() const { return beepOnErrors_; }
    void setBeepOnErrors(bool on) { beepOnErrors_ = on; }

    // Date-time text + entry (which starts with " :   "); only while Log Errors is on.
    // writeNow: also write the list to the file (raises Exception when that fails; the
    // line stays in the list).
    void add(const QString& entry, bool writeNow = true);
    // add() that never raises: when the file cannot be written (the disk is full), the
    // line stays in the list and the log window, and goes to standard error.
    void addQuietly(const QString& entry);

    // Replaces the list from the file when it exists; false (list unchanged) when it does
    // not or cannot be read.
    bool reload();
    // Writes the whole list to the file, atomically; raises Exception on failure.
    void save() const;
    // Writes the list to another file (Save As), atomically; raises Exception on failure.
    void saveTo(const QString& fileName) const;
    void clear();
    // Creates the file with one empty line when it does not exist; raises Exception when
    // it cannot be written.
    void ensureFileExists() const;

signals:
    void changed();

private:
    QString programFolder_;
    QStringList lines_;
    bool logErrors_ = true;
    bool beepOnErrors_ = false;
};

// Parses log file bytes into lines (CRLF, LF or CR end a line; 8-bit local encoding).
QStringList parseLogLines(const QByteArray& data);
QByteArray serializeLogLines(const QStringList& lines);

} // namespace ostrel
