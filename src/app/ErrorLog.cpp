#include "app/ErrorLog.h"

#include "platform/DateTimeText.h"
#include "platform/Desktop.h"
#include "platform/Exception.h"
#include "platform/FileWrites.h"
#include "platform/ProgramFolder.h"

#include <QFile>
#include <QFileInfo>
#include <utility>

namespace ostrel {

namespace {

const QString logFileName = QStringLiteral("Error.log");

void writeLines(const QString& fileName, const QStringList& lines) {
    QString reason;
    if (!writeFileAtomically(fileName, serializeLogLines(lines), &reason))
        throw Exception(QStringLiteral("Unable to write to %1").arg(fileName) +
                        (reason.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(reason)));
}

} // namespace

QStringList parseLogLines(const QByteArray& data) {
    QStringList lines;
    const qsizetype n = data.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && data[end] != '\n' && data[end] != '\r')
            ++end;
        lines.append(QString::fromLocal8Bit(data.constData() + start, end - start));
        if (end < n && data[end] == '\r' && end + 1 < n && data[end + 1] == '\n') ++end;
        start = end + 1;
    }
    return lines;
}

QByteArray serializeLogLines(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        out.append(line.toLocal8Bit());
        out.append("\r\n");
    }
    return out;
}

namespace {

qint64 fileSize(const QString& line) {
    return line.toLocal8Bit().size() + 2; // and its CRLF
}

} // namespace

ErrorLog::ErrorLog(QString programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder)) {}

QString ErrorLog::filePath() const {
    return withSlash(programFolder_) + logFileName;
}

QString ErrorLog::text() const {
    return lines_.join(QStringLiteral("\r\n"));
}

void ErrorLog::setLines(QStringList lines, bool written) {
    lines_ = std::move(lines);
    bytes_ = 0;
    for (const QString& line : std::as_const(lines_))
        bytes_ += fileSize(line);
    written_ = written ? lines_.size() : 0;
    dropBeyondLimit();
    emit changed();
}

void ErrorLog::append(const QStringList& lines) {
    for (const QString& line : lines)
        bytes_ += fileSize(line);
    lines_.append(lines);
    dropBeyondLimit();
    emit changed();
}

// The oldest lines go, written or not: a log that cannot be written for days still keeps
// only the newest.
void ErrorLog::dropBeyondLimit() {
    while (bytes_ > SizeLimit && !lines_.isEmpty()) {
        bytes_ -= fileSize(lines_.takeFirst());
        if (written_ > 0) --written_;
    }
}

void ErrorLog::add(const QString& entry, bool writeNow) {
    if (!logErrors_) return;
    // An entry holding line breaks (a multi-line server reply) becomes several lines here,
    // just as it will when the file is read back.
    const QStringList added = parseLogLines((dateTimeToStr(desktop().now()) + entry).toLocal8Bit());
    append(added);
    if (!writeNow || flush()) return;
    for (const QString& line : added)
        qWarning("%s (%s)", qUtf8Printable(line), qUtf8Printable(failure_));
}

bool ErrorLog::flush() {
    if (written_ >= lines_.size()) return true;
    QString reason;
    bool rotated = false;
    if (!appendToFile(filePath(), serializeLogLines(lines_.mid(written_)), SizeLimit, &reason,
                      &rotated)) {
        const bool told = !failure_.isEmpty();
        failure_ = QStringLiteral("Unable to write to %1 (%2)").arg(filePath(), reason);
        if (!told) emit writeFailed(failure_);
        return false;
    }
    failure_.clear();
    // What went to Error.log.1 leaves the list, which shows the file.
    if (rotated)
        setLines(lines_.mid(written_), true);
    else
        written_ = lines_.size();
    return true;
}

bool ErrorLog::reload() {
    QFile file(filePath());
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return false;
    // A log kept before it was bounded may be far larger: only its end is read, from the
    // first whole line on.
    QByteArray data;
    if (file.size() > SizeLimit && file.seek(file.size() - SizeLimit - 1)) {
        data = file.read(SizeLimit + 1); // with the byte before, which may end a line
        data.remove(0, data.indexOf('\n') + 1);
    } else {
        data = file.readAll();
    }
    setLines(parseLogLines(data), true);
    return true;
}

void ErrorLog::save() {
    writeLines(filePath(), lines_);
    written_ = lines_.size();
    failure_.clear();
}

void ErrorLog::saveTo(const QString& fileName) const {
    writeLines(fileName, lines_);
}

void ErrorLog::clear() {
    setLines({}, false);
}

void ErrorLog::ensureFileExists() const {
    if (!QFileInfo::exists(filePath())) writeLines(filePath(), QStringList{QString()});
}

} // namespace ostrel
