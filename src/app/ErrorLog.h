#pragma once
// The error log: time-stamped lines kept in memory and appended to Error.log in the
// program folder (CRLF line ends). Writers add only while Log Errors is on. The file moves
// to Error.log.1 before it passes SizeLimit, and the list never holds more than that.
#include <QObject>
#include <QStringList>

namespace ostrel {

class ErrorLog : public QObject {
    Q_OBJECT
public:
    explicit ErrorLog(QString programFolder, QObject* parent = nullptr);

    // Bytes of Error.log (and of the list, as the file holds it) before the oldest go.
    static constexpr qint64 SizeLimit = 1024 * 1024;

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
    // writeNow: also append the lines not yet written to the file. Never raises: lines the
    // file does not take stay in the list for the next write and go to standard error, and
    // writeFailed tells the first such failure.
    void add(const QString& entry, bool writeNow = true);
    // The same as add(), for callers written when add() could raise.
    void addQuietly(const QString& entry) { add(entry); }
    // Appends the lines not yet written; false when the file did not take them.
    bool flush();

    // Replaces the list from the file (at most its last SizeLimit bytes) when it exists;
    // false (list unchanged) when it does not or cannot be read.
    bool reload();
    // Replaces the file with the whole list, atomically (Clear Log, a fresh log after Save
    // As); raises Exception on failure.
    void save();
    // Writes the list to another file (Save As), atomically; raises Exception on failure.
    void saveTo(const QString& fileName) const;
    void clear();
    // Creates the file with one empty line when it does not exist; raises Exception when
    // it cannot be written.
    void ensureFileExists() const;

signals:
    void changed();
    // The file cannot be written ("Unable to write to ..."): told once, until a write works.
    void writeFailed(const QString& text);

private:
    void setLines(QStringList lines, bool written);
    void append(const QStringList& lines);
    void dropBeyondLimit();

    QString programFolder_;
    QStringList lines_;
    qsizetype written_ = 0; // the lines before this one are in the file
    qint64 bytes_ = 0;      // the list's size as the file holds it
    QString failure_;       // why the last write failed; empty when it worked
    bool logErrors_ = true;
    bool beepOnErrors_ = false;
};

// Parses log file bytes into lines (CRLF, LF or CR end a line; 8-bit local encoding).
QStringList parseLogLines(const QByteArray& data);
QByteArray serializeLogLines(const QStringList& lines);

} // namespace ostrel
